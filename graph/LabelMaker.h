// The 3D name labels of the bars, made as they come into view. A folder of many items holds far
// more labels than the camera sees, and each text mesh is a solid of thousands of vertices, so a
// label frame gets its mesh only when it is first drawn, as finely as its size on screen needs.
#pragma once

#include "platform/Mesh.h"
#include "scene/D3DFrame.h"

#include <QFont>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace ketra {

// Label text: extruded by 0.15 em.
inline constexpr float kLabelExtrusion = 0.15f;

// Height in pixels on the viewport `vp` of one unit of a frame's Y axis at its origin (for a label
// frame, one em of its text), with the frame's world matrix and the view x projection matrix; a
// very large number when the origin lies at or behind the eye.
float LabelEmPixels(const platform::Matrix& world, const platform::Matrix& viewProjection,
                    const platform::Viewport& vp);

// How finely a label's text is made, by the height of its em on screen: the outline's deviation
// (in em) and whether the walls are made. Finer levels come first; a label whose em is at least
// `minEmPixels` tall may use the level.
struct LabelLevel {
    float minEmPixels;
    float deviation;
    platform::TextShape shape;
};
// Each level keeps the outline within about a pixel of the font's (the finest one up to an em of
// 100 pixels); below 12 pixels the walls (0.15 em deep, seen at a slant) would be under a pixel
// wide and are left out.
inline constexpr LabelLevel kLabelLevels[] = {
    {48.0f, 0.01f, platform::TextShape::Solid}, {24.0f, 0.02f, platform::TextShape::Solid},
    {12.0f, 0.04f, platform::TextShape::Solid}, {6.0f, 0.08f, platform::TextShape::Faces},
    {0.0f, 0.16f, platform::TextShape::Faces},
};
inline constexpr int kLabelLevelCount = static_cast<int>(std::size(kLabelLevels));
// The level for an em `emPixels` tall, for a label now at level `current` (-1: none yet). A label
// moves to a coarser level only once it is a tenth smaller than the level's bound, so one moving
// back and forth across a bound is not made again on every frame.
int LabelLevelFor(float emPixels, int current);

// A label's text mesh is made when the label is first drawn: a folder of many items holds far
// more labels than the camera sees, and each text mesh is a solid of thousands of vertices. Until
// then the label frame has no mesh (so it can't be picked, nor seen) and a box that surely holds
// its text stands in for it when the view decides what to draw. A label can also wait for its
// frame: the bar graph's labels get theirs only when they first come into view (a frame is
// about 300 bytes, and a folder of a million items shows a few thousand labels at most). The mesh follows the
// label's size on screen (the levels above): labels far down the grid are drawn with a fraction of the
// triangles of the near ones.
class LabelMaker : public FrameCallback, public std::enable_shared_from_this<LabelMaker> {
public:
    LabelMaker(const QFont& font, const platform::Material& material);
    // `frame` (kept alive by the scene) is to show `text`: it gets its mesh when it is first drawn.
    void add(CD3DFrame* frame, const QString& text);
    // The frame that the labels added without one get as children (the scene keeps it alive; the
    // maker holds no reference to it), and the scale of each such label's frame.
    void setFrameParent(const CD3DFramePtr& parent, const platform::Vector3& scale);
    // A label showing `text` at `position` in the parent frame's space (setFrameParent), whose
    // frame is made when asked for (frameOf): named `name`, at `position`, scaled.
    void add(const platform::Vector3& position, const QString& text, std::int32_t name);
    void reserve(std::size_t labels) { m_pending.reserve(labels); }
    // The labels in the order they were added, and whether label i has its frame yet.
    std::size_t size() const { return m_pending.size(); }
    bool hasFrame(std::size_t i) const { return m_pending[i].frame != nullptr; }
    // The frame of label i, made now (without its mesh, its world matrix from `parentWorld`, the
    // parent's) and appended to the parent's children when it has none. Null when the parent is
    // gone.
    CD3DFrame* frameOf(std::size_t i, const platform::Matrix& parentWorld);
    // The world matrix the frame of label i has (or will have) under a parent of world matrix
    // `parentWorld`, and the box of frame space that holds its text once made (as pendingBounds).
    platform::Matrix worldOf(std::size_t i, const platform::Matrix& parentWorld) const;
    void textBounds(std::size_t i, platform::BoundingBox& box) const;
    // Before drawing: gives `frame` the mesh for an em `emPixels` tall, seen from the front (the
    // side its text reads from) or from behind (no-op for a frame that is no label of this maker).
    // The face turned away from the camera is left out of the mesh, and so are the walls turned
    // away from an eye at `eye` (world space, with the frame's world matrix of the last update),
    // where one is given.
    void fit(const CD3DFrame* frame, float emPixels, bool fromFront = true,
             const platform::Vector3* eye = nullptr);
    // A label drawn without fit first gets the finest level.
    void DXCallback(std::int32_t id) override;
    // Makes the mesh of `frame` now at the finest level (no-op when it has one or is no label of
    // this maker).
    void make(const CD3DFrame* frame);
    // Makes every label's mesh that has none yet (and its frame), at the finest level.
    void makeAll();
    // The level of `frame`'s mesh; -1 when it has none or is no label.
    int levelOf(const CD3DFrame* frame) const;
    // The box, in the label frame's space, that holds its text once made; false for a frame
    // that is no pending label.
    bool pendingBounds(const CD3DFrame* frame, platform::BoundingBox& box) const;
    // Whether `frame` is a label frame of this maker (made or not).
    bool isLabel(const CD3DFrame* frame) const { return indexOf(frame) >= 0; }
    int madeCount() const { return m_made; }
    // The meshes made since the last call (to be uploaded when drawn).
    std::vector<platform::MeshPtr> takeNewMeshes() { return std::exchange(m_newMeshes, {}); }

private:
    // The faces a label's mesh has: both (a label drawn without being fitted first), or the one
    // the camera sees.
    enum class Side : std::uint8_t { Both, Front, Back };
    struct Pending {
        CD3DFrame* frame = nullptr; // null while a label added without one waits for it
        QString text;
        platform::Vector3 position; // in the parent frame's space (a label added without a frame)
        std::int32_t name = 0;      // its frame's name, likewise
        std::int8_t level = -1;     // -1 until made
        Side side = Side::Both;
        std::uint16_t wallsLeftOut = 0; // the wall sectors the mesh leaves out (platform::TextWalls)
    };
    // A mesh whose walls are left out for one eye is the label's own; the others are shared.
    void makeAt(std::size_t i, int level, Side side, const platform::Vector3* eye = nullptr);
    // A label not made yet gets the whole solid at the finest level (drawn without being fitted).
    void makeWhole(std::size_t i);
    // The frame's place in m_pending (its pre-render callback id), or -1 for a frame that is no
    // label of this maker.
    std::ptrdiff_t indexOf(const CD3DFrame* frame) const {
        return frame && frame->PreRenderCallback() == this ? frame->PreRenderId() : -1;
    }
    QFont m_font;
    platform::Material m_material;
    float m_ascent = 1, m_descent = 0.5f, m_emPerChar = 1;
    std::vector<Pending> m_pending;
    std::weak_ptr<CD3DFrame> m_parent;
    platform::Vector3 m_scale{1, 1, 1};
    // Labels of the same text, level and face share their outline while any of them shows it;
    // each keeps a mesh object (and material) of its own.
    QHash<QString, std::array<std::weak_ptr<platform::Mesh>, 3 * kLabelLevelCount>> m_geometry;
    int m_made = 0;
    std::vector<platform::MeshPtr> m_newMeshes;
};

} // namespace ketra
