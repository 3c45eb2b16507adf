#include "D3DUtil.h"

#include "D3DFrame.h"
#include "ElapsedTimerClock.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

std::shared_ptr<platform::Device> g_device;
platform::Matrix g_identityMatrix = platform::Matrix::identity();
platform::Matrix g_viewMatrix = platform::Matrix::identity();
platform::Matrix g_projectionMatrix = platform::Matrix::identity();
QString g_mediaFolder;

platform::Vector3 vec3(float x, float y, float z) {
    return {x, y, z};
}

platform::ColorValue ColorValue4(float a, float r, float g, float b) {
    return {r, g, b, a};
}

platform::ColorValue LongToColorValue(std::int32_t argb) {
    // The top byte of a negative value is its alpha with bit 7 set: the unsigned view says the same.
    const auto bits = static_cast<std::uint32_t>(argb);
    auto channel = [bits](int shift) { return static_cast<float>(((bits >> shift) & 0xFFu) / 255.0); };
    return {channel(16), channel(8), channel(0), channel(24)};
}

namespace {

// component x 255 (in single precision), rounded to the nearest integer with ties to even, kept
// within 0..255 so that one channel never spills into its neighbour.
std::uint32_t toByte(float component) {
    const float scaled = component * 255.0f;
    if (!(scaled > 0.0f)) // negative, zero or NaN
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return static_cast<std::uint32_t>(std::nearbyint(scaled));
}

} // namespace

std::int32_t ColorValueToLong(const platform::ColorValue& c) {
    const std::uint32_t packed = toByte(c.a) << 24 | toByte(c.r) << 16 | toByte(c.g) << 8 | toByte(c.b);
    return static_cast<std::int32_t>(packed);
}

platform::Quaternion QuaternionFromAxisDegrees(float x, float y, float z, float degrees) {
    const auto radians = static_cast<float>(static_cast<double>(degrees) / 180.0 * 3.1415);
    return platform::QuaternionRotationAxis(platform::Vector3{x, y, z}, radians);
}

std::shared_ptr<CD3DFrame> CreateChildFrame(const std::shared_ptr<CD3DFrame>& parent) {
    CD3DFramePtr frame = CD3DFrame::Create();
    if (parent)
        parent->AddChild(frame);
    return frame;
}

void SetMediaFolder(const QString& path) {
    g_mediaFolder = path;
}

// ---- elapsed-time timer ----

namespace {

const std::chrono::steady_clock::time_point g_clockOrigin = std::chrono::steady_clock::now();

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_clockOrigin).count();
}

ElapsedTimerClock g_timerClock = steadySeconds;

// Kept in double precision: single-precision seconds lose milliseconds after a few hours.
struct TimerState {
    double base = 0;
    double stop = 0;
    double last = 0;
} g_timer;

} // namespace

void SetElapsedTimerClock(ElapsedTimerClock clock) {
    g_timerClock = clock ? clock : steadySeconds;
}

float ElapsedTimer(std::int32_t command) {
    const double now = g_timerClock();
    switch (command) {
    case TIMER_RESET:
        g_timer = TimerState{now, 0, 0};
        return 0.0f;
    case TIMER_START:
        g_timer.base += now - g_timer.stop;
        g_timer.last += now - g_timer.stop;
        g_timer.stop = 0;
        return static_cast<float>(now);
    case TIMER_STOP:
        g_timer.stop = now;
        return static_cast<float>(now);
    case TIMER_ADVANCE:
        g_timer.base = g_timer.base + now - (g_timer.stop + 0.1);
        return static_cast<float>(now);
    case TIMER_GETAPPTIME:
        return static_cast<float>(now - g_timer.base);
    case TIMER_GETELAPSEDTIME: {
        const double elapsed = now - g_timer.last;
        g_timer.last = now;
        // A clock that went back (a wrap) gives 0, never a negative step.
        return elapsed < 0 ? 0.0f : static_cast<float>(elapsed);
    }
    default:
        return static_cast<float>(now);
    }
}

// ---- texture cache ----

namespace {

// (name as passed in, texture); looked up by exact name. Small: model files and plotted tables
// name few textures.
std::vector<std::pair<QString, platform::TexturePtr>> g_textureCache;

} // namespace

QString InMediaFolder(const QString& name) {
    if (g_mediaFolder.isEmpty())
        return name;
    if (g_mediaFolder.endsWith(QLatin1Char('/')))
        return g_mediaFolder + name;
    return g_mediaFolder + QLatin1Char('/') + name;
}

QString FindMediaFile(const QString& name) {
    return QFileInfo::exists(name) ? name : InMediaFolder(name);
}

platform::TexturePtr LoadTexture(const std::shared_ptr<platform::Device>&, const QString& name) {
    if (name.isEmpty())
        return nullptr;
    const auto cached = std::find_if(g_textureCache.begin(), g_textureCache.end(),
                                     [&name](const auto& entry) { return entry.first == name; });
    if (cached != g_textureCache.end())
        return cached->second;

    const QString path = FindMediaFile(name);
    platform::TexturePtr texture = platform::CreateTextureFromFile(path);
    // A texture that can't be read is not cached: it is tried again next time.
    if (texture)
        g_textureCache.emplace_back(name, texture);
    return texture;
}

void ClearTextureCache() {
    g_textureCache.clear();
}
