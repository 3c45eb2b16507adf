// Maths against values worked out by hand with the Direct3D conventions: row vectors (p x M, so in
// A x B A acts first), left-handed frames, clip depth 0..1, pixel rows running downwards.
#include "platform/Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace platform;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kTol = 1e-5f;

void expectNear(const Vector3& actual, const Vector3& expected, float tol = kTol) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

void expectNear(const Matrix& actual, const float (&expected)[4][4], float tol = kTol) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected[r][c], tol) << "row " << r << " column " << c;
}

void expectNear(const Matrix& actual, const Matrix& expected, float tol = kTol) {
    expectNear(actual, expected.m, tol);
}

} // namespace

TEST(Math, RotationYHasTheLeftHandedLayout) {
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    const float expected[4][4] = {{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}};
    expectNear(MatrixRotationY(0.3f), expected);
    expectNear(MatrixRotationAxis({0, 2, 0}, 0.3f), expected); // the axis is normalised
}

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
        expectNear(Vec3TransformCoord(c.point, MatrixRotationAxis(c.axis, c.angle)), c.expected);
        const Quaternion q = QuaternionRotationAxis(c.axis, c.angle);
        expectNear(MatrixRotationQuaternion(q), MatrixRotationAxis(c.axis, c.angle));
    }
    expectNear(Vec3TransformCoord({0, 1, 0}, MatrixRotationX(kPi / 2)), {0, 0, 1});
    expectNear(Vec3TransformCoord({1, 0, 0}, MatrixRotationZ(kPi / 2)), {0, 1, 0});
}

TEST(Math, QuaternionRotationAxisHalvesTheAngle) {
    const Quaternion q = QuaternionRotationAxis({0, 3, 0}, kPi / 2);
    EXPECT_NEAR(q.x, 0, kTol);
    EXPECT_NEAR(q.y, std::sqrt(0.5f), kTol);
    EXPECT_NEAR(q.z, 0, kTol);
    EXPECT_NEAR(q.w, std::sqrt(0.5f), kTol);
}

TEST(Math, MultiplyAppliesTheLeftMatrixFirst) {
    const Matrix translate = MatrixTranslation(1, 0, 0), scale = MatrixScaling(2, 2, 2);
    expectNear(Vec3TransformCoord({0, 0, 0}, translate * scale), {2, 0, 0});
    expectNear(Vec3TransformCoord({0, 0, 0}, MatrixMultiply(scale, translate)), {1, 0, 0});
    const float expected[4][4] = {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {2, 0, 0, 1}};
    expectNear(translate * scale, expected);
}

TEST(Math, AffineTransformationScalesThenRotatesAboutTheCentreThenTranslates) {
    const Vector3 centre{1, 0, 0}, translation{0, 0, 5};
    const Quaternion quarterZ = QuaternionRotationAxis({0, 0, 1}, kPi / 2);
    const Matrix m = MatrixAffineTransformation(2, &centre, &quarterZ, &translation);
    struct Case {
        Vector3 point, expected;
    } cases[] = {
        // p -> 2p -> minus centre -> quarter turn about Z -> plus centre -> plus translation
        {{1, 0, 0}, {1, 1, 5}},
        {{0, 0, 0}, {1, -1, 5}},
        {{0, 1, 0}, {-1, -1, 5}},
        {{0, 0, 1}, {1, -1, 7}},
    };
    for (const Case& c : cases)
        expectNear(Vec3TransformCoord(c.point, m), c.expected);

    // The camera matrix: scaling 1.25, no rotation, moved to the eye.
    const Vector3 eye{0, 0, -20};
    const Quaternion none = QuaternionIdentity();
    const Vector3 origin{};
    expectNear(Vec3TransformCoord({1, 0, 0}, MatrixAffineTransformation(1.25f, &origin, &none, &eye)),
               {1.25f, 0, -20});
    expectNear(MatrixAffineTransformation(3, nullptr, nullptr, nullptr), MatrixScaling(3, 3, 3));
    expectNear(MatrixAffineTransformation(1, nullptr, &quarterZ, nullptr), MatrixRotationZ(kPi / 2));
}

TEST(Math, LookAtLHPutsTheEyeAtTheOriginLookingDownPlusZ) {
    struct Case {
        const char* name;
        Vector3 eye, at, up, point, expected;
    } cases[] = {
        {"default camera", {0, 0, -20}, {0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 20}},
        {"default camera, point right and up", {0, 0, -20}, {0, 0, 0}, {0, 1, 0}, {3, 4, 1}, {3, 4, 21}},
        // From +X towards the origin: forward is -X, right (up x forward) is +Z.
        {"from +X: origin ahead", {10, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 10}},
        {"from +X: +Z is to the right", {10, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 10}},
        {"from +X: beside the eye", {10, 0, 0}, {0, 0, 0}, {0, 1, 0}, {10, 2, 5}, {5, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectNear(Vec3TransformCoord(c.point, MatrixLookAtLH(c.eye, c.at, c.up)), c.expected);
    }
    const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 20, 1}};
    expectNear(MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}), expected);
}

TEST(Math, PerspectiveFovLHMapsNearToDepthZeroAndFarToOne) {
    // fov 90 degrees: y scale = cot(45) = 1, x scale = 1 / aspect.
    const Matrix p = MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 11.0f);
    const float expected[4][4] = {{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.1f, 1}, {0, 0, -1.1f, 0}};
    expectNear(p, expected);
    expectNear(Vec3TransformCoord({0, 0, 1}, p), {0, 0, 0});
    expectNear(Vec3TransformCoord({0, 0, 11}, p), {0, 0, 1});
    expectNear(Vec3TransformCoord({2, 1, 1}, p), {1, 1, 0});
    expectNear(Vec3TransformCoord({4, 2, 2}, p), {1, 1, 0.55f});
}

TEST(Math, ProjectGoesToPixelsWithRowsDownwardsAndUnprojectComesBack) {
    const Viewport vp{10, 20, 200, 100, 0, 1};
    const Matrix projection = MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 11.0f);
    const Matrix identity = MatrixIdentity();
    expectNear(Vec3Project({0, 0, 1}, vp, projection, identity, identity), {110, 70, 0});
    expectNear(Vec3Project({2, 1, 1}, vp, projection, identity, identity), {210, 20, 0});
    expectNear(Vec3Project({-2, -1, 1}, vp, projection, identity, identity), {10, 120, 0});
    const Viewport depthRange{0, 0, 200, 100, 0.5f, 1};
    expectNear(Vec3Project({0, 0, 11}, depthRange, projection, identity, identity), {100, 50, 1});

    // Round trips through a full camera set-up.
    const Matrix view = MatrixLookAtLH({3, 4, -20}, {0, 1, 0}, {0, 1, 0});
    const Matrix world = MatrixRotationAxis({1, -1, 0}, 0.7f) * MatrixTranslation(1, 2, 3);
    const Matrix proj = MatrixPerspectiveFovLH(3.1415f / 4, 800.0f / 600.0f, 1.0f, 3000.0f);
    const Viewport window{0, 0, 800, 600, 0, 1};
    for (const Vector3 p : {Vector3{0, 0, 0}, Vector3{1, -2, 0.5f}, Vector3{-3, 2, 4}}) {
        const Vector3 screen = Vec3Project(p, window, proj, view, world);
        expectNear(Vec3Unproject(screen, window, proj, view, world), p, 2e-3f);
    }
    // The pick ray through a pixel: the near and far points project back onto that pixel.
    for (float depth : {0.0f, 1.0f}) {
        const Vector3 q = Vec3Unproject({123, 456, depth}, window, proj, view, world);
        expectNear(Vec3Project(q, window, proj, view, world), {123, 456, depth}, 1e-2f);
    }
}

TEST(Math, InverseUndoesAndReportsSingularMatrices) {
    const Vector3 centre{1, 2, 3}, translation{-4, 5, 6};
    const Quaternion q = QuaternionRotationAxis({1, 2, 3}, 0.9f);
    const Matrix m = MatrixAffineTransformation(1.25f, &centre, &q, &translation);
    float det = 0;
    const auto inverse = MatrixInverse(m, &det);
    ASSERT_TRUE(inverse.has_value());
    EXPECT_NEAR(det, 1.25f * 1.25f * 1.25f, 1e-4f);
    expectNear(m * *inverse, MatrixIdentity());
    expectNear(Vec3TransformCoord(Vec3TransformCoord({7, 8, 9}, m), *inverse), {7, 8, 9}, 1e-4f);

    MatrixInverse(MatrixScaling(2, 3, 4), &det);
    EXPECT_FLOAT_EQ(det, 24.0f);
    EXPECT_FALSE(MatrixInverse(MatrixScaling(1, 0, 1)).has_value());
    EXPECT_FALSE(MatrixInverse(Matrix{}).has_value());
}

TEST(Math, TransformNormalIgnoresTranslationAndCoordDividesByW) {
    const Matrix m = MatrixScaling(2, 2, 2) * MatrixTranslation(5, 6, 7);
    expectNear(Vec3TransformNormal({1, 0, 0}, m), {2, 0, 0});
    expectNear(Vec3TransformCoord({1, 0, 0}, m), {7, 6, 7});
    Matrix w = MatrixIdentity();
    w.m[3][3] = 2; // w = 2 for every point
    expectNear(Vec3TransformCoord({4, 6, 8}, w), {2, 3, 4});
    expectNear(Vec3Normalize({0, 0, 0}), {0, 0, 0}); // no NaNs from a zero vector
}

TEST(Math, SlerpFollowsTheShorterArc) {
    const Quaternion a = QuaternionIdentity();
    const Quaternion b = QuaternionRotationAxis({0, 0, 1}, kPi / 2);
    const Quaternion half = QuaternionRotationAxis({0, 0, 1}, kPi / 4);
    auto expectSameRotation = [](const Quaternion& x, const Quaternion& y) {
        expectNear(MatrixRotationQuaternion(x), MatrixRotationQuaternion(y));
    };
    expectSameRotation(QuaternionSlerp(a, b, 0.5f), half);
    expectSameRotation(QuaternionSlerp(a, b, 0.0f), a);
    expectSameRotation(QuaternionSlerp(a, b, 1.0f), b);
    // -b is the same rotation as b; the interpolation must not take the long way round.
    const Quaternion minusB{-b.x, -b.y, -b.z, -b.w};
    expectSameRotation(QuaternionSlerp(a, minusB, 0.5f), half);
}
