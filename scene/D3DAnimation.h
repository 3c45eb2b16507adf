// CD3DAnimation: keyframe animation of one frame, with child animations played alongside.
// Keys are appended in ascending time. SetTime poses the animated frame:
// - With matrix keys, the time is first wrapped into 0 up to the last key's time (negative times
//   too; no wrap when that time is 0 or less), then the last key at or before it is taken, or the
//   first key when it comes before every key. A single matrix key holds at every time.
// - Otherwise scale x rotation x translation, each interpolated between the two keys around the
//   time (rotations by spherical interpolation). These times never wrap: before a list's first key
//   that key holds, after its last key the last one; a list of one key holds at every time, and an
//   empty list gives no scaling, rotation or translation.
#pragma once

#include "D3DFrame.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class CD3DAnimation;
using CD3DAnimationPtr = std::shared_ptr<CD3DAnimation>;

class CD3DAnimation {
public:
    // 0-based; throws std::out_of_range outside 0..count-1.
    CD3DAnimationPtr GetChild(std::int32_t i) const;
    std::int32_t GetChildCount() const { return static_cast<std::int32_t>(m_children.size()); }
    // Appends a child animation; a null one is ignored.
    void AddChild(CD3DAnimationPtr child);
    void SetFrame(CD3DFramePtr frame) { m_frame = std::move(frame); }
    CD3DFramePtr GetFrame() const { return m_frame; }

    // Plays every child at `t`, then sets the animated frame's local matrix (SetMatrix) from the
    // keys. With no frame, or no keys, the frame is left alone.
    void SetTime(float t);

    void AddRotateKey(std::int32_t t, const platform::Quaternion& quat);
    void AddScaleKey(std::int32_t t, const platform::Vector3& scalevec);
    void AddPositionKey(std::int32_t t, const platform::Vector3& posvec);
    void AddMatrixKey(std::int32_t t, const platform::Matrix& matrix);

private:
    template <typename T> struct Key {
        std::int32_t time;
        T value;
    };

    CD3DFramePtr m_frame;
    std::vector<CD3DAnimationPtr> m_children;
    std::vector<Key<platform::Quaternion>> m_rotateKeys;
    std::vector<Key<platform::Vector3>> m_scaleKeys;
    std::vector<Key<platform::Vector3>> m_positionKeys;
    std::vector<Key<platform::Matrix>> m_matrixKeys;
};
