// The context's life: attaching the device to a context, noticing its loss, resetting onto a new
// one, and the GL objects of one context (the shader variants, the render target, the arenas).
#include "DeviceGl.h"

#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace platform {

namespace {

std::uint64_t nextEpochId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

} // namespace

bool Device::attachContext(QOpenGLContext* context) {
    return attachContext(context, nullptr);
}

bool Device::attachContext(QOpenGLContext* context, std::function<bool()> makeCurrent) {
    if (!context)
        return false;
    if (makeCurrent)
        makeCurrent();
    if (QOpenGLContext::currentContext() != context)
        return false;
    const QSurfaceFormat fmt = context->format();
    if (context->isOpenGLES() || fmt.majorVersion() < 3 ||
        (fmt.majorVersion() == 3 && fmt.minorVersion() < 3))
        return false;
    auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context);
    if (!f || !f->initializeOpenGLFunctions())
        return false;

    // Leave the previous context (if any) cleanly.
    if (m_gl->context && m_gl->context != context && !m_gl->lost)
        forgetContext(false);

    m_gl->context = context;
    m_gl->makeCurrent = std::move(makeCurrent);
    m_gl->f = f;
    m_gl->lost = false;
    m_gl->offered = nullptr;
    m_gl->offeredMakeCurrent = nullptr;
    m_gl->everAttached = true;
    m_gl->watcher = std::make_unique<QObject>();
    QObject::connect(context, &QOpenGLContext::aboutToBeDestroyed, m_gl->watcher.get(),
                     [this] { contextLost(); });
    if (!createGlObjects()) {
        forgetContext(false);
        m_gl->everAttached = false;
        return false;
    }
    return true;
}

bool Device::hasContext() const {
    return m_gl->context && !m_gl->lost && m_gl->f;
}

QOpenGLContext* Device::context() const {
    return hasContext() ? m_gl->context : nullptr;
}

void Device::contextLost() {
    if (!m_gl->context) {
        m_gl->lost = true;
        return;
    }
    forgetContext(QOpenGLContext::currentContext() == m_gl->context);
    m_gl->lost = true;
}

void Device::contextAvailable(QOpenGLContext* context, std::function<bool()> makeCurrent) {
    m_gl->offered = context;
    m_gl->offeredMakeCurrent = std::move(makeCurrent);
}

std::int32_t Device::testCooperativeLevel() const {
    if (!m_gl->lost)
        return D3D_OK;
    if (m_gl->offered || !m_gl->everAttached)
        return D3DERR_DEVICENOTRESET;
    return D3DERR_DEVICELOST;
}

std::int32_t Device::reset(QOpenGLContext* context) {
    if (!m_gl->lost && hasContext() && (!context || context == m_gl->context)) {
        // A working device: only the render target follows the (new) target size.
        if (ensureCurrent()) {
            makeRenderTarget();
            m_gl->valid = false;
        }
        return D3D_OK;
    }
    std::function<bool()> makeCurrent;
    if (!context && m_gl->offered) {
        context = m_gl->offered;
        makeCurrent = m_gl->offeredMakeCurrent;
    }
    if (!context)
        context = QOpenGLContext::currentContext();
    if (!context) {
        if (!m_gl->everAttached) {
            m_gl->lost = false; // a null device has nothing to re-create
            return D3D_OK;
        }
        return D3DERR_DEVICENOTRESET;
    }
    return attachContext(context, std::move(makeCurrent)) ? D3D_OK : D3DERR_DEVICENOTRESET;
}

bool Device::ensureCurrent() {
    Gl& gl = *m_gl;
    if (!gl.f || gl.lost || !gl.context)
        return false;
    if (QOpenGLContext::currentContext() != gl.context) {
        if (!gl.makeCurrent || !gl.makeCurrent() || QOpenGLContext::currentContext() != gl.context)
            return false;
        gl.valid = false; // whoever used the context last may have changed anything
    }
    if (gl.epoch) {
        // Objects freed since the last GL work.
        GlEpoch& e = *gl.epoch;
        for (const MeshPlace& place : e.deadMeshes)
            e.arenas.free(place);
        e.deadMeshes.clear();
        if (!e.deadTextures.empty()) {
            gl.f->glDeleteTextures(static_cast<GLsizei>(e.deadTextures.size()), e.deadTextures.data());
            e.deadTextures.clear();
            gl.valid = false;
        }
    }
    if (gl.madeForWidth != std::max(1, m_state->targetWidth) ||
        gl.madeForHeight != std::max(1, m_state->targetHeight))
        makeRenderTarget();
    return gl.fbo != 0;
}

bool Device::createGlObjects() {
    Gl& gl = *m_gl;
    gl.epoch = std::make_shared<GlEpoch>(gl);
    gl.epoch->id = nextEpochId();
    gl.valid = false;
    gl.boundVao = 0;

    gl.programs = {};
    gl.variant = -1;
    if (!BuildShaderProgram(*gl.f, 0, gl.programs[0]))
        return false;

    // Depth 0..1 in clip space, as Direct3D: glClipControl where the context has it (4.5 or
    // ARB_clip_control), else the vertex shader remaps z.
    // Where the context has glClipControl but it is not wanted, the mode is still set (back) to
    // OpenGL's own on every use: the context may have been left in the other mode.
    gl.glClipControl = nullptr;
    const QSurfaceFormat fmt = gl.context->format();
    if (fmt.version() >= qMakePair(4, 5) || gl.context->hasExtension("GL_ARB_clip_control"))
        gl.glClipControl =
            reinterpret_cast<void (*)(GLenum, GLenum)>(gl.context->getProcAddress("glClipControl"));
    gl.clipControl = gl.glClipControl != nullptr && gl.allowClipControl;

    // The largest render target: what a renderbuffer, a texture (the view shows the picture
    // through one) and the viewport may each be.
    QOpenGLFunctions_3_3_Core* f = gl.f;
    GLint renderbuffer = 0, texture = 0, viewport[2] = {0, 0};
    f->glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    f->glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    gl.maxTargetWidth = std::max(1, std::min({renderbuffer, texture, viewport[0]}));
    gl.maxTargetHeight = std::max(1, std::min({renderbuffer, texture, viewport[1]}));

    gl.fboWidth = gl.fboHeight = 0;
    gl.madeForWidth = gl.madeForHeight = 0;
    makeRenderTarget();
    return gl.fbo != 0;
}

void Device::makeRenderTarget() {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    const int askedW = std::max(1, m_state->targetWidth), askedH = std::max(1, m_state->targetHeight);
    if (gl.fbo && gl.madeForWidth == askedW && gl.madeForHeight == askedH)
        return;
    if (!gl.fbo) {
        f->glGenFramebuffers(1, &gl.fbo);
        f->glGenRenderbuffers(1, &gl.colorBuffer);
        f->glGenRenderbuffers(1, &gl.depthBuffer);
    }
    // Within the context's limits, in the same proportions; a target it can't make (no memory
    // for it) is tried at half the size until one can be made.
    QSize largest = maxTargetSize();
    if (largest.isEmpty())
        largest = QSize(askedW, askedH);
    const double scale = std::min({1.0, double(largest.width()) / askedW, double(largest.height()) / askedH});
    int w = std::max(1, static_cast<int>(askedW * scale)), h = std::max(1, static_cast<int>(askedH * scale));
    for (;;) {
        for (int i = 0; i < 16 && f->glGetError() != GL_NO_ERROR; ++i) {
        }
        f->glBindRenderbuffer(GL_RENDERBUFFER, gl.colorBuffer);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        f->glBindRenderbuffer(GL_RENDERBUFFER, gl.depthBuffer);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
        f->glBindRenderbuffer(GL_RENDERBUFFER, 0);
        const bool stored = f->glGetError() == GL_NO_ERROR;
        f->glBindFramebuffer(GL_FRAMEBUFFER, gl.fbo);
        f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, gl.colorBuffer);
        f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                     gl.depthBuffer);
        if (stored && f->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
            break;
        if (w == 1 && h == 1) {
            qWarning("Device: no render target can be made, not even 1x1");
            f->glBindFramebuffer(GL_FRAMEBUFFER, 0);
            f->glDeleteFramebuffers(1, &gl.fbo);
            f->glDeleteRenderbuffers(1, &gl.colorBuffer);
            f->glDeleteRenderbuffers(1, &gl.depthBuffer);
            gl.fbo = gl.colorBuffer = gl.depthBuffer = 0;
            gl.fboWidth = gl.fboHeight = 0;
            gl.madeForWidth = gl.madeForHeight = 0;
            return;
        }
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    if (w != askedW || h != askedH)
        qWarning("Device: a %dx%d render target can't be made here (the largest is %dx%d); the picture is "
                 "drawn at %dx%d and scaled to the view",
                 askedW, askedH, largest.width(), largest.height(), w, h);
    gl.fboWidth = w;
    gl.fboHeight = h;
    gl.madeForWidth = askedW;
    gl.madeForHeight = askedH;
    gl.valid = false;
}

void Device::destroyGlObjects() {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    if (!f)
        return;
    for (ShaderProgram& p : gl.programs)
        if (p.name)
            f->glDeleteProgram(p.name);
    gl.programs = {};
    gl.variant = -1;
    if (gl.fbo) {
        f->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        f->glDeleteFramebuffers(1, &gl.fbo);
        f->glDeleteRenderbuffers(1, &gl.colorBuffer);
        f->glDeleteRenderbuffers(1, &gl.depthBuffer);
    }
    if (gl.overlay.program)
        f->glDeleteProgram(gl.overlay.program);
    if (gl.overlay.texture)
        f->glDeleteTextures(1, &gl.overlay.texture);
    if (gl.overlay.vao)
        f->glDeleteVertexArrays(1, &gl.overlay.vao);
    gl.overlay = {};
    if (gl.epoch) {
        GlEpoch& e = *gl.epoch;
        e.arenas.releaseBuffers();
        if (!e.deadTextures.empty())
            f->glDeleteTextures(static_cast<GLsizei>(e.deadTextures.size()), e.deadTextures.data());
    }
    gl.fbo = gl.colorBuffer = gl.depthBuffer = 0;
}

void Device::forgetContext(bool contextIsCurrent) {
    Gl& gl = *m_gl;
    if (contextIsCurrent)
        destroyGlObjects();
    // Uploads of this epoch can no longer queue their names; they die with the context.
    gl.epoch.reset();
    gl.watcher.reset();
    gl.context = nullptr;
    gl.makeCurrent = nullptr;
    gl.f = nullptr;
    gl.programs = {};
    gl.variant = -1;
    gl.overlay = {}; // its names died with the context
    gl.fbo = gl.colorBuffer = gl.depthBuffer = 0;
    gl.fboWidth = gl.fboHeight = 0;
    gl.madeForWidth = gl.madeForHeight = 0;
    gl.valid = false;
    gl.boundVao = 0;
}

QSize Device::maxTargetSize() const {
    const Gl& gl = *m_gl;
    if (!gl.maxTargetWidth || !gl.maxTargetHeight)
        return {};
    if (gl.targetLimit > 0)
        return {std::min(gl.maxTargetWidth, gl.targetLimit), std::min(gl.maxTargetHeight, gl.targetLimit)};
    return {gl.maxTargetWidth, gl.maxTargetHeight};
}

void Device::setTargetLimit(int pixels) {
    m_gl->targetLimit = std::max(0, pixels);
    m_gl->madeForWidth = m_gl->madeForHeight = 0; // made again on the next use
}

QSize Device::drawnSize() const {
    if (m_gl->fbo)
        return {m_gl->fboWidth, m_gl->fboHeight};
    return {m_state->targetWidth, m_state->targetHeight};
}

std::array<int, 4> Device::onRenderTarget(const Viewport& vp) const {
    const Gl& gl = *m_gl;
    const double sx = gl.madeForWidth > 0 ? double(gl.fboWidth) / gl.madeForWidth : 1.0;
    const double sy = gl.madeForHeight > 0 ? double(gl.fboHeight) / gl.madeForHeight : 1.0;
    const int x0 = static_cast<int>(std::lround(vp.x * sx));
    const int x1 = static_cast<int>(std::lround((double(vp.x) + vp.width) * sx));
    const int y0 = static_cast<int>(std::lround(vp.y * sy));
    const int y1 = static_cast<int>(std::lround((double(vp.y) + vp.height) * sy));
    return {x0, gl.fboHeight - y1, x1 - x0, y1 - y0};
}

void Device::bindTarget() {
    m_gl->f->glBindFramebuffer(GL_FRAMEBUFFER, m_gl->fbo);
}

} // namespace platform
