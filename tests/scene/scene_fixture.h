// Shared set-up of the scene tests: a null device (no OpenGL) that records every draw, installed
// as the shared device, and comparison helpers for vectors and matrices.
#pragma once

#include "platform/Device.h"
#include "platform/Math.h"
#include "platform/Mesh.h"
#include "scene/D3DUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_device = std::make_shared<platform::Device>();
        g_device->setRecording(true);
        g_identityMatrix = platform::Matrix::identity();
    }
    void TearDown() override { g_device.reset(); }

    platform::Device& device() { return *g_device; }
    const std::vector<platform::DrawRecord>& draws() { return g_device->records(); }
};

inline ::testing::AssertionResult Near(const platform::Vector3& actual, const platform::Vector3& expected,
                                       float tolerance = 1e-5f) {
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") is not (" << expected.x << ", "
           << expected.y << ", " << expected.z << ")";
}

inline ::testing::AssertionResult Near(const platform::Matrix& actual, const platform::Matrix& expected,
                                       float tolerance = 1e-5f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(actual(r, c) - expected(r, c)) <= tolerance))
                return ::testing::AssertionFailure() << "element [" << r << "][" << c << "] is "
                                                     << actual(r, c) << ", expected " << expected(r, c);
    return ::testing::AssertionSuccess();
}

inline bool IsZero(const platform::Matrix& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m(r, c) != 0.0f)
                return false;
    return true;
}

// Where the matrix takes a point.
inline platform::Vector3 Apply(const platform::Matrix& m, const platform::Vector3& p) {
    return platform::Vec3TransformCoord(p, m);
}

inline platform::Material MaterialWithAlpha(float alpha, float red = 0.25f) {
    platform::Material m;
    m.diffuse = {red, 0.5f, 0.75f, alpha};
    m.ambient = m.diffuse;
    return m;
}
