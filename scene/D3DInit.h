// Creating the one rendering device (g_device) for the 3D view, resizing and releasing it, the
// default scene (projection, camera, light, material, render states), clearing and presenting.
//
// Device types: 1 is the system's OpenGL ("hardware"), 2 Mesa's software rasteriser ("reference
// rasterizer"). Creation never crashes where no OpenGL exists: a throw-away context is made first,
// and only a working one leads to the view's OpenGL widget.
#pragma once

#include "D3DUtil.h"

#include <QString>

#include <cstdint>
#include <functional>

class D3DView;

enum : std::int32_t { DEVTYPE_HAL = 1, DEVTYPE_REF = 2 };

// Makes g_device render for `window` (windowed; `adapter` is accepted for the record, there is
// one). When `deviceType` 1 can't be had and `allowFallback` is set, tells the user "No hardware
// support found. Switching to reference rasterizer." and tries type 2; when that fails too, tells
// "No suitable device was found to initialize D3D. Application will now exit." and ends the
// program at once. Without fall-back a failure returns false. A null window gives a device that
// renders off-screen (see InitOffscreenDevice3D).
bool InitDevice3D(D3DView* window, bool windowed = true, std::int32_t adapter = 0,
                  std::int32_t deviceType = DEVTYPE_HAL, bool allowFallback = true);
// The same for a device without a window, rendering into a width x height framebuffer (tests,
// snapshots); its picture is read with g_device->grabFramebuffer().
bool InitOffscreenDevice3D(int width, int height, std::int32_t deviceType = DEVTYPE_HAL,
                           bool allowFallback = true);
// Empties the texture cache and drops the device, the window and the client size. A later
// InitDevice3D starts afresh.
void ReleaseDevice3D();
// The window's client size changed: the render target follows it (in the window's device pixels,
// whose ratio to its pixels the device's overlay takes). False when the device can't be reset
// (errors are caught).
bool ResizeDevice3D(D3DView* window);
// Projection (field of view 3.1415 / 4, aspect from the client size, planes 1 and 3000), camera at
// (0, 0, -20) looking at the origin, world identity, the default light and material and the
// render states of the default scene. The module matrices are set even without a device.
void SetupSceneDefaults();
// Clears the render target to `argb` and the depth buffer to 1.
void ClearView(std::uint32_t argb);
// Shows the finished frame in `window`; errors are ignored.
void PresentView(D3DView* window);

// ---- state of the module ----
std::int32_t CurrentDeviceType(); // 0 before the first successful InitDevice3D
bool UsingReferenceRasterizer();  // device type 2 is in use
int ClientWidth();                // of the device's window (or off-screen size), in pixels
int ClientHeight();
D3DView* DeviceWindow();

// Mesa chooses its driver once per process, when the display is first opened: the switch to the
// software rasteriser can't take effect in a process whose display already runs another driver.
// With this allowed (the program's main does), a failed switch restarts the program (same
// arguments) with Mesa's llvmpipe requested; the restarted program starts on device type 2
// without repeating the first message. Off by default.
void SetDeviceRestartAllowed(bool allowed);

// ---- for tests and the command line ----
enum class DeviceMessage { NoHardware, NoDevice };
// Receives the two messages instead of a message box (null restores the message boxes).
void SetDeviceMessageHook(std::function<void(DeviceMessage, const QString&)> hook);
// Called instead of ending the program after the second message (null restores std::exit(1)).
// When it returns, InitDevice3D returns false.
void SetDeviceExitHook(std::function<void(int status)> hook);
// Replaces the test for a usable context of a device type (null restores the real one, which makes
// a 3.3 core context on an off-screen surface). With a replacement, a device that passes has no
// OpenGL (a null device) until a view's context takes it.
void SetDeviceProbe(std::function<bool(std::int32_t deviceType)> probe);
