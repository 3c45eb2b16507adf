// Meshes: the opaque/translucent pass rules, material slots, vertex edits, bounding volumes.
#include "scene/D3DMesh.h"
#include "scene_fixture.h"

#include <QImage>

#include <stdexcept>
#include <vector>

using platform::Vector3;

namespace {

CD3DMeshPtr BoxMesh(float w = 1, float h = 1, float d = 1) {
    auto m = std::make_shared<CD3DMesh>();
    m->InitFromD3DXMesh(platform::CreateBox(w, h, d));
    return m;
}

platform::TexturePtr SmallTexture() {
    QImage image(2, 2, QImage::Format_RGBA8888);
    image.fill(Qt::red);
    return std::make_shared<platform::Texture>(image);
}

} // namespace

using MeshTest = SceneTest;

TEST_F(MeshTest, RenderExDrawsEachSubsetInTheRightPass) {
    enum Colouring { Override, OwnMaterials, Neither };
    struct Case {
        const char* what;
        Colouring colouring;
        float alpha;
        int opaqueDraws; // RenderEx(true, false)
        int alphaDraws;  // RenderEx(false, true)
        int bothDraws;   // RenderEx(true, true)
    };
    const Case cases[] = {
        {"override alpha 1.0", Override, 1.0f, 1, 0, 1},
        {"override alpha 0.5", Override, 0.5f, 0, 1, 1},
        {"override alpha 1.5", Override, 1.5f, 0, 0, 0},
        {"override alpha 0.0", Override, 0.0f, 0, 1, 1},
        {"own material alpha 1.0", OwnMaterials, 1.0f, 1, 0, 1},
        {"own material alpha 0.5", OwnMaterials, 0.5f, 0, 1, 1},
        {"own material alpha 1.5", OwnMaterials, 1.5f, 0, 0, 0},
        {"no material", Neither, 0.5f, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CD3DMeshPtr m = BoxMesh();
        const platform::Material material = MaterialWithAlpha(c.alpha);
        const platform::TexturePtr texture = SmallTexture();
        m->SetMaterialTexture(0, texture);
        if (c.colouring == Override)
            m->SetMaterialOverride(material);
        if (c.colouring == OwnMaterials) {
            m->SetMaterial(0, material);
            m->bUseMaterials = true;
        }
        const platform::Material before = MaterialWithAlpha(1.0f, 0.9f);
        g_device->setMaterial(before);
        const std::pair<bool, bool> passes[] = {{true, false}, {false, true}, {true, true}};
        const int expected[] = {c.opaqueDraws, c.alphaDraws, c.bothDraws};
        for (int p = 0; p < 3; ++p) {
            g_device->clearRecords();
            m->RenderEx(nullptr, passes[p].first, passes[p].second);
            ASSERT_EQ(static_cast<int>(draws().size()), expected[p]) << "pass set " << p;
            for (const platform::DrawRecord& r : draws()) {
                EXPECT_EQ(r.mesh, m->mesh.get());
                EXPECT_EQ(r.attribId, 0u);
                const platform::Material& want = c.colouring == Neither ? before : material;
                EXPECT_EQ(r.material.diffuse.a, want.diffuse.a);
                EXPECT_EQ(r.material.diffuse.r, want.diffuse.r);
                if (c.colouring != Neither) {
                    EXPECT_EQ(r.texture, texture.get());
                }
            }
        }
    }
}

TEST_F(MeshTest, MaterialSlotsRunFromZeroToTheCountAndInitFromD3DXMeshEmptiesThem) {
    CD3DMesh m;
    EXPECT_FALSE(m.bUseMaterials);
    EXPECT_THROW(m.GetMaterial(0), std::out_of_range);
    m.SetMaterialOverride(MaterialWithAlpha(0.25f));
    m.InitFromD3DXMesh(platform::CreateBox(1, 1, 1));
    const platform::TexturePtr texture = SmallTexture();
    m.SetMaterial(0, MaterialWithAlpha(1.0f, 0.125f));
    m.SetMaterialTexture(0, texture);
    m.SetMaterial(1, MaterialWithAlpha(0.5f));
    m.SetMaterialCount(3); // keeps what the slots hold
    EXPECT_EQ(m.GetMaterialCount(), 3);
    EXPECT_EQ(m.GetMaterial(0).diffuse.r, 0.125f);
    EXPECT_EQ(m.GetMaterialTexture(0), texture);
    EXPECT_EQ(m.GetMaterial(1).diffuse.a, 0.5f);
    EXPECT_EQ(m.GetMaterial(2).diffuse.a, 0.0f);
    EXPECT_EQ(m.GetMaterialTexture(3), nullptr);
    EXPECT_THROW(m.GetMaterial(4), std::out_of_range);
    EXPECT_THROW(m.SetMaterial(-1, {}), std::out_of_range);
    EXPECT_THROW(m.SetMaterialTexture(4, nullptr), std::out_of_range);
    EXPECT_THROW(m.SetMaterialCount(-1), std::out_of_range);
    // Every subset is drawn, in order: RenderEx with the override (translucent), Render with
    // each subset's own material (no override, no opaque/alpha split) or the device's.
    m.RenderEx(nullptr, true, true);
    m.bUseMaterials = true;
    m.Render(nullptr);
    m.bUseMaterials = false;
    g_device->setMaterial(MaterialWithAlpha(1.0f, 0.7f));
    m.Render(nullptr);
    ASSERT_EQ(draws().size(), 9u);
    for (std::uint32_t i = 0; i < 9; ++i) {
        EXPECT_EQ(draws()[i].attribId, i % 3);
        EXPECT_EQ(draws()[i].material.diffuse.a, i < 3   ? 0.25f
                                                 : i < 6 ? m.GetMaterial(i % 3).diffuse.a
                                                         : 1.0f)
            << i;
    }
    EXPECT_EQ(draws()[3].material.diffuse.r, 0.125f);
    EXPECT_EQ(draws()[8].material.diffuse.r, 0.7f);
    m.bSkinned = true; // Render skips skinned meshes; RenderEx does not look
    g_device->clearRecords();
    m.Render(nullptr);
    m.RenderEx(nullptr, true, true);
    EXPECT_EQ(draws().size(), 3u);
    m.bSkinned = false;

    m.bUseMaterials = true;
    m.InitFromD3DXMesh(platform::CreateBox(1, 1, 1));
    EXPECT_FALSE(m.bUseMaterials);
    EXPECT_EQ(m.GetMaterialCount(), 1);
    EXPECT_EQ(m.GetMaterial(1).diffuse.a, 0.0f);
    EXPECT_EQ(m.GetMaterialTexture(0), nullptr);
    EXPECT_THROW(m.GetMaterial(2), std::out_of_range);
    EXPECT_TRUE(m.bUseMaterialOverride); // the override stays
    EXPECT_EQ(m.GetMaterialOverride().diffuse.a, 0.25f);
}

TEST_F(MeshTest, VertexEditsApplyOnlyToPositionNormalTexcoordVertices) {
    CD3DMeshPtr plain = BoxMesh(2, 4, 6), textured = BoxMesh(2, 4, 6);
    const platform::MeshPtr original = textured->mesh;
    textured->SetFVF(nullptr, platform::FVF_POSITION_NORMAL_TEX1); // a converted copy; the original stays
    ASSERT_NE(textured->mesh, original);
    EXPECT_EQ(original->vertices(), plain->mesh->vertices());
    textured->mesh->vertices()[6] = 0.5f; // a texture coordinate, which the edits leave alone
    const std::vector<float> plainBefore = plain->mesh->vertices();
    std::vector<float> expected = textured->mesh->vertices();
    const auto generation = textured->mesh->generation();
    for (const CD3DMeshPtr& m : {plain, textured}) {
        m->FlipNormals();
        m->Translate(1, 2, 3);
    }
    EXPECT_EQ(plain->mesh->vertices(), plainBefore);
    for (std::size_t v = 0; v < expected.size(); v += 8)
        for (std::size_t k = 0; k < 3; ++k) {
            expected[v + k] += static_cast<float>(k + 1);
            expected[v + 3 + k] = -expected[v + 3 + k];
        }
    EXPECT_EQ(textured->mesh->vertices(), expected);
    EXPECT_GT(textured->mesh->generation(), generation); // the GPU copy is re-made
}

TEST_F(MeshTest, DestroyDropsAllButTheOverrideAndWithoutAMeshNothingHappens) {
    CD3DMeshPtr m = BoxMesh(2, 4, 6);
    Vector3 lo, hi;
    m->GetLocalBox(lo, hi);
    EXPECT_TRUE(Near(hi, {1, 2, 3}));

    m->SetMaterialOverride(MaterialWithAlpha(0.5f));
    m->SetMaterialTexture(0, SmallTexture());
    m->skinmesh = platform::CreateBox(1, 1, 1);
    m->Destroy();
    EXPECT_EQ(m->mesh, nullptr);
    EXPECT_EQ(m->skinmesh, nullptr);
    EXPECT_EQ(m->GetMaterialCount(), 0);
    EXPECT_TRUE(m->bUseMaterials);
    EXPECT_THROW(m->GetMaterialTexture(0), std::out_of_range);
    EXPECT_EQ(m->GetMaterialOverride().diffuse.a, 0.5f);

    // With no mesh held nothing is drawn or changed, even without a device.
    m->SetMaterialCount(2);
    g_device.reset();
    EXPECT_NO_THROW(m->RenderEx(nullptr, true, true));
    EXPECT_NO_THROW(m->Render(nullptr));
    m->FlipNormals();
    m->Translate(1, 2, 3);
    m->ComputeBoundingVolumes();
    EXPECT_FALSE(m->bHasSphere);
    m->GetLocalBox(lo, hi);
    EXPECT_TRUE(Near(lo, {0, 0, 0}));
    EXPECT_TRUE(Near(hi, {0, 0, 0}));
}
