// Frames rendered and picked on the real OpenGL device (Mesa under Xvfb): the two passes make a
// translucent plate blend over what lies behind it whatever the order of the tree.
#include "../platform/gl_fixture.h"
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene/D3DUtil.h"

using gltest::channelDistance;
using gltest::emissiveMaterial;
using gltest::hex;

namespace {

class GlFrameTest : public gltest::GlSceneTest {
protected:
    void SetUp() override {
        GlSceneTest::SetUp();
        if (HasFatalFailure())
            return;
        root = CreateChildFrame(nullptr);
        // The translucent plate comes first in the tree and lies in front of the box.
        plate = CreateChildFrame(root);
        plate->AddD3DXMesh(platform::CreateBox(4, 4, 0.1f))
            ->SetMaterialOverride(emissiveMaterial(0, 0, 1, 0.5f));
        box = CreateChildFrame(root);
        box->SetPosition({0, 0, 3});
        box->AddD3DXMesh(platform::CreateBox(1, 1, 1))->SetMaterialOverride(emissiveMaterial(1, 0, 0, 1.0f));
    }

    QImage renderRoot() {
        return frame([this] { root->Render(g_device); });
    }

    CD3DFramePtr root, plate, box;
};

} // namespace

TEST_F(GlFrameTest, TranslucentPlateBlendsOverTheBoxBehindIt) {
    const QImage image = renderRoot();
    ASSERT_FALSE(image.isNull());
    const QPoint centre = project({0, 0, 0});
    const QPoint plateOnly = project({1.5f, 1.5f, 0});
    // half blue over red where both are; half blue over the background beside the box
    const QRgb overBox = qRgb(128, 0, 128);
    const QRgb overBackground = qRgb(0x40, 0x58, 0xF0);
    EXPECT_LE(channelDistance(image.pixel(centre), overBox), 3) << hex(image.pixel(centre)).toStdString();
    EXPECT_LE(channelDistance(image.pixel(plateOnly), overBackground), 3)
        << hex(image.pixel(plateOnly)).toStdString();
    EXPECT_LE(channelDistance(image.pixel(2, 2), gltest::kBackground), 1);
}

TEST_F(GlFrameTest, ADisabledFrameLeavesItsPlaceEmpty) {
    box->Enabled = false;
    const QImage image = renderRoot();
    const QPoint centre = project({0, 0, 0});
    EXPECT_LE(channelDistance(image.pixel(centre), qRgb(0x40, 0x58, 0xF0)), 3)
        << hex(image.pixel(centre)).toStdString();
}

TEST_F(GlFrameTest, PickingUsesTheDevicesViewportAndCamera) {
    const QPoint centre = project({0, 0, 0});
    CD3DPick pick;
    pick.ViewportPick(root, static_cast<float>(centre.x()) + 0.5f, static_cast<float>(centre.y()) + 0.5f);
    ASSERT_EQ(pick.GetCount(), 2);
    EXPECT_EQ(pick.GetFrame(pick.FindNearest()), plate);
    EXPECT_EQ(pick.GetFrame(pick.FindFurthest()), box);

    const QPoint beside = project({3, 3, 0});
    pick.ViewportPick(root, static_cast<float>(beside.x()), static_cast<float>(beside.y()));
    EXPECT_EQ(pick.FindNearest(), -1);
}
