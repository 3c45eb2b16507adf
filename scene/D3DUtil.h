// Module state of the 3D side and the small utilities around it: the one device, the shared
// matrices, the media folder, colour and vector helpers, the frame factory, the elapsed-time
// timer and the texture cache. Device creation and the default scene are in D3DInit.h.
#pragma once

#include "platform/Device.h"
#include "platform/Math.h"
#include "platform/Texture.h"
#include "platform/Types.h"

#include <QString>

#include <cstdint>
#include <memory>

class CD3DFrame;

// The one rendering device (null until InitDevice3D).
extern std::shared_ptr<platform::Device> g_device;
// Identity; every new frame resets it to identity.
extern platform::Matrix g_identityMatrix;
// Default camera and projection (SetupSceneDefaults).
extern platform::Matrix g_viewMatrix;
extern platform::Matrix g_projectionMatrix;
// Folder tried when a texture file is not found by its name.
extern QString g_mediaFolder;

platform::Vector3 vec3(float x, float y, float z);
// Note the argument order: alpha first; the result is (r, g, b, a).
platform::ColorValue ColorValue4(float a, float r, float g, float b);
// 0xAARRGGBB (as a signed 32-bit value) -> components in 0..1.
platform::ColorValue LongToColorValue(std::int32_t argb);
// Components -> 0xAARRGGBB, each x 255 rounded to nearest, ties to even.
std::int32_t ColorValueToLong(const platform::ColorValue& c);
// Rotation about (x, y, z) by `degrees`, converted with pi taken as 3.1415.
platform::Quaternion QuaternionFromAxisDegrees(float x, float y, float z, float degrees);
// New frame, added to `parent` when one is given.
std::shared_ptr<CD3DFrame> CreateChildFrame(const std::shared_ptr<CD3DFrame>& parent);
void SetMediaFolder(const QString& path);
// `name` joined to the media folder with one "/" (`name` itself when no media folder is set).
QString InMediaFolder(const QString& name);
// `name` itself when a file of that name exists, otherwise its place in the media folder.
QString FindMediaFile(const QString& name);

// Elapsed-time timer commands.
enum : std::int32_t {
    TIMER_RESET = 1,
    TIMER_START = 2,
    TIMER_STOP = 3,
    TIMER_ADVANCE = 4,
    TIMER_GETAPPTIME = 6,
    TIMER_GETELAPSEDTIME = 7,
};
float ElapsedTimer(std::int32_t command);

// Texture by file name, through the cache; falls back to the media folder; null when it can't be
// loaded (or for an empty name).
platform::TexturePtr LoadTexture(const std::shared_ptr<platform::Device>& device, const QString& name);
// Empties the texture cache (ReleaseDevice3D).
void ClearTextureCache();
