// Maths with the semantics of the Direct3D utility library, computed with GLM.
//
// The bridge between the two conventions: our matrices are row-major and act on row vectors
// (p' = p x M); GLM's are column-major and act on column vectors (p' = M p). A Direct3D matrix M
// and the GLM matrix M^T have the same 16 floats in the same order, so converting is a plain copy,
// and a product a x b (a first) becomes GLM's b^T * a^T.
#include "Math.h"

#include <cmath>
#include <cstring>

#define GLM_FORCE_CTOR_INIT
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

namespace platform {

namespace {

glm::mat4 toGlm(const Matrix& m) {
    return glm::make_mat4(&m.m[0][0]);
}

Matrix fromGlm(const glm::mat4& g) {
    Matrix m;
    std::memcpy(m.m, glm::value_ptr(g), sizeof(m.m));
    return m;
}

glm::vec3 toGlm(const Vector3& v) {
    return {v.x, v.y, v.z};
}
Vector3 fromGlm(const glm::vec3& v) {
    return {v.x, v.y, v.z};
}

// GLM's quaternion constructor takes w first.
glm::quat toGlm(const Quaternion& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}
Quaternion fromGlm(const glm::quat& q) {
    return {q.x, q.y, q.z, q.w};
}

// Combined world x view x projection, as the project/unproject operations use it.
Matrix worldViewProjection(const Matrix& world, const Matrix& view, const Matrix& projection) {
    return MatrixMultiply(MatrixMultiply(world, view), projection);
}

} // namespace

// ---- vectors ----

Vector3 operator+(const Vector3& a, const Vector3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vector3 operator-(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vector3 operator*(const Vector3& v, float s) {
    return {v.x * s, v.y * s, v.z * s};
}

float Vec3Dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 Vec3Cross(const Vector3& a, const Vector3& b) {
    return fromGlm(glm::cross(toGlm(a), toGlm(b)));
}

float Vec3Length(const Vector3& v) {
    return glm::length(toGlm(v));
}

Vector3 Vec3Normalize(const Vector3& v) {
    const float length = Vec3Length(v);
    if (length == 0.0f)
        return {};
    return v * (1.0f / length);
}

Vector3 Vec3Lerp(const Vector3& a, const Vector3& b, float t) {
    return a + (b - a) * t;
}

Vector3 Vec3TransformCoord(const Vector3& v, const Matrix& m) {
    const glm::vec4 r = toGlm(m) * glm::vec4(v.x, v.y, v.z, 1.0f);
    return {r.x / r.w, r.y / r.w, r.z / r.w};
}

Vector3 Vec3TransformNormal(const Vector3& v, const Matrix& m) {
    const glm::vec4 r = toGlm(m) * glm::vec4(v.x, v.y, v.z, 0.0f);
    return {r.x, r.y, r.z};
}

Vector3 Vec3Project(const Vector3& v, const Viewport& vp, const Matrix& projection, const Matrix& view,
                    const Matrix& world) {
    const Vector3 clip = Vec3TransformCoord(v, worldViewProjection(world, view, projection));
    const float width = static_cast<float>(vp.width);
    const float height = static_cast<float>(vp.height);
    // Pixel rows run downwards, clip y upwards.
    return {static_cast<float>(vp.x) + (1.0f + clip.x) * width / 2.0f,
            static_cast<float>(vp.y) + (1.0f - clip.y) * height / 2.0f,
            vp.minZ + clip.z * (vp.maxZ - vp.minZ)};
}

Vector3 Vec3Unproject(const Vector3& v, const Viewport& vp, const Matrix& projection, const Matrix& view,
                      const Matrix& world) {
    const auto inverse = MatrixInverse(worldViewProjection(world, view, projection));
    if (!inverse)
        return {}; // a singular transformation sees nothing: callers get a zero-length ray
    const float width = static_cast<float>(vp.width);
    const float height = static_cast<float>(vp.height);
    const float depthRange = vp.maxZ - vp.minZ;
    const Vector3 clip{2.0f * (v.x - static_cast<float>(vp.x)) / width - 1.0f,
                       1.0f - 2.0f * (v.y - static_cast<float>(vp.y)) / height,
                       depthRange != 0.0f ? (v.z - vp.minZ) / depthRange : 0.0f};
    return Vec3TransformCoord(clip, *inverse);
}

// ---- matrices ----

Matrix MatrixIdentity() {
    return Matrix::identity();
}

bool MatrixIsIdentity(const Matrix& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f))
                return false;
    return true;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
    return fromGlm(toGlm(b) * toGlm(a));
}

Matrix operator*(const Matrix& a, const Matrix& b) {
    return MatrixMultiply(a, b);
}

std::optional<Matrix> MatrixInverse(const Matrix& m, float* determinant) {
    const glm::mat4 g = toGlm(m);
    const float det = glm::determinant(g);
    if (determinant)
        *determinant = det;
    if (det == 0.0f || !std::isfinite(det))
        return std::nullopt;
    return fromGlm(glm::inverse(g));
}

Matrix MatrixTranspose(const Matrix& m) {
    return fromGlm(glm::transpose(toGlm(m)));
}

Matrix MatrixTranslation(float x, float y, float z) {
    return fromGlm(glm::translate(glm::mat4(1.0f), glm::vec3(x, y, z)));
}

Matrix MatrixScaling(float sx, float sy, float sz) {
    return fromGlm(glm::scale(glm::mat4(1.0f), glm::vec3(sx, sy, sz)));
}

// GLM's rotation turns counter-clockwise about the axis for column vectors in a right-handed
// frame; its transpose, which is what the copy gives us, is the Direct3D row-vector matrix of the
// same turn: seen in a left-handed frame it is clockwise looking along the axis to the origin.
// For the Y axis this is [[c, 0, -s], [0, 1, 0], [s, 0, c]].
Matrix MatrixRotationAxis(const Vector3& axis, float angle) {
    const Vector3 n = Vec3Normalize(axis);
    if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f)
        return MatrixIdentity();
    return fromGlm(glm::rotate(glm::mat4(1.0f), angle, toGlm(n)));
}

Matrix MatrixRotationX(float angle) {
    return MatrixRotationAxis({1, 0, 0}, angle);
}
Matrix MatrixRotationY(float angle) {
    return MatrixRotationAxis({0, 1, 0}, angle);
}
Matrix MatrixRotationZ(float angle) {
    return MatrixRotationAxis({0, 0, 1}, angle);
}

Matrix MatrixRotationQuaternion(const Quaternion& q) {
    return fromGlm(glm::mat4_cast(toGlm(q)));
}

Matrix MatrixAffineTransformation(float scaling, const Vector3* rotationCenter, const Quaternion* rotation,
                                  const Vector3* translation) {
    Matrix m = MatrixScaling(scaling, scaling, scaling);
    if (rotation) {
        const Matrix r = MatrixRotationQuaternion(*rotation);
        if (rotationCenter) {
            const Vector3& c = *rotationCenter;
            m = m * MatrixTranslation(-c.x, -c.y, -c.z) * r * MatrixTranslation(c.x, c.y, c.z);
        } else {
            m = m * r;
        }
    }
    // Without a rotation, moving to the centre and back cancels out.
    if (translation)
        m = m * MatrixTranslation(translation->x, translation->y, translation->z);
    return m;
}

Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    return fromGlm(glm::lookAtLH(toGlm(eye), toGlm(at), toGlm(up)));
}

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    return fromGlm(glm::perspectiveLH_ZO(fovY, aspect, zn, zf));
}

// ---- quaternions ----

Quaternion QuaternionIdentity() {
    return {};
}

Quaternion QuaternionRotationAxis(const Vector3& axis, float angle) {
    const Vector3 n = Vec3Normalize(axis);
    return fromGlm(glm::angleAxis(angle, toGlm(n)));
}

// Spherical interpolation along the shorter arc (the second quaternion is negated when the two
// point into opposite half-spaces), linear when they are nearly equal.
Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float t) {
    return fromGlm(glm::slerp(toGlm(a), toGlm(b), t));
}

Quaternion QuaternionNormalize(const Quaternion& q) {
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (length == 0.0f)
        return {0, 0, 0, 0};
    return {q.x / length, q.y / length, q.z / length, q.w / length};
}

} // namespace platform
