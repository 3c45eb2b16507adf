// Maths against values worked out by hand with the Direct3D conventions: row vectors (p x M, so in
// A x B A acts first), left-handed frames, clip depth 0..1, pixel rows running downwards. Products
// and the frame's scale-rotate-translate matrix are tested with the frames that use them.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

using namespace platform;
using meshchecks::Near;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

Matrix rows(std::array<float, 16> v) {
    Matrix m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = v[static_cast<std::size_t>(i)];
    return m;
}

} // namespace

TEST(Math, RotationsTurnPointsTheDirect3DWay) {
    struct Case {
        const char* name;
        Vector3 axis;
        float angle;
        Vector3 point, expected;
    } cases[] = {
        {"X quarter: +Y to +Z", {1, 0, 0}, kPi / 2, {0, 1, 0}, {0, 0, 1}},
        {"Y quarter: +Z to +X", {0, 1, 0}, kPi / 2, {0, 0, 1}, {1, 0, 0}},
        {"Z quarter: +X to +Y", {0, 0, 1}, kPi / 2, {1, 0, 0}, {0, 1, 0}},
        {"Y negative quarter: +X to +Z", {0, 1, 0}, -kPi / 2, {1, 0, 0}, {0, 0, 1}},
        {"(1,1,1) third turn: +X to +Y", {1, 1, 1}, 2 * kPi / 3, {1, 0, 0}, {0, 1, 0}},
        {"(0,1,1) half turn stands Z up along Y", {0, 1, 1}, kPi, {0, 0, 1}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Matrix m = MatrixRotationAxis(c.axis, c.angle);
        EXPECT_TRUE(Near(Vec3TransformCoord(c.point, m), c.expected));
        EXPECT_TRUE(Near(MatrixRotationQuaternion(QuaternionRotationAxis(c.axis, c.angle)), m));
    }
    EXPECT_TRUE(Near(Vec3TransformCoord({0, 1, 0}, MatrixRotationX(kPi / 2)), {0, 0, 1}));
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 0, 0}, MatrixRotationZ(kPi / 2)), {0, 1, 0}));
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    const Matrix y = rows({c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
    EXPECT_TRUE(Near(MatrixRotationY(0.3f), y));
    EXPECT_TRUE(Near(MatrixRotationAxis({0, 2, 0}, 0.3f), y)); // the axis is normalised
    EXPECT_TRUE(Near(Vec3Normalize({0, 0, 0}), {0, 0, 0}));    // no NaNs from a zero vector
}

TEST(Math, LookAtPutsTheEyeAtTheOriginAndPerspectiveMapsNearToZeroAndFarToOne) {
    struct Case {
        const char* name;
        Vector3 eye, point, expected; // looking at the origin, up +Y
    } cases[] = {
        {"default camera", {0, 0, -20}, {0, 0, 0}, {0, 0, 20}},
        {"default camera, point right and up", {0, 0, -20}, {3, 4, 1}, {3, 4, 21}},
        // From +X towards the origin: forward is -X, right (up x forward) is +Z.
        {"from +X: origin ahead", {10, 0, 0}, {0, 0, 0}, {0, 0, 10}},
        {"from +X: +Z is to the right", {10, 0, 0}, {0, 0, 1}, {1, 0, 10}},
        {"from +X: beside the eye", {10, 0, 0}, {10, 2, 5}, {5, 2, 0}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Near(Vec3TransformCoord(c.point, MatrixLookAtLH(c.eye, {}, {0, 1, 0})), c.expected))
            << c.name;
    EXPECT_TRUE(Near(MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}), MatrixTranslation(0, 0, 20)));

    // fov 90 degrees: y scale = cot(45) = 1, x scale = 1 / aspect.
    const Matrix p = MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 11.0f);
    EXPECT_TRUE(Near(p, rows({0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.1f, 1, 0, 0, -1.1f, 0})));
    EXPECT_TRUE(Near(Vec3TransformCoord({0, 0, 11}, p), {0, 0, 1}));
    EXPECT_TRUE(Near(Vec3TransformCoord({4, 2, 2}, p), {1, 1, 0.55f}));
}

TEST(Math, ProjectGoesToPixelsWithRowsDownwardsAndUnprojectComesBack) {
    const Viewport vp{10, 20, 200, 100, 0, 1};
    const Matrix projection = MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 11.0f), identity = MatrixIdentity();
    EXPECT_TRUE(Near(Vec3Project({0, 0, 1}, vp, projection, identity, identity), {110, 70, 0}));
    EXPECT_TRUE(Near(Vec3Project({2, 1, 1}, vp, projection, identity, identity), {210, 20, 0}));
    EXPECT_TRUE(Near(Vec3Project({-2, -1, 1}, vp, projection, identity, identity), {10, 120, 0}));
    EXPECT_TRUE(Near(Vec3Project({0, 0, 11}, {0, 0, 200, 100, 0.5f, 1}, projection, identity, identity),
                     {100, 50, 1}));

    // Round trips through a full camera set-up; the pick ray's ends project back onto their pixel.
    const Matrix view = MatrixLookAtLH({3, 4, -20}, {0, 1, 0}, {0, 1, 0});
    const Matrix world = MatrixRotationAxis({1, -1, 0}, 0.7f) * MatrixTranslation(1, 2, 3);
    const Matrix proj = MatrixPerspectiveFovLH(3.1415f / 4, 800.0f / 600.0f, 1.0f, 3000.0f);
    const Viewport window{0, 0, 800, 600, 0, 1};
    for (const Vector3 p : {Vector3{0, 0, 0}, Vector3{1, -2, 0.5f}, Vector3{-3, 2, 4}})
        EXPECT_TRUE(Near(Vec3Unproject(Vec3Project(p, window, proj, view, world), window, proj, view, world),
                         p, 2e-3f));
    for (float depth : {0.0f, 1.0f}) {
        const Vector3 q = Vec3Unproject({123, 456, depth}, window, proj, view, world);
        EXPECT_TRUE(Near(Vec3Project(q, window, proj, view, world), {123, 456, depth}, 1e-2f));
    }
}

TEST(Math, InverseUndoesAndReportsSingularMatrices) {
    const Vector3 centre{1, 2, 3}, translation{-4, 5, 6};
    const Quaternion q = QuaternionRotationAxis({1, 2, 3}, 0.9f);
    const Matrix m = MatrixAffineTransformation(1.25f, &centre, &q, &translation);
    const auto inverse = MatrixInverse(m);
    ASSERT_TRUE(inverse.has_value());
    EXPECT_TRUE(Near(m * *inverse, MatrixIdentity()));
    EXPECT_TRUE(Near(Vec3TransformCoord(Vec3TransformCoord({7, 8, 9}, m), *inverse), {7, 8, 9}, 1e-4f));
    EXPECT_FALSE(MatrixInverse(MatrixScaling(1, 0, 1)).has_value());
    EXPECT_FALSE(MatrixInverse(Matrix{}).has_value());
}
