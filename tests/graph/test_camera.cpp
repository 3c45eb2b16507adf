// The camera step with a controlled elapsed time, the turning of the graph, drags and reset.
#include "graph/Camera.h"

#include <Qt>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using ketra::Camera;
using ketra::CameraStep;
using ketra::RootRotation;
using platform::Matrix;
using platform::Vector3;
namespace vk = ketra::vk;

constexpr float kEps = 1e-5f;

void expectVec(const Vector3& v, float x, float y, float z, float eps = kEps) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

std::vector<RootRotation> rotations(const ketra::FrameMoveResult& r) {
    std::vector<RootRotation> out;
    for (const CameraStep& s : r.steps)
        if (s.kind == CameraStep::Kind::Rotate)
            out.push_back(s.rotation);
    return out;
}

// A camera whose matrix already carries its 1.25 scale (one frame has run).
Camera runningCamera() {
    Camera c;
    c.FrameMove(0, false);
    return c;
}

TEST(FrameMove, HoldingRightForOneFrame) {
    Camera c = runningCamera();
    c.KeyDown(vk::Right, 0);
    const auto r = c.FrameMove(0.1f, false);
    EXPECT_NEAR(c.m_frameStep, 0.13f, kEps);
    expectVec(c.m_velocity, -0.26f, 0, 0);
    expectVec(c.m_cameraPos, -0.0845f, 0, -20); // -0.26 x 0.26 x 1.25
    EXPECT_TRUE(r.steps.empty());
    // The view is the inverse of the camera: the camera sits at the view's origin, and the
    // graph's centre lies 20 / 1.25 ahead.
    expectVec(platform::Vec3TransformCoord(c.m_cameraPos, r.viewMatrix), 0, 0, 0);
    expectVec(platform::Vec3TransformCoord({0, 0, 0}, r.viewMatrix), 0.0676f, 0, 16);
    EXPECT_EQ(std::memcmp(&r.viewMatrix, &c.m_viewMatrix, sizeof(Matrix)), 0);
}

TEST(FrameMove, FirstMoveAfterStartIsNotScaled) {
    Camera c; // camera matrix still the identity
    c.KeyDown(vk::Right, 0);
    c.FrameMove(0.1f, false);
    expectVec(c.m_cameraPos, -0.0676f, 0, -20);
}

TEST(FrameMove, ArrowsActWhileHeldAndVelocityDecays) {
    Camera c = runningCamera();
    c.KeyDown(vk::Up, 0);
    c.KeyDown(vk::Left, 0);
    c.FrameMove(0.1f, false);
    c.FrameMove(0.1f, false);
    expectVec(c.m_velocity, 0.26f * 0.9f + 0.26f, -(0.26f * 0.9f + 0.26f), 0);
    c.KeyUp(vk::Up);
    c.KeyUp(vk::Left);
    const Vector3 before = c.m_velocity;
    c.FrameMove(0.1f, false);
    expectVec(c.m_velocity, before.x * 0.9f, before.y * 0.9f, 0);
    c.KeyDown(vk::Down, 0);
    c.KeyDown(vk::Right, 0);
    c.FrameMove(0, false); // no time passed: only the damping
    expectVec(c.m_velocity, before.x * 0.81f, before.y * 0.81f, 0);
}

TEST(FrameMove, WAndSActOncePerPress) {
    Camera c = runningCamera();
    c.KeyDown(vk::W, 0);
    c.FrameMove(0.1f, false);
    EXPECT_NEAR(c.m_velocity.z, 0.26f, kEps);
    EXPECT_FALSE(c.keyHeld(vk::W));
    const float z0 = c.m_cameraPos.z;
    EXPECT_NEAR(z0, -20 + 0.26f * 0.26f * 1.25f, kEps);
    c.FrameMove(0.1f, false); // still held down, but no new key-down: it only glides
    EXPECT_NEAR(c.m_velocity.z, 0.26f * 0.9f, kEps);
    EXPECT_GT(c.m_cameraPos.z, z0);
    c.KeyDown(vk::S, 0); // auto-repeat of S: one step back per key-down
    c.FrameMove(0.1f, false);
    EXPECT_NEAR(c.m_velocity.z, 0.26f * 0.81f - 0.26f, kEps);
    EXPECT_FALSE(c.keyHeld(vk::S));
}

TEST(FrameMove, RotationSigns) {
    struct Case {
        int key;
        int shift;
        Vector3 axis;
        float sign;
    };
    const float a = 3.1415f / 5 * 0.13f;
    for (const Case& k :
         {Case{vk::X, 0, {1, 0, 0}, -1}, Case{vk::X, 1, {1, 0, 0}, 1}, Case{vk::X, 2, {1, 0, 0}, 1},
          Case{vk::Y, 0, {0, 1, 0}, 1}, Case{vk::Y, 1, {0, 1, 0}, -1}, Case{vk::Z, 0, {0, 0, 1}, -1},
          Case{vk::Z, 4, {0, 0, 1}, 1}}) {
        Camera c = runningCamera();
        c.KeyDown(k.key, k.shift);
        for (int frame = 0; frame < 2; ++frame) { // keeps turning while held
            const auto rs = rotations(c.FrameMove(0.1f, false));
            ASSERT_EQ(rs.size(), 1u) << k.key;
            expectVec(rs[0].axis, k.axis.x, k.axis.y, k.axis.z);
            EXPECT_NEAR(rs[0].angle, k.sign * a, kEps) << k.key << " shift " << k.shift;
            EXPECT_EQ(rs[0].combineMode, 0);
        }
    }
}

TEST(FrameMove, ShiftIsTheMaskOfTheLastKeyDown) {
    Camera c = runningCamera();
    c.KeyDown(vk::X, 1); // Shift+X
    c.KeyDown(vk::Y, 0); // then Y without Shift: X turns the other way now
    const auto rs = rotations(c.FrameMove(0.1f, false));
    ASSERT_EQ(rs.size(), 2u);
    EXPECT_LT(rs[0].angle, 0); // X without Shift
    EXPECT_GT(rs[1].angle, 0); // Y without Shift
}

TEST(FrameMove, AutoRotationFollowsRealTimeAndPausesWhileDragging) {
    Camera c = runningCamera();
    c.m_autoRotate = true;
    auto rs = rotations(c.FrameMove(1.0f, false));
    ASSERT_EQ(rs.size(), 1u);
    expectVec(rs[0].axis, 0, 1, 0);
    EXPECT_NEAR(rs[0].angle, 3.1415f / 40 * 1.3f, kEps); // about 0.102 rad per second

    // On the reference rasterizer every frame steps 0.05, but auto-rotation keeps real time.
    c.KeyDown(vk::Z, 0);
    rs = rotations(c.FrameMove(1.0f, true));
    ASSERT_EQ(rs.size(), 2u);
    EXPECT_NEAR(rs[0].angle, 3.1415f / 40 * 1.3f, kEps);
    EXPECT_NEAR(rs[1].angle, -3.1415f / 5 * 0.05f, kEps);
    EXPECT_EQ(c.m_frameStep, 0.05f);

    c.KeyUp(vk::Z);
    c.MouseDown(0, 0);
    EXPECT_TRUE(rotations(c.FrameMove(1.0f, false)).empty());
    c.MouseUp();
    EXPECT_EQ(rotations(c.FrameMove(1.0f, false)).size(), 1u);
}

TEST(FrameMove, NegativeElapsedTimeCountsAsNone) {
    Camera c = runningCamera();
    c.KeyDown(vk::Right, 0);
    c.FrameMove(-5.0f, false);
    expectVec(c.m_velocity, 0, 0, 0);
    expectVec(c.m_cameraPos, 0, 0, -20);
}

TEST(FrameMove, FTogglesFolderSizesOncePerPress) {
    Camera c = runningCamera();
    c.KeyDown(vk::F, 0);
    auto r = c.FrameMove(0.1f, false);
    ASSERT_EQ(r.steps.size(), 1u);
    EXPECT_EQ(r.steps[0].kind, CameraStep::Kind::ToggleFolderSizes);
    EXPECT_TRUE(c.FrameMove(0.1f, false).steps.empty());
}

TEST(Reset, HoldingRKeepsTheStartPose) {
    Camera c = runningCamera();
    c.KeyDown(vk::Left, 0);
    for (int i = 0; i < 5; ++i)
        c.FrameMove(0.1f, false);
    c.KeyUp(vk::Left);
    c.KeyDown(vk::R, 0);
    c.KeyDown(vk::Y, 0);
    const Vector3 v = c.m_velocity;
    auto r = c.FrameMove(0.1f, false);
    // The scene reset comes before the Y turn, so the turn starts from the start pose.
    ASSERT_EQ(r.steps.size(), 2u);
    EXPECT_EQ(r.steps[0].kind, CameraStep::Kind::ResetScene);
    EXPECT_EQ(r.steps[1].kind, CameraStep::Kind::Rotate);
    // The velocity is not cleared; the move after the reset goes through the identity matrix.
    expectVec(c.m_velocity, v.x * 0.9f, 0, 0);
    expectVec(c.m_cameraPos, v.x * 0.9f * 0.26f, 0, -20);
    EXPECT_TRUE(c.keyHeld(vk::R));
    r = c.FrameMove(0.1f, false);
    EXPECT_EQ(r.steps[0].kind, CameraStep::Kind::ResetScene); // repeats while held
}

TEST(Reset, PutsTheCameraBackButKeepsTheVelocity) {
    Camera c = runningCamera();
    c.KeyDown(vk::Down, 0);
    c.FrameMove(0.5f, false);
    c.FrameMove(0.5f, false);
    const Vector3 v = c.m_velocity;
    c.Reset();
    expectVec(c.m_cameraPos, 0, 0, -20);
    EXPECT_TRUE(platform::MatrixIsIdentity(c.m_cameraMatrix));
    expectVec(c.m_velocity, v.x, v.y, v.z);

    const RootRotation tilt = Camera::StartTilt();
    expectVec(tilt.axis, 1, -1, 0);
    EXPECT_EQ(tilt.angle, 12566.0f);
    EXPECT_EQ(tilt.combineMode, 0);
}

TEST(DragRotate, ZeroLengthChangesNothing) {
    Camera c;
    c.MouseDown(300, 450);
    EXPECT_FALSE(c.DragRotate(300, 450, Matrix::identity(), Matrix::identity()));
    EXPECT_EQ(c.m_lastX, 300);
    EXPECT_EQ(c.m_lastY, 450);
}

TEST(DragRotate, AngleAndAxisOfAStroke) {
    Camera c;
    c.MouseDown(100, 100);
    // One pixel (15 twips) to the right: about 0.019 rad about the screen's vertical axis.
    auto r = c.DragRotate(115, 100, Matrix::identity(), Matrix::identity());
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->angle, 15 / std::sqrt(15.0f * 15 + 640000), 1e-7);
    expectVec(r->axis, 0, -1, 0);
    EXPECT_EQ(c.m_lastX, 115);
    // 3 down and 4 right (x 100 twips): the axis is (-dy, -dx) / len, the angle 500 / sqrt(500^2 + 800^2).
    r = c.DragRotate(515, 400, Matrix::identity(), Matrix::identity());
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->angle, 500 / std::sqrt(500.0f * 500 + 640000), 1e-6);
    expectVec(r->axis, -0.6f, -0.8f, 0);
    // Very long strokes approach one radian.
    r = c.DragRotate(515 + 30000, 400, Matrix::identity(), Matrix::identity());
    EXPECT_GT(r->angle, 0.99f);
    EXPECT_LT(r->angle, 1.0f);
}

TEST(DragRotate, AxisIsTakenIntoTheRootFramesSpace) {
    Camera c;
    c.MouseDown(0, 0);
    const Matrix view = platform::MatrixTranslation(3, -2, 16); // translation drops out
    const Matrix root = platform::MatrixRotationZ(1.1f) * platform::MatrixRotationX(-0.4f);
    const auto r = c.DragRotate(0, 200, view, root);
    ASSERT_TRUE(r);
    // Back in world space the local axis is the screen axis (-1, 0, 0).
    const Vector3 world = platform::Vec3TransformNormal(r->axis, root);
    expectVec(world, -1, 0, 0, 1e-5f);
}

TEST(Keys, QtKeysMapToTheCameraCodes) {
    const std::pair<int, int> cases[] = {
        {Qt::Key_Left, vk::Left}, {Qt::Key_Up, vk::Up}, {Qt::Key_Right, vk::Right}, {Qt::Key_Down, vk::Down},
        {Qt::Key_Delete, 46},     {Qt::Key_W, vk::W},   {Qt::Key_S, vk::S},         {Qt::Key_X, vk::X},
        {Qt::Key_Z, vk::Z},       {Qt::Key_F, vk::F},   {Qt::Key_R, vk::R},         {Qt::Key_5, 53},
        {Qt::Key_Shift, -1},      {Qt::Key_F1, -1},     {Qt::Key_Escape, -1}};
    for (const auto& [qt, code] : cases)
        EXPECT_EQ(ketra::VirtualKeyFromQt(qt), code) << qt;
    // An unmapped key reaches the camera as -1, which it ignores.
    Camera c;
    c.KeyDown(ketra::VirtualKeyFromQt(Qt::Key_Shift), 1);
    EXPECT_EQ(c.m_shiftState, 0);
}

TEST(Keys, OutsideTheKeyTableAreIgnored) {
    Camera c;
    c.KeyDown(300, 1);
    c.KeyDown(-1, 1);
    c.KeyUp(1000);
    EXPECT_FALSE(c.keyHeld(300));
    EXPECT_EQ(c.m_shiftState, 0);
    c.KeyDown(256, 0);
    EXPECT_TRUE(c.keyHeld(256));
    c.KeyUp(256);
    EXPECT_FALSE(c.keyHeld(256));
}

} // namespace
