// The device's CPU state and the frame: clearing, drawing a subset, ending the scene, presenting
// and reading the picture back. The other concerns are in the files DeviceGl.h lists.
#include "DeviceGl.h"

#include "Texture.h"

#include <QImage>
#include <QOpenGLContext>

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

bool sameBytes(const void* a, const void* b, std::size_t n) {
    return std::memcmp(a, b, n) == 0;
}

} // namespace

Device::Device() : m_state(std::make_unique<State>()), m_gl(std::make_unique<Gl>()) {}

Device::~Device() {
    if (m_gl->context && !m_gl->lost) {
        QOpenGLContext* current = QOpenGLContext::currentContext();
        if (current == m_gl->context || (m_gl->makeCurrent && m_gl->makeCurrent()))
            destroyGlObjects();
    }
}

void Device::setPresentHook(std::function<void()> hook) {
    m_state->presentHook = std::move(hook);
}

void Device::setTargetSize(int width, int height) {
    m_state->targetWidth = std::max(0, width);
    m_state->targetHeight = std::max(0, height);
    Viewport vp;
    vp.width = static_cast<std::uint32_t>(m_state->targetWidth);
    vp.height = static_cast<std::uint32_t>(m_state->targetHeight);
    m_state->viewport = vp;
    m_gl->valid = false;
}

void Device::setPixelRatio(double ratio) {
    m_state->pixelRatio = ratio >= 0.1 ? ratio : 1.0; // NaN fails the test too
}

double Device::pixelRatio() const {
    return m_state->pixelRatio;
}

int Device::targetWidth() const {
    return m_state->targetWidth;
}
int Device::targetHeight() const {
    return m_state->targetHeight;
}

// ---- state ----

void Device::setTransform(TransformType type, const Matrix& m) {
    switch (type) {
    case TransformType::World:
        if (!sameBytes(&m_state->world, &m, sizeof m)) {
            m_state->world = m;
            ++m_state->worldVersion;
        }
        break;
    case TransformType::View:
        m_state->view = m;
        ++m_state->viewProjVersion;
        break;
    case TransformType::Projection:
        m_state->projection = m;
        ++m_state->viewProjVersion;
        break;
    }
}

Matrix Device::getTransform(TransformType type) const {
    switch (type) {
    case TransformType::World:
        return m_state->world;
    case TransformType::View:
        return m_state->view;
    case TransformType::Projection:
        return m_state->projection;
    }
    return Matrix::identity();
}

void Device::setRenderState(int state, std::uint32_t value) {
    if (state < 0 || state >= kStateCount)
        return; // not a state this device knows; Direct3D ignores those as well
    if (m_state->renderStates[state] != value) {
        m_state->renderStates[state] = value;
        ++m_state->renderStateVersion;
        if (state == rs::Ambient || state == rs::Lighting || state == rs::SpecularEnable ||
            state == rs::NormalizeNormals)
            ++m_state->lightVersion;
    }
}

std::uint32_t Device::getRenderState(int state) const {
    return state >= 0 && state < kStateCount ? m_state->renderStates[state] : 0;
}

void Device::setLight(int index, const Light& light) {
    m_state->lights[index] = light;
    ++m_state->lightVersion;
}

Light Device::getLight(int index) const {
    auto it = m_state->lights.find(index);
    return it == m_state->lights.end() ? Light{} : it->second;
}

void Device::lightEnable(int index, bool enable) {
    m_state->lightOn[index] = enable;
    ++m_state->lightVersion;
}

bool Device::lightEnabled(int index) const {
    auto it = m_state->lightOn.find(index);
    return it != m_state->lightOn.end() && it->second;
}

void Device::setMaterial(const Material& m) {
    if (!sameBytes(&m_state->material, &m, sizeof m)) {
        m_state->material = m;
        ++m_state->materialVersion;
    }
}

Material Device::getMaterial() const {
    return m_state->material;
}

void Device::setTexture(int stage, TexturePtr texture) {
    if (stage != 0)
        return; // only stage 0 exists here
    if (m_state->texture != texture) {
        m_state->texture = std::move(texture);
        ++m_state->textureVersion;
    }
}

TexturePtr Device::getTexture(int stage) const {
    return stage == 0 ? m_state->texture : nullptr;
}

void Device::setViewport(const Viewport& vp) {
    m_state->viewport = vp;
    m_gl->valid = false;
}

Viewport Device::getViewport() const {
    return m_state->viewport;
}

// ---- frame ----

void Device::clear(std::uint32_t flags, std::uint32_t argb, float z, std::uint32_t stencil) {
    if (!ensureCurrent())
        return;
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    bindTarget();
    GLbitfield mask = 0;
    if (flags & CLEAR_TARGET) {
        f->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        f->glClearColor(((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                        ((argb >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & CLEAR_ZBUFFER) {
        f->glDepthMask(GL_TRUE);
        f->glClearDepth(std::clamp(z, 0.0f, 1.0f));
        mask |= GL_DEPTH_BUFFER_BIT;
        m_gl->valid = false; // depth mask changed behind the state cache
    }
    if (flags & 4) { // stencil
        f->glStencilMask(0xFF);
        f->glClearStencil(static_cast<GLint>(stencil));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (!mask)
        return;
    // Only the viewport's rectangle is cleared.
    const Viewport& vp = m_state->viewport;
    f->glEnable(GL_SCISSOR_TEST);
    const std::array<int, 4> r = onRenderTarget(vp);
    f->glScissor(r[0], r[1], r[2], r[3]);
    f->glClear(mask);
    f->glDisable(GL_SCISSOR_TEST);
}

void Device::beginScene() {
    m_state->inScene = true;
    m_state->pendingText.clear();
    m_gl->valid = false;
}

void Device::endScene() {
    m_state->inScene = false;
    m_state->lastText = std::move(m_state->pendingText);
    m_state->pendingText.clear();
    if (!m_state->lastText.empty() && ensureCurrent())
        paintOverlay();
}

void Device::present() {
    if (m_gl->f && !m_gl->lost && QOpenGLContext::currentContext() == m_gl->context)
        m_gl->f->glFlush();
    if (m_state->presentHook)
        m_state->presentHook();
}

void Device::finish() {
    if (ensureCurrent())
        m_gl->f->glFinish();
}

void Device::drawSubset(const Mesh& mesh, std::uint32_t attribId) {
    ++m_drawCount;
    if (m_recording) {
        DrawRecord r;
        r.mesh = &mesh;
        r.attribId = attribId;
        r.world = m_state->world;
        r.material = m_state->material;
        r.texture = m_state->texture.get();
        r.alphaBlend = m_state->renderStates[rs::AlphaBlendEnable] != 0;
        m_records.push_back(r);
    }
    if (!ensureCurrent())
        return;
    GpuMesh* gpu = upload(mesh);
    if (!gpu)
        return;
    const GpuRange* range = nullptr;
    for (const GpuRange& r : gpu->ranges)
        if (r.attribId == attribId) {
            range = &r;
            break;
        }
    if (!range || range->indexCount == 0)
        return;
    applyState();
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    const MeshPlace& place = gpu->place;
    if (m_gl->boundVao != place.arena->vao) {
        f->glBindVertexArray(place.arena->vao);
        m_gl->boundVao = place.arena->vao;
    }
    const std::uintptr_t first = place.firstIndex + range->firstIndex;
    f->glDrawElementsBaseVertex(GL_TRIANGLES, static_cast<GLsizei>(range->indexCount), GL_UNSIGNED_INT,
                                reinterpret_cast<const void*>(first * sizeof(std::uint32_t)),
                                static_cast<GLint>(place.firstVertex));
}

QImage Device::grabFramebuffer() const {
    auto* self = const_cast<Device*>(this);
    if (!self->ensureCurrent() || m_gl->fbo == 0)
        return {};
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    const int w = m_gl->fboWidth, h = m_gl->fboHeight;
    // 32-bit 0xAARRGGBB words are what OpenGL calls BGRA bytes with an 8_8_8_8_REV packing, on
    // any byte order; OpenGL's rows run bottom-up, so each row is read into its mirrored place.
    QImage image(w, h, QImage::Format_ARGB32);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_gl->fbo);
    f->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    f->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    f->glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.bits());
    self->m_gl->valid = false;
    const qsizetype stride = image.bytesPerLine();
    std::vector<uchar> row(static_cast<std::size_t>(stride));
    for (int y = 0; y < h / 2; ++y) {
        uchar* top = image.scanLine(y);
        uchar* bottom = image.scanLine(h - 1 - y);
        std::memcpy(row.data(), top, static_cast<std::size_t>(stride));
        std::memcpy(top, bottom, static_cast<std::size_t>(stride));
        std::memcpy(bottom, row.data(), static_cast<std::size_t>(stride));
    }
    // The picture is opaque, as the view shows it: blending leaves alpha below one where
    // translucent meshes lie, and a saved picture would let its background through there.
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] |= 0xFF000000u;
    }
    return image;
}

void Device::presentTo(unsigned fbo, int width, int height) {
    if (!hasContext() || QOpenGLContext::currentContext() != m_gl->context || m_gl->fbo == 0)
        return;
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_gl->fbo);
    f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    f->glDisable(GL_SCISSOR_TEST);
    const bool same = width == m_gl->fboWidth && height == m_gl->fboHeight;
    f->glBlitFramebuffer(0, 0, m_gl->fboWidth, m_gl->fboHeight, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                         same ? GL_NEAREST : GL_LINEAR);
    f->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    // The view is opaque: blending leaves alpha below one where translucent meshes lie, and a
    // compositor that blends windows by their alpha (Wayland) would show that as a hole.
    f->glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    f->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    f->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_gl->valid = false;
}

std::uint64_t Device::uploadCount() const {
    return m_gl->uploads;
}

bool Device::usesClipControl() const {
    return m_gl->clipControl;
}

void Device::setClipControlAllowed(bool allowed) {
    m_gl->allowClipControl = allowed;
}

} // namespace platform
