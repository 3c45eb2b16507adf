#include "graph/BarScene.h"
#include "graph/Changes.h"

#include "graph/Camera.h"
#include "graph/LabelMaker.h"
#include "graph/OverlayText.h"
#include "platform/HeapReserve.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace ketra {

namespace {

// A box whose sides carry a texture that repeats once per scene unit, from the box's top edge down.
platform::MeshPtr texturedBox(float width, float height, float depth) {
    platform::MeshPtr box =
        platform::CreateBox(width, height, depth)->cloneFVF(platform::FVF_POSITION_NORMAL_TEX1);
    std::vector<float>& v = box->vertices();
    for (std::size_t at = 0; at + 8 <= v.size(); at += 8) {
        const float x = v[at] + width / 2, y = height / 2 - v[at + 1], z = v[at + 2] + depth / 2;
        const float nx = std::fabs(v[at + 3]), ny = std::fabs(v[at + 4]);
        v[at + 6] = nx > 0.5f ? z : x;
        v[at + 7] = ny > 0.5f ? z : y;
    }
    box->changed();
    return box;
}

// The meshes of the bars, shared between the bars that look alike: a bar's mesh (its colour and its
// geometry) depends only on its kind, height and colour, and a folder of many items has few of
// each (a cache folder of a million empty files has one). A bar's own wrapper and geometry took
// a quarter of a kilobyte an item, and the device a copy of the geometry for every bar in view;
// the highlight gives a bar a wrapper of its own while it lasts (GraphForm::highlightFrame).
class SharedBarMeshes {
public:
    SharedBarMeshes(float barWidth, float barDepth) : m_width(barWidth), m_depth(barDepth) {}

    CD3DMeshPtr mesh(bool folder, float height, std::uint32_t colour) {
        CD3DMeshPtr& wrapper = m_wrappers[key(folder, height, colour)];
        if (!wrapper) {
            platform::MeshPtr& geometry = m_geometry[key(folder, height, 0)];
            if (!geometry)
                geometry = folder ? platform::CreateCylinder(m_width / 2, m_width / 2, height, 12, 12)
                                  : platform::CreateBox(m_width, height, m_depth);
            wrapper = std::make_shared<CD3DMesh>();
            wrapper->InitFromD3DXMesh(geometry);
            wrapper->SetMaterialOverride(
                platform::FlatMaterial(LongToColorValue(static_cast<std::int32_t>(colour))));
        }
        return wrapper;
    }

private:
    // The height's bits and the colour in one number; the height is never negative, so its sign
    // bit tells the kind.
    static std::uint64_t key(bool folder, float height, std::uint32_t colour) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &height, sizeof bits);
        return (std::uint64_t{bits} << 32 | colour) | (folder ? std::uint64_t{1} << 63 : 0);
    }
    float m_width, m_depth;
    std::unordered_map<std::uint64_t, CD3DMeshPtr> m_wrappers;
    std::unordered_map<std::uint64_t, platform::MeshPtr> m_geometry;
};

} // namespace

void KeepSceneHeapRoom(std::int64_t items) {
    platform::KeepHeapRoom((std::size_t(192) << 20) +
                           static_cast<std::size_t>(std::max<std::int64_t>(items, 0)) * 4096);
}

QFont WindowFont() {
    return QFont(QStringLiteral("Arial"), 12, QFont::Normal);
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
            platform::FlatMaterial(LongToColorValue(static_cast<std::int32_t>(kBasePlateColour))));
    }
    scene.base->SetOrientation(QuaternionFromAxisDegrees(1, 0, 0, 90));

    scene.bars = CreateChildFrame(scene.root);
    const platform::Material labelMaterial = platform::FlatMaterial(platform::ColorValue{0, 0, 0.8f, 1.0f});

    const int n = model.count();
    if (options.m_showText) {
        // The labels' frames come when they first come into view, after the bars.
        scene.labels = std::make_shared<LabelMaker>(labelFont, labelMaterial);
        scene.labels->setFrameParent(scene.bars, vec3(0.4f, 0.8f, 1.0f));
        scene.labels->reserve(static_cast<std::size_t>(std::max(n, 0)));
    }
    SharedBarMeshes shared(barWidth, barDepth);
    for (int i = 1; i <= n; ++i) {
        DataEntry& e = model.entry(i);
        const QString name = GraphModel::frameName(i);
        const std::uint32_t colour = BarColour(e, options);
        const float height = std::fabs(e.Height);

        auto bar = CreateChildFrame(scene.bars);
        bar->SetPosition(vec3(e.X, e.Height / 2, e.Z));
        const platform::TexturePtr& texture = model.texture(e);
        if (texture && !e.isFolder()) {
            const CD3DMeshPtr mesh = bar->AddD3DXMesh(texturedBox(barWidth, height, barDepth));
            mesh->SetMaterialOverride(
                platform::FlatMaterial(LongToColorValue(static_cast<std::int32_t>(colour))));
            mesh->SetMaterialTexture(0, texture);
        } else {
            bar->AddMesh(shared.mesh(e.isFolder(), height, colour));
        }
        // D3DX cylinders lie along Z; half a turn about (0, 1, 1) stands them up along Y.
        if (e.isFolder())
            bar->AddRotation(0, 0, 1, 1, 3.1415f);
        e.Frame = bar;

        if (options.m_showText) {
            const QString text = LabelText(e.Name);
            if (!text.isEmpty()) // an empty name has no text
                scene.labels->add(vec3(e.X - 0.7f, e.Height, e.Z), text, i);
        }
        bar->ObjectName = name;
    }
    return scene;
}

} // namespace ketra
