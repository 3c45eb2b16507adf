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
    // Every subset is drawn, in order.
    m.RenderEx(nullptr, true, true);
    ASSERT_EQ(draws().size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(draws()[i].attribId, i);

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

TEST_F(MeshTest, RenderDrawsAllSubsetsInOnePassWithoutTheOverride) {
    CD3DMeshPtr m = BoxMesh();
    m->SetMaterialOverride(MaterialWithAlpha(1.0f, 0.3f));
    m->SetMaterialCount(2);
    m->SetMaterial(0, MaterialWithAlpha(0.5f, 0.1f));
    m->SetMaterial(1, MaterialWithAlpha(1.0f, 0.2f));
    m->bUseMaterials = true;
    m->Render(nullptr);
    ASSERT_EQ(draws().size(), 2u);
    EXPECT_EQ(draws()[0].material.diffuse.r, 0.1f);
    EXPECT_EQ(draws()[1].material.diffuse.r, 0.2f);

    g_device->clearRecords();
    m->bUseMaterials = false;
    g_device->setMaterial(MaterialWithAlpha(1.0f, 0.7f));
    m->Render(nullptr);
    ASSERT_EQ(draws().size(), 2u);
    EXPECT_EQ(draws()[0].material.diffuse.r, 0.7f);

    g_device->clearRecords();
    m->bSkinned = true; // Render skips skinned meshes; RenderEx does not look
    m->Render(nullptr);
    EXPECT_TRUE(draws().empty());
    m->RenderEx(nullptr, true, false);
    EXPECT_EQ(draws().size(), 2u);
}

TEST_F(MeshTest, VertexEditsApplyOnlyToPositionNormalTexcoordVertices) {
    struct Case {
        const char* what;
        std::uint32_t fvf;
        bool flip; // else translate by (1, 2, 3)
    };
    const Case cases[] = {
        {"flip, position+normal", platform::FVF_POSITION_NORMAL, true},
        {"translate, position+normal", platform::FVF_POSITION_NORMAL, false},
        {"flip, position+normal+texcoord", platform::FVF_POSITION_NORMAL_TEX1, true},
        {"translate, position+normal+texcoord", platform::FVF_POSITION_NORMAL_TEX1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CD3DMeshPtr m = BoxMesh(2, 4, 6);
        const platform::MeshPtr original = m->mesh;
        const std::vector<float> originalVertices = original->vertices();
        const bool textured = c.fvf == platform::FVF_POSITION_NORMAL_TEX1;
        if (textured) {
            // SetFVF replaces the mesh by a converted copy and leaves the original alone.
            m->SetFVF(nullptr, c.fvf);
            ASSERT_NE(m->mesh, original);
            EXPECT_EQ(original->vertices(), originalVertices);
            for (std::uint32_t v = 0; v < m->mesh->vertexCount(); ++v)
                m->mesh->vertices()[v * 8 + 6] = static_cast<float>(v); // must survive the edit
        }
        const std::vector<float> before = m->mesh->vertices();
        const auto generation = m->mesh->generation();
        if (c.flip)
            m->FlipNormals();
        else
            m->Translate(1, 2, 3);
        const std::vector<float>& after = m->mesh->vertices();
        ASSERT_EQ(after.size(), before.size());
        if (!textured) {
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_GT(m->mesh->generation(), generation); // the GPU copy is re-made
        for (std::size_t v = 0; v + 8 <= after.size(); v += 8) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(after[v + k], c.flip ? before[v + k] : before[v + k] + static_cast<float>(k + 1));
                EXPECT_EQ(after[v + 3 + k], c.flip ? -before[v + 3 + k] : before[v + 3 + k]);
            }
            EXPECT_EQ(after[v + 6], before[v + 6]);
            EXPECT_EQ(after[v + 7], before[v + 7]);
        }
    }
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
