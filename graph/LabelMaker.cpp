#include "graph/LabelMaker.h"

#include "platform/Math.h"
#include "scene/D3DMesh.h"

#include <QFontInfo>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace ketra {

LabelMaker::LabelMaker(const QFont& font, const platform::Material& material)
    : m_font(font), m_material(material) {
    // Text meshes measure the font's em as 1 unit; a generous box from the font's metrics.
    const QFontMetricsF fm(font);
    const double em = std::max(1.0, QFontInfo(font).pixelSize() * 1.0);
    m_ascent = static_cast<float>(fm.ascent() / em) + 0.5f;
    m_descent = static_cast<float>(fm.descent() / em) + 0.5f;
    m_emPerChar = static_cast<float>(fm.maxWidth() / em) + 0.5f;
}

int LabelLevelFor(float emPixels, int current) {
    int level = kLabelLevelCount - 1;
    for (int i = 0; i < kLabelLevelCount; ++i) {
        if (emPixels >= kLabelLevels[i].minEmPixels) {
            level = i;
            break;
        }
    }
    // Coarser than now only when clearly below the current level's bound.
    if (current >= 0 && current < kLabelLevelCount && level > current &&
        emPixels >= kLabelLevels[current].minEmPixels * 0.9f)
        return current;
    return level;
}

void LabelMaker::add(CD3DFrame* frame, const QString& text) {
    m_pending.push_back({frame, text, {}, 0});
    frame->SetPreRenderCallback(shared_from_this(), static_cast<std::int32_t>(m_pending.size() - 1));
}

void LabelMaker::setFrameParent(const CD3DFramePtr& parent, const platform::Vector3& scale) {
    m_parent = parent;
    m_scale = scale;
}

void LabelMaker::add(const platform::Vector3& position, const QString& text, std::int32_t name) {
    m_pending.push_back({nullptr, text, position, name});
}

CD3DFrame* LabelMaker::frameOf(std::size_t i, const platform::Matrix& parentWorld) {
    Pending& p = m_pending[i];
    if (p.frame)
        return p.frame;
    const CD3DFramePtr parent = m_parent.lock();
    if (!parent)
        return nullptr;
    // As the scene made every label's frame before: placed, then scaled in its own space.
    CD3DFramePtr frame = CD3DFrame::Create();
    frame->SetPosition(p.position);
    frame->AddScale(COMBINE_PREMULTIPLY, m_scale.x, m_scale.y, m_scale.z);
    frame->ObjectName = QString::number(p.name);
    frame->SetPreRenderCallback(shared_from_this(), static_cast<std::int32_t>(i));
    frame->UpdateFrames(parentWorld);
    p.frame = frame.get();
    parent->AddChild(std::move(frame));
    return p.frame;
}

platform::Matrix LabelMaker::worldOf(std::size_t i, const platform::Matrix& parentWorld) const {
    const Pending& p = m_pending[i];
    if (p.frame)
        return p.frame->GetUpdatedMatrix();
    // The products the frame's own matrices are made of (frameOf), in the same order.
    static const platform::Quaternion unturned;
    static const platform::Vector3 centre;
    const platform::Matrix local =
        platform::MatrixMultiply(platform::MatrixScaling(m_scale.x, m_scale.y, m_scale.z),
                                 platform::MatrixAffineTransformation(1.0f, &centre, &unturned, &p.position));
    return platform::MatrixMultiply(local, parentWorld);
}

void LabelMaker::textBounds(std::size_t i, platform::BoundingBox& box) const {
    const float width = static_cast<float>(m_pending[i].text.size()) * m_emPerChar;
    box.min = {-0.5f, -m_descent, -0.5f};
    box.max = {width + 0.5f, m_ascent, 0.65f};
}

void LabelMaker::fit(const CD3DFrame* frame, float emPixels, bool fromFront, const platform::Vector3* eye) {
    const std::ptrdiff_t i = indexOf(frame);
    if (i < 0)
        return;
    const Pending& p = m_pending[static_cast<std::size_t>(i)];
    const int level = LabelLevelFor(emPixels, p.level);
    const Side side = fromFront ? Side::Front : Side::Back;
    // The eye in the label's space, where its walls have walls to leave out.
    std::optional<platform::Vector3> local;
    if (eye && kLabelLevels[level].shape == platform::TextShape::Solid)
        if (const auto inverse = platform::MatrixInverse(frame->GetUpdatedMatrix()))
            local = platform::Vec3TransformCoord(*eye, *inverse);
    if (level != p.level || side != p.side) {
        makeAt(static_cast<std::size_t>(i), level, side, local ? &*local : nullptr);
        return;
    }
    // The same mesh while every wall it leaves out still faces away; walls that came to face away
    // since are drawn (and culled) until the mesh is made again.
    if (p.wallsLeftOut != 0) {
        const std::uint16_t away =
            local ? platform::WallSectorsFacingAway(p.frame->GetChildMesh(0)->mesh->boundingBox(), *local)
                  : 0;
        if ((p.wallsLeftOut & ~away) != 0)
            makeAt(static_cast<std::size_t>(i), level, side, local ? &*local : nullptr);
    }
}

void LabelMaker::DXCallback(std::int32_t id) {
    if (id >= 0)
        makeWhole(static_cast<std::size_t>(id));
}

void LabelMaker::make(const CD3DFrame* frame) {
    if (const std::ptrdiff_t i = indexOf(frame); i >= 0)
        makeWhole(static_cast<std::size_t>(i));
}

void LabelMaker::makeAll() {
    const CD3DFramePtr parent = m_parent.lock();
    for (std::size_t i = 0; i < m_pending.size(); ++i) {
        if (!m_pending[i].frame && parent)
            frameOf(i, parent->GetUpdatedMatrix()); // the parent's world of its last update
        if (m_pending[i].frame)
            makeWhole(i);
    }
}

void LabelMaker::makeWhole(std::size_t i) {
    if (i < m_pending.size() && m_pending[i].level < 0)
        makeAt(i, 0, Side::Both);
}

int LabelMaker::levelOf(const CD3DFrame* frame) const {
    const std::ptrdiff_t i = indexOf(frame);
    return i < 0 ? -1 : m_pending[static_cast<std::size_t>(i)].level;
}

void LabelMaker::makeAt(std::size_t i, int level, Side side, const platform::Vector3* eye) {
    Pending& p = m_pending[i];
    if (p.level == level && p.side == side && p.wallsLeftOut == 0 && !eye)
        return;
    // Seen from one side, the face turned away can't show: it is left out.
    using platform::TextShape;
    const LabelLevel& l = kLabelLevels[level];
    const bool solid = l.shape == TextShape::Solid;
    const TextShape shape = side == Side::Both    ? l.shape
                            : side == Side::Front ? (solid ? TextShape::SolidFront : TextShape::Front)
                                                  : (solid ? TextShape::SolidBack : TextShape::Back);
    platform::MeshPtr geometry;
    platform::TextWalls walls;
    if (eye && solid) {
        walls.eye = *eye;
        geometry =
            platform::CreateTextMesh(m_font, p.text, l.deviation, kLabelExtrusion, nullptr, shape, &walls);
    }
    if (walls.leftOut == 0) {
        std::weak_ptr<platform::Mesh>& shared =
            m_geometry[p.text][static_cast<std::size_t>(3 * level + static_cast<int>(side))];
        if (platform::MeshPtr same = shared.lock())
            geometry = std::move(same);
        if (!geometry) {
            geometry = platform::CreateTextMesh(m_font, p.text, l.deviation, kLabelExtrusion, nullptr, shape);
            m_newMeshes.push_back(geometry);
        }
        shared = geometry;
    } else {
        m_newMeshes.push_back(geometry);
    }
    if (p.level < 0) {
        ++m_made;
        p.frame->AddD3DXMesh(geometry)->SetMaterialOverride(m_material);
    } else {
        p.frame->GetChildMesh(0)->mesh = std::move(geometry);
    }
    p.level = static_cast<std::int8_t>(level);
    p.side = side;
    p.wallsLeftOut = walls.leftOut;
}

bool LabelMaker::pendingBounds(const CD3DFrame* frame, platform::BoundingBox& box) const {
    const std::ptrdiff_t i = indexOf(frame);
    if (i < 0 || m_pending[static_cast<std::size_t>(i)].level >= 0)
        return false;
    textBounds(static_cast<std::size_t>(i), box);
    return true;
}

float LabelEmPixels(const platform::Matrix& world, const platform::Matrix& viewProjection,
                    const platform::Viewport& vp) {
    // Rows 3 and 1 of world x viewProjection: where the origin goes, and what the Y axis adds to
    // it (homogeneous coordinates).
    float origin[4], axis[4];
    for (int c = 0; c < 4; ++c) {
        origin[c] = axis[c] = 0;
        for (int k = 0; k < 4; ++k) {
            origin[c] += world(3, k) * viewProjection(k, c);
            axis[c] += world(1, k) * viewProjection(k, c);
        }
    }
    const float w0 = origin[3], w1 = axis[3] + origin[3];
    if (w0 <= 1e-3f || w1 <= 1e-3f)
        return 1e9f;
    const float dx = ((axis[0] + origin[0]) / w1 - origin[0] / w0) * static_cast<float>(vp.width) / 2;
    const float dy = ((axis[1] + origin[1]) / w1 - origin[1] / w0) * static_cast<float>(vp.height) / 2;
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace ketra
