// The 3D bar graph as the main window and the snapshot command both draw it: the scene built from
// the laid-out entries, and one frame of the picture (scene passes and the text overlay). The
// window's handlers (graph/form/*.cpp) and app/Snapshot.cpp call these, so a snapshot shows what
// a fresh window shows.
#pragma once

#include "graph/GraphModel.h"
#include "platform/Font.h"
#include "platform/Mesh.h"
#include "scene/D3DFrame.h"

#include <QFont>
#include <QPoint>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>

namespace ketra {

// The three frames of the bar scene: the root (every user rotation applies to it), the base
// plate's frame and the frame that holds every bar and label.
struct BarScene {
    CD3DFramePtr root;
    CD3DFramePtr base;
    CD3DFramePtr bars;
};

struct BarSceneOptions {
    bool showText = true; // 3D name labels
    QFont labelFont;      // the labels' font (the window's font)
    float barWidth = 1.0f;
    float barDepth = 1.0f;
};

// The colour of the bars' view background, the scene's ambient light and the base plate.
inline constexpr std::uint32_t kBackgroundColour = 0xFF80B0E0;
inline constexpr std::uint32_t kAmbientLight = 0xFFC0C0C0;
inline constexpr std::uint32_t kBasePlateColour = 0x6FC0C0C0;
inline constexpr std::uint32_t kOverlayTextColour = 0xFF444444;
inline constexpr std::uint32_t kHoverTextColour = 0xFF000000;

// Builds the bar scene of `model`'s entries (laid out by ScaleEntries): the root with the start
// tilt, the base frame with `baseMesh` in translucent grey laid flat in the XZ plane, and below
// the bars frame, per entry i (1-based) a frame named "i" at (X, Height / 2, Z) holding a box
// (files) or an upright cylinder (folders) of height |Height| in the entry's colour, and, with
// labels on, a label frame named "i" at (X - 0.7, Height, Z) with the entry's 3D label in blue.
// Each entry's Frame becomes its bar frame.
BarScene BuildBarScene(GraphModel& model, const platform::MeshPtr& baseMesh, const BarSceneOptions& options);

// What the text overlay shows.
struct OverlayState {
    bool hoverShown = false;
    bool showPopup = true;
    QString hoverText;
    QPoint hoverPosition;
    bool showStats = true;
    bool showShortcuts = true;
    bool includeFolders = false;
    double totalBytes = 0;
    std::int64_t fileCount = 0, folderCount = 0, totalFileCount = 0, totalFolderCount = 0;
};

// Draws one frame of `scene` on g_device, from the frame update to the end of the scene (the
// caller presents it): clear, ambient light, the bars, then (when `showBase` and not `treeview`)
// the plate in a second pass so that it blends over the bars, then the overlay texts with
// `popupFont` (hover text) and `statsFont` (statistics, key help). Nothing happens without a root.
void RenderBarFrame(const BarScene& scene, bool showBase, bool treeview, const OverlayState& overlay,
                    platform::Font* popupFont, platform::Font* statsFont);

// The window's font (Arial 12): the hover text's font and the labels' outlines.
QFont WindowFont();
// The small sans font of a status line: the statistics and the key help.
QFont StatusFont();

// Where a double-clicked file is handed to the system. Tests replace it (null restores
// QDesktopServices::openUrl).
void SetOpenUrlHook(std::function<bool(const QUrl&)> hook);
bool OpenUrl(const QUrl& url);

} // namespace ketra
