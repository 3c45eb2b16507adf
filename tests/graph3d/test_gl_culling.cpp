// Leaving out of a frame what the camera can't see, and making labels only when they are first
// drawn, must not change the picture.
#include "graph/Camera.h"
#include "graph/GraphModel.h"
#include "graph/form/View3D.h"
#include "scene/D3DInit.h"
#include "scene/D3DUtil.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace ketra;

TEST(BarFrame, LeavingOutWhatCantBeSeenKeepsThePicture) {
    ASSERT_TRUE(InitOffscreenDevice3D(320, 240));
    ASSERT_TRUE(g_device && g_device->hasContext()) << "no OpenGL 3.3 context (run under Xvfb)";
    SetupSceneDefaults();

    // A 20 x 20 grid reaches well beyond the start view.
    GraphModel model;
    for (int i = 0; i < 400; ++i) {
        const double size = 100 + (i * 37) % 1000;
        model.AddEntry(QStringLiteral("item%1.dat").arg(i), i / 20, size, i % 20, size,
                       0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8), i % 7 ? 32 : 16,
                       QString(), 2, false);
    }
    model.ScaleEntries(false);
    BarSceneOptions options;
    options.labelFont = WindowFont();
    const BasePlateSize plate = *model.m_basePlate;
    const BarScene scene =
        BuildBarScene(model, platform::CreateBox(plate.width, plate.height, plate.depth), options);
    Camera camera;
    g_device->setTransform(platform::TransformType::View, camera.FrameMove(0, false).viewMatrix);

    OverlayState noText;
    noText.showStats = noText.showShortcuts = false;
    RenderBarFrame(scene, true, false, noText, nullptr, nullptr);
    const QImage culled = g_device->grabFramebuffer();
    const int made = scene.labels->madeCount();
    EXPECT_GT(made, 0);
    EXPECT_LT(made, 400); // labels out of view have no text yet
    const std::uint64_t drawsCulled = g_device->drawCount();

    // The same frame with every label made and every frame drawn.
    scene.labels->makeAll();
    scene.root->UpdateFrames();
    ClearView(kBackgroundColour);
    g_device->setRenderState(platform::rs::Ambient, kAmbientLight);
    g_device->beginScene();
    scene.bars->Enabled = true;
    scene.base->Enabled = false;
    scene.root->Render(g_device);
    scene.bars->Enabled = false;
    scene.base->Enabled = true;
    scene.root->Render(g_device);
    g_device->endScene();
    const QImage full = g_device->grabFramebuffer();
    EXPECT_GT(g_device->drawCount() - drawsCulled, drawsCulled); // far more was drawn
    EXPECT_TRUE(culled == full);

    // Every frame is enabled again after a culled frame (picking relies on it).
    RenderBarFrame(scene, false, false, noText, nullptr, nullptr);
    for (int i = 0; i < scene.bars->GetChildFrameCount(); ++i)
        ASSERT_TRUE(scene.bars->GetChildFrame(i)->Enabled);
    ReleaseDevice3D();
}
