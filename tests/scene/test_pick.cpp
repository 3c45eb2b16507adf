// Picking: viewport picks through the device's camera, ray picks, records and their order.
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene_fixture.h"

#include <stdexcept>

using platform::Matrix;
using platform::Vector3;

namespace {

// The default camera: eye at (0, 0, -20) looking at the origin, near plane 1, far plane 3000;
// the centre of the 640 x 480 viewport looks along +Z. The near plane is at z = -19, the far
// plane at z = 2980.
constexpr float kCentreX = 320.0f, kCentreY = 240.0f;

class PickTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        device().setViewport({0, 0, 640, 480, 0.0f, 1.0f});
        device().setTransform(platform::TransformType::View,
                              platform::MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
        device().setTransform(platform::TransformType::Projection,
                              platform::MatrixPerspectiveFovLH(3.1415f / 4, 640.0f / 480.0f, 1.0f, 3000.0f));
        root = CreateChildFrame(nullptr);
    }

    // A frame holding a unit box, at `position` under `parent`.
    CD3DFramePtr Bar(const CD3DFramePtr& parent, const Vector3& position) {
        CD3DFramePtr f = CreateChildFrame(parent);
        f->SetPosition(position);
        f->AddD3DXMesh(platform::CreateBox(1, 1, 1));
        return f;
    }

    // Pixel of a world point through the device's camera.
    Vector3 PixelOf(const Vector3& world) {
        return platform::Vec3Project(
            world, device().getViewport(), device().getTransform(platform::TransformType::Projection),
            device().getTransform(platform::TransformType::View), Matrix::identity());
    }

    // Distance of record i: the fraction of the way from the near to the far plane of a viewport
    // pick, the ray parameter of a ray pick.
    float Distance(int i) {
        float u, v, dist;
        std::int32_t face;
        pick.GetRecord(i, u, v, dist, face);
        return dist;
    }
    static float FractionAt(float z) { return (z + 19.0f) / 2999.0f; }

    CD3DFramePtr root;
    CD3DPick pick;
};

} // namespace

TEST_F(PickTest, OverlappingBarsGiveTwoRecordsAndTheNearestIsInFront) {
    CD3DFramePtr behind = Bar(root, {0, 0, 5});
    CD3DFramePtr front = Bar(root, {0, 0, 0});
    EXPECT_FALSE(pick.ViewportPick(root, kCentreX, kCentreY)); // the root itself holds no mesh
    ASSERT_EQ(pick.GetCount(), 2);
    EXPECT_EQ(pick.GetFrame(0), behind);
    EXPECT_EQ(pick.GetFrame(1), front);
    EXPECT_EQ(pick.GetMesh(1), front->GetChildMesh(0));
    EXPECT_EQ(pick.FindNearest(), 1);
    EXPECT_EQ(pick.FindFurthest(), 0);
    float u, v, dist;
    std::int32_t face;
    pick.GetRecord(1, u, v, dist, face);
    EXPECT_NEAR(dist, FractionAt(-0.5f), 1e-6f);
    EXPECT_TRUE(face >= 10 && face <= 11) << face; // the -Z side
    EXPECT_TRUE(u >= 0 && v >= 0 && u + v <= 1) << u << ", " << v;
    EXPECT_NEAR(Distance(0), FractionAt(4.5f), 1e-6f);

    // The next pick starts afresh; a frame with a mesh slot says true even without a hit.
    EXPECT_TRUE(pick.ViewportPick(front, 5, 5));
    EXPECT_EQ(pick.GetCount(), 0);
    EXPECT_EQ(pick.FindNearest(), -1);
    EXPECT_EQ(pick.FindFurthest(), -1);
    EXPECT_THROW(pick.GetFrame(0), std::out_of_range);
}

TEST_F(PickTest, PicksFollowTheFrameTransformsAndSkipDisabledSubtrees) {
    CD3DFramePtr group = CreateChildFrame(root);
    group->SetPosition({0, 0, 10});
    group->SetScale(3); // the group's children sit three times as far apart, at three times the size
    CD3DFramePtr bar = Bar(group, {2, 0, 0});
    const Vector3 at = PixelOf({6, 0, 10}); // the bar's centre in the world
    pick.ViewportPick(root, at.x, at.y);
    ASSERT_EQ(pick.GetCount(), 1);
    EXPECT_EQ(pick.GetFrame(0), bar);
    EXPECT_NEAR(Distance(0), FractionAt(8.5f), 2e-6f); // 3 deep in the world: the front at z = 8.5
    // Where the bar would be without its parents there is nothing.
    const Vector3 untransformed = PixelOf({2, 0, 0});
    pick.ViewportPick(root, untransformed.x, untransformed.y);
    EXPECT_EQ(pick.GetCount(), 0);

    // A bar long along the ray is hit front and back, and recorded once, at its front.
    CD3DFramePtr longBar = Bar(root, {0, 0, 0});
    longBar->AddScale(COMBINE_PREMULTIPLY, 1, 1, 20);
    CD3DFramePtr hidden = Bar(group, {0, 0, 0}); // at (0, 0, 10), behind the long bar
    group->Enabled = false;
    pick.ViewportPick(root, kCentreX, kCentreY);
    ASSERT_EQ(pick.GetCount(), 1);
    EXPECT_EQ(pick.GetFrame(0), longBar);
    EXPECT_NEAR(Distance(0), FractionAt(-10.0f), 1e-6f);
    root->Enabled = false;
    EXPECT_FALSE(pick.ViewportPick(root, kCentreX, kCentreY));
    EXPECT_EQ(pick.GetCount(), 0);
    EXPECT_FALSE(pick.ViewportPick(nullptr, kCentreX, kCentreY));
}

TEST_F(PickTest, TheExFormsAppendAndRayPicksWorkInEachFramesSpace) {
    CD3DFramePtr bar = Bar(root, {0, 0, 0});
    bar->SetScale(2); // its front face at z = -1
    Bar(root, {0, 0, 2});
    const platform::Viewport vp = device().getViewport();
    const Matrix view = device().getTransform(platform::TransformType::View);
    const Matrix projection = device().getTransform(platform::TransformType::Projection);
    for (int i = 0; i < 2; ++i)
        pick.ViewportPickEx(root, vp, projection, view, Matrix::identity(), kCentreX, kCentreY);
    ASSERT_EQ(pick.GetCount(), 4);
    EXPECT_EQ(pick.FindNearest(), 0); // of equal distances the first one wins either way
    EXPECT_EQ(pick.FindFurthest(), 1);
    EXPECT_THROW(pick.GetMesh(4), std::out_of_range);
    EXPECT_THROW(pick.GetMesh(-1), std::out_of_range);
    pick.Destroy();
    pick.ViewportPickEx(root, vp, projection, view, platform::MatrixTranslation(0, 0, 1), kCentreX, kCentreY);
    ASSERT_EQ(pick.GetCount(), 2);
    EXPECT_NEAR(Distance(0), FractionAt(0), 1e-6f); // the given world matrix moved everything by 1

    // A ray pick starts from the device's world transform. In the scaled bar's space the ray
    // starts at (0, 0, -7) with direction (0, 0, 0.5); its front face is at z = -0.5, so the ray
    // parameter is 13.
    device().setTransform(platform::TransformType::World, platform::MatrixTranslation(0, 0, 4));
    const Vector3 origin{0, 0, -10}, direction{0, 0, 1};
    EXPECT_FALSE(pick.RayPick(root, origin, direction));
    ASSERT_EQ(pick.GetCount(), 2);
    EXPECT_NEAR(Distance(0), 13.0f, 1e-4f);
    EXPECT_FALSE(pick.RayPick(root, {5, 5, -10}, direction));
    EXPECT_EQ(pick.GetCount(), 0);
    EXPECT_TRUE(pick.RayPickEx(bar, Matrix::identity(), origin, direction));
    EXPECT_NEAR(Distance(0), 9.0f, 1e-4f);

    g_device.reset();
    EXPECT_THROW(pick.ViewportPick(root, 1, 1), std::runtime_error);
    EXPECT_THROW(pick.RayPick(root, {}, {0, 0, 1}), std::runtime_error);
}
