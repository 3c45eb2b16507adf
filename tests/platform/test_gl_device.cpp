// The OpenGL device on an off-screen framebuffer: clearing, lighting, culling, blending, depth,
// textures, overlay text and recovery from a lost context.
#include "gl_fixture.h"

#include "platform/Font.h"
#include "platform/GlContext.h"
#include "platform/Texture.h"

#include <QTemporaryDir>

#include <set>

using namespace platform;
using namespace gltest;

namespace {

// Direct3D's lighting of one face: emissive + ambient x (ambient state + light ambient)
// + diffuse x light diffuse x max(0, N.L), clamped.
QRgb litFace(const Vector3& worldNormal, const Material& m, const Light& l, std::uint32_t ambientState) {
    const Vector3 toLight = Vec3Normalize(l.direction) * -1.0f;
    const float nDotL = std::max(0.0f, Vec3Dot(Vec3Normalize(worldNormal), toLight));
    auto channel = [&](float emissive, float ambient, float lightAmbient, float diffuse, float lightDiffuse,
                       int shift) {
        const float state = ((ambientState >> shift) & 0xFF) / 255.0f;
        return emissive + ambient * (state + lightAmbient) + diffuse * lightDiffuse * nDotL;
    };
    return rgbOf(channel(m.emissive.r, m.ambient.r, l.ambient.r, m.diffuse.r, l.diffuse.r, 16),
                 channel(m.emissive.g, m.ambient.g, l.ambient.g, m.diffuse.g, l.diffuse.g, 8),
                 channel(m.emissive.b, m.ambient.b, l.ambient.b, m.diffuse.b, l.diffuse.b, 0));
}

} // namespace

TEST_F(GlSceneTest, ClearFillsTheWholeTargetWithTheExactColour) {
    const QImage image = frame([] {});
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), kBackground) << "at " << x << "," << y;
}

TEST_F(GlSceneTest, DefaultSceneLightsEveryVisibleFaceOfABoxAsDirect3D) {
    // A turned box shows three faces; each must carry the lighting of its own (outward) normal,
    // which also proves that the inside faces are culled and not the outside ones.
    const MeshPtr box = CreateBox(6, 6, 6);
    const Matrix world = MatrixMultiply(MatrixRotationY(0.6f), MatrixRotationX(-0.5f));
    const Material material = dev->getMaterial();
    const QImage image = frame([&] { drawMesh(*box, world, material); });

    const Light light = dev->getLight(0);
    const std::uint32_t ambient = dev->getRenderState(rs::Ambient);
    const Vector3 normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    int visible = 0;
    QRgb brightestLit = 0, darkestUnlit = qRgb(255, 255, 255);
    for (const Vector3& n : normals) {
        const Vector3 wn = Vec3TransformNormal(n, world);
        if (wn.z > -0.2f)
            continue; // turned away from the camera (or nearly edge-on)
        ++visible;
        const QPoint p = project(Vec3TransformCoord(n * 3.0f, world));
        const QRgb expected = litFace(wn, material, light, ambient);
        const QRgb got = image.pixel(p);
        EXPECT_LE(channelDistance(got, expected), 2)
            << "face " << n.x << "," << n.y << "," << n.z << ": got " << hex(got).toStdString()
            << ", expected " << hex(expected).toStdString();
        const float nDotL = Vec3Dot(Vec3Normalize(wn), Vec3Normalize(light.direction) * -1.0f);
        if (nDotL > 0.1f)
            brightestLit = std::max(brightestLit, got);
        else if (nDotL <= 0)
            darkestUnlit = std::min(darkestUnlit, got);
    }
    EXPECT_EQ(visible, 3);
    EXPECT_GT(qGray(brightestLit), qGray(darkestUnlit) + 20);
    EXPECT_NE(image.pixel(kWidth / 2, kHeight / 2), kBackground);
}

TEST_F(GlSceneTest, CullModeSelectsWhichSideOfTheBoxIsDrawn) {
    // Seen from outside, a box's front face is its -Z face; culling clockwise faces instead shows
    // the inside of its +Z face. The two faces get different emissive colours through two boxes:
    // the same box drawn with the cull mode under test.
    const MeshPtr box = CreateBox(6, 6, 6);
    Material m = dev->getMaterial();
    dev->setRenderState(rs::Lighting, 1);
    // Light from behind the camera: the -Z face is lit, the +Z face is not.
    Light light = dev->getLight(0);
    light.direction = {0, 0, 1};
    dev->setLight(0, light);
    struct Case {
        std::uint32_t cull;
        Vector3 shownNormal;
    };
    for (const Case& c : {Case{rs::CullCCW, {0, 0, -1}}, Case{rs::CullCW, {0, 0, 1}}}) {
        dev->setRenderState(rs::CullMode, c.cull);
        const QImage image = frame([&] { drawMesh(*box, Matrix::identity(), m); });
        const QRgb expected = litFace(c.shownNormal, m, light, dev->getRenderState(rs::Ambient));
        EXPECT_LE(channelDistance(image.pixel(kWidth / 2, kHeight / 2), expected), 2)
            << "cull mode " << c.cull;
    }
    dev->setRenderState(rs::CullMode, rs::CullNone);
    const QImage both = frame([&] { drawMesh(*box, Matrix::identity(), m); });
    EXPECT_NE(both.pixel(kWidth / 2, kHeight / 2), kBackground);
}

TEST_F(GlSceneTest, TranslucentPlateBlendsOverWhatIsBehindIt) {
    const MeshPtr box = CreateBox(4, 4, 4);
    const MeshPtr plate = CreateBox(14, 14, 0.1f);
    const Matrix behind = MatrixTranslation(0, 0, 5);
    const Material red = emissiveMaterial(0.9f, 0.1f, 0.1f);
    const float alpha = 0x6F / 255.0f;
    const Material plateMaterial = emissiveMaterial(0.2f, 0.4f, 0.6f, alpha);

    const QImage without = frame([&] { drawMesh(*box, behind, red); });
    const QImage with = frame([&] {
        drawMesh(*box, behind, red);
        dev->setRenderState(rs::AlphaBlendEnable, 1);
        dev->setRenderState(rs::SrcBlend, rs::BlendSrcAlpha);
        dev->setRenderState(rs::DestBlend, rs::BlendInvSrcAlpha);
        drawMesh(*plate, Matrix::identity(), plateMaterial);
        dev->setRenderState(rs::AlphaBlendEnable, 0);
    });
    const QPoint overBox(kWidth / 2, kHeight / 2);
    const QPoint overBackground = project({6, 6, 0});
    const QPoint outside(2, 2);
    ASSERT_NE(without.pixel(overBox), kBackground);
    for (const QPoint p : {overBox, overBackground}) {
        const QRgb dst = without.pixel(p);
        auto mix = [&](float src, int d) { return src * alpha + d / 255.0f * (1 - alpha); };
        const QRgb expected = rgbOf(mix(0.2f, qRed(dst)), mix(0.4f, qGreen(dst)), mix(0.6f, qBlue(dst)));
        EXPECT_LE(channelDistance(with.pixel(p), expected), 2)
            << "at " << p.x() << "," << p.y() << ": got " << hex(with.pixel(p)).toStdString() << ", expected "
            << hex(expected).toStdString();
    }
    EXPECT_EQ(with.pixel(outside), kBackground);
}

TEST_F(GlSceneTest, DepthTestKeepsTheNearerSurfaceWhateverTheDrawingOrder) {
    const MeshPtr box = CreateBox(4, 4, 4);
    const Matrix nearer = MatrixTranslation(0, 0, -2), farther = MatrixTranslation(0, 0, 4);
    const Material green = emissiveMaterial(0, 1, 0), red = emissiveMaterial(1, 0, 0);
    struct Case {
        std::uint32_t zEnable;
        bool nearFirst;
        QRgb expected;
    };
    const Case cases[] = {
        {1, true, qRgb(0, 255, 0)},
        {1, false, qRgb(0, 255, 0)}, // depth test on: the near box wins
        {0, true, qRgb(255, 0, 0)},
        {0, false, qRgb(0, 255, 0)}, // off: the last one drawn wins
    };
    for (const Case& c : cases) {
        dev->setRenderState(rs::ZEnable, c.zEnable);
        const QImage image = frame([&] {
            if (c.nearFirst) {
                drawMesh(*box, nearer, green);
                drawMesh(*box, farther, red);
            } else {
                drawMesh(*box, farther, red);
                drawMesh(*box, nearer, green);
            }
        });
        EXPECT_EQ(image.pixel(kWidth / 2, kHeight / 2), c.expected)
            << "z enable " << c.zEnable << ", near first " << c.nearFirst;
    }
}

TEST_F(GlSceneTest, DepthIsWrittenOnlyWithZWriteEnabled) {
    // A near box drawn without writing depth does not hide a farther box drawn after it.
    const MeshPtr box = CreateBox(4, 4, 4);
    const Material green = emissiveMaterial(0, 1, 0), red = emissiveMaterial(1, 0, 0);
    dev->setRenderState(rs::ZWriteEnable, 0);
    const QImage image = frame([&] {
        drawMesh(*box, MatrixTranslation(0, 0, -2), green);
        dev->setRenderState(rs::ZWriteEnable, 1);
        drawMesh(*box, MatrixTranslation(0, 0, 4), red);
    });
    EXPECT_EQ(image.pixel(kWidth / 2, kHeight / 2), qRgb(255, 0, 0));
}

TEST_F(GlSceneTest, LightingOffDrawsWhiteAndFlatShadingUsesOneColourPerFace) {
    const MeshPtr sphere = CreateSphere(5, 16, 16);
    dev->setRenderState(rs::Lighting, 0);
    const QImage white = frame([&] { drawMesh(*sphere, Matrix::identity(), dev->getMaterial()); });
    EXPECT_EQ(white.pixel(kWidth / 2, kHeight / 2), qRgb(255, 255, 255));

    // Gouraud shading varies inside a triangle; flat shading is constant over it. Compare the
    // number of distinct colours over the sphere.
    dev->setRenderState(rs::Lighting, 1);
    auto colours = [&](std::uint32_t shade) {
        dev->setRenderState(rs::ShadeMode, shade);
        const QImage image = frame([&] { drawMesh(*sphere, Matrix::identity(), dev->getMaterial()); });
        std::set<QRgb> distinct;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (image.pixel(x, y) != kBackground)
                    distinct.insert(image.pixel(x, y));
        return distinct.size();
    };
    const std::size_t gouraud = colours(rs::ShadeGouraud);
    const std::size_t flat = colours(rs::ShadeFlat);
    EXPECT_LE(flat, 16u * 16u);
    EXPECT_GT(gouraud, 2 * flat);
}

TEST_F(GlSceneTest, TextureOnStageZeroModulatesTheLitColour) {
    // A 2 x 2 picture on a square with texture coordinates (position, normal, one texture set).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));     // top left
    picture.setPixel(1, 0, qRgb(0, 255, 0));     // top right
    picture.setPixel(0, 1, qRgb(0, 0, 255));     // bottom left
    picture.setPixel(1, 1, qRgb(255, 255, 255)); // bottom right
    const QString path = dir.filePath(QStringLiteral("quad.png"));
    ASSERT_TRUE(picture.save(path));
    QString error;
    const TexturePtr texture = CreateTextureFromFile(path, &error);
    ASSERT_TRUE(texture) << error.toStdString();
    EXPECT_EQ(texture->width(), 2);
    EXPECT_FALSE(CreateTextureFromFile(dir.filePath(QStringLiteral("missing.png")), &error));
    EXPECT_FALSE(error.isEmpty());

    // x, y, z, nx, ny, nz, u, v; clockwise seen from the camera (front face), facing -Z.
    const float s = 6;
    std::vector<float> vertices = {-s, s,  0, 0, 0, -1, 0, 0, s,  s,  0, 0, 0, -1, 1, 0,
                                   s,  -s, 0, 0, 0, -1, 1, 1, -s, -s, 0, 0, 0, -1, 0, 1};
    const Mesh quad(FVF_POSITION_NORMAL_TEX1, vertices, {0, 1, 2, 0, 2, 3});
    dev->setRenderState(rs::Lighting, 0); // white, so the texels show unchanged
    const QImage plain = frame([&] {
        dev->setTexture(0, texture);
        drawMesh(quad, Matrix::identity(), dev->getMaterial());
        dev->setTexture(0, nullptr);
    });
    auto at = [&](const QImage& image, float x, float y) { return image.pixel(project({x, y, 0})); };
    EXPECT_EQ(at(plain, -s / 2, s / 2), qRgb(255, 0, 0));
    EXPECT_EQ(at(plain, s / 2, s / 2), qRgb(0, 255, 0));
    EXPECT_EQ(at(plain, -s / 2, -s / 2), qRgb(0, 0, 255));
    EXPECT_EQ(at(plain, s / 2, -s / 2), qRgb(255, 255, 255));

    // Lit: texel x lit colour (here the emissive (0.5, 0.25, 1)).
    dev->setRenderState(rs::Lighting, 1);
    const QImage lit = frame([&] {
        dev->setTexture(0, texture);
        drawMesh(quad, Matrix::identity(), emissiveMaterial(0.5f, 0.25f, 1.0f));
        dev->setTexture(0, nullptr);
    });
    EXPECT_LE(channelDistance(at(lit, s / 2, -s / 2), rgbOf(0.5f, 0.25f, 1.0f)), 1);
    EXPECT_LE(channelDistance(at(lit, -s / 2, s / 2), rgbOf(0.5f, 0, 0)), 1);
    // Without a texture the same quad shows the lit colour itself.
    const QImage untextured =
        frame([&] { drawMesh(quad, Matrix::identity(), emissiveMaterial(0.5f, 0.25f, 1)); });
    EXPECT_LE(channelDistance(at(untextured, -s / 2, s / 2), rgbOf(0.5f, 0.25f, 1.0f)), 1);
}

TEST_F(GlSceneTest, OverlayTextIsPaintedOverTheSceneInItsColour) {
    // The box leaves face culling and depth testing on, which the overlay must not suffer from.
    const MeshPtr box = CreateBox(6, 6, 6);
    QFont qfont(QStringLiteral("Liberation Sans"));
    qfont.setPixelSize(28);
    Font font(g_device, qfont);
    const QString text = QStringLiteral("Size: 1,234 bytes");
    const int left = 20, top = 100; // over the box and the background
    const QRect box2d(left, top, font.textWidth(text), font.textHeight(text));
    ASSERT_GT(box2d.width(), 100);
    ASSERT_GT(box2d.height(), 20);

    const QImage before = frame([&] { drawMesh(*box, Matrix::identity(), dev->getMaterial()); });
    const QImage image = frame([&] {
        drawMesh(*box, Matrix::identity(), dev->getMaterial());
        EXPECT_EQ(font.drawText(text, left, top, 0xFFFF0000), box2d.height());
    });
    ASSERT_EQ(dev->overlayTexts().size(), 1u);
    EXPECT_EQ(dev->overlayTexts()[0].text, text);

    int red = 0, changedOutside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool inside = box2d.adjusted(-2, -2, 2, 2).contains(x, y);
            if (inside && image.pixel(x, y) == qRgb(255, 0, 0))
                ++red;
            if (!inside && image.pixel(x, y) != before.pixel(x, y))
                ++changedOutside;
        }
    EXPECT_GT(red, 50) << "few pixels in the text's colour";
    EXPECT_EQ(changedOutside, 0);

    // The next frame draws the 3D scene as before: the painter's state changes were undone.
    const QImage after = frame([&] { drawMesh(*box, Matrix::identity(), dev->getMaterial()); });
    EXPECT_EQ(after, before);
    EXPECT_TRUE(dev->overlayTexts().empty());
}

TEST(GlDevice, ResetAfterContextLossUploadsMeshesAgainAndDraws) {
    auto first = std::make_unique<OffscreenGl>();
    ASSERT_TRUE(first->valid()) << first->error().toStdString();
    Device dev;
    dev.setTargetSize(64, 64);
    ASSERT_TRUE(dev.attachContext(first->context(), first->makeCurrentFunction()));
    dev.setTransform(TransformType::View, MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
    dev.setTransform(TransformType::Projection, MatrixPerspectiveFovLH(3.1415f / 4, 1, 1, 3000));
    dev.setMaterial(emissiveMaterial(0, 1, 0));
    const MeshPtr box = CreateBox(6, 6, 6);
    auto draw = [&] {
        dev.clear(CLEAR_TARGET | CLEAR_ZBUFFER, kBackground, 1, 0);
        dev.beginScene();
        dev.drawSubset(*box, 0);
        dev.endScene();
        dev.present();
    };
    draw();
    ASSERT_EQ(dev.grabFramebuffer().pixel(32, 32), qRgb(0, 255, 0));
    const std::uint64_t uploads = dev.uploadCount();
    EXPECT_EQ(dev.testCooperativeLevel(), D3D_OK);

    first.reset(); // the context goes away (as a widget's does when it is re-created)
    EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_FALSE(dev.hasContext());
    EXPECT_EQ(dev.reset(), D3DERR_DEVICENOTRESET); // nothing to reset onto yet
    draw();                                        // frames go on without a picture
    EXPECT_TRUE(dev.grabFramebuffer().isNull());

    auto second = std::make_unique<OffscreenGl>();
    ASSERT_TRUE(second->valid());
    dev.contextAvailable(second->context(), second->makeCurrentFunction());
    EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(dev.reset(), D3D_OK);
    EXPECT_EQ(dev.testCooperativeLevel(), D3D_OK);
    draw();
    EXPECT_EQ(dev.grabFramebuffer().pixel(32, 32), qRgb(0, 255, 0));
    EXPECT_EQ(dev.uploadCount(), uploads + 1); // the box, once more
    EXPECT_EQ(dev.drawCount(), 3u);
}

TEST(GlDevice, ResetOfAWorkingDeviceFollowsTheTargetSizeAndKeepsUploads) {
    OffscreenGl gl;
    ASSERT_TRUE(gl.valid());
    Device dev;
    dev.setTargetSize(40, 30);
    ASSERT_TRUE(dev.attachContext(gl.context(), gl.makeCurrentFunction()));
    const MeshPtr box = CreateBox(1, 1, 1);
    dev.drawSubset(*box, 0);
    const std::uint64_t uploads = dev.uploadCount();
    dev.setTargetSize(100, 50);
    EXPECT_EQ(dev.reset(), D3D_OK);
    EXPECT_EQ(dev.getViewport().width, 100u);
    dev.clear(CLEAR_TARGET, 0xFF102030, 1, 0);
    EXPECT_EQ(dev.grabFramebuffer().size(), QSize(100, 50));
    dev.drawSubset(*box, 0);
    EXPECT_EQ(dev.uploadCount(), uploads);
    // Changing a mesh's data makes it upload again.
    box->vertices()[0] += 0.5f;
    box->changed();
    dev.drawSubset(*box, 0);
    EXPECT_EQ(dev.uploadCount(), uploads + 1);
}

TEST(GlDevice, ANullDeviceCountsAndRecordsDrawsWithoutOpenGL) {
    Device dev;
    dev.setRecording(true);
    const MeshPtr box = CreateBox(1, 1, 1);
    dev.setMaterial(emissiveMaterial(1, 0, 0, 0.5f));
    dev.setRenderState(rs::AlphaBlendEnable, 1);
    dev.clear(CLEAR_TARGET | CLEAR_ZBUFFER, 0, 1, 0);
    dev.beginScene();
    dev.drawSubset(*box, 0);
    dev.endScene();
    dev.present();
    EXPECT_EQ(dev.drawCount(), 1u);
    ASSERT_EQ(dev.records().size(), 1u);
    EXPECT_TRUE(dev.records()[0].alphaBlend);
    EXPECT_EQ(dev.records()[0].material.diffuse.a, 0.5f);
    EXPECT_TRUE(dev.grabFramebuffer().isNull());
    EXPECT_EQ(dev.testCooperativeLevel(), D3D_OK);
}

TEST_F(GlSceneTest, ViewportLimitsClearingAndDrawingToItsRectangleFromTheTopLeft) {
    const MeshPtr box = CreateBox(40, 40, 1); // covers the whole view
    Viewport vp;
    vp.x = 20;
    vp.y = 10; // from the top, as Direct3D counts
    vp.width = 100;
    vp.height = 60;
    ClearView(0xFF000000);
    dev->setViewport(vp);
    const QImage image = frame([&] { drawMesh(*box, Matrix::identity(), emissiveMaterial(1, 1, 0)); });
    const QRect inside(20, 10, 100, 60);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb expected = inside.contains(x, y) ? qRgb(255, 255, 0) : qRgb(0, 0, 0);
            if (image.pixel(x, y) != expected && ++wrong < 5)
                ADD_FAILURE() << "at " << x << "," << y << ": " << hex(image.pixel(x, y)).toStdString();
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(GlSceneTest, AMeshWithAnIndexPastItsVerticesIsNotDrawnAndHarmsNothing) {
    const MeshPtr good = CreateBox(4, 4, 4);
    std::vector<float> vertices = {-5, 5, 0, 0, 0, -1, 5, 5, 0, 0, 0, -1, 5, -5, 0, 0, 0, -1};
    Mesh bad(FVF_POSITION_NORMAL, vertices, {0, 1, 2, 0, 2, 1});
    bad.indices()[5] = 700000; // written behind the mesh's back (its own checks never saw it)
    const QImage image = frame([&] {
        drawMesh(bad, Matrix::identity(), emissiveMaterial(1, 0, 0));
        drawMesh(*good, MatrixTranslation(0, 0, 2), emissiveMaterial(0, 1, 0));
    });
    EXPECT_EQ(image.pixel(kWidth / 2, kHeight / 2), qRgb(0, 255, 0));
    EXPECT_EQ(dev->drawCount(), 2u);
}

TEST(GlDevice, ClipDepthRunsFromTheNearToTheFarPlaneWithOrWithoutClipControl) {
    // Only what lies between the near (1) and far (3000) planes is drawn, as Direct3D clips depth
    // to 0..1; OpenGL's own -1..1 would also show what lies just before the near plane.
    OffscreenGl gl;
    ASSERT_TRUE(gl.valid());
    for (const bool clipControl : {true, false}) {
        SCOPED_TRACE(clipControl ? "glClipControl" : "depth remapped in the shader");
        Device dev;
        dev.setClipControlAllowed(clipControl);
        dev.setTargetSize(64, 64);
        ASSERT_TRUE(dev.attachContext(gl.context(), gl.makeCurrentFunction()));
        EXPECT_EQ(dev.usesClipControl(), clipControl);
        dev.setTransform(TransformType::View, MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
        dev.setTransform(TransformType::Projection, MatrixPerspectiveFovLH(3.1415f / 4, 1, 1, 3000));
        dev.setRenderState(rs::CullMode, rs::CullNone);
        struct Case {
            float distance, size; // from the camera, along its view
            bool shown;
        };
        for (const Case& c : {Case{0.5f, 0.2f, false}, Case{1.5f, 0.2f, true}, Case{2990, 400, true},
                              Case{3010, 400, false}}) {
            const MeshPtr box = CreateBox(c.size, c.size, 0.01f);
            dev.clear(CLEAR_TARGET | CLEAR_ZBUFFER, kBackground, 1, 0);
            dev.beginScene();
            dev.setTransform(TransformType::World, MatrixTranslation(0, 0, -20 + c.distance));
            dev.setMaterial(emissiveMaterial(1, 0, 1));
            dev.drawSubset(*box, 0);
            dev.endScene();
            EXPECT_EQ(dev.grabFramebuffer().pixel(32, 32) != kBackground, c.shown)
                << "distance " << c.distance;
        }
    }
}

TEST_F(GlSceneTest, SpecularHighlightIsAddedOnlyWithSpecularEnabled) {
    // Light from behind the camera onto the box's front face. Specular light is worked out at the
    // vertices (as Direct3D does) with the half-way vector between the light and the eye; the
    // face's four corners see the eye alike, so the whole face gets their value.
    const MeshPtr box = CreateBox(6, 6, 6);
    Light light = dev->getLight(0);
    light.direction = {0, 0, 1};
    light.specular = {0.4f, 0.4f, 0.4f, 1};
    dev->setLight(0, light);
    Material m = dev->getMaterial(); // diffuse 0.5, ambient 0.2
    m.specular = {1, 0.5f, 0, 1};
    m.power = 10;
    const QRgb base = litFace({0, 0, -1}, m, light, dev->getRenderState(rs::Ambient));
    struct Case {
        std::uint32_t enabled;
        QRgb expected;
    };
    const Vector3 corner{3, 3, -3}, eye{0, 0, -20}, toLight{0, 0, -1};
    const Vector3 halfway = Vec3Normalize(Vec3Normalize(eye - corner) + toLight);
    const float k = std::pow(Vec3Dot({0, 0, -1}, halfway), m.power);
    ASSERT_LT(k, 0.97f); // the corners are off the highlight's centre
    const auto add = [&](float r, float g, float b) {
        return rgbOf(qRed(base) / 255.0f + r, qGreen(base) / 255.0f + g, qBlue(base) / 255.0f + b);
    };
    for (const Case& c : {Case{0, base}, Case{1, add(0.4f * k, 0.2f * k, 0)}}) {
        dev->setRenderState(rs::SpecularEnable, c.enabled);
        const QImage image = frame([&] { drawMesh(*box, Matrix::identity(), m); });
        EXPECT_LE(channelDistance(image.pixel(kWidth / 2, kHeight / 2), c.expected), 2)
            << "specular " << c.enabled << ": got " << hex(image.pixel(kWidth / 2, kHeight / 2)).toStdString()
            << ", expected " << hex(c.expected).toStdString();
    }
}

TEST(GlDevice, AnOfferedContextThatGoesAwayBeforeTheResetIsNotUsed) {
    auto first = std::make_unique<OffscreenGl>();
    ASSERT_TRUE(first->valid());
    Device dev;
    dev.setTargetSize(16, 16);
    ASSERT_TRUE(dev.attachContext(first->context(), first->makeCurrentFunction()));
    first.reset();
    auto second = std::make_unique<OffscreenGl>();
    dev.contextAvailable(second->context(), second->makeCurrentFunction());
    EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICENOTRESET);
    second.reset(); // e.g. the view re-created its context once more
    EXPECT_EQ(dev.testCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(dev.reset(), D3DERR_DEVICENOTRESET);
    auto third = std::make_unique<OffscreenGl>();
    dev.contextAvailable(third->context(), third->makeCurrentFunction());
    ASSERT_EQ(dev.reset(), D3D_OK);
    dev.clear(CLEAR_TARGET, 0xFF204060, 1, 0);
    EXPECT_EQ(dev.grabFramebuffer().pixel(8, 8), 0xFF204060u);
}

TEST_F(GlSceneTest, ManyMeshesComeAndGoAndEachKeepsItsOwnGeometry) {
    // 20 x 15 small boxes of different sizes (so that vertex data differs), each in its own
    // colour; then every other one is replaced by a new mesh of another size. Meshes share
    // buffers, reuse freed space and go on in new buffers when one is full (large spheres drawn
    // out of sight between the boxes fill several): every box must still show its own geometry.
    const int columns = 20, rows = 15;
    auto place = [&](int i) {
        return Vector3{-9.5f + (i % columns) * 1.0f, -7.0f + (i / columns) * 1.0f, 0};
    };
    auto colour = [](int i, bool second) {
        return emissiveMaterial((i % 7) / 6.0f, second ? 1.0f : 0.0f, (i % 5) / 4.0f);
    };
    std::vector<MeshPtr> boxes;
    for (int i = 0; i < columns * rows; ++i)
        boxes.push_back(CreateBox(0.3f + (i % 3) * 0.1f, 0.5f, 0.5f));
    std::vector<MeshPtr> fillers;
    for (int i = 0; i < 30; ++i)
        fillers.push_back(CreateSphere(1, 100, 100)); // about 240 KB of vertices each
    std::vector<bool> second(boxes.size(), false);
    auto check = [&](const char* when) {
        const QImage image = frame([&] {
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const Vector3 p = place(static_cast<int>(i));
                drawMesh(*boxes[i], MatrixTranslation(p.x, p.y, p.z), colour(static_cast<int>(i), second[i]));
                if (i % 10 == 0) // behind the camera
                    drawMesh(*fillers[i / 10], MatrixTranslation(0, 0, -100), colour(0, false));
            }
        });
        int wrong = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const Material m = colour(static_cast<int>(i), second[i]);
            const QRgb expected = rgbOf(m.emissive.r, m.emissive.g, m.emissive.b);
            const Vector3 p = place(static_cast<int>(i));
            const float half = (0.3f + (i % 3) * 0.1f) / 2;
            // The centre shows the box; just outside its width (per its own size), on the side
            // turned away from the camera, the background.
            const QRgb centre = image.pixel(project(p));
            const float outward = p.x < 0 ? -1.0f : 1.0f;
            const QRgb beside = image.pixel(project({p.x + outward * (half + 0.12f), p.y, p.z - 0.25f}));
            if ((channelDistance(centre, expected) > 1 || beside != kBackground) && ++wrong <= 3)
                ADD_FAILURE() << when << ": box " << i << " shows " << hex(centre).toStdString() << " / "
                              << hex(beside).toStdString();
        }
        EXPECT_EQ(wrong, 0) << when;
    };
    check("first");
    const std::uint64_t uploads = dev->uploadCount();
    EXPECT_GE(uploads, boxes.size() + fillers.size());
    for (std::size_t i = 0; i < boxes.size(); i += 2) {
        boxes[i] = CreateBox(0.3f + (i % 3) * 0.1f, 0.5f, 0.5f);
        second[i] = true;
    }
    check("after replacing half");
    EXPECT_EQ(dev->uploadCount(), uploads + boxes.size() / 2);
    // A mesh of another vertex format in between.
    const MeshPtr textured = boxes[1]->cloneFVF(FVF_POSITION_NORMAL_TEX1);
    boxes[1] = textured;
    check("with a second vertex format");
}
