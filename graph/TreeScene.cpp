#include "graph/TreeScene.h"

#include "graph/Camera.h"
#include "graph/LabelMaker.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <cmath>

namespace ketra {

namespace {

constexpr float kLevelStep = 5.0f;
constexpr float kNodeStep = 2.5f;
constexpr float kFirstLevelX = -10.0f;
constexpr float kColumnFoot = -4.0f; // a column's first node stands one step above it
constexpr int kLongestLabel = 120;

} // namespace

int TreeWallHeight(int count) {
    if (count < 1)
        return -1;
    return static_cast<int>(std::lround(std::sqrt(static_cast<double>(count - 1)) - 1.0));
}

QString TreeLabelText(const QString& name) {
    if (name.size() > kLongestLabel)
        return name.left(7) + QStringLiteral("...");
    return name;
}

std::vector<TreeNodePlace> LayoutTree(const std::vector<DataEntry>& entries) {
    std::vector<TreeNodePlace> places;
    places.reserve(entries.size());
    const int wall = TreeWallHeight(static_cast<int>(entries.size()));
    float levelX = kFirstLevelX, itemY = kColumnFoot, rowZ = 0;
    int previousLevel = 0, inColumn = 0;
    for (const DataEntry& e : entries) {
        if (e.Level != previousLevel) {
            levelX += kLevelStep;
            rowZ = 0;
            itemY = kColumnFoot;
            previousLevel = e.Level;
        } else if (inColumn == wall) {
            rowZ += kNodeStep;
            itemY = kColumnFoot;
            inColumn = 0;
        }
        itemY += kNodeStep;
        ++inColumn;
        TreeNodePlace p;
        p.node = {levelX, itemY, rowZ};
        p.label = e.Level == 1 ? platform::Vector3{levelX, itemY - 1, rowZ - 1}
                               : platform::Vector3{levelX + 0.7f, itemY, rowZ - 0.5f};
        places.push_back(p);
    }
    return places;
}

BarScene BuildTreeScene(GraphModel& model, const Options& options, const QFont& labelFont, float barWidth,
                        float barDepth) {
    BarScene scene;
    scene.root = CreateChildFrame(nullptr);
    const RootRotation tilt = Camera::StartTilt();
    scene.root->AddRotation(tilt.combineMode, tilt.axis.x, tilt.axis.y, tilt.axis.z, tilt.angle);
    scene.base = CreateChildFrame(scene.root);
    scene.base->Enabled = false;
    scene.bars = CreateChildFrame(scene.root);
    if (options.m_showText)
        scene.labels = std::make_shared<LabelMaker>(
            labelFont, platform::FlatMaterial(platform::ColorValue{0, 0, 0.8f, 1.0f}));

    // Every node of a kind has the same shape: one mesh each, which every node's own mesh object
    // (with its own colour) draws.
    const platform::MeshPtr sphere = platform::CreateSphere(barWidth / 2, 20, 10);
    const platform::MeshPtr cube = platform::CreateBox(barWidth, 1.0f, barDepth);

    const std::vector<TreeNodePlace> places = LayoutTree(model.entries());
    for (int i = 1; i <= model.count(); ++i) {
        DataEntry& e = model.entry(i);
        const TreeNodePlace& place = places[static_cast<std::size_t>(i - 1)];
        const QString name = GraphModel::frameName(i);
        const platform::Material material =
            platform::FlatMaterial(LongToColorValue(static_cast<std::int32_t>(e.Colour)));

        auto node = CreateChildFrame(scene.bars);
        node->SetPosition(place.node);
        if (e.isFolder()) {
            node->AddD3DXMesh(sphere)->SetMaterialOverride(material);
            node->AddRotation(0, 0, 1, 1, 3.1415f);
        } else {
            node->AddD3DXMesh(cube)->SetMaterialOverride(material);
        }
        e.Frame = node;

        if (options.m_showText) {
            auto label = CreateChildFrame(scene.bars);
            label->SetPosition(place.label);
            label->AddScale(0, 0.4f, 0.8f, 1.0f);
            const QString text = TreeLabelText(e.Name);
            if (!text.isEmpty())
                scene.labels->add(label.get(), text);
            label->ObjectName = name;
        }
        node->ObjectName = name;
    }
    return scene;
}

} // namespace ketra
