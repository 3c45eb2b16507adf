// Leaving out of a frame what the camera can't see, and making labels only when they are first
// drawn, must not change the picture.
#include "graph/BarFrame.h"
#include "graph/Camera.h"
#include "graph/GraphModel.h"
#include "graph/LabelMaker.h"
#include "scene/D3DInit.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace ketra;

namespace {

// The scene of `model` laid out, with labels and the plate, and the camera at its start position.
BarScene sceneAtTheStartView(GraphModel& model) {
    model.ScaleEntries(false);
    const BasePlateSize plate = *model.m_basePlate;
    BarScene scene = BuildBarScene(model, platform::CreateBox(plate.width, plate.height, plate.depth),
                                   Options(), WindowFont());
    Camera camera;
    g_device->setTransform(platform::TransformType::View, camera.FrameMove(0, false).viewMatrix);
    return scene;
}

// The options of a frame without overlay text, with or without the plate.
Options noOverlayText(bool base) {
    Options o;
    o.m_showStats = o.m_bShowShortcuts = false;
    o.m_bShowBase = base;
    return o;
}

// The passes of a frame without leaving anything out: every enabled frame is drawn.
void drawEveryFrame(const BarScene& scene) {
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
}

// Every frame is enabled again after a culled frame (picking relies on it).
void expectAllEnabled(const BarScene& scene) {
    for (const CD3DFramePtr& f : scene.bars->ChildFrames())
        ASSERT_TRUE(f->Enabled);
}

class BarFrame : public ::testing::Test {
protected:
    void SetUp() override { start(320, 240); }
    void start(int width, int height) {
        ReleaseDevice3D();
        ASSERT_TRUE(InitOffscreenDevice3D(width, height));
        ASSERT_TRUE(g_device && g_device->hasContext()) << "no OpenGL 3.3 context (run under Xvfb)";
        SetupSceneDefaults();
    }
    void TearDown() override { ReleaseDevice3D(); }
};

} // namespace

TEST_F(BarFrame, LeavingOutWhatCantBeSeenKeepsThePicture) {
    // A 20 x 20 grid reaches well beyond the start view.
    GraphModel model;
    for (int i = 0; i < 400; ++i) {
        const double size = 100 + (i * 37) % 1000;
        model.AddEntry(QStringLiteral("item%1.dat").arg(i), i / 20, size, i % 20, size,
                       0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8), i % 7 ? 32 : 16,
                       QString(), 2, false);
    }
    BarScene scene = sceneAtTheStartView(model);
    scene.minLabelPixels = 0; // every label in view, however small

    RenderBarFrame(scene, noOverlayText(true), OverlayState(), nullptr, nullptr);
    const QImage culled = g_device->grabFramebuffer();
    const int made = scene.labels->madeCount();
    EXPECT_GT(made, 0);
    EXPECT_LT(made, 400); // labels out of view have no text yet
    const std::uint64_t drawsCulled = g_device->drawCount();

    // The same frame with every label made and every frame drawn.
    scene.labels->makeAll();
    drawEveryFrame(scene);
    const QImage full = g_device->grabFramebuffer();
    EXPECT_GT(g_device->drawCount() - drawsCulled, drawsCulled); // far more was drawn
    EXPECT_TRUE(culled == full);

    // Without the plate the picture differs (the plate pass is left out).
    RenderBarFrame(scene, noOverlayText(false), OverlayState(), nullptr, nullptr);
    EXPECT_FALSE(g_device->grabFramebuffer() == culled);
    expectAllEnabled(scene);
}

TEST_F(BarFrame, LabelsTooSmallToReadAreNeitherMadeNorDrawn) {
    // One line of bars running away from the camera (along Z): near labels are tens of pixels
    // tall, the far ones a pixel or two.
    GraphModel model;
    for (int i = 0; i < 400; ++i)
        model.AddEntry(QStringLiteral("far%1.txt").arg(i), 0, 100, i, 100, 0xFF3366CCu, 32, QString(), 2,
                       false);
    BarScene scene = sceneAtTheStartView(model);

    scene.minLabelPixels = 0;
    scene.root->UpdateFrames();
    const platform::Matrix viewProjection =
        platform::MatrixMultiply(g_device->getTransform(platform::TransformType::View),
                                 g_device->getTransform(platform::TransformType::Projection));
    // The labels' heights on screen, near to far; the rule is set between the nearest and the
    // furthest half.
    std::vector<float> heights;
    for (std::size_t i = 0; i < scene.labels->size(); ++i)
        heights.push_back(LabelEmPixels(scene.labels->worldOf(i, scene.bars->GetUpdatedMatrix()),
                                        viewProjection, g_device->getViewport()));
    ASSERT_EQ(heights.size(), 400u);
    std::sort(heights.begin(), heights.end());
    ASSERT_LT(heights.front() * 4, heights.back()); // they do shrink with the distance
    const float threshold = heights[heights.size() / 2];
    const int readable =
        static_cast<int>(heights.end() - std::lower_bound(heights.begin(), heights.end(), threshold));

    scene.minLabelPixels = threshold;
    RenderBarFrame(scene, noOverlayText(false), OverlayState(), nullptr, nullptr);
    const int madeWithRule = scene.labels->madeCount();
    EXPECT_GT(madeWithRule, 0);
    EXPECT_LE(madeWithRule, readable);
    const QImage withRule = g_device->grabFramebuffer();

    scene.minLabelPixels = 0;
    RenderBarFrame(scene, noOverlayText(false), OverlayState(), nullptr, nullptr);
    EXPECT_GT(scene.labels->madeCount(), madeWithRule);    // the small ones in view are made now
    EXPECT_FALSE(g_device->grabFramebuffer() == withRule); // and drawn
    expectAllEnabled(scene);
}

TEST_F(BarFrame, CoarserLabelsFarAwayLookTheSameFromEitherSide) {
    start(640, 480);

    for (const bool turned : {false, true}) {
        SCOPED_TRACE(turned ? "graph turned half round: labels seen from behind" : "start view");
        GraphModel model;
        for (int i = 0; i < 900; ++i)
            model.AddEntry(QStringLiteral("label%1.doc").arg(i), i / 30, 500, i % 30, 500, 0xFF3366CCu, 32,
                           QString(), 2, false);
        BarScene scene = sceneAtTheStartView(model);
        if (turned)
            scene.root->AddRotation(2, 0, 1, 0, 3.14159265f);

        RenderBarFrame(scene, noOverlayText(true), OverlayState(), nullptr, nullptr);
        const QImage levelled = g_device->grabFramebuffer();
        std::vector<int> perLevel(kLabelLevelCount, 0);
        std::vector<CD3DFrame*> made;
        int backFaces = 0;
        for (const CD3DFramePtr& f : scene.bars->ChildFrames()) {
            if (const int level = scene.labels->levelOf(f.get()); level >= 0) {
                ++perLevel[static_cast<std::size_t>(level)];
                made.push_back(f.get());
                const platform::Mesh& mesh = *f->GetChildMesh(0)->mesh;
                if (kLabelLevels[level].shape != platform::TextShape::Solid && mesh.vertexCount() > 0 &&
                    mesh.normal(0).z > 0)
                    ++backFaces;
            }
        }
        // The grid runs from near labels to far ones, and the small ones keep the face seen.
        EXPECT_GT(perLevel[0] + perLevel[1], 0);
        EXPECT_GT(perLevel[kLabelLevelCount - 2] + perLevel[kLabelLevelCount - 1], 0);
        if (turned)
            EXPECT_GT(backFaces, 0);
        else
            EXPECT_EQ(backFaces, 0);

        // The same frame with every label that was drawn at the finest level (the others left out).
        std::vector<CD3DFrame*> off;
        for (const CD3DFramePtr& f : scene.bars->ChildFrames()) {
            if (std::find(made.begin(), made.end(), f.get()) != made.end()) {
                scene.labels->fit(f.get(), 1e6f, !turned); // every label in view is seen from one side
            } else if (scene.labels->isLabel(f.get())) {
                f->Enabled = false;
                off.push_back(f.get());
            }
        }
        drawEveryFrame(scene);
        for (CD3DFrame* f : off)
            f->Enabled = true;
        const QImage finest = g_device->grabFramebuffer();

        int labelPixels = 0, differing = 0;
        for (int y = 0; y < finest.height(); ++y)
            for (int x = 0; x < finest.width(); ++x) {
                const QRgb a = finest.pixel(x, y), b = levelled.pixel(x, y);
                if (qBlue(a) > 120 && qRed(a) < 60 && qGreen(a) < 60)
                    ++labelPixels; // the labels' blue, lit from the front or from behind
                if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                        std::abs(qBlue(a) - qBlue(b)) >
                    60)
                    ++differing;
            }
        ASSERT_GT(labelPixels, 2000);
        // Outlines within about a pixel: a thin seam of pixels along the letters' edges, no more.
        EXPECT_LT(differing, labelPixels / 5) << labelPixels << " label pixels";
    }
}

TEST_F(BarFrame, LabelsWithoutTheWallsTurnedAwayKeepThePicture) {
    start(640, 480);
    GraphModel model;
    for (int i = 0; i < 900; ++i)
        model.AddEntry(QStringLiteral("wall%1.txt").arg(i), i / 30, 400, i % 30, 400, 0xFF3366CCu, 32,
                       QString(), 2, false);
    BarScene scene = sceneAtTheStartView(model);
    auto labelFaces = [&scene] {
        std::uint64_t faces = 0;
        for (const CD3DFramePtr& f : scene.bars->ChildFrames())
            if (scene.labels->levelOf(f.get()) >= 0)
                faces += f->GetChildMesh(0)->mesh->faceCount();
        return faces;
    };
    RenderBarFrame(scene, noOverlayText(true), OverlayState(), nullptr, nullptr);
    const std::uint64_t culledFaces = labelFaces();
    const QImage culled = g_device->grabFramebuffer();

    // The same frame with each label made again at its level with all its walls.
    std::vector<CD3DFrame*> off;
    for (const CD3DFramePtr& f : scene.bars->ChildFrames()) {
        if (const int level = scene.labels->levelOf(f.get()); level >= 0) {
            scene.labels->fit(f.get(), kLabelLevels[level].minEmPixels, true);
            EXPECT_EQ(scene.labels->levelOf(f.get()), level);
        } else if (scene.labels->isLabel(f.get())) {
            f->Enabled = false;
            off.push_back(f.get());
        }
    }
    EXPECT_GT(labelFaces(), culledFaces); // walls had been left out
    drawEveryFrame(scene);
    for (CD3DFrame* f : off)
        f->Enabled = true;
    EXPECT_TRUE(g_device->grabFramebuffer() == culled);
}
