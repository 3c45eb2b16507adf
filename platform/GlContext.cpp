#include "GlContext.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace platform {

QSurfaceFormat DeviceSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSamples(0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

void RequestSoftwareRasterizer() {
    qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
    qputenv("GALLIUM_DRIVER", "llvmpipe");
}

OffscreenGl::OffscreenGl() {
    if (!QGuiApplication::instance()) {
        m_error = QStringLiteral("no application object");
        return;
    }
    const QSurfaceFormat format = DeviceSurfaceFormat();
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create()) {
        m_error = QStringLiteral("the windowing system gives no OpenGL context");
        return;
    }
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!surface->isValid()) {
        m_error = QStringLiteral("no off-screen surface");
        return;
    }
    m_surface = std::move(surface);
    m_context = std::move(context);
}

OffscreenGl::~OffscreenGl() {
    // The context goes first (its aboutToBeDestroyed lets users free their objects while the
    // surface still exists).
    m_context.reset();
    m_surface.reset();
}

bool OffscreenGl::valid() const {
    return m_context && m_context->isValid() && m_surface;
}

bool OffscreenGl::makeCurrent() {
    return valid() && m_context->makeCurrent(m_surface.get());
}

void OffscreenGl::doneCurrent() {
    if (m_context)
        m_context->doneCurrent();
}

std::function<bool()> OffscreenGl::makeCurrentFunction() {
    return [this] { return makeCurrent(); };
}

GlProbeResult ProbeOpenGL() {
    GlProbeResult r;
    OffscreenGl gl;
    if (!gl.valid()) {
        r.error = gl.error();
        return r;
    }
    if (!gl.makeCurrent()) {
        r.error = QStringLiteral("the OpenGL context can't be made current");
        return r;
    }
    QOpenGLContext* ctx = gl.context();
    const QSurfaceFormat f = ctx->format();
    r.major = f.majorVersion();
    r.minor = f.minorVersion();
    r.coreProfile = f.profile() == QSurfaceFormat::CoreProfile;
    QOpenGLFunctions* fn = ctx->functions();
    auto text = [fn](GLenum name) {
        const auto* s = reinterpret_cast<const char*>(fn->glGetString(name));
        return s ? QString::fromLatin1(s) : QString();
    };
    r.vendor = text(GL_VENDOR);
    r.renderer = text(GL_RENDERER);
    r.version = text(GL_VERSION);
    const QString lower = r.renderer.toLower();
    r.software = lower.contains(QLatin1String("llvmpipe")) || lower.contains(QLatin1String("softpipe")) ||
                 lower.contains(QLatin1String("swrast")) || lower.contains(QLatin1String("software"));
    gl.doneCurrent();
    if (ctx->isOpenGLES() || r.major < 3 || (r.major == 3 && r.minor < 3)) {
        r.error = QStringLiteral("OpenGL %1.%2 is below 3.3").arg(r.major).arg(r.minor);
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace platform
