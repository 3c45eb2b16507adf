// Keyframe animation: interpolation between keys, matrix keys, child animations.
#include "scene/D3DAnimation.h"
#include "scene_fixture.h"

#include <stdexcept>

using platform::Vector3;

namespace {

constexpr float kHalfPi = 1.57079632679f;

struct Animated {
    CD3DFramePtr frame = CreateChildFrame(nullptr);
    CD3DAnimationPtr anim = std::make_shared<CD3DAnimation>();
    Animated() { anim->SetFrame(frame); }
    Vector3 Where(const Vector3& p) const { return Apply(frame->GetMatrix(), p); }
};

} // namespace

TEST(AnimationTest, PositionsInterpolateAndHoldAtTheEndsMatrixKeysSelectTheKeyInEffectAndWrap) {
    Animated positions, matrices;
    positions.anim->AddPositionKey(10, {0, 0, 0});
    positions.anim->AddPositionKey(20, {10, 0, 0});
    positions.anim->AddPositionKey(40, {10, 20, 0});
    matrices.anim->AddPositionKey(0, {99, 99, 99}); // ignored when there are matrix keys
    for (int k = 0; k < 3; ++k)
        matrices.anim->AddMatrixKey(10 * k, platform::MatrixTranslation(1.0f + k, 0, 0));
    struct Case {
        float t;
        Vector3 position;
        float matrixX; // the matrix keys wrap at 20
    } cases[] = {
        {-5, {0, 0, 0}, 2},       {0, {0, 0, 0}, 1},    {9.5f, {0, 0, 0}, 1}, {10, {0, 0, 0}, 2},
        {12.5f, {2.5f, 0, 0}, 2}, {15, {5, 0, 0}, 2},   {20, {10, 0, 0}, 1},  {25, {10, 5, 0}, 1},
        {30, {10, 10, 0}, 2},     {35, {10, 15, 0}, 2}, {40, {10, 20, 0}, 1}, {100, {10, 20, 0}, 1},
    };
    for (const Case& c : cases) {
        positions.anim->SetTime(c.t);
        matrices.anim->SetTime(c.t);
        EXPECT_TRUE(Near(positions.Where({0, 0, 0}), c.position)) << "t = " << c.t;
        EXPECT_TRUE(Near(matrices.Where({0, 0, 0}), {c.matrixX, 0, 0})) << "t = " << c.t;
    }
}

TEST(AnimationTest, ScaleThenRotationThenTranslation) {
    Animated a;
    a.anim->AddScaleKey(0, {2, 2, 2});
    a.anim->AddRotateKey(0, platform::QuaternionIdentity());
    a.anim->AddRotateKey(10, platform::QuaternionRotationAxis({0, 0, 1}, kHalfPi));
    a.anim->AddPositionKey(0, {5, 0, 0});

    a.anim->SetTime(10);
    // (1, 0, 0) -> scaled (2, 0, 0) -> rotated (0, 2, 0) -> moved (5, 2, 0)
    EXPECT_TRUE(Near(a.Where({1, 0, 0}), {5, 2, 0}));
    a.anim->SetTime(5); // half way: 45 degrees
    const float h = 2.0f * 0.70710678f;
    EXPECT_TRUE(Near(a.Where({1, 0, 0}), {5 + h, h, 0}));
    // A key of the same rotation with all signs turned is reached the short way round as well.
    const platform::Quaternion q = platform::QuaternionRotationAxis({0, 0, 1}, kHalfPi);
    Animated b;
    b.anim->AddRotateKey(0, platform::QuaternionIdentity());
    b.anim->AddRotateKey(10, {-q.x, -q.y, -q.z, -q.w});
    b.anim->SetTime(5);
    EXPECT_TRUE(Near(b.Where({1, 0, 0}), {0.70710678f, 0.70710678f, 0}));
}

TEST(AnimationTest, ChildrenPlayAlongAndAFrameWithoutKeysIsLeftAlone) {
    Animated parent, child;
    child.anim->AddPositionKey(0, {0, 0, 0});
    child.anim->AddPositionKey(10, {0, 10, 0});
    parent.frame->SetMatrix(platform::MatrixScaling(3, 3, 3));
    parent.anim->AddChild(child.anim);
    parent.anim->AddChild(nullptr); // ignored
    parent.anim->SetTime(4);
    EXPECT_TRUE(Near(child.Where({0, 0, 0}), {0, 4, 0}));
    EXPECT_TRUE(Near(parent.frame->GetMatrix(), platform::MatrixScaling(3, 3, 3)));
    EXPECT_EQ(parent.anim->GetChildCount(), 1);
    EXPECT_THROW(parent.anim->GetChild(1), std::out_of_range);
}
