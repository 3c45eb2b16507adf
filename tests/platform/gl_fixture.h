// Shared helpers of the OpenGL tests: an off-screen device with the default scene, and pixel
// comparisons. The tests run under Xvfb with Mesa's software rasteriser.
#pragma once

#include "platform/Device.h"
#include "platform/Math.h"
#include "platform/Mesh.h"
#include "scene/D3DInit.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace gltest {

inline constexpr std::uint32_t kBackground = 0xFF80B0E0;

// Whether a pixel shows the expected colour, within `tolerance` in each channel.
inline ::testing::AssertionResult Looks(QRgb got, QRgb expected, int tolerance = 0) {
    if (std::max({std::abs(qRed(got) - qRed(expected)), std::abs(qGreen(got) - qGreen(expected)),
                  std::abs(qBlue(got) - qBlue(expected))}) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "shows " << got << ", expected " << expected;
}

inline QRgb rgbOf(float r, float g, float b) {
    auto byte = [](float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return qRgb(byte(r), byte(g), byte(b));
}

// A material that shows exactly `emissive` (no diffuse or ambient response) with the given alpha.
inline platform::Material emissiveMaterial(float r, float g, float b, float alpha = 1.0f) {
    platform::Material m;
    m.emissive = {r, g, b, 0};
    m.diffuse = {0, 0, 0, alpha};
    return m;
}

// The off-screen device of the module (InitOffscreenDevice3D) with SetupSceneDefaults applied.
class GlSceneTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    void SetUp() override {
        SetDeviceMessageHook([](DeviceMessage, const QString& text) {
            ADD_FAILURE() << "unexpected device message: " << text.toStdString();
        });
        SetDeviceExitHook([](int) { ADD_FAILURE() << "the device module wanted to end the program"; });
        ASSERT_TRUE(InitOffscreenDevice3D(kWidth, kHeight));
        ASSERT_TRUE(g_device && g_device->hasContext()) << "no OpenGL 3.3 context (run under Xvfb)";
        SetupSceneDefaults();
        dev = g_device.get();
    }

    void TearDown() override {
        ReleaseDevice3D();
        SetDeviceMessageHook(nullptr);
        SetDeviceExitHook(nullptr);
    }

    // One frame: clear to the background, `draw`, end the scene, and read it back.
    QImage frame(const std::function<void()>& draw) {
        ClearView(kBackground);
        dev->beginScene();
        draw();
        dev->endScene();
        dev->present();
        return dev->grabFramebuffer();
    }

    void drawMesh(const platform::Mesh& mesh, const platform::Matrix& world, const platform::Material& m) {
        dev->setTransform(platform::TransformType::World, world);
        dev->setMaterial(m);
        dev->drawSubset(mesh, 0);
    }

    // Pixel of the render target that a world-space point lands on.
    QPoint project(const platform::Vector3& p) const {
        const platform::Vector3 s = platform::Vec3Project(p, dev->getViewport(), g_projectionMatrix,
                                                          g_viewMatrix, platform::Matrix::identity());
        return {static_cast<int>(std::floor(s.x)), static_cast<int>(std::floor(s.y))};
    }

    platform::Device* dev = nullptr;
};

} // namespace gltest
