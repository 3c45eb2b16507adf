// The OpenGL device on an off-screen framebuffer: lighting and render states, textures, the
// viewport, overlay text, many meshes in shared buffers, and recovery from a lost context.
#include "gl_fixture.h"

#include "platform/Font.h"
#include "platform/GlContext.h"
#include "platform/Texture.h"

#include <QTemporaryDir>

#include <utility>

using namespace platform;
using namespace gltest;

namespace {

// The default material (diffuse 0.5, ambient 0.2) with a specular colour.
Material litMaterial(float specularRed = 0, float specularGreen = 0) {
    Material m;
    m.diffuse = {0.5f, 0.5f, 0.5f, 1};
    m.ambient = {0.2f, 0.2f, 0.2f, 1};
    m.specular = {specularRed, specularGreen, 0, 1};
    m.power = 10;
    return m;
}

} // namespace

TEST_F(GlSceneTest, RenderStatesDecideWhatEachPixelShows) {
    const MeshPtr box = CreateBox(4, 4, 4), shinyBox = CreateBox(6, 6, 6), plate = CreateBox(14, 14, 0.1f);
    // Clockwise seen from the camera; the first vertex's normal points at the light, the others' away.
    const float l = 1 / std::sqrt(3.0f);
    const Mesh triangle(FVF_POSITION_NORMAL, {0, 5, 0, l, l, l, 5, -4, 0, -l, -l, -l, -5, -4, 0, -l, -l, -l},
                        {0, 1, 2});
    Mesh broken(FVF_POSITION_NORMAL, {-5, 5, 0, 0, 0, -1, 5, 5, 0, 0, 0, -1, 5, -5, 0, 0, 0, -1}, {0, 1, 2});
    broken.indices()[2] = 700000; // written behind the mesh's back (its own checks never saw it)
    // x, y, z, nx, ny, nz, u, v; clockwise seen from the camera, facing -Z; with a 2 x 2 picture of
    // red and green on top, blue and white below.
    const Mesh quad(FVF_POSITION_NORMAL_TEX1, {-6, 6,  0, 0, 0, -1, 0, 0, 6,  6,  0, 0, 0, -1, 1, 0,
                                               6,  -6, 0, 0, 0, -1, 1, 1, -6, -6, 0, 0, 0, -1, 0, 1},
                    {0, 1, 2, 0, 2, 3});
    QTemporaryDir dir;
    QImage picture(2, 2, QImage::Format_ARGB32);
    const QRgb texels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (int i = 0; i < 4; ++i)
        picture.setPixel(i % 2, i / 2, texels[i]);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("quad.png"))));
    QString error;
    const TexturePtr texture = CreateTextureFromFile(dir.filePath(QStringLiteral("quad.png")), &error);
    ASSERT_TRUE(texture) << error.toStdString();
    EXPECT_FALSE(CreateTextureFromFile(dir.filePath(QStringLiteral("missing.png")), &error));
    EXPECT_FALSE(error.isEmpty());

    using States = std::vector<std::pair<int, std::uint32_t>>;
    struct Draw {
        const Mesh* mesh;
        Matrix world;
        Material material;
        States states;                // set before this draw
        TexturePtr texture = nullptr; // on stage 0 for this draw
    };
    struct Case {
        const char* name;
        std::vector<Draw> draws;
        std::vector<std::pair<Vector3, QRgb>> probes; // a world point and the colour it shows
        bool frontLight = false; // light from behind the camera, with a specular colour of 0.4
    };
    auto at = [](float x, float y, float z) { return MatrixTranslation(x, y, z); };
    const Material lit = litMaterial(), shiny = litMaterial(1, 0.5f);
    const Material green = emissiveMaterial(0, 1, 0), red = emissiveMaterial(1, 0, 0);
    const Material blue = emissiveMaterial(0, 0, 1, 0.25f), violet = emissiveMaterial(0.5f, 0.25f, 1);
    const States blend = {
        {rs::AlphaBlendEnable, 1}, {rs::SrcBlend, rs::BlendSrcAlpha}, {rs::DestBlend, rs::BlendInvSrcAlpha}};
    // The default light comes from behind the boxes: a box's -Z face gets ambient light only
    // (8 of 255), the inside of its +Z face 82 of 255. Mirroring turns every face's winding round.
    const QRgb unlit = qRgb(8, 8, 8), inside = qRgb(82, 82, 82);
    const Vector3 left{-3, 0, -2}, right{3, 0, -2}, centre{0, 0, 0};
    auto twoBoxes = [&](States cull) {
        return std::vector<Draw>{{box.get(), at(-3, 0, 0), lit, cull},
                                 {box.get(), MatrixScaling(-1, 1, 1) * at(3, 0, 0), lit, {}}};
    };
    // clang-format off
    const Case cases[] = {
        {"lighting off draws white",
         {{box.get(), at(0, 0, 0), lit, {{rs::Lighting, 0}}}}, {{centre, qRgb(255, 255, 255)}}},
        {"counter-clockwise faces culled", twoBoxes({}), {{left, unlit}, {right, inside}}},
        {"clockwise faces culled", twoBoxes({{rs::CullMode, rs::CullCW}}), {{left, inside}, {right, unlit}}},
        {"no culling: the near faces hide the far ones",
         twoBoxes({{rs::CullMode, rs::CullNone}}), {{left, unlit}, {right, unlit}}},
        {"depth test: the near box drawn first stays",
         {{box.get(), at(0, 0, -2), green, {}}, {box.get(), at(0, 0, 4), red, {}}},
         {{centre, qRgb(0, 255, 0)}}},
        {"depth test: the near box drawn last shows",
         {{box.get(), at(0, 0, 4), red, {}}, {box.get(), at(0, 0, -2), green, {}}},
         {{centre, qRgb(0, 255, 0)}}},
        {"no depth test: the last box drawn shows",
         {{box.get(), at(0, 0, -2), green, {{rs::ZEnable, 0}}}, {box.get(), at(0, 0, 4), red, {}}},
         {{centre, qRgb(255, 0, 0)}}},
        {"a box drawn without depth writes hides nothing",
         {{box.get(), at(0, 0, -2), green, {{rs::ZWriteEnable, 0}}},
          {box.get(), at(0, 0, 4), red, {{rs::ZWriteEnable, 1}}}},
         {{centre, qRgb(255, 0, 0)}}},
        {"a quarter of the plate's blue over the box and the background",
         {{box.get(), at(0, 0, 5), red, {}}, {plate.get(), at(0, 0, 0), blue, blend}},
         {{centre, qRgb(191, 0, 64)}, {{5, 5, 0}, qRgb(96, 132, 232)}, {{10, 0, 0}, qRgb(128, 176, 224)}}},
        {"without blending alpha is ignored",
         {{box.get(), at(0, 0, 5), red, {}}, {plate.get(), at(0, 0, 0), blue, {}}},
         {{centre, qRgb(0, 0, 255)}}},
        // The triangle is lit fully at its first vertex and not at the other two; seen at its centroid.
        {"Gouraud shading blends the vertices' colours",
         {{&triangle, at(0, 0, 0), lit, {}}}, {{{0, -1, 0}, qRgb(51, 51, 51)}}},
        {"flat shading takes the first vertex's colour",
         {{&triangle, at(0, 0, 0), lit, {{rs::ShadeMode, rs::ShadeFlat}}}},
         {{{0, -1, 0}, qRgb(136, 136, 136)}}},
        // Specular light is worked out at the vertices with the half-way vector between the light
        // and the eye; all four corners of the front face get 0.928 of it.
        {"specular light added with specular on",
         {{shinyBox.get(), at(0, 0, 0), shiny, {{rs::SpecularEnable, 1}}}},
         {{centre, qRgb(230, 183, 136)}}, true},
        {"no specular light with specular off",
         {{shinyBox.get(), at(0, 0, 0), shiny, {}}}, {{centre, qRgb(136, 136, 136)}}, true},
        // Each face turned to the camera is lit by its turned normal: 0.032 + 0.5 N.L.
        {"a turned box lights each face by its own normal",
         {{shinyBox.get(), MatrixRotationY(0.6f) * MatrixRotationX(-0.5f), lit, {}}},
         {{{2.476f, -0.812f, -1.487f}, qRgb(71, 71, 71)}, {{0, 2.633f, -1.438f}, qRgb(69, 69, 69)},
          {{-1.694f, -1.187f, -2.173f}, qRgb(101, 101, 101)}}, true},
        // Unlit (white), the texels show unchanged, v = 0 at the picture's top; lit, texel x the lit colour.
        {"texels as they are", {{&quad, at(0, 0, 0), violet, {{rs::Lighting, 0}}, texture}},
         {{{-3, 3, 0}, texels[0]}, {{3, 3, 0}, texels[1]}, {{-3, -3, 0}, texels[2]},
          {{3, -3, 0}, texels[3]}}},
        {"texels times the lit colour", {{&quad, at(0, 0, 0), violet, {}, texture}},
         {{{-3, 3, 0}, qRgb(128, 0, 0)}, {{3, 3, 0}, qRgb(0, 64, 0)}, {{-3, -3, 0}, qRgb(0, 0, 255)},
          {{3, -3, 0}, qRgb(128, 64, 255)}}},
        {"the lit colour without a texture",
         {{&quad, at(0, 0, 0), violet, {}}}, {{{-3, 3, 0}, qRgb(128, 64, 255)}}},
        {"a mesh that refers past its vertices is not drawn",
         {{&broken, at(0, 0, 0), red, {}}, {box.get(), at(0, 0, 2), green, {}}}, {{centre, qRgb(0, 255, 0)}}},
    };
    // clang-format on
    const Light defaultLight = dev->getLight(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        States saved;
        Light light = defaultLight;
        if (c.frontLight) {
            light.direction = {0, 0, 1};
            light.specular = {0.4f, 0.4f, 0.4f, 1};
        }
        dev->setLight(0, light);
        const QImage image = frame([&] {
            for (const Draw& d : c.draws) {
                for (const auto& [state, value] : d.states) {
                    saved.emplace_back(state, dev->getRenderState(state));
                    dev->setRenderState(state, value);
                }
                dev->setTexture(0, d.texture);
                drawMesh(*d.mesh, d.world, d.material);
            }
        });
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            dev->setRenderState(it->first, it->second);
        for (const auto& [point, expected] : c.probes)
            EXPECT_TRUE(Looks(image.pixel(project(point)), expected, 3))
                << "at " << point.x << "," << point.y;
    }
    dev->setLight(0, defaultLight);
}

TEST_F(GlSceneTest, ClearingAndDrawingKeepToTheViewportCountedFromTheTopLeft) {
    ClearView(0xFF000000);
    Viewport vp;
    vp.x = 20;
    vp.y = 10; // from the top, as Direct3D counts
    vp.width = 100;
    vp.height = 60;
    dev->setViewport(vp);
    // A box wider than the view, lower than the viewport: above it the cleared background shows.
    const QImage image = frame(
        [&] { drawMesh(*CreateBox(40, 4, 1), MatrixTranslation(0, -4, 0), emissiveMaterial(1, 1, 0)); });
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    const QRgb yellow = qRgb(255, 255, 0), black = qRgb(0, 0, 0);
    const QRect inside(20, 10, 100, 60);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb got = image.pixel(x, y);
            wrong += inside.contains(x, y) ? got != kBackground && got != yellow : got != black;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(image.pixel(70, 12), kBackground);
    for (const int x : {20, 70, 119})
        EXPECT_EQ(image.pixel(x, 55), yellow) << x;
}

TEST_F(GlSceneTest, OverlayTextIsPaintedOverTheSceneInItsColourAndLeavesTheNextFrameAlone) {
    // The box leaves face culling and depth testing on, which the overlay must not suffer from.
    const MeshPtr box = CreateBox(6, 6, 6);
    QFont qfont(QStringLiteral("Liberation Sans"));
    qfont.setPixelSize(28);
    Font font(g_device, qfont);
    const QString text = QStringLiteral("Size: 1,234 bytes");
    const QRect area(20, 100, font.textWidth(text), font.textHeight(text)); // over the box and beside it
    ASSERT_GT(area.width(), 100);
    const QImage before = frame([&] { drawMesh(*box, Matrix::identity(), dev->getMaterial()); });
    const QImage image = frame([&] {
        drawMesh(*box, Matrix::identity(), dev->getMaterial());
        EXPECT_EQ(font.drawText(text, area.left(), area.top(), 0xFFFF0000), area.height());
    });
    ASSERT_EQ(dev->overlayTexts().size(), 1u);
    EXPECT_EQ(dev->overlayTexts()[0].text, text);
    int red = 0, changedOutside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool inside = area.adjusted(-2, -2, 2, 2).contains(x, y);
            red += inside && image.pixel(x, y) == qRgb(255, 0, 0);
            changedOutside += !inside && image.pixel(x, y) != before.pixel(x, y);
        }
    EXPECT_GT(red, 50) << "few pixels in the text's colour";
    EXPECT_EQ(changedOutside, 0);
    // The painter's state changes were undone.
    EXPECT_EQ(frame([&] { drawMesh(*box, Matrix::identity(), dev->getMaterial()); }), before);
    EXPECT_TRUE(dev->overlayTexts().empty());
    // The texts are painted once and kept while they stay; another text is painted anew.
    auto withText = [&](const QString& shown) {
        return frame([&] {
            drawMesh(*box, Matrix::identity(), dev->getMaterial());
            font.drawText(shown, area.left(), area.top(), 0xFFFF0000);
        });
    };
    EXPECT_EQ(withText(text), image);
    EXPECT_NE(withText(QStringLiteral("Size: 9,876 bytes")), image);
    EXPECT_EQ(withText(text), image);
}

// A target larger than the context can make is drawn smaller, in its proportions, and scaled:
// the same picture, coarser; nothing fails.
TEST_F(GlSceneTest, ATargetBeyondTheLargestIsDrawnSmallerInItsProportions) {
    const MeshPtr box = CreateBox(4, 4, 4);
    auto yellow = [](const QImage& image) {
        int n = 0;
        for (int i = 0; i < image.width() * image.height(); ++i)
            n += image.pixel(i % image.width(), i / image.width()) == qRgb(255, 255, 0);
        return n;
    };
    auto draw = [&] { drawMesh(*box, Matrix::identity(), emissiveMaterial(1, 1, 0)); };
    const int full = yellow(frame(draw));
    dev->setTargetLimit(80);
    EXPECT_EQ(dev->maxTargetSize(), QSize(80, 80));
    const QImage small = frame(draw);
    EXPECT_EQ(small.size(), dev->drawnSize());
    EXPECT_EQ(dev->drawnSize(), QSize(80, 60));
    EXPECT_EQ(QSize(dev->targetWidth(), dev->targetHeight()), QSize(kWidth, kHeight));
    EXPECT_NEAR(yellow(small) * 16, full, full / 10);
    EXPECT_EQ(small.pixel(40, 30), qRgb(255, 255, 0));
}

TEST_F(GlSceneTest, ManyMeshesComeAndGoAndEachKeepsItsOwnGeometry) {
    // 20 x 15 boxes of three widths, each in its own colour, then every other one replaced by a
    // new mesh. Meshes share buffers, reuse freed space and go on in new buffers when one is full
    // (large spheres drawn out of sight between the boxes fill several): every box must still
    // show its own geometry, its colour at its centre and the background just beyond its width
    // on the side turned away from the camera.
    std::vector<MeshPtr> boxes, fillers;
    auto width = [](std::size_t i) { return 0.3f + (i % 3) * 0.1f; };
    for (std::size_t i = 0; i < 300; ++i)
        boxes.push_back(CreateBox(width(i), 0.5f, 0.5f));
    for (int i = 0; i < 30; ++i)
        fillers.push_back(CreateSphere(1, 100, 100)); // about 240 KB of vertices each
    std::vector<float> green(boxes.size(), 0);
    auto place = [](std::size_t i) { return Vector3{-9.5f + i % 20, -7.0f + i / 20, 0}; };
    auto colour = [&](std::size_t i) { return Vector3{(i % 7) / 6.0f, green[i], (i % 5) / 4.0f}; };
    auto check = [&](const char* when) {
        const QImage image = frame([&] {
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const Vector3 p = place(i), c = colour(i);
                drawMesh(*boxes[i], MatrixTranslation(p.x, p.y, p.z), emissiveMaterial(c.x, c.y, c.z));
                if (i % 10 == 0) // behind the camera
                    drawMesh(*fillers[i / 10], MatrixTranslation(0, 0, -100), emissiveMaterial(1, 1, 1));
            }
        });
        for (std::size_t i = 0, wrong = 0; i < boxes.size() && wrong < 3; ++i) {
            const Vector3 p = place(i), c = colour(i);
            const float beside = p.x + (p.x < 0 ? -1 : 1) * (width(i) / 2 + 0.12f);
            const auto centre = Looks(image.pixel(project(p)), rgbOf(c.x, c.y, c.z), 1);
            const auto background = Looks(image.pixel(project({beside, p.y, p.z - 0.25f})), kBackground);
            wrong += !centre || !background;
            EXPECT_TRUE(centre && background)
                << when << ": box " << i << (centre ? background : centre).message();
        }
    };
    check("first");
    const std::uint64_t uploads = dev->uploadCount();
    for (std::size_t i = 0; i < boxes.size(); i += 2) {
        boxes[i] = CreateBox(width(i), 0.5f, 0.5f);
        green[i] = 1;
    }
    check("after replacing half");
    EXPECT_EQ(dev->uploadCount(), uploads + boxes.size() / 2);
    boxes[1] = boxes[1]->cloneFVF(FVF_POSITION_NORMAL_TEX1);
    check("with a second vertex format");
}

TEST(GlDevice, DepthIsClippedToTheNearAndFarPlanesAndAResetWaitsForAContextThatStillLives) {
    for (const bool clipControl : {true, false}) {
        SCOPED_TRACE(clipControl ? "glClipControl" : "depth remapped in the shader");
        auto first = std::make_unique<OffscreenGl>();
        ASSERT_TRUE(first->valid()) << first->error().toStdString();
        const auto shared = std::make_shared<Device>();
        Device& dev = *shared;
        dev.setClipControlAllowed(clipControl);
        dev.setTargetSize(40, 30);
        ASSERT_TRUE(dev.attachContext(first->context(), first->makeCurrentFunction()));
        EXPECT_EQ(dev.usesClipControl(), clipControl);
        dev.setTransform(TransformType::View, MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
        dev.setTransform(TransformType::Projection, MatrixPerspectiveFovLH(3.1415f / 4, 1, 1, 3000));
        dev.setMaterial(emissiveMaterial(0, 1, 0));
        auto draw = [&](const Mesh& mesh, float distance) { // from the camera
            dev.clear(CLEAR_TARGET | CLEAR_ZBUFFER, kBackground, 1, 0);
            dev.beginScene();
            dev.setTransform(TransformType::World, MatrixTranslation(0, 0, distance - 20));
            dev.drawSubset(mesh, 0);
            dev.endScene();
            dev.present();
            return dev.grabFramebuffer();
        };
        // Only what lies between the near (1) and far (3000) planes is drawn, as Direct3D clips
        // depth to 0..1; OpenGL's own -1..1 would also show what lies just before the near plane.
        for (const auto& [distance, size, shown] : {std::tuple(0.5f, 0.2f, false),
                                                    {1.5f, 0.2f, true},
                                                    {2990.0f, 400.0f, true},
                                                    {3010.0f, 400.0f, false}})
            EXPECT_EQ(draw(*CreateBox(size, size, 0.01f), distance).pixel(20, 15) != kBackground, shown)
                << distance;

        const MeshPtr box = CreateBox(6, 6, 6);
        draw(*box, 20);
        const std::uint64_t uploads = dev.uploadCount();
        // A working device: the target follows the new size, meshes stay uploaded until they change.
        dev.setTargetSize(64, 64);
        EXPECT_EQ(dev.reset(), D3D_OK);
        EXPECT_EQ(dev.getViewport().width, 64u);
        EXPECT_EQ(draw(*box, 20).pixel(32, 32), qRgb(0, 255, 0));
        EXPECT_EQ(dev.grabFramebuffer().size(), QSize(64, 64));
        EXPECT_EQ(dev.uploadCount(), uploads);
        box->vertices()[0] += 0.5f;
        box->changed();
        draw(*box, 20);
        EXPECT_EQ(dev.uploadCount(), uploads + 1);

        QFont big(QStringLiteral("Liberation Sans"));
        big.setPixelSize(40);
        Font font(shared, big);
        auto redText = [&] { // pixels of an overlay text in red
            dev.clear(CLEAR_TARGET | CLEAR_ZBUFFER, kBackground, 1, 0);
            dev.beginScene();
            font.drawText(QStringLiteral("WW"), 0, 0, 0xFFFF0000);
            dev.endScene();
            const QImage text = dev.grabFramebuffer();
            int red = 0;
            for (int y = 0; y < text.height(); ++y)
                for (int x = 0; x < text.width(); ++x)
                    red += text.pixel(x, y) == qRgb(255, 0, 0);
            return red;
        };
        EXPECT_GT(redText(), 20);

        first.reset(); // the context goes away (as a widget's does when it is re-created)
        EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_FALSE(dev.hasContext());
        EXPECT_EQ(dev.reset(), D3DERR_DEVICENOTRESET); // nothing to reset onto yet
        EXPECT_TRUE(draw(*box, 20).isNull());          // frames go on without a picture
        auto second = std::make_unique<OffscreenGl>();
        dev.contextAvailable(second->context(), second->makeCurrentFunction());
        EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICENOTRESET);
        second.reset(); // the offered context goes away before the reset
        EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_EQ(dev.reset(), D3DERR_DEVICENOTRESET);
        auto third = std::make_unique<OffscreenGl>();
        dev.contextAvailable(third->context(), third->makeCurrentFunction());
        ASSERT_EQ(dev.reset(), D3D_OK);
        EXPECT_EQ(dev.testCooperativeLevel(), D3D_OK);
        EXPECT_EQ(dev.usesClipControl(), clipControl);
        EXPECT_EQ(draw(*box, 20).pixel(32, 32), qRgb(0, 255, 0));
        EXPECT_EQ(dev.uploadCount(), uploads + 2); // the box, once more
        EXPECT_GT(redText(), 20) << "the overlay's text on the new context";
    }
}
