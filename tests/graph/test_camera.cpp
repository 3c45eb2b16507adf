// The camera step with a controlled elapsed time, the turning of the graph, drags and reset.
#include "graph/Camera.h"

#include <Qt>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using ketra::Camera;
using ketra::CameraStep;
using platform::Matrix;
using platform::Vector3;
namespace vk = ketra::vk;

constexpr float kEps = 1e-5f;
constexpr float kPi = 3.1415f;

void expectVec(const Vector3& v, Vector3 e, float eps = kEps) {
    EXPECT_NEAR(v.x, e.x, eps);
    EXPECT_NEAR(v.y, e.y, eps);
    EXPECT_NEAR(v.z, e.z, eps);
}

// One key event or camera step of a script: key down (with its modifier mask) or up, or a frame
// `elapsed` seconds after the previous one.
struct Event {
    enum { Down, Up, Frame } kind;
    int value = 0; // the key, or the frame's elapsed time in milliseconds
    int shift = 0;
};
Event down(int key, int shift = 0) {
    return {Event::Down, key, shift};
}
Event up(int key) {
    return {Event::Up, key, 0};
}
Event frame(int ms) {
    return {Event::Frame, ms, 0};
}

// A script run on a camera whose matrix already carries its 1.25 scale (one frame has run): the
// velocity and position after it, and the rotations (axis, angle) and other steps of its last frame.
struct Script {
    const char* name;
    std::vector<Event> events;
    Vector3 velocity, position;
    std::vector<std::pair<Vector3, float>> rotations;
    std::vector<CameraStep::Kind> steps;
};

class KeyScript : public ::testing::TestWithParam<Script> {};

TEST_P(KeyScript, MovesAndTurns) {
    const Script& s = GetParam();
    Camera c;
    c.FrameMove(0, false);
    ketra::FrameMoveResult last;
    for (const Event& e : s.events) {
        if (e.kind == Event::Down)
            c.KeyDown(e.value, e.shift);
        else if (e.kind == Event::Up)
            c.KeyUp(e.value);
        else
            last = c.FrameMove(static_cast<float>(e.value) / 1000, false);
    }
    expectVec(c.m_velocity, s.velocity);
    expectVec(c.m_cameraPos, s.position);
    std::vector<CameraStep::Kind> kinds;
    std::size_t r = 0;
    for (const CameraStep& step : last.steps) {
        kinds.push_back(step.kind);
        if (step.kind != CameraStep::Kind::Rotate)
            continue;
        ASSERT_LT(r, s.rotations.size());
        expectVec(step.rotation.axis, s.rotations[r].first);
        EXPECT_NEAR(step.rotation.angle, s.rotations[r].second, kEps);
        EXPECT_EQ(step.rotation.combineMode, 0);
        ++r;
    }
    EXPECT_EQ(r, s.rotations.size());
    for (CameraStep::Kind k : s.steps)
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), k), kinds.end()) << static_cast<int>(k);
    EXPECT_EQ(kinds.size(), s.rotations.size() + s.steps.size());
    // The view is the inverse of the camera: the camera sits at the view's origin.
    expectVec(platform::Vec3TransformCoord(c.m_cameraPos, c.m_viewMatrix), {0, 0, 0}, 1e-4f);
}

// 0.1 s elapsed is a time step of 0.13 and a velocity step of 0.26; the camera moves by the
// velocity x 0.26 x the camera's scale of 1.25. X/Y/Z turn by 3.1415 / 5 x 0.13 while held.
const float a = kPi / 5 * 0.13f, d = 0.26f * 0.26f * 1.25f;
using K = CameraStep::Kind;
const Vector3 rest{0, 0, 0}, start{0, 0, -20}, X{1, 0, 0}, Y{0, 1, 0}, Z{0, 0, 1};
const float v2 = 0.26f * 1.9f; // the velocity after two frames of a held arrow
// clang-format off
INSTANTIATE_TEST_SUITE_P(Camera, KeyScript, ::testing::Values(
    Script{"RightHeldOneFrame", {down(vk::Right), frame(100)}, {-0.26f, 0, 0}, {-d, 0, -20}, {}, {}},
    Script{"ArrowsActWhileHeldAndTheVelocityDecays",
           {down(vk::Up), down(vk::Left), frame(100), frame(100), up(vk::Up), up(vk::Left), frame(100),
            down(vk::Down), down(vk::Right), frame(0)},
           {v2 * 0.81f, -v2 * 0.81f, 0}, {d * (2.9f + 1.9f * 0.9f), -d * (2.9f + 1.9f * 0.9f), -20}, {}, {}},
    Script{"WAndSActOncePerPress", {down(vk::W), frame(100), frame(100), down(vk::S), frame(100)},
           {0, 0, 0.26f * 0.81f - 0.26f}, {0, 0, -20 + d * 1.71f}, {}, {}},
    Script{"NegativeElapsedTimeCountsAsNone", {down(vk::Right), frame(-5000)}, rest, start, {}, {}},
    Script{"XYZTurnWhileHeldAnyModifierReverses", {down(vk::X), down(vk::Y), down(vk::Z, 4), frame(100), frame(100)},
           rest, start, {{X, a}, {Y, -a}, {Z, a}}, {}},
    Script{"ShiftIsTheMaskOfTheLastKeyDown", {down(vk::X, 1), down(vk::Y), frame(100)}, rest, start,
           {{X, -a}, {Y, a}}, {}},
    Script{"XYZWithoutShift", {down(vk::Z), down(vk::X), down(vk::Y), frame(100)}, rest, start,
           {{X, -a}, {Y, a}, {Z, -a}}, {}},
    Script{"FTogglesFolderSizes", {down(vk::F), frame(100)}, rest, start, {}, {K::ToggleFolderSizes}},
    Script{"FOnlyOncePerPress", {down(vk::F), frame(100), frame(100)}, rest, start, {}, {}},
    // A key pressed and let go between two frames acts in the next one, once.
    Script{"ATapBetweenFramesToggles", {down(vk::F), up(vk::F), frame(100)}, rest, start, {}, {K::ToggleFolderSizes}},
    Script{"ATapBetweenFramesTurns", {down(vk::X), up(vk::X), frame(100)}, rest, start, {{X, -a}}, {}},
    Script{"ATapBetweenFramesPushesOnce", {down(vk::Right), up(vk::Right), frame(100), frame(100)},
           {-0.26f * 0.9f, 0, 0}, {-d * 1.9f, 0, -20}, {}, {}},
    Script{"ATapBetweenFramesResets", {down(vk::Y), frame(100), up(vk::Y), down(vk::R), up(vk::R), frame(100)},
           rest, start, {}, {K::ResetScene}},
    Script{"ATapActsInTheNextFrameOnly", {down(vk::R), up(vk::R), frame(100), frame(100)}, rest, start, {}, {}},
    // Holding R keeps the start pose (the velocity is kept; the move after the reset goes through
    // the identity matrix); the reset comes before the Y turn.
    Script{"RResetsBeforeTurning",
           {down(vk::Left), frame(100), frame(100), up(vk::Left), down(vk::R), down(vk::Y), frame(100)},
           {v2 * 0.9f, 0, 0}, {v2 * 0.9f * 0.26f, 0, -20}, {{Y, a}}, {K::ResetScene}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(FrameMove, AutoRotationFollowsRealTimeAndPausesWhileDragging) {
    Camera c;
    c.m_autoRotate = true;
    auto angles = [&c](float elapsed, bool reference) {
        std::vector<float> out;
        for (const CameraStep& s : c.FrameMove(elapsed, reference).steps)
            out.push_back(s.rotation.angle);
        return out;
    };
    const std::vector<float> first = angles(1.0f, false);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NEAR(first[0], kPi / 40 * 1.3f, kEps); // about 0.102 rad per second
    // On the reference rasterizer every frame steps 0.05, but auto-rotation keeps real time.
    c.KeyDown(vk::Z, 0);
    const std::vector<float> reference = angles(1.0f, true);
    ASSERT_EQ(reference.size(), 2u);
    EXPECT_NEAR(reference[0], kPi / 40 * 1.3f, kEps);
    EXPECT_NEAR(reference[1], -kPi / 5 * 0.05f, kEps);
    c.KeyUp(vk::Z);
    c.MouseDown(0, 0);
    EXPECT_TRUE(angles(1.0f, false).empty());
    c.MouseUp();
    EXPECT_EQ(angles(1.0f, false).size(), 1u);
}

// The first move after start (or a reset) goes through the identity matrix, not yet scaled; the
// view looks at the graph 20 / 1.25 ahead. A reset puts the camera back but keeps the velocity.
TEST(Reset, TheFirstMoveIsNotScaledAndAResetKeepsTheVelocity) {
    Camera c;
    c.KeyDown(vk::Right, 0);
    const auto r = c.FrameMove(0.1f, false);
    expectVec(c.m_cameraPos, {-0.0676f, 0, -20});
    expectVec(platform::Vec3TransformCoord({0, 0, 0}, r.viewMatrix), {0.0676f / 1.25f, 0, 16});
    c.KeyUp(vk::Right);
    c.KeyDown(vk::Down, 0);
    c.FrameMove(0.5f, false);
    const Vector3 v = c.m_velocity;
    c.Reset();
    expectVec(c.m_cameraPos, {0, 0, -20});
    EXPECT_TRUE(platform::MatrixIsIdentity(c.m_cameraMatrix));
    expectVec(c.m_velocity, v);
}

TEST(DragRotate, AngleAndAxisOfAStroke) {
    Camera c;
    c.MouseDown(100, 100);
    EXPECT_FALSE(c.DragRotate(100, 100, Matrix::identity(), Matrix::identity())); // no length, no turn
    struct Stroke {
        int x, y;
        Vector3 axis;
        float angle;
    };
    // One pixel (15 twips) right: about 0.019 rad about the screen's vertical axis; 3 down and 4
    // right (x 100 twips): the axis is (-dy, -dx) / len, the angle len / sqrt(len^2 + 800^2).
    const Stroke strokes[] = {{115, 100, {0, -1, 0}, 15 / std::sqrt(15.0f * 15 + 640000)},
                              {515, 400, {-0.6f, -0.8f, 0}, 500 / std::sqrt(500.0f * 500 + 640000)},
                              {30515, 400, {0, -1, 0}, 30000 / std::sqrt(30000.0f * 30000 + 640000)}};
    for (const Stroke& s : strokes) {
        const auto r = c.DragRotate(s.x, s.y, Matrix::identity(), Matrix::identity());
        ASSERT_TRUE(r);
        expectVec(r->axis, s.axis);
        EXPECT_NEAR(r->angle, s.angle, 1e-6);
        EXPECT_EQ(c.m_lastX, s.x);
        EXPECT_EQ(c.m_lastY, s.y);
    }
    // The axis is given in the root frame's own space: back in world space it is the screen's.
    const Matrix root = platform::MatrixRotationZ(1.1f) * platform::MatrixRotationX(-0.4f);
    const auto r = c.DragRotate(30515, 600, platform::MatrixTranslation(3, -2, 16), root);
    ASSERT_TRUE(r);
    expectVec(platform::Vec3TransformNormal(r->axis, root), {-1, 0, 0});
}

TEST(Keys, QtKeysMapToTheCameraCodesAndOthersAreIgnored) {
    const std::pair<int, int> cases[] = {
        {Qt::Key_Left, vk::Left}, {Qt::Key_Up, vk::Up}, {Qt::Key_Right, vk::Right}, {Qt::Key_Down, vk::Down},
        {Qt::Key_Delete, 46},     {Qt::Key_W, vk::W},   {Qt::Key_S, vk::S},         {Qt::Key_X, vk::X},
        {Qt::Key_Z, vk::Z},       {Qt::Key_F, vk::F},   {Qt::Key_R, vk::R},         {Qt::Key_5, 53},
        {Qt::Key_Shift, -1},      {Qt::Key_F1, -1},     {Qt::Key_Escape, -1}};
    for (const auto& [qt, code] : cases)
        EXPECT_EQ(ketra::VirtualKeyFromQt(qt), code) << qt;
    Camera c;
    for (int key : {-1, 300})
        c.KeyDown(key, 1);
    c.KeyUp(1000);
    EXPECT_FALSE(c.keyHeld(300));
    EXPECT_EQ(c.m_shiftState, 0);
    c.KeyDown(256, 0);
    EXPECT_TRUE(c.keyHeld(256));
    c.KeyUp(256);
    EXPECT_FALSE(c.keyHeld(256));
}

} // namespace
