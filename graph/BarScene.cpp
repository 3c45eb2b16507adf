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

namespace ketra {

namespace {

platform::Material flatMaterial(const platform::ColorValue& c) {
    platform::Material m;
    m.diffuse = c;
    m.ambient = c;
    return m;
}

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

} // namespace

void ReserveSceneHeap(std::int64_t items) {
    platform::ReserveHugePageHeap((std::size_t(192) << 20) +
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
            flatMaterial(LongToColorValue(static_cast<std::int32_t>(BarColour(e, options))));
        const float height = std::fabs(e.Height);

        auto bar = CreateChildFrame(scene.bars);
        bar->SetPosition(vec3(e.X, e.Height / 2, e.Z));
        if (e.isFolder()) {
            // D3DX cylinders lie along Z; half a turn about (0, 1, 1) stands them up along Y.
            bar->AddD3DXMesh(platform::CreateCylinder(barWidth / 2, barWidth / 2, height, 12, 12))
                ->SetMaterialOverride(barMaterial);
            bar->AddRotation(0, 0, 1, 1, 3.1415f);
        } else if (e.Texture) {
            const CD3DMeshPtr mesh = bar->AddD3DXMesh(texturedBox(barWidth, height, barDepth));
            mesh->SetMaterialOverride(barMaterial);
            mesh->SetMaterialTexture(0, e.Texture);
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
