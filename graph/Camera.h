// The viewer and the turning of the graph. The camera only translates: the arrow keys and W/S give
// it a velocity that decays by 10 % every frame. The graph itself turns: its root frame is rotated
// by the X/Y/Z keys (Shift reverses), by dragging with the mouse and, with auto-rotation on, slowly
// about the vertical axis. Reset puts the camera and the graph back to the start pose.
//
// The camera holds no scene objects. FrameMove and DragRotate say what to do to the root frame
// (rotations to combine into its matrix, in order) and give the view matrix for the device; the
// window applies them to the real frame and device.
#pragma once

#include "platform/Math.h"
#include "platform/Types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ketra {

// The key codes the camera reacts to (the Windows virtual-key codes; the view maps Qt's keys to
// them).
namespace vk {
inline constexpr int Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46;
inline constexpr int C = 67, F = 70, R = 82, S = 83, W = 87, X = 88, Y = 89, Z = 90;
} // namespace vk

// The key code of a Qt key (Qt::Key): the arrows, Delete, letters and digits; -1 for any other key.
int VirtualKeyFromQt(int qtKey);

// A rotation of the root frame about `axis` (not necessarily unit length) by `angle` radians, to
// be combined into its local matrix with `combineMode` (0: the rotation acts first, in the frame's
// own space), as the frame's AddRotation does.
struct RootRotation {
    platform::Vector3 axis;
    float angle = 0;
    std::int32_t combineMode = 0;
    // The rotation matrix itself.
    platform::Matrix matrix() const { return platform::MatrixRotationAxis(axis, angle); }
};

// One thing FrameMove asks of the window, in the order they must happen.
struct CameraStep {
    enum class Kind {
        Rotate,            // combine `rotation` into the root frame
        ResetScene,        // the R key: the root frame's matrix becomes the identity, the scene
                           // defaults (projection, look-at view, light, material) are set again,
                           // and the root frame gets the start tilt (Camera::StartTilt)
        ToggleFolderSizes, // the F key: folder sizes on or off, then the folder is reloaded
        ToggleChanges,     // the C key: the changes mode on or off
    };
    Kind kind = Kind::Rotate;
    RootRotation rotation; // for Rotate
};

struct FrameMoveResult {
    std::vector<CameraStep> steps; // apply in order, then set viewMatrix on the device
    platform::Matrix viewMatrix;   // the view transform: the inverse of the camera matrix
};

class Camera {
public:
    // The camera position at start and after a reset.
    static constexpr platform::Vector3 kStartPosition{0, 0, -20};
    // The camera matrix's scale.
    static constexpr float kCameraScale = 1.25f;

    // ---- input from the 3D view ----

    // A key went down: it is held from now on, and for the next frame step at least (a tap
    // between two frames acts once: F, W, S and R as a press, an arrow or X/Y/Z for one frame);
    // `shiftMask` is the modifier mask that came with it
    // (any non-zero mask reverses X/Y/Z). Key codes outside 0..256 are ignored.
    void KeyDown(int keyCode, int shiftMask);
    // A key went up: it is no longer held. (Delete released while an item is selected deletes the
    // item instead; the window handles that and does not call KeyUp, so the flag stays set.)
    void KeyUp(int keyCode);
    bool keyHeld(int keyCode) const;
    // A button other than the right one went down at (x, y) twips: a drag starts there.
    void MouseDown(float x, float y);
    // The button went up: the drag ends.
    void MouseUp() { m_dragging = false; }

    // ---- the per-frame step ----

    // One simulation step, `elapsedSeconds` after the previous one (negative counts as 0). The
    // time step is 1.3 x the elapsed time (0.05 on the reference rasterizer, where auto-rotation
    // still follows real time). Auto-rotation turns 3.1415 / 40 rad per time-step unit, X/Y/Z keys
    // 3.1415 / 5; the arrows change the velocity by 2 x the time step while held, W and S once per
    // press; the camera then moves by velocity x 2 x time step, through the previous camera matrix.
    FrameMoveResult FrameMove(float elapsedSeconds, bool referenceRasterizer);

    // One drag step to (x, y) twips: the graph turns about the screen-space axis (-dy, -dx, 0) by
    // len / sqrt(len^2 + 800^2) radians, len being the length of the move. `view` is the device's
    // current view transform; `rootWorld` the root frame's world matrix (after UpdateFrames). The
    // axis is given in the root frame's own space. A move of length 0 turns nothing (empty result).
    std::optional<RootRotation> DragRotate(int x, int y, const platform::Matrix& view,
                                           const platform::Matrix& rootWorld);

    // ---- reset ----

    // The camera's part of the reset: position (0, 0, -20), camera matrix the identity. The
    // velocity is kept. (The window then resets the scene: see CameraStep::ResetScene, and copies
    // the device's new view transform into m_viewMatrix.)
    void Reset();
    // The graph's start tilt: about (1, -1, 0) by 3.1415 / 5 x 20000 = 12566.0 radians.
    static RootRotation StartTilt();

    // ---- state ----
    std::array<bool, 257> m_keyState{}; // key codes 0..256 held
    std::array<bool, 257> m_tapped{};   // went down since the last frame step
    int m_shiftState = 0;               // modifier mask of the last key-down
    bool m_dragging = false;
    float m_lastX = 0, m_lastY = 0; // the previous drag position, twips
    bool m_autoRotate = false;
    platform::Vector3 m_velocity{0, 0, 0};
    platform::Vector3 m_cameraPos = kStartPosition;
    platform::Matrix m_cameraMatrix = platform::Matrix::identity();
    platform::Matrix m_viewMatrix = platform::Matrix::identity(); // the device's view at start
    float m_frameStep = 0;
};

} // namespace ketra
