// The bar scene: the frames and meshes the main window and the snapshot command both draw, built
// from the laid-out entries (GraphModel::ScaleEntries).
#pragma once

#include "graph/GraphModel.h"
#include "graph/Options.h"
#include "platform/Mesh.h"
#include "scene/D3DFrame.h"

#include <QFont>

#include <cstdint>
#include <memory>

namespace ketra {

class LabelMaker;

// The three frames of the bar scene: the root (every user rotation applies to it), the base
// plate's frame and the frame that holds every bar and label.
struct BarScene {
    CD3DFramePtr root;
    CD3DFramePtr base;
    CD3DFramePtr bars;
    // Makes the labels' text meshes (null without labels).
    std::shared_ptr<LabelMaker> labels;
    // Labels whose letters would be less than this many layout pixels tall (Device::pixelRatio()
    // device pixels each) are left out of a frame (and
    // their text is not made until they come closer): nobody can read them, and a folder of
    // thousands of items would otherwise spend most of each frame on text solids a pixel or two
    // high far down the grid. 0 draws every label in view.
    float minLabelPixels = 3.0f;
};

// The base plate's colour: translucent grey.
inline constexpr std::uint32_t kBasePlateColour = 0x6FC0C0C0;

// Builds the bar scene of `model`'s entries (laid out by ScaleEntries): the root with the start
// tilt, the base frame with `baseMesh` in translucent grey laid flat in the XZ plane, and below
// the bars frame, per entry i (1-based) a frame named "i" at (X, Height / 2, Z) holding a box
// (files, barWidth x |Height| x barDepth) or an upright cylinder (folders, barWidth across) of
// height |Height| in the entry's colour (bars of the same kind, height and colour share one mesh:
// change a bar's look by giving it a mesh of its own, CD3DMesh::Clone), and, with the option
// m_showText, the entry's 3D label in blue, in `labelFont`, at (X - 0.7, Height, Z): its frame,
// named "i" too, is made when the label first comes into view (LabelMaker::frameOf) and follows
// the bars. Each entry's Frame becomes its bar frame. A file's entry with a texture has it on
// its box's sides, tinted by the colour and repeating once per scene unit from the top edge down.
BarScene BuildBarScene(GraphModel& model, const platform::MeshPtr& baseMesh, const Options& options,
                       const QFont& labelFont, float barWidth = 1.0f, float barDepth = 1.0f);

// Lets the heap keep the room the scene of a folder of `items` items takes (platform::KeepHeapRoom),
// before its entries are made: the entries, the scene and the first frame's meshes and their GPU
// copies take up to 3.5 KiB an item with labels (under 1 KiB where many bars look alike and share
// their meshes), and up to a few thousand labels in view (about 13 KiB each) in a folder of any
// size. Any thread.
void KeepSceneHeapRoom(std::int64_t items);

// The window's font (Arial 12): the hover text's font and the labels' outlines.
QFont WindowFont();

} // namespace ketra
