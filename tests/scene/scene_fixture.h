// Shared set-up of the scene tests: a null device (no OpenGL) that records every draw, installed
// as the shared device, and helpers for points, matrices and materials.
#pragma once

#include "../platform/mesh_checks.h"
#include "platform/Device.h"
#include "scene/D3DUtil.h"

#include <gtest/gtest.h>

#include <memory>

using meshchecks::Near;

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
