// The bar scene built from laid-out entries, checked on the CPU (no OpenGL needed).
#include "graph/BarFrame.h"
#include "graph/GraphModel.h"
#include "graph/LabelMaker.h"
#include "graph/OverlayText.h"
#include "platform/Math.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <QColor>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

using namespace ketra;
using platform::Vector3;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00;

struct Item {
    const char* name;
    double size;
    bool folder;
    std::uint32_t colour;
};

// Entries laid out as a folder load and ScaleEntries do.
GraphModel laidOut(std::initializer_list<Item> items) {
    GraphModel model;
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(items.size())) - 1));
    int row = 0, column = 0;
    for (const Item& it : items) {
        model.AddEntry(QString::fromUtf8(it.name), row, it.size, column, it.size, it.colour,
                       it.folder ? 16 : 32, QString(), 2, false);
        if (++column > side) {
            column = 0;
            ++row;
        }
    }
    model.ScaleEntries(false);
    return model;
}

// Bounding box of a frame's first mesh in its parent's space.
platform::BoundingBox boxInParent(const CD3DFrame& frame) {
    const platform::Mesh& mesh = *frame.GetChildMesh(0)->mesh;
    platform::BoundingBox box;
    for (std::uint32_t v = 0; v < mesh.vertexCount(); ++v) {
        const Vector3 p = platform::Vec3TransformCoord(mesh.position(v), frame.GetMatrix());
        if (v == 0) {
            box.min = box.max = p;
            continue;
        }
        box.min = {std::min(box.min.x, p.x), std::min(box.min.y, p.y), std::min(box.min.z, p.z)};
        box.max = {std::max(box.max.x, p.x), std::max(box.max.y, p.y), std::max(box.max.z, p.z)};
    }
    return box;
}

::testing::AssertionResult boxIs(const platform::BoundingBox& b, Vector3 min, Vector3 max,
                                 float tol = 1e-3f) {
    auto near = [tol](float a, float e) { return std::fabs(a - e) <= tol; };
    if (near(b.min.x, min.x) && near(b.min.y, min.y) && near(b.min.z, min.z) && near(b.max.x, max.x) &&
        near(b.max.y, max.y) && near(b.max.z, max.z))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "box (" << b.min.x << ", " << b.min.y << ", " << b.min.z
                                         << ") - (" << b.max.x << ", " << b.max.y << ", " << b.max.z << ")";
}

Options withLabels(bool on) {
    Options o;
    o.m_showText = on;
    return o;
}

} // namespace

TEST(BarScene, FilesAreBoxesAndFoldersUprightCylindersStandingOnTheFloor) {
    GraphModel model = laidOut({{"a.txt", 1000, false, kRed}, {"docs", 500, true, kGreen}});
    const BarScene scene =
        BuildBarScene(model, platform::CreateBox(5, 2.5f, 0.1f), withLabels(false), WindowFont());
    const DataEntry& file = model.entry(1);
    const DataEntry& folder = model.entry(2);
    ASSERT_FLOAT_EQ(file.Height, 6.0f);
    ASSERT_FLOAT_EQ(folder.Height, 3.0f);

    const CD3DFramePtr box = scene.bars->GetChildFrame(0);
    const CD3DFramePtr cylinder = scene.bars->GetChildFrame(1);
    EXPECT_EQ(box->GetChildMesh(0)->mesh->vertexCount(), 24u);               // a box
    EXPECT_EQ(cylinder->GetChildMesh(0)->mesh->vertexCount(), 2u + 12 * 15); // 12 slices, 12 stacks
    EXPECT_TRUE(
        boxIs(boxInParent(*box), {file.X - 0.5f, 0, file.Z - 0.5f}, {file.X + 0.5f, 6, file.Z + 0.5f}));
    // Upright: the cylinder's axis runs along Y, its diameter is 1 across X and Z.
    EXPECT_TRUE(boxIs(boxInParent(*cylinder), {folder.X - 0.5f, 0, folder.Z - 0.5f},
                      {folder.X + 0.5f, 3, folder.Z + 0.5f}));

    // Each bar has its own material in the entry's colour (diffuse = ambient).
    const platform::Material m = box->GetChildMesh(0)->GetMaterialOverride();
    EXPECT_TRUE(box->GetChildMesh(0)->bUseMaterialOverride);
    EXPECT_EQ(ColorValueToLong(m.diffuse), static_cast<std::int32_t>(kRed));
    EXPECT_EQ(ColorValueToLong(m.ambient), static_cast<std::int32_t>(kRed));
    EXPECT_EQ(ColorValueToLong(cylinder->GetChildMesh(0)->GetMaterialOverride().diffuse),
              static_cast<std::int32_t>(kGreen));

    // Frames are named by the entry's index in list order, and each entry keeps its bar; the
    // labels' frames, named alike, follow the bars once they are needed.
    for (bool labels : {false, true}) {
        const BarScene named = BuildBarScene(model, nullptr, withLabels(labels), WindowFont());
        ASSERT_EQ(named.bars->GetChildFrameCount(), 2);
        if (labels)
            named.labels->makeAll();
        ASSERT_EQ(named.bars->GetChildFrameCount(), labels ? 4 : 2);
        for (int i = 0; i < named.bars->GetChildFrameCount(); ++i)
            EXPECT_EQ(named.bars->GetChildFrame(i)->ObjectName, QString::number(i % 2 + 1));
        EXPECT_EQ(model.entry(2).Frame, named.bars->GetChildFrame(1));
    }
}

TEST(BarScene, LabelsStandOnTheBarsInBlueWithTheirLabelText) {
    GraphModel model = laidOut({{"twelve_chars", 100, false, kRed},
                                {"thirteen_char", 50, false, kRed},
                                {"", 10, false, kRed},
                                {"twelve_chars", 20, false, kGreen}});
    const BarScene scene =
        BuildBarScene(model, platform::CreateBox(5, 5, 0.1f), withLabels(true), WindowFont());
    // Labels get their text when first drawn.
    ASSERT_TRUE(scene.labels);
    // The label frame of entry i (an empty name has no label).
    ASSERT_EQ(scene.labels->size(), 3u);
    // The view culls a label without a frame by the world matrix its frame gets, to the bit.
    const platform::Matrix parent = platform::MatrixRotationAxis({1, 2, 3}, 0.7f);
    const platform::Matrix unframed = scene.labels->worldOf(0, parent);
    EXPECT_EQ(std::memcmp(&unframed, &scene.labels->frameOf(0, parent)->GetUpdatedMatrix(), sizeof unframed),
              0);
    auto labelOf = [&](int i) {
        return scene.labels->frameOf(static_cast<std::size_t>(i > 3 ? i - 2 : i - 1),
                                     platform::Matrix::identity());
    };
    EXPECT_EQ(labelOf(2)->GetChildMeshCount(), 0);
    scene.labels->makeAll();
    ASSERT_EQ(labelOf(2)->GetChildMeshCount(), 1);
    EXPECT_EQ(labelOf(2)->GetChildMesh(0)->mesh->vertices(),
              platform::CreateTextMesh(WindowFont(), LabelText("thirteen_char"), kLabelLevels[0].deviation,
                                       kLabelExtrusion)
                  ->vertices());
    // Same text: the same outline, but a mesh (and material) of each label's own.
    EXPECT_NE(labelOf(4)->GetChildMesh(0), labelOf(1)->GetChildMesh(0));

    // At (X - 0.7, Height, Z), scaled 0.4 across and 0.8 up, in blue.
    const DataEntry& e = model.entry(1);
    const platform::Matrix& m = labelOf(1)->GetMatrix();
    const Vector3 origin = platform::Vec3TransformCoord({0, 0, 0}, m);
    const Vector3 unit = platform::Vec3TransformCoord({1, 1, 1}, m) - origin;
    EXPECT_TRUE(boxIs({origin, unit}, {e.X - 0.7f, e.Height, e.Z}, {0.4f, 0.8f, 1.0f}, 1e-5f));
    const platform::Material blue = labelOf(1)->GetChildMesh(0)->GetMaterialOverride();
    EXPECT_EQ(QColor::fromRgbF(blue.diffuse.r, blue.diffuse.g, blue.diffuse.b, blue.diffuse.a),
              QColor::fromRgbF(0, 0, 0.8f, 1));
    EXPECT_FLOAT_EQ(blue.ambient.b, 0.8f);
}

TEST(BarScene, LabelsAreMadeAsFinelyAsTheirSizeOnScreenNeeds) {
    // Levels by the em's height in pixels, finest first; a label only goes coarser once it is a
    // tenth below its level's bound, and finer as soon as it is tall enough.
    const float top = kLabelLevels[0].minEmPixels;
    const std::tuple<float, int, int> levels[] = {{1e9f, -1, 0},
                                                  {top, -1, 0},
                                                  {top - 1, -1, 1},
                                                  {top * 0.95f, 0, 0},
                                                  {top * 0.85f, 0, 1},
                                                  {top, 1, 0},
                                                  {0.5f, -1, kLabelLevelCount - 1},
                                                  {0.5f, 0, kLabelLevelCount - 1}};
    for (const auto& [em, now, level] : levels)
        EXPECT_EQ(LabelLevelFor(em, now), level) << em << " " << now;

    GraphModel model = laidOut({{"same.txt", 100, false, kRed},
                                {"same.txt", 50, false, kRed},
                                {"other.txt", 10, false, kGreen},
                                {"last.txt", 10, false, kGreen}});
    const BarScene scene =
        BuildBarScene(model, platform::CreateBox(5, 5, 0.1f), withLabels(true), WindowFont());
    auto labelOf = [&](int i) {
        return scene.labels->frameOf(static_cast<std::size_t>(i - 1), platform::Matrix::identity());
    };
    LabelMaker& labels = *scene.labels;
    EXPECT_EQ(labels.levelOf(labelOf(1)), -1);
    labels.fit(labelOf(1), 100);
    ASSERT_EQ(labelOf(1)->GetChildMeshCount(), 1);
    EXPECT_EQ(labels.levelOf(labelOf(1)), 0);
    const CD3DMeshPtr shown = labelOf(1)->GetChildMesh(0);
    const platform::MeshPtr fine = shown->mesh;
    // Seen from the front: the solid without its back face, which can't show from there.
    EXPECT_EQ(fine->vertices(),
              platform::CreateTextMesh(WindowFont(), "same.txt", kLabelLevels[0].deviation, kLabelExtrusion,
                                       nullptr, platform::TextShape::SolidFront)
                  ->vertices());

    // Far away: the coarsest outline, in the same mesh object and colour.
    labels.fit(labelOf(1), 2);
    EXPECT_EQ(labels.levelOf(labelOf(1)), kLabelLevelCount - 1);
    ASSERT_EQ(labelOf(1)->GetChildMeshCount(), 1);
    EXPECT_EQ(labelOf(1)->GetChildMesh(0), shown);
    EXPECT_LT(shown->mesh->faceCount() * 3, fine->faceCount());
    EXPECT_FLOAT_EQ(shown->GetMaterialOverride().diffuse.b, 0.8f);
    EXPECT_EQ(labels.madeCount(), 1);

    // Seen from behind: the back face (and the walls, at a level that has them).
    labels.fit(labelOf(1), 2, false);
    ASSERT_GT(shown->mesh->vertexCount(), 0u);
    EXPECT_GT(shown->mesh->normal(0).z, 0);
    labels.fit(labelOf(1), 60, false);
    EXPECT_EQ(shown->mesh->vertices(),
              platform::CreateTextMesh(WindowFont(), "same.txt", kLabelLevels[0].deviation, kLabelExtrusion,
                                       nullptr, platform::TextShape::SolidBack)
                  ->vertices());
    labels.fit(labelOf(1), 60, true);
    EXPECT_EQ(shown->mesh->vertices(), fine->vertices());

    // Another label of the same text at the same level shares the outline, not the mesh object.
    labels.fit(labelOf(1), 2);
    labels.fit(labelOf(2), 2);
    EXPECT_EQ(labelOf(2)->GetChildMesh(0)->mesh, shown->mesh);
    EXPECT_NE(labelOf(2)->GetChildMesh(0), shown);
    // Back near: the fine outline again.
    labels.fit(labelOf(1), 60);
    EXPECT_EQ(shown->mesh->vertices(), fine->vertices());
    EXPECT_EQ(labels.madeCount(), 2);

    // A label drawn without being fitted first gets the whole solid at the finest level; makeAll
    // leaves made ones be.
    labels.make(labelOf(3));
    EXPECT_EQ(labels.levelOf(labelOf(3)), 0);
    EXPECT_EQ(labelOf(3)->GetChildMesh(0)->mesh->vertices(),
              platform::CreateTextMesh(WindowFont(), "other.txt", kLabelLevels[0].deviation, kLabelExtrusion)
                  ->vertices());
    labels.makeAll();
    EXPECT_EQ(labels.levelOf(labelOf(2)), kLabelLevelCount - 1);
    EXPECT_EQ(labels.levelOf(labelOf(4)), 0);
    EXPECT_EQ(labels.madeCount(), 4);
    EXPECT_EQ(labels.levelOf(scene.bars->GetChildFrame(0).get()), -1); // a bar is no label
}

// The plate of the layout (3 rows by 2 columns: 7.5 by 5) lies flat in translucent grey under the
// grid; an empty list builds only the root and the plate.
TEST(BarScene, BasePlateLiesFlatUnderTheGridAndTheRootIsTilted) {
    GraphModel model = laidOut({{"a", 1, false, kRed},
                                {"b", 2, false, kRed},
                                {"c", 3, false, kRed},
                                {"d", 4, false, kRed},
                                {"e", 5, false, kRed}});
    const BarScene scene =
        BuildBarScene(model, platform::CreateBox(7.5f, 5, 0.1f), withLabels(false), WindowFont());
    ASSERT_EQ(scene.base->GetChildMeshCount(), 1);
    EXPECT_TRUE(boxIs(boxInParent(*scene.base), {-3.75f, -0.05f, -2.5f}, {3.75f, 0.05f, 2.5f}));
    const platform::Material grey = scene.base->GetChildMesh(0)->GetMaterialOverride();
    EXPECT_EQ(ColorValueToLong(grey.diffuse), static_cast<std::int32_t>(0x6FC0C0C0));
    EXPECT_EQ(ColorValueToLong(grey.ambient), static_cast<std::int32_t>(0x6FC0C0C0));

    const platform::Matrix tilt = platform::MatrixRotationAxis({1, -1, 0}, 12566.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(scene.root->GetMatrix()(r, c), tilt(r, c), 1e-6f) << r << "," << c;
    EXPECT_EQ(scene.root->GetChildFrame(0), scene.base);
    EXPECT_EQ(scene.root->GetChildFrame(1), scene.bars);
    GraphModel none;
    const BarScene empty =
        BuildBarScene(none, platform::CreateBox(14, 14, 0.1f), withLabels(true), WindowFont());
    EXPECT_EQ(empty.bars->GetChildFrameCount(), 0);
    EXPECT_TRUE(boxIs(boxInParent(*empty.base), {-7, -0.05f, -7}, {7, 0.05f, 7}));
}

TEST(BarScene, LabelHeightOnScreenFollowsTheDistanceAndIgnoresWhatIsBehindTheEye) {
    // The start camera: eye at (0, 0, -20) looking at the origin, 45 degrees, 800 x 600.
    const platform::Matrix view = platform::MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0});
    const platform::Matrix projection = platform::MatrixPerspectiveFovLH(3.1415f / 4, 800.0f / 600, 1, 3000);
    const platform::Matrix viewProjection = platform::MatrixMultiply(view, projection);
    const platform::Viewport vp{0, 0, 800, 600, 0, 1};
    const float cot = 1.0f / std::tan(3.1415f / 8);

    struct Case {
        platform::Matrix world;
        float pixels;
    };
    const Case cases[] = {
        {platform::MatrixTranslation(0, 0, 0), cot * 300 / 20},          // at the origin: 36 px per unit
        {platform::MatrixTranslation(3, -2, 80), cot * 300 / 100},       // five times as far
        {platform::MatrixScaling(0.4f, 0.8f, 1), 0.8f * cot * 300 / 20}, // a label's own scale
        {platform::MatrixRotationZ(3.1415f / 2), cot * 300 / 20}, // its Y axis lying across: square pixels
    };
    for (const Case& c : cases)
        EXPECT_NEAR(LabelEmPixels(c.world, viewProjection, vp), c.pixels, c.pixels * 1e-3f);
    EXPECT_GT(LabelEmPixels(platform::MatrixTranslation(0, 0, -25), viewProjection, vp), 1e6f);
}

// A selected bar turns red, unless its own colour is so near red that red would not tell it from
// the bars of its kind: then it is a light red, far from its own colour.
TEST(Highlight, RedUnlessTheBarIsNearRedAlready) {
    const struct {
        std::uint32_t own;
        bool red;
    } cases[] = {{0xFF0000FF, true},  {0xFF50A050, true},  {0xFFE6823C, true}, // blue, green, .odp
                 {0xFFCD3732, false}, {0xFFBE2D37, false}, {kRed, false}};     // .pdf, .rb, red
    for (const auto& c : cases) {
        const platform::Material m = HighlightMaterial(c.own);
        const platform::ColorValue own = LongToColorValue(static_cast<std::int32_t>(c.own));
        EXPECT_EQ(m.diffuse.g == 0 && m.ambient.g == 0 && m.emissive.r == 0, c.red) << std::hex << c.own;
        EXPECT_GT(std::hypot(m.ambient.r - own.r, m.ambient.g - own.g, m.ambient.b - own.b), 0.35f) << c.own;
    }
}
