// Finding a usable OpenGL context and rendering without a window.
//
// The device needs OpenGL 3.3 core. Asking Qt for a widget's context where the system has no
// OpenGL at all crashes, so callers first probe: ProbeOpenGL() makes a throw-away context on an
// off-screen surface and reports what it got. OffscreenGl keeps such a context alive for a Device
// that renders into its own framebuffer (tests, snapshots, and the device's first moments before
// the 3D view's widget has a context of its own).
#pragma once

#include <QString>
#include <QSurfaceFormat>

#include <functional>
#include <memory>

class QOpenGLContext;
class QOffscreenSurface;

namespace platform {

// OpenGL 3.3 core, 24-bit depth, 8-bit stencil (the overlay painter clips with the stencil),
// no multisampling, double-buffered.
QSurfaceFormat DeviceSurfaceFormat();

// Mesa's software rasteriser: sets LIBGL_ALWAYS_SOFTWARE=1 and GALLIUM_DRIVER=llvmpipe for
// contexts made from now on. Mesa reads them when it first opens the display, so in a process
// whose windowing system already loaded a hardware driver they take effect only for a fresh
// display connection; under Xvfb and on machines without a GPU Mesa is software already.
void RequestSoftwareRasterizer();

struct GlProbeResult {
    bool ok = false; // a current 3.3+ core context could be made
    int major = 0, minor = 0;
    bool coreProfile = false;
    bool software = false; // Mesa's llvmpipe/softpipe or another software renderer
    QString vendor, renderer, version;
    QString error; // why it failed
};

// Makes a context of DeviceSurfaceFormat() on an off-screen surface, makes it current, reads its
// version and renderer, and throws it away. Never crashes where the windowing system has no OpenGL
// (it then reports ok = false). Needs a QGuiApplication.
GlProbeResult ProbeOpenGL();

// A context of DeviceSurfaceFormat() with an off-screen surface to make it current on.
class OffscreenGl {
public:
    // Creates the context; check valid().
    OffscreenGl();
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    bool valid() const;
    QString error() const { return m_error; }
    QOpenGLContext* context() const { return m_context.get(); }
    bool makeCurrent();
    void doneCurrent();
    // A function that makes this context current, for Device::attachContext.
    std::function<bool()> makeCurrentFunction();

private:
    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLContext> m_context;
    QString m_error;
};

} // namespace platform
