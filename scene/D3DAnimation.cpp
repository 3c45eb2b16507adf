#include "D3DAnimation.h"

#include "platform/Math.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// The two keys around `t` and the fraction of the way from the first to the second. Before the
// first key and after the last, both are that end key.
template <typename K> struct Bracket {
    const K* from;
    const K* to;
    float fraction;
};

template <typename K> Bracket<K> bracket(const std::vector<K>& keys, float t) {
    // First key whose time is after t.
    auto after = std::upper_bound(keys.begin(), keys.end(), t, [](float time, const K& key) {
        return time < static_cast<float>(key.time);
    });
    if (after == keys.begin())
        return {&keys.front(), &keys.front(), 0.0f};
    if (after == keys.end())
        return {&keys.back(), &keys.back(), 0.0f};
    const K& from = *(after - 1);
    const K& to = *after;
    const float span = static_cast<float>(to.time) - static_cast<float>(from.time);
    return {&from, &to, span > 0 ? (t - static_cast<float>(from.time)) / span : 0.0f};
}

} // namespace

CD3DAnimationPtr CD3DAnimation::GetChild(std::int32_t i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_children.size())
        throw std::out_of_range("CD3DAnimation::GetChild: subscript out of range");
    return m_children[static_cast<std::size_t>(i)];
}

void CD3DAnimation::AddChild(CD3DAnimationPtr child) {
    if (child)
        m_children.push_back(std::move(child));
}

void CD3DAnimation::SetTime(float t) {
    for (const auto& child : m_children)
        child->SetTime(t);
    if (!m_frame)
        return;

    if (!m_matrixKeys.empty()) {
        const auto last = static_cast<float>(m_matrixKeys.back().time);
        float local = t;
        if (last > 0) {
            local = std::fmod(t, last);
            if (local < 0)
                local += last;
        }
        m_frame->SetMatrix(bracket(m_matrixKeys, local).from->value);
        return;
    }
    if (m_rotateKeys.empty() && m_scaleKeys.empty() && m_positionKeys.empty())
        return;

    platform::Quaternion rotation;
    if (!m_rotateKeys.empty()) {
        const auto b = bracket(m_rotateKeys, t);
        rotation = platform::QuaternionSlerp(b.from->value, b.to->value, b.fraction);
    }
    platform::Vector3 scale{1, 1, 1};
    if (!m_scaleKeys.empty()) {
        const auto b = bracket(m_scaleKeys, t);
        scale = platform::Vec3Lerp(b.from->value, b.to->value, b.fraction);
    }
    platform::Vector3 position;
    if (!m_positionKeys.empty()) {
        const auto b = bracket(m_positionKeys, t);
        position = platform::Vec3Lerp(b.from->value, b.to->value, b.fraction);
    }
    m_frame->SetMatrix(platform::MatrixScaling(scale.x, scale.y, scale.z) *
                       platform::MatrixRotationQuaternion(rotation) *
                       platform::MatrixTranslation(position.x, position.y, position.z));
}

void CD3DAnimation::AddRotateKey(std::int32_t t, const platform::Quaternion& quat) {
    m_rotateKeys.push_back({t, quat});
}

void CD3DAnimation::AddScaleKey(std::int32_t t, const platform::Vector3& scalevec) {
    m_scaleKeys.push_back({t, scalevec});
}

void CD3DAnimation::AddPositionKey(std::int32_t t, const platform::Vector3& posvec) {
    m_positionKeys.push_back({t, posvec});
}

void CD3DAnimation::AddMatrixKey(std::int32_t t, const platform::Matrix& matrix) {
    m_matrixKeys.push_back({t, matrix});
}
