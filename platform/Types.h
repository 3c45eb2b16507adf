// The value types of the 3D layer, laid out as their Direct3D counterparts so that data
// (materials, matrices) can be copied byte for byte where the program relies on it.
//
// Conventions: left-handed coordinates; row vectors, a point p is transformed as p x M, so in the
// product A x B, A acts first. Matrices are stored row-major (m[row][column]); the translation is
// in row 3. This layout uploads to a GLSL mat4 unchanged (GLSL reads it column-major, so the shader
// computes M^T * v, which equals v x M).
#pragma once

#include <cstdint>

namespace platform {

struct Vector2 {
    float x = 0, y = 0;
};

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Vector4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// Rotation quaternion (x, y, z, w); the default is the identity rotation.
struct Quaternion {
    float x = 0, y = 0, z = 0, w = 1;
};

// 4 x 4 single matrix, row-major, used with row vectors. The default is all zeros.
struct Matrix {
    float m[4][4] = {};

    float& operator()(int row, int col) { return m[row][col]; }
    float operator()(int row, int col) const { return m[row][col]; }
    static Matrix identity() {
        Matrix r;
        r.m[0][0] = r.m[1][1] = r.m[2][2] = r.m[3][3] = 1.0f;
        return r;
    }
};

// Colour with components in 0..1, in the order r, g, b, a.
struct ColorValue {
    float r = 0, g = 0, b = 0, a = 0;
};

// A material: diffuse, ambient, specular, emissive, then the specular power.
struct Material {
    ColorValue diffuse;
    ColorValue ambient;
    ColorValue specular;
    ColorValue emissive;
    float power = 0;
};

// A material of one colour lit by the ambient and diffuse light alike, without highlights.
inline Material FlatMaterial(const ColorValue& c) {
    Material m;
    m.diffuse = c;
    m.ambient = c;
    return m;
}

enum class LightType : std::int32_t { Point = 1, Spot = 2, Directional = 3 };

struct Light {
    LightType type = LightType::Directional;
    ColorValue diffuse;
    ColorValue specular;
    ColorValue ambient;
    Vector3 position;
    Vector3 direction;
    float range = 0;
    float falloff = 0;
    float attenuation0 = 0;
    float attenuation1 = 0;
    float attenuation2 = 0;
    float theta = 0;
    float phi = 0;
};

// Pixel rectangle of the render target that clip space maps to, with its depth range.
struct Viewport {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
    float minZ = 0, maxZ = 1;
};

} // namespace platform
