// The bar scene: one frame per entry with its box or cylinder, the labels, the base plate, and the
// window's BuildGraph around it.
#include "app/GraphForm.h"
#include "graph/Camera.h"
#include "graph/OverlayText.h"
#include "graph/form/View3D.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace ketra {

namespace {

platform::Material flatMaterial(const platform::ColorValue& c) {
    platform::Material m;
    m.diffuse = c;
    m.ambient = c;
    return m;
}

} // namespace

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
    m_pending.push_back({frame, text, -1});
    frame->SetPreRenderCallback(shared_from_this(), static_cast<std::int32_t>(m_pending.size() - 1));
}

void LabelMaker::fit(const CD3DFrame* frame, float emPixels, bool fromFront) {
    const std::ptrdiff_t i = indexOf(frame);
    if (i < 0)
        return;
    const Pending& p = m_pending[static_cast<std::size_t>(i)];
    const int level = LabelLevelFor(emPixels, p.level);
    const Side side = fromFront ? Side::Front : Side::Back;
    if (level != p.level || side != p.side)
        makeAt(static_cast<std::size_t>(i), level, side);
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
    for (std::size_t i = 0; i < m_pending.size(); ++i)
        makeWhole(i);
}

void LabelMaker::makeWhole(std::size_t i) {
    if (i < m_pending.size() && m_pending[i].level < 0)
        makeAt(i, 0, Side::Both);
}

int LabelMaker::levelOf(const CD3DFrame* frame) const {
    const std::ptrdiff_t i = indexOf(frame);
    return i < 0 ? -1 : m_pending[static_cast<std::size_t>(i)].level;
}

void LabelMaker::makeAt(std::size_t i, int level, Side side) {
    Pending& p = m_pending[i];
    if (p.level == level && p.side == side)
        return;
    std::weak_ptr<platform::Mesh>& shared =
        m_geometry[p.text][static_cast<std::size_t>(3 * level + static_cast<int>(side))];
    platform::MeshPtr geometry = shared.lock();
    if (!geometry) {
        // Seen from one side, the face turned away can't show: it is left out.
        using platform::TextShape;
        const LabelLevel& l = kLabelLevels[level];
        const bool solid = l.shape == TextShape::Solid;
        const TextShape shape = side == Side::Both    ? l.shape
                                : side == Side::Front ? (solid ? TextShape::SolidFront : TextShape::Front)
                                                      : (solid ? TextShape::SolidBack : TextShape::Back);
        geometry = platform::CreateTextMesh(m_font, p.text, l.deviation, kLabelExtrusion, nullptr, shape);
        shared = geometry;
    }
    if (p.level < 0) {
        ++m_made;
        p.frame->AddD3DXMesh(geometry)->SetMaterialOverride(m_material);
    } else {
        p.frame->GetChildMesh(0)->mesh = std::move(geometry);
    }
    p.level = level;
    p.side = side;
}

bool LabelMaker::pendingBounds(const CD3DFrame* frame, platform::BoundingBox& box) const {
    const std::ptrdiff_t i = indexOf(frame);
    if (i < 0 || m_pending[static_cast<std::size_t>(i)].level >= 0)
        return false;
    const float width = static_cast<float>(m_pending[static_cast<std::size_t>(i)].text.size()) * m_emPerChar;
    box.min = {-0.5f, -m_descent, -0.5f};
    box.max = {width + 0.5f, m_ascent, 0.65f};
    return true;
}

BarScene BuildBarScene(GraphModel& model, const platform::MeshPtr& baseMesh, const Options& options,
                       const QFont& labelFont, float barWidth, float barDepth) {
    BarScene scene;
    scene.root = CreateChildFrame(nullptr);
    const RootRotation tilt = Camera::StartTilt();
    scene.root->AddRotation(tilt.combineMode, tilt.axis.x, tilt.axis.y, tilt.axis.z, tilt.angle);

    // The plate: a box in the XY plane turned flat, translucent so the bars show through it.
    scene.base = CreateChildFrame(scene.root);
    if (baseMesh) {
        scene.base->AddD3DXMesh(baseMesh)->SetMaterialOverride(
            flatMaterial(LongToColorValue(static_cast<std::int32_t>(kBasePlateColour))));
    }
    scene.base->SetOrientation(QuaternionFromAxisDegrees(1, 0, 0, 90));

    scene.bars = CreateChildFrame(scene.root);
    const platform::Material labelMaterial = flatMaterial(platform::ColorValue{0, 0, 0.8f, 1.0f});

    if (options.m_showText)
        scene.labels = std::make_shared<LabelMaker>(labelFont, labelMaterial);
    const int n = model.count();
    for (int i = 1; i <= n; ++i) {
        DataEntry& e = model.entry(i);
        const QString name = GraphModel::frameName(i);
        const platform::Material barMaterial =
            flatMaterial(LongToColorValue(static_cast<std::int32_t>(e.Colour)));
        const float height = std::fabs(e.Height);

        auto bar = CreateChildFrame(scene.bars);
        bar->SetPosition(vec3(e.X, e.Height / 2, e.Z));
        if (e.isFolder()) {
            // D3DX cylinders lie along Z; half a turn about (0, 1, 1) stands them up along Y.
            bar->AddD3DXMesh(
                   platform::CreateCylinder(barWidth / 2, barWidth / 2, height, 12, 12))
                ->SetMaterialOverride(barMaterial);
            bar->AddRotation(0, 0, 1, 1, 3.1415f);
        } else {
            bar->AddD3DXMesh(platform::CreateBox(barWidth, height, barDepth))
                ->SetMaterialOverride(barMaterial);
        }
        e.Frame = bar;

        if (options.m_showText) {
            auto label = CreateChildFrame(scene.bars);
            label->SetPosition(vec3(e.X - 0.7f, e.Height, e.Z));
            label->AddScale(0, 0.4f, 0.8f, 1.0f);
            const QString text = LabelText(e.Name);
            if (!text.isEmpty()) // an empty name has no text
                scene.labels->add(label.get(), text);
            label->ObjectName = name;
        }
        bar->ObjectName = name;
    }
    return scene;
}

} // namespace ketra

void GraphForm::BuildGraph() {
    if (!m_deviceReady)
        return;
    // The tree view's scene comes with the tree view; until then the bars are built in its place.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_rootFrame.reset();
    m_barsFrame.reset();
    m_baseFrame.reset();
    m_labelMaker.reset();

    // The plate follows the last layout with entries (ScaleEntries); before any, the start-up box.
    if (const std::optional<ketra::BasePlateSize>& plate = m_model->m_basePlate) {
        const std::array<float, 3> size{plate->width, plate->height, plate->depth};
        if (!m_baseMesh || size != m_baseMeshSize) {
            m_baseMesh = platform::CreateBox(size[0], size[1], size[2]);
            m_baseMeshSize = size;
        }
    }

    const ketra::BarScene scene =
        ketra::BuildBarScene(*m_model, m_baseMesh, m_options, m_windowFont, m_barWidth, m_barDepth);
    m_rootFrame = scene.root;
    m_baseFrame = scene.base;
    m_barsFrame = scene.bars;
    m_labelMaker = scene.labels;

    QApplication::restoreOverrideCursor();
    m_graphBuilt = true;
    markViewDirty();
}
