// Frames: local transform, combining, world matrices, lists and search, rendering passes.
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene_fixture.h"

#include <QString>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using platform::Matrix;
using platform::Vector3;

namespace {

constexpr float kHalfPi = 1.57079632679f;

// A new frame named `name`, added to `parent` when one is given.
CD3DFramePtr NewFrame(const CD3DFramePtr& parent = nullptr, const QString& name = {}) {
    CD3DFramePtr f = CreateChildFrame(parent);
    f->ObjectName = name;
    return f;
}

CD3DMeshPtr NamedMesh(const CD3DFramePtr& frame, const QString& name) {
    CD3DMeshPtr m = frame->AddD3DXMesh(platform::CreateBox(1, 1, 1));
    m->ObjectName = name;
    return m;
}

} // namespace

using FrameTest = SceneTest;

// A point p of the frame maps to ((s p - c) rotated) + c + t in the parent.
TEST_F(FrameTest, LocalMatrixScalesRotatesAboutTheCentreThenTranslates) {
    struct Case {
        const char* what;
        float scale;
        Vector3 centre;
        float angleZ; // radians about +Z
        Vector3 position, point, expected;
    };
    const Case cases[] = {
        {"scale before translation", 2, {}, 0, {0, 0, 5}, {1, 0, 0}, {2, 0, 5}},
        // rotation about Z by 90 degrees (left-handed): (1, 0) -> (0, 1)
        {"rotation", 1, {}, kHalfPi, {}, {1, 0, 0}, {0, 1, 0}},
        {"rotation then translation", 1, {}, kHalfPi, {0, 0, 5}, {0, 1, 0}, {-1, 0, 5}},
        // 2 * (1, 0, 0) = (2, 0, 0); minus the centre -> (1, 0, 0); rotated -> (0, 1, 0);
        // plus the centre -> (1, 1, 0); plus the position -> (1, 1, 5)
        {"all four", 2, {1, 0, 0}, kHalfPi, {0, 0, 5}, {1, 0, 0}, {1, 1, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CD3DFramePtr f = NewFrame();
        f->SetScale(c.scale);
        f->SetOrientationCenter(c.centre);
        f->SetOrientation(platform::QuaternionRotationAxis({0, 0, 1}, c.angleZ));
        f->SetPosition(c.position);
        EXPECT_TRUE(Near(Apply(f->GetMatrix(), c.point), c.expected));
        EXPECT_TRUE(Near(f->GetPosition(), c.position));
        EXPECT_TRUE(Near(f->GetOrientationCenter(), c.centre));
    }

    // A new frame: identity local matrix, zero world and inverse, and the shared identity put back.
    g_identityMatrix(1, 2) = 7.0f;
    CD3DFramePtr f = NewFrame();
    EXPECT_TRUE(Near(g_identityMatrix, Matrix::identity()));
    EXPECT_TRUE(Near(f->GetMatrix(), Matrix::identity()));
    EXPECT_TRUE(Near(f->GetUpdatedMatrix(), Matrix{}));
    EXPECT_TRUE(Near(f->GetInverseMatrix(), Matrix{}));
    EXPECT_TRUE(f->Enabled);
    // The setters rebuild the local matrix from the parts, dropping what was combined into it;
    // SetMatrix leaves the parts alone.
    f->AddRotation(COMBINE_PREMULTIPLY, 0, 0, 1, 1.0f);
    f->AddScale(COMBINE_POSTMULTIPLY, 3, 3, 3);
    f->SetPosition({1, 2, 3});
    EXPECT_TRUE(Near(f->GetMatrix(), platform::MatrixTranslation(1, 2, 3)));
    f->SetMatrix(platform::MatrixScaling(5, 6, 7));
    EXPECT_TRUE(Near(f->GetMatrix(), platform::MatrixScaling(5, 6, 7)));
    f->SetScale(2);
    EXPECT_TRUE(Near(Apply(f->GetMatrix(), {1, 1, 1}), {3, 4, 5}));
}

TEST_F(FrameTest, AddOperationsCombineByMode) {
    struct Case {
        const char* what;
        std::function<void(CD3DFrame&)> start; // the local matrix before
        std::function<void(CD3DFrame&, int)> add;
        int mode;
        Vector3 expected; // where (1, 1, 0) ends up
    };
    auto translated = [](CD3DFrame& f) { f.SetPosition({1, 0, 0}); };
    auto scaled = [](CD3DFrame& f) { f.SetScale(2); };
    auto addScale = [](CD3DFrame& f, int mode) { f.AddScale(mode, 2, 2, 2); };
    auto addTranslation = [](CD3DFrame& f, int mode) { f.AddTranslation(mode, 0, 5, 0); };
    auto addRotation = [](CD3DFrame& f, int mode) { f.AddRotation(mode, 0, 0, 1, kHalfPi); };
    const Case cases[] = {
        // local = translation (1, 0, 0)
        {"scale, X first", translated, addScale, 0, {3, 2, 0}},
        {"scale, X last", translated, addScale, 1, {4, 2, 0}},
        {"scale, replace", translated, addScale, 2, {2, 2, 0}},
        {"scale, mode 3", translated, addScale, 3, {2, 1, 0}},
        {"scale, mode -1", translated, addScale, -1, {2, 1, 0}},
        // local = scale 2
        {"translation, X first", scaled, addTranslation, 0, {2, 12, 0}},
        {"translation, X last", scaled, addTranslation, 1, {2, 7, 0}},
        {"translation, replace", scaled, addTranslation, 2, {1, 6, 0}},
        {"translation, mode 7", scaled, addTranslation, 7, {2, 2, 0}},
        // local = translation (1, 0, 0); the rotation takes (x, y) to (-y, x)
        {"rotation, X first", translated, addRotation, 0, {0, 1, 0}},
        {"rotation, X last", translated, addRotation, 1, {-1, 2, 0}},
        {"rotation, replace", translated, addRotation, 2, {-1, 1, 0}},
        {"rotation, mode 4", translated, addRotation, 4, {2, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CD3DFramePtr f = NewFrame();
        c.start(*f);
        const Vector3 position = f->GetPosition();
        const float scale = f->GetScale();
        c.add(*f, c.mode);
        EXPECT_TRUE(Near(Apply(f->GetMatrix(), {1, 1, 0}), c.expected));
        // the stored parts are not touched
        EXPECT_TRUE(Near(f->GetPosition(), position));
        EXPECT_EQ(f->GetScale(), scale);
        EXPECT_EQ(f->GetOrientation().w, 1.0f);
    }
}

TEST_F(FrameTest, UpdateFramesComputesWorldAndInverseDownTheTree) {
    CD3DFramePtr root = NewFrame();
    root->SetPosition({0, 0, 10});
    CD3DFramePtr middle = CreateChildFrame(root);
    middle->SetScale(2);
    middle->Enabled = false; // not consulted
    CD3DFramePtr leaf = CreateChildFrame(middle);
    leaf->SetPosition({1, 0, 0});

    root->UpdateFrames();
    // leaf x middle x root: (0,0,0) -> (1,0,0) -> (2,0,0) -> (2,0,10)
    EXPECT_TRUE(Near(leaf->TransformCoord({0, 0, 0}), {2, 0, 10}));
    EXPECT_TRUE(Near(leaf->TransformCoord({1, 1, 1}), {4, 2, 12}));
    EXPECT_TRUE(Near(leaf->TransformNormal({1, 0, 0}), {2, 0, 0}));
    EXPECT_TRUE(Near(leaf->InverseTransformCoord({4, 2, 12}), {1, 1, 1}));
    EXPECT_TRUE(Near(leaf->InverseTransformNormal({2, 0, 0}), {1, 0, 0}));

    // The matrices are as of the last update ...
    root->SetPosition({0, 0, 20});
    EXPECT_TRUE(Near(leaf->TransformCoord({0, 0, 0}), {2, 0, 10}));
    // ... an update started lower down takes identity as its parent ...
    middle->UpdateFrames();
    EXPECT_TRUE(Near(leaf->TransformCoord({0, 0, 0}), {2, 0, 0}));
    // ... and a singular world keeps the previous inverse.
    const Matrix inverse = leaf->GetInverseMatrix();
    leaf->AddScale(COMBINE_REPLACE, 0, 0, 0);
    middle->UpdateFrames();
    EXPECT_EQ(leaf->GetUpdatedMatrix()(0, 0), 0.0f);
    EXPECT_TRUE(Near(leaf->GetInverseMatrix(), inverse));
}

TEST_F(FrameTest, ListsKeepTheirOrderFindSearchesDepthFirstAndMeshOperationsReachTheSubtree) {
    CD3DFramePtr root = NewFrame(nullptr, "root");
    CD3DFramePtr first = NewFrame(root, "first");
    CD3DFramePtr deep = NewFrame(first, "g");
    CD3DFramePtr second = NewFrame(root, "g"); // a later sibling named like the grandchild
    NewFrame(root, "x");
    CD3DMeshPtr rootMesh = NamedMesh(root, "x"); // added after the child frame "x"
    CD3DMeshPtr deepMesh = NamedMesh(deep, "m");
    CD3DFramePtr twin = NewFrame(first, "root");
    root->AddMesh(nullptr); // an empty slot, skipped

    EXPECT_EQ(CD3DFrame::FindChildObject(root, "root", 0).frame, root);
    EXPECT_EQ(CD3DFrame::FindChildObject(root, "x", 0).mesh, rootMesh);
    EXPECT_EQ(CD3DFrame::FindChildObject(root, "g", 0).frame, deep);
    EXPECT_EQ(CD3DFrame::FindChildObject(root, "m", 0).mesh, deepMesh);
    EXPECT_EQ(CD3DFrame::FindChildObject(first, "root", 0).frame, twin);
    EXPECT_FALSE(CD3DFrame::FindChildObject(root, "G", 0)); // exact, case-sensitive
    EXPECT_EQ(CD3DFrame::FindChildParent(root, "x", 0), root);
    EXPECT_EQ(CD3DFrame::FindChildParent(root, "g", 0), first);
    EXPECT_EQ(CD3DFrame::FindChildParent(root, "m", 0), deep);
    EXPECT_EQ(CD3DFrame::FindChildParent(root, "root", 0), first); // a frame's own name is not its parent
    EXPECT_EQ(CD3DFrame::FindChildParent(root, "nothing", 0), nullptr);

    ASSERT_EQ(root->GetChildFrameCount(), 3);
    EXPECT_EQ(root->GetChildFrame(1), second);
    EXPECT_EQ(root->GetChildMesh(0), rootMesh);
    for (const int i : {-1, 3})
        EXPECT_THROW(root->GetChildFrame(i), std::out_of_range) << i;
    EXPECT_THROW(root->GetChildMesh(2), std::out_of_range);
    // A mesh put in place of another, in a frame of one mesh and in one of more.
    for (const CD3DFramePtr& f : {deep, root}) {
        f->SetChildMesh(f->GetChildMeshCount() - 1, rootMesh);
        EXPECT_EQ(f->ChildMeshes().back(), rootMesh);
    }
    root->SetChildMesh(1, nullptr);
    deep->SetChildMesh(0, deepMesh);

    // Mesh operations reach every mesh of the subtree.
    root->SetFVF(nullptr, platform::FVF_POSITION_NORMAL_TEX1);
    EXPECT_EQ(rootMesh->mesh->fvf(), platform::FVF_POSITION_NORMAL_TEX1);
    EXPECT_EQ(deepMesh->mesh->fvf(), platform::FVF_POSITION_NORMAL_TEX1);
    const Vector3 normal = deepMesh->mesh->normal(0);
    root->FlipNormals();
    EXPECT_TRUE(Near(deepMesh->mesh->normal(0), normal * -1.0f));
    root->ComputeBoundingVolumes();
    EXPECT_TRUE(deepMesh->bHasSphere);
    EXPECT_NEAR(deepMesh->SphereRadius, std::sqrt(0.75f), 1e-5f);
    // Destroy releases the lists, not the children's own lists.
    root->Destroy();
    EXPECT_EQ(root->GetChildFrameCount(), 0);
    EXPECT_EQ(root->GetChildMeshCount(), 0);
    EXPECT_EQ(first.use_count(), 1); // the root let go
    EXPECT_EQ(first->GetChildFrame(0), deep);
}

// ---- rendering ----

namespace {

struct CallLog : FrameCallback {
    std::vector<std::string>* log;
    std::string name;
    CallLog(std::vector<std::string>* l, std::string n) : log(l), name(std::move(n)) {}
    void DXCallback(std::int32_t id) override {
        log->push_back(name + ":" + std::to_string(id) + "@" + std::to_string(g_device->drawCount()));
    }
};

CD3DMeshPtr Coloured(const CD3DFramePtr& frame, float alpha) {
    CD3DMeshPtr m = frame->AddD3DXMesh(platform::CreateBox(1, 1, 1));
    m->SetMaterialOverride(MaterialWithAlpha(alpha));
    return m;
}

} // namespace

TEST_F(FrameTest, RenderDrawsOpaqueThenTranslucentSkipsDisabledFramesAndCallsBack) {
    std::vector<std::string> log;
    CD3DFramePtr root = NewFrame();
    root->SetScale(2);
    root->SetPreRenderCallback(std::make_shared<CallLog>(&log, "root-pre"), 1);
    root->SetPostRenderCallback(std::make_shared<CallLog>(&log, "root-post"), 2);
    CD3DFramePtr a = CreateChildFrame(root);
    a->SetPosition({1, 0, 0});
    CD3DMeshPtr aMesh = Coloured(a, 1.0f);
    CD3DFramePtr aChild = CreateChildFrame(a);
    aChild->SetPosition({0, 1, 0});
    CD3DMeshPtr aChildMesh = Coloured(aChild, 0.5f);
    CD3DFramePtr hidden = CreateChildFrame(root);
    hidden->Enabled = false; // nothing of its subtree is drawn, no callback of it runs
    hidden->SetPreRenderCallback(std::make_shared<CallLog>(&log, "hidden-pre"), 3);
    Coloured(hidden, 1.0f);
    Coloured(CreateChildFrame(hidden), 0.5f);
    CD3DFramePtr b = CreateChildFrame(root);
    b->SetPosition({0, 0, 5});
    b->SetPostRenderCallback(std::make_shared<CallLog>(&log, "b-post"), 4);
    CD3DMeshPtr bMesh = Coloured(b, 1.0f);

    device().setTransform(platform::TransformType::World, platform::MatrixTranslation(100, 0, 0));
    root->Render(nullptr);
    // The opaque pass in tree order, then the translucent mesh with blending on. World = local x
    // parent's world: a's origin is (1, 0, 0) scaled by the root; b is not moved by its sibling's
    // transforms; the device's previous world is not used.
    ASSERT_EQ(draws().size(), 3u);
    const CD3DMeshPtr order[] = {aMesh, bMesh, aChildMesh};
    const Vector3 origins[] = {{2, 0, 0}, {0, 0, 10}, {2, 2, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(draws()[i].mesh, order[i]->mesh.get()) << i;
        EXPECT_EQ(draws()[i].alphaBlend, i == 2) << i;
        EXPECT_TRUE(Near(Apply(draws()[i].world, {0, 0, 0}), origins[i])) << i;
    }
    EXPECT_TRUE(Near(Apply(draws()[2].world, {1, 0, 0}), {4, 2, 0}));
    EXPECT_EQ(device().getRenderState(platform::rs::AlphaBlendEnable), 0u);
    EXPECT_EQ(device().getRenderState(platform::rs::SrcBlend), platform::rs::BlendSrcAlpha);
    EXPECT_EQ(device().getRenderState(platform::rs::DestBlend), platform::rs::BlendInvSrcAlpha);
    EXPECT_TRUE(Near(device().getTransform(platform::TransformType::World), Matrix::identity()));
    // Pre before the frame's meshes, post after its whole subtree (with the draws so far); once per pass.
    const std::vector<std::string> calls = {"root-pre:1@0", "b-post:4@2", "root-post:2@2",
                                            "root-pre:1@2", "b-post:4@3", "root-post:2@3"};
    EXPECT_EQ(log, calls);
    // A device without OpenGL draws no picture and never reports a lost device.
    EXPECT_TRUE(device().grabFramebuffer().isNull());
    EXPECT_EQ(device().testCooperativeLevel(), platform::D3D_OK);

    log.clear();
    g_device->clearRecords();
    root->Enabled = false;
    root->Render(g_device);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(draws().empty());
    g_device.reset();
    EXPECT_THROW(root->Render(nullptr), std::runtime_error); // no device
}
