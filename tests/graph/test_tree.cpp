// The tree view's layout, its scene without OpenGL, and the paths of its levels' items.
#include "graph/TreeLevels.h"
#include "graph/TreeScene.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <gtest/gtest.h>

using namespace ketra;
using platform::Vector3;

namespace {

// A tree's entries: one per (level, name); names starting with "d" are folders.
GraphModel tree(std::initializer_list<std::pair<int, QString>> items) {
    GraphModel model;
    for (const auto& [level, name] : items) {
        model.AddEntry(name, 0, 10, 0, 10, 0xFF00FF00, name.startsWith('d') ? 16 : 32, QString(),
                       static_cast<std::int16_t>(level), false);
        model.entries().back().NameBytes = name.toUtf8();
    }
    return model;
}

bool same(const Vector3& a, const Vector3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

TEST(TreeScene, EightItemsStandInColumnsOfTwoBesideTheFolder) {
    // R = round(sqrt(8) - 1) = 2; the first column of the items holds one node, as the count of
    // the folder's own column carries over.
    GraphModel model = tree({{1, "d/root"},
                             {2, "d1"},
                             {2, "d2"},
                             {2, "f3"},
                             {2, "f4"},
                             {2, "f5"},
                             {2, "f6"},
                             {2, "f7"},
                             {2, "f8"}});
    const Vector3 nodes[] = {{-5, -1.5f, 0}, {0, -1.5f, 0},    {0, -1.5f, 2.5f}, {0, 1, 2.5f},  {0, -1.5f, 5},
                             {0, 1, 5},      {0, -1.5f, 7.5f}, {0, 1, 7.5f},     {0, -1.5f, 10}};
    const std::vector<TreeNodePlace> places = LayoutTree(model.entries());
    ASSERT_EQ(places.size(), std::size(nodes));
    for (std::size_t i = 0; i < places.size(); ++i)
        EXPECT_TRUE(same(places[i].node, nodes[i])) << i;
    EXPECT_TRUE(same(places[0].label, {-5, -2.5f, -1})); // the folder's path below and behind
    EXPECT_TRUE(same(places[3].label, {0.7f, 1, 2.0f})); // an item's name beside it

    // The scene: a node frame and a label frame named by index per entry; spheres for folders,
    // cubes for files, in the entries' colours; no plate.
    Options options;
    const BarScene scene = BuildTreeScene(model, options, QFont());
    ASSERT_EQ(scene.bars->GetChildFrameCount(), 18);
    EXPECT_EQ(scene.base->GetChildMeshCount(), 0);
    const std::uint32_t sphere = platform::CreateSphere(0.5f, 20, 10)->vertexCount();
    for (int i = 1; i <= model.count(); ++i) {
        const DataEntry& e = model.entry(i);
        ASSERT_TRUE(e.Frame);
        EXPECT_EQ(e.Frame->ObjectName, QString::number(i));
        EXPECT_TRUE(same(e.Frame->GetPosition(), nodes[i - 1]));
        const CD3DMeshPtr mesh = e.Frame->GetChildMesh(0);
        EXPECT_EQ(mesh->mesh->vertexCount() == sphere, e.isFolder()) << i;
        EXPECT_EQ(static_cast<std::uint32_t>(ColorValueToLong(mesh->GetMaterialOverride().diffuse)),
                  0xFF00FF00u);
    }
    options.m_showText = false;
    EXPECT_EQ(BuildTreeScene(model, options, QFont()).bars->GetChildFrameCount(), 9);
}

TEST(TreeScene, LabelTextsAndTheWallHeight) {
    const QString long120(120, 'n');
    EXPECT_EQ(TreeLabelText(long120), long120);
    EXPECT_EQ(TreeLabelText(long120 + "x"), QStringLiteral("nnnnnnn..."));
    EXPECT_EQ(TreeLabelText(QStringLiteral("short.txt")), QStringLiteral("short.txt"));
    // One entry stands alone (one endless column); an empty list builds an empty scene.
    EXPECT_EQ(TreeWallHeight(1), -1);
    EXPECT_EQ(TreeWallHeight(101), 9);
    GraphModel empty;
    EXPECT_EQ(BuildTreeScene(empty, Options{}, QFont()).bars->GetChildFrameCount(), 0);
}

TEST(TreeLevels, PathsAtEveryLevelAndAsDeepAsTheDiskGoes) {
    TreeLevelFolders levels;
    levels.reset("/r");
    levels.open(2, "/r/a");
    levels.open(3, "/r/a/b");
    GraphModel model = tree({{1, "/r"}, {2, "a"}, {3, "b"}, {4, "c.txt"}});
    const char* paths[] = {"/r", "/r/a", "/r/a/b", "/r/a/b/c.txt"};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(levels.itemPath(model.entry(i)), paths[i - 1]) << i;

    // Opening another level-2 folder forgets the levels below it.
    levels.open(2, "/r/z");
    EXPECT_EQ(levels.itemPath(model.entry(4)), QByteArray());
    EXPECT_EQ(levels.folderOf(3), "/r/z");

    // Far past 21 levels.
    QByteArray folder = "/r/z";
    for (int level = 3; level <= 40; ++level)
        levels.open(level, folder += "/s");
    EXPECT_EQ(levels.folderOf(41), folder);
    EXPECT_EQ(levels.root(), "/r");
    levels.reset("/"); // no doubled "/" at the root
    EXPECT_EQ(levels.itemPath(model.entry(2)), "/a");

    DropDeeperLevels(model, 2);
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.entry(2).Name, QStringLiteral("a"));
}
