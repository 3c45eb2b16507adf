// Geometric checks shared by the maths, mesh, text and scene tests. Vertices are welded by exact
// position, since faces with their own normals have their own copies of a corner.
#pragma once

#include "platform/Math.h"
#include "platform/Mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace meshchecks {

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
    for (int i = 0; i < 16; ++i)
        if (!(std::fabs(actual.m[i / 4][i % 4] - expected.m[i / 4][i % 4]) <= tolerance))
            return ::testing::AssertionFailure() << "element " << i << " is " << actual.m[i / 4][i % 4]
                                                 << ", expected " << expected.m[i / 4][i % 4];
    return ::testing::AssertionSuccess();
}

struct Welded {
    std::vector<platform::Vector3> points;
    std::vector<std::uint32_t> triangles; // indices into points
};

inline Welded weld(const platform::Mesh& mesh) {
    Welded w;
    std::map<std::tuple<float, float, float>, std::uint32_t> index;
    std::vector<std::uint32_t> remap(mesh.vertexCount());
    for (std::uint32_t v = 0; v < mesh.vertexCount(); ++v) {
        const platform::Vector3 p = mesh.position(v);
        auto [it, added] = index.try_emplace({p.x, p.y, p.z}, static_cast<std::uint32_t>(w.points.size()));
        if (added)
            w.points.push_back(p);
        remap[v] = it->second;
    }
    for (std::uint32_t i : mesh.indices())
        w.triangles.push_back(remap[i]);
    return w;
}

// Undirected edge -> number of triangles using it.
inline std::map<std::pair<std::uint32_t, std::uint32_t>, int> edgeUse(const Welded& w) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> use;
    for (std::size_t t = 0; t + 2 < w.triangles.size(); t += 3)
        for (int k = 0; k < 3; ++k) {
            std::uint32_t a = w.triangles[t + k], b = w.triangles[t + (k + 1) % 3];
            ++use[{std::min(a, b), std::max(a, b)}];
        }
    return use;
}

// The edges that are not shared by exactly two triangles (none when the mesh is closed).
inline int openEdges(const platform::Mesh& mesh) {
    int open = 0;
    for (const auto& [edge, count] : edgeUse(weld(mesh)))
        open += count != 2;
    return open;
}

// V - E + F of the welded surface: 2 for a solid without holes, 0 with one hole, -2 with two.
inline long eulerCharacteristic(const platform::Mesh& mesh) {
    const Welded w = weld(mesh);
    return static_cast<long>(w.points.size()) - static_cast<long>(edgeUse(w).size()) +
           static_cast<long>(w.triangles.size() / 3);
}

// Faces whose winding disagrees with their vertex normals: for a Direct3D front face the cross
// product (v1 - v0) x (v2 - v0) points the way the face looks. Zero-area faces are skipped.
inline int facesAgainstNormals(const platform::Mesh& mesh) {
    using namespace platform;
    int wrong = 0;
    const auto& idx = mesh.indices();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vector3 a = mesh.position(idx[t]), b = mesh.position(idx[t + 1]), c = mesh.position(idx[t + 2]);
        const Vector3 n = Vec3Cross(b - a, c - a);
        if (Vec3Length(n) < 1e-9f)
            continue;
        const Vector3 sum = mesh.normal(idx[t]) + mesh.normal(idx[t + 1]) + mesh.normal(idx[t + 2]);
        if (Vec3Dot(n, sum) <= 0)
            ++wrong;
    }
    return wrong;
}

} // namespace meshchecks
