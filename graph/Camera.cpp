#include "graph/Camera.h"

#include <Qt>

#include <algorithm>
#include <cmath>

namespace ketra {

using platform::Matrix;
using platform::Vector3;

namespace {

constexpr float kPi = 3.1415f; // the program's pi for turning half-turns into radians

bool inRange(int keyCode) {
    return keyCode >= 0 && keyCode <= 256;
}

CameraStep rotate(Vector3 axis, float angle) {
    CameraStep s;
    s.kind = CameraStep::Kind::Rotate;
    s.rotation = RootRotation{axis, angle, 0};
    return s;
}

} // namespace

int VirtualKeyFromQt(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Delete:
        return vk::Delete;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes as the letters' and digits' ASCII capitals
    return -1;
}

void Camera::KeyDown(int keyCode, int shiftMask) {
    if (!inRange(keyCode))
        return;
    m_keyState[static_cast<std::size_t>(keyCode)] = true;
    m_tapped[static_cast<std::size_t>(keyCode)] = true;
    m_shiftState = shiftMask;
}

void Camera::KeyUp(int keyCode) {
    if (inRange(keyCode))
        m_keyState[static_cast<std::size_t>(keyCode)] = false;
}

bool Camera::keyHeld(int keyCode) const {
    return inRange(keyCode) && m_keyState[static_cast<std::size_t>(keyCode)];
}

void Camera::MouseDown(float x, float y) {
    m_dragging = true;
    m_lastX = x;
    m_lastY = y;
}

FrameMoveResult Camera::FrameMove(float elapsedSeconds, bool referenceRasterizer) {
    FrameMoveResult result;
    const float t = std::max(elapsedSeconds, 0.0f) * 1.3f;
    m_frameStep = t;

    if (m_autoRotate && !m_dragging)
        result.steps.push_back(rotate({0, 1, 0}, kPi / 40 * t));

    if (referenceRasterizer)
        m_frameStep = 0.05f;
    const float s = m_frameStep;
    const float step = 2 * s;

    m_velocity = m_velocity * 0.9f;

    // A key that went down since the last frame counts as held for this one, even when it is up
    // again: a tap between two frames (a slow frame, or a quick finger) acts once.
    auto held = [this](int key) {
        return m_keyState[static_cast<std::size_t>(key)] || m_tapped[static_cast<std::size_t>(key)];
    };
    if (held(vk::Right))
        m_velocity.x -= step;
    if (held(vk::Left))
        m_velocity.x += step;
    if (held(vk::Up))
        m_velocity.y -= step;
    if (held(vk::Down))
        m_velocity.y += step;
    if (held(vk::W)) {
        m_velocity.z += step;
        m_keyState[vk::W] = false;
    }
    if (held(vk::S)) {
        m_velocity.z -= step;
        m_keyState[vk::S] = false;
    }
    if (held(vk::R)) { // held: the reset repeats every frame
        Reset();
        result.steps.push_back({CameraStep::Kind::ResetScene, {}});
    }
    if (held(vk::F)) {
        result.steps.push_back({CameraStep::Kind::ToggleFolderSizes, {}});
        m_keyState[vk::F] = false;
    }
    if (held(vk::C)) {
        result.steps.push_back({CameraStep::Kind::ToggleChanges, {}});
        m_keyState[vk::C] = false;
    }
    const float a = kPi / 5 * s;
    const bool shift = m_shiftState != 0;
    if (held(vk::X))
        result.steps.push_back(rotate({1, 0, 0}, shift ? a : -a));
    if (held(vk::Y))
        result.steps.push_back(rotate({0, 1, 0}, shift ? -a : a));
    if (held(vk::Z))
        result.steps.push_back(rotate({0, 0, 1}, shift ? a : -a));
    m_tapped.fill(false);

    // Move through the camera matrix of the previous frame (which carries its scale).
    const Vector3 delta = platform::Vec3TransformNormal(m_velocity * step, m_cameraMatrix);
    m_cameraPos = m_cameraPos + delta;

    const Vector3 centre{0, 0, 0};
    const platform::Quaternion noRotation = platform::QuaternionIdentity();
    m_cameraMatrix = platform::MatrixAffineTransformation(kCameraScale, &centre, &noRotation, &m_cameraPos);
    // A uniform scale of 1.25 and a translation always invert.
    m_viewMatrix = platform::MatrixInverse(m_cameraMatrix).value_or(Matrix::identity());
    result.viewMatrix = m_viewMatrix;
    return result;
}

std::optional<RootRotation> Camera::DragRotate(int x, int y, const Matrix& view, const Matrix& rootWorld) {
    const float dx = static_cast<float>(x) - m_lastX;
    const float dy = static_cast<float>(y) - m_lastY;
    m_lastX = static_cast<float>(x);
    m_lastY = static_cast<float>(y);

    const float len = std::sqrt(dx * dx + dy * dy);
    const float r = std::sqrt(len * len + 640000.0f); // 800 twips as a fixed depth
    if (len == 0)
        return std::nullopt;
    const float angle = len / r;

    const Vector3 screenAxis{-dy / len, -dx / len, 0};
    const Vector3 p1 = platform::Vec3TransformCoord(screenAxis, view);
    const Vector3 p0 = platform::Vec3TransformCoord(Vector3{0, 0, 0}, view);
    const std::optional<Matrix> toLocal = platform::MatrixInverse(rootWorld);
    if (!toLocal)
        return std::nullopt; // a degenerate root matrix has no local space to turn in
    const Vector3 axis =
        platform::Vec3TransformCoord(p1, *toLocal) - platform::Vec3TransformCoord(p0, *toLocal);
    return RootRotation{axis, angle, 0};
}

void Camera::Reset() {
    m_cameraPos = kStartPosition;
    m_cameraMatrix = platform::MatrixTranslation(0, 0, 0);
}

RootRotation Camera::StartTilt() {
    return RootRotation{{1, -1, 0}, kPi / 5 * 20000, 0};
}

} // namespace ketra
