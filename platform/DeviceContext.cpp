// The context's life: attaching the device to a context, noticing its loss, resetting onto a new
// one, and the GL objects of one context (the shader variants, the render target, the arenas).
#include "DeviceGl.h"

#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>

#include <algorithm>
#include <atomic>

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
    if (gl.fboWidth != std::max(1, m_state->targetWidth) ||
        gl.fboHeight != std::max(1, m_state->targetHeight))
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

    gl.fboWidth = gl.fboHeight = 0;
    makeRenderTarget();
    return gl.fbo != 0;
}

void Device::makeRenderTarget() {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    const int w = std::max(1, m_state->targetWidth), h = std::max(1, m_state->targetHeight);
    if (gl.fbo && gl.fboWidth == w && gl.fboHeight == h)
        return;
    if (!gl.fbo) {
        f->glGenFramebuffers(1, &gl.fbo);
        f->glGenRenderbuffers(1, &gl.colorBuffer);
        f->glGenRenderbuffers(1, &gl.depthBuffer);
    }
    f->glBindRenderbuffer(GL_RENDERBUFFER, gl.colorBuffer);
    f->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    f->glBindRenderbuffer(GL_RENDERBUFFER, gl.depthBuffer);
    f->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    f->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    f->glBindFramebuffer(GL_FRAMEBUFFER, gl.fbo);
    f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, gl.colorBuffer);
    f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                 gl.depthBuffer);
    if (f->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        qWarning("Device: the %dx%d render target is incomplete", w, h);
        f->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        f->glDeleteFramebuffers(1, &gl.fbo);
        f->glDeleteRenderbuffers(1, &gl.colorBuffer);
        f->glDeleteRenderbuffers(1, &gl.depthBuffer);
        gl.fbo = gl.colorBuffer = gl.depthBuffer = 0;
        gl.fboWidth = gl.fboHeight = 0;
        return;
    }
    gl.fboWidth = w;
    gl.fboHeight = h;
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
    gl.fbo = gl.colorBuffer = gl.depthBuffer = 0;
    gl.fboWidth = gl.fboHeight = 0;
    gl.valid = false;
    gl.boundVao = 0;
}

void Device::bindTarget() {
    m_gl->f->glBindFramebuffer(GL_FRAMEBUFFER, m_gl->fbo);
}

} // namespace platform
