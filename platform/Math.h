// Vector, matrix and quaternion maths with the semantics of the Direct3D utility library:
// row vectors (p' = p x M), left-handed coordinates, clip depth 0..1. Implemented on GLM.
#pragma once

#include "Types.h"

#include <optional>

namespace platform {

// ---- vectors ----
Vector3 operator+(const Vector3& a, const Vector3& b);
Vector3 operator-(const Vector3& a, const Vector3& b);
Vector3 operator*(const Vector3& v, float s);
float Vec3Dot(const Vector3& a, const Vector3& b);
Vector3 Vec3Cross(const Vector3& a, const Vector3& b);
float Vec3Length(const Vector3& v);
// Unit vector in the direction of v; the zero vector stays zero.
Vector3 Vec3Normalize(const Vector3& v);
Vector3 Vec3Lerp(const Vector3& a, const Vector3& b, float t);
// (x, y, z, 1) x M, divided by the resulting w.
Vector3 Vec3TransformCoord(const Vector3& v, const Matrix& m);
// (x, y, z, 0) x M: a direction, without the translation.
Vector3 Vec3TransformNormal(const Vector3& v, const Matrix& m);
// Object space -> viewport pixels (x, y) and depth (z in minZ..maxZ).
Vector3 Vec3Project(const Vector3& v, const Viewport& vp, const Matrix& projection, const Matrix& view,
                    const Matrix& world);
// Viewport pixels and depth -> object space; the inverse of Vec3Project.
Vector3 Vec3Unproject(const Vector3& v, const Viewport& vp, const Matrix& projection, const Matrix& view,
                      const Matrix& world);

// ---- matrices ----
Matrix MatrixIdentity();
bool MatrixIsIdentity(const Matrix& m);
// a x b: a acts first, then b.
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
Matrix operator*(const Matrix& a, const Matrix& b);
// The inverse, or nothing when m is singular. `determinant` receives the determinant if given.
std::optional<Matrix> MatrixInverse(const Matrix& m, float* determinant = nullptr);
Matrix MatrixTranspose(const Matrix& m);
Matrix MatrixTranslation(float x, float y, float z);
Matrix MatrixScaling(float sx, float sy, float sz);
// Rotation by `angle` radians about `axis` (normalised here), clockwise when looking along the
// axis towards the origin, as in a left-handed system.
Matrix MatrixRotationAxis(const Vector3& axis, float angle);
Matrix MatrixRotationX(float angle);
Matrix MatrixRotationY(float angle);
Matrix MatrixRotationZ(float angle);
Matrix MatrixRotationQuaternion(const Quaternion& q);
// Ms x Mrc^-1 x Mr x Mrc x Mt: uniform scaling, rotation about a centre, then translation.
// Null pointers stand for no rotation centre, no rotation, no translation.
Matrix MatrixAffineTransformation(float scaling, const Vector3* rotationCenter, const Quaternion* rotation,
                                  const Vector3* translation);
// Left-handed view matrix looking from `eye` at `at`.
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up);
// Left-handed perspective projection, clip depth 0 at zn and 1 at zf.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf);

// ---- quaternions ----
Quaternion QuaternionIdentity();
// Rotation by `angle` radians about `axis` (normalised here).
Quaternion QuaternionRotationAxis(const Vector3& axis, float angle);
Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float t);
Quaternion QuaternionNormalize(const Quaternion& q);

} // namespace platform
