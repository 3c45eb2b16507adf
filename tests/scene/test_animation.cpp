// Keyframe animation: interpolation between keys, matrix keys, child animations.
#include "scene/D3DAnimation.h"
#include "scene_fixture.h"

#include <stdexcept>

using platform::Matrix;
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

TEST(AnimationTest, PositionsInterpolateAndHoldAtTheEnds) {
    Animated a;
    a.anim->AddPositionKey(10, {0, 0, 0});
    a.anim->AddPositionKey(20, {10, 0, 0});
    a.anim->AddPositionKey(40, {10, 20, 0});
    struct Case {
        float t;
        Vector3 expected;
    };
    const Case cases[] = {
        {0, {0, 0, 0}},    {10, {0, 0, 0}},   {12.5f, {2.5f, 0, 0}}, {20, {10, 0, 0}},
        {30, {10, 10, 0}}, {40, {10, 20, 0}}, {100, {10, 20, 0}},    {-5, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        a.anim->SetTime(c.t);
        EXPECT_TRUE(Near(a.Where({0, 0, 0}), c.expected)) << "t = " << c.t;
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
}

TEST(AnimationTest, MatrixKeysSelectTheKeyInEffectAndWrap) {
    Animated a;
    a.anim->AddPositionKey(0, {99, 99, 99}); // ignored when there are matrix keys
    a.anim->AddMatrixKey(0, platform::MatrixTranslation(1, 0, 0));
    a.anim->AddMatrixKey(10, platform::MatrixTranslation(2, 0, 0));
    a.anim->AddMatrixKey(20, platform::MatrixTranslation(3, 0, 0));
    struct Case {
        float t;
        float x;
    };
    const Case cases[] = {{0, 1}, {9.5f, 1}, {10, 2}, {15, 2}, {20, 1}, {25, 1}, {35, 2}, {-5, 2}};
    for (const Case& c : cases) {
        a.anim->SetTime(c.t);
        EXPECT_TRUE(Near(a.Where({0, 0, 0}), {c.x, 0, 0})) << "t = " << c.t;
    }
}

TEST(AnimationTest, ChildrenPlayAlongAndAFrameWithoutKeysIsLeftAlone) {
    Animated parent;
    Animated child;
    child.anim->AddPositionKey(0, {0, 0, 0});
    child.anim->AddPositionKey(10, {0, 10, 0});
    parent.frame->SetMatrix(platform::MatrixScaling(3, 3, 3));
    parent.anim->AddChild(child.anim);
    parent.anim->AddChild(nullptr); // ignored

    parent.anim->SetTime(4);
    EXPECT_TRUE(Near(child.Where({0, 0, 0}), {0, 4, 0}));
    EXPECT_TRUE(Near(parent.frame->GetMatrix(), platform::MatrixScaling(3, 3, 3)));
    EXPECT_EQ(parent.anim->GetChildCount(), 1);
    EXPECT_EQ(parent.anim->GetChild(0), child.anim);
    EXPECT_EQ(parent.anim->GetFrame(), parent.frame);
    EXPECT_THROW(parent.anim->GetChild(1), std::out_of_range);
    EXPECT_THROW(parent.anim->GetChild(-1), std::out_of_range);

    CD3DAnimation empty; // no frame: only the children move
    empty.AddChild(child.anim);
    empty.SetTime(10);
    EXPECT_TRUE(Near(child.Where({0, 0, 0}), {0, 10, 0}));
}

TEST(AnimationTest, ChildListGrowsInStepsOfTen) {
    CD3DAnimation a;
    EXPECT_EQ(a.GetChildCapacity(), 0);
    for (int i = 1; i <= 11; ++i) {
        a.AddChild(std::make_shared<CD3DAnimation>());
        EXPECT_EQ(a.GetChildCapacity(), i <= 10 ? 10 : 20) << i;
    }
}
