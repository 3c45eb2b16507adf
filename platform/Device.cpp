#include "Device.h"

#include "Math.h"
#include "Texture.h"

#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLPaintDevice>
#include <QOpenGLVersionFunctionsFactory>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <string>

namespace platform {

// Free runs of a buffer, by start; adjacent runs are merged.
class FreeRuns {
public:
    // Start of `count` free elements, taken from the first run long enough; none when no run is.
    std::optional<std::size_t> take(std::size_t count) {
        for (auto it = m_runs.begin(); it != m_runs.end(); ++it)
            if (it->second >= count) {
                const std::size_t start = it->first, left = it->second - count;
                m_runs.erase(it);
                if (left)
                    m_runs.emplace(start + count, left);
                return start;
            }
        return std::nullopt;
    }
    // Gives back [start, start + count); returns the merged run's end (callers shrink their used
    // end when it reaches it).
    std::pair<std::size_t, std::size_t> give(std::size_t start, std::size_t count) {
        auto next = m_runs.lower_bound(start);
        if (next != m_runs.begin()) {
            auto prev = std::prev(next);
            if (prev->first + prev->second == start) {
                start = prev->first;
                count += prev->second;
                m_runs.erase(prev);
            }
        }
        if (next != m_runs.end() && start + count == next->first) {
            count += next->second;
            m_runs.erase(next);
        }
        m_runs.emplace(start, count);
        return {start, count};
    }
    void erase(std::size_t start) { m_runs.erase(start); }

private:
    std::map<std::size_t, std::size_t> m_runs;
};

// Meshes of one vertex format share a vertex buffer, an index buffer and a vertex-array object:
// drawing a different mesh then changes no vertex state (switching vertex arrays is the dearest
// part of a draw on Mesa's software rasteriser). When an arena is full the next one is made, twice
// as large up to kMaxArenaBytes: arenas never grow, since a grown buffer is a new one that the
// software rasteriser clears and the old contents are copied into (most of the first frame of a
// scene of thousands of text meshes went into that).
struct GlArena {
    std::uint32_t fvf = 0, stride = 0; // stride in floats
    GLuint vao = 0, vbo = 0, ebo = 0;
    std::size_t vertexCapacity = 0, vertexEnd = 0; // in vertices
    std::size_t indexCapacity = 0, indexEnd = 0;   // in indices
    FreeRuns freeVertices, freeIndices;
};

struct DeadMesh {
    GlArena* arena = nullptr;
    std::size_t firstVertex = 0, vertexCount = 0, firstIndex = 0, indexCount = 0;
};

// GL names that belong to one life of one context. Uploads remember the epoch they were made in:
// a later epoch (a reset onto a new context) makes them upload again, and objects freed while
// their epoch lives are queued here and released on the next GL work.
struct GlEpoch {
    std::uint64_t id = 0;
    std::map<std::uint64_t, std::vector<std::unique_ptr<GlArena>>> arenas; // by (fvf, stride)
    std::vector<DeadMesh> deadMeshes;
    std::vector<GLuint> deadTextures;
};

static std::uint64_t nextEpochId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// One subset's run of indices in the uploaded (attribute-sorted) index buffer.
struct GpuRange {
    std::uint32_t attribId = 0;
    std::uint32_t firstIndex = 0;
    std::uint32_t indexCount = 0;
};

struct GpuMesh {
    std::uint64_t epochId = 0;
    std::weak_ptr<GlEpoch> epoch;
    GlArena* arena = nullptr;
    std::size_t firstVertex = 0, vertexCount = 0, firstIndex = 0, indexCount = 0;
    std::vector<GpuRange> ranges; // firstIndex relative to the mesh's own first index

    ~GpuMesh() {
        if (auto e = epoch.lock(); e && arena)
            e->deadMeshes.push_back({arena, firstVertex, vertexCount, firstIndex, indexCount});
    }
};

struct GpuTexture {
    std::uint64_t epochId = 0;
    std::weak_ptr<GlEpoch> epoch;
    GLuint texture = 0;

    ~GpuTexture() {
        if (auto e = epoch.lock())
            e->deadTextures.push_back(texture);
    }
};

namespace {

// The shaders are built in variants by three switches, so that each draws with only the inputs
// and outputs it needs (every value passed from vertex to pixel costs the software rasteriser work
// on each triangle): FLAT (flat shading: the colour of the first vertex), TEXTURE (a texture is
// bound to stage 0) and SPECULAR (the specular render state). A "#version" line and the three
// "#define"s come first.
const char* const kVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;

// Direct3D matrices arrive unchanged: GLSL reads them transposed, so M * v is v x M.
// What changes from draw to draw, sent in one call: the world matrix's rows (0-3), the rows of the
// inverse transpose of its 3 x 3 part (4-6), and the material (7-11: diffuse, ambient, specular,
// emissive, (power, 0, 0, 0)).
uniform vec4 uDraw[12];
uniform mat4 uViewProj;
uniform vec3 uEye; // camera position in world space
// light: diffuse, ambient, specular, direction (world space, the way the light travels)
uniform vec4 uLight[4];
uniform vec4 uAmbient; // the ambient render state
// lighting, light enabled, (unused), normalise normals
uniform ivec4 uFlags;
uniform int uRemapDepth; // 1 when clip depth 0..1 must be mapped to OpenGL's -1..1 here

#if FLAT
flat out vec4 vColor;
#else
out vec4 vColor;
#endif
#if SPECULAR
#if FLAT
flat out vec3 vSpecular;
#else
out vec3 vSpecular;
#endif
#endif
#if TEXTURE
out vec2 vTexCoord;
#endif

void main() {
    mat4 worldMatrix = mat4(uDraw[0], uDraw[1], uDraw[2], uDraw[3]);
    vec4 world = worldMatrix * vec4(aPosition, 1.0);
    gl_Position = uViewProj * world;
    if (uRemapDepth != 0)
        gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
#if TEXTURE
    vTexCoord = aTexCoord;
#endif

    vec4 color = vec4(1.0);
    vec3 specular = vec3(0.0);
    if (uFlags.x != 0) {
        vec3 n = mat3(uDraw[4].xyz, uDraw[5].xyz, uDraw[6].xyz) * aNormal;
        if (uFlags.w != 0 && dot(n, n) > 0.0)
            n = normalize(n);
        vec3 ambient = uAmbient.rgb;
        vec3 diffuse = vec3(0.0);
        if (uFlags.y != 0) {
            vec3 toLight = -normalize(uLight[3].xyz);
            ambient += uLight[1].rgb;
            float nDotL = dot(n, toLight);
            if (nDotL > 0.0) {
                diffuse = uLight[0].rgb * nDotL;
#if SPECULAR
                if (uDraw[11].x > 0.0) {
                    vec3 h = normalize(normalize(uEye - world.xyz) + toLight);
                    float nDotH = dot(n, h);
                    if (nDotH > 0.0)
                        specular = uDraw[9].rgb * uLight[2].rgb * pow(nDotH, uDraw[11].x);
                }
#endif
            }
        }
        color.rgb = uDraw[10].rgb + uDraw[8].rgb * ambient + uDraw[7].rgb * diffuse;
        color.a = uDraw[7].a;
    }
    vColor = clamp(color, 0.0, 1.0);
#if SPECULAR
    vSpecular = clamp(specular, 0.0, 1.0);
#endif
}
)";

const char* const kFragmentShader = R"(
#if FLAT
flat in vec4 vColor;
#else
in vec4 vColor;
#endif
#if SPECULAR
#if FLAT
flat in vec3 vSpecular;
#else
in vec3 vSpecular;
#endif
#endif
#if TEXTURE
in vec2 vTexCoord;
uniform sampler2D uTexture;
#endif
out vec4 fragColor;

void main() {
    vec4 color = vColor;
#if TEXTURE
    // Stage 0 as Direct3D sets it up: colour = texture x diffuse, alpha = texture alpha.
    vec4 t = texture(uTexture, vTexCoord);
    color = vec4(color.rgb * t.rgb, t.a);
#endif
#if SPECULAR
    color.rgb += vSpecular;
#endif
    fragColor = clamp(color, 0.0, 1.0);
}
)";

// The variant switches, as bits of a variant number.
enum : int { kVariantFlat = 1, kVariantTexture = 2, kVariantSpecular = 4, kVariantCount = 8 };

constexpr int kStateCount = 256;

std::uint32_t defaultRenderState(int state) {
    switch (state) {
    case rs::ZEnable:
    case rs::ZWriteEnable:
    case rs::Clipping:
    case rs::Lighting:
        return 1;
    case rs::ShadeMode:
        return rs::ShadeGouraud;
    case rs::SrcBlend:
        return rs::BlendOne;
    case rs::DestBlend:
        return rs::BlendZero;
    case rs::CullMode:
        return rs::CullCCW;
    case rs::ZFunc:
        return rs::CmpLessEqual;
    default:
        return 0;
    }
}

GLenum glBlendFactor(std::uint32_t f) {
    switch (f) {
    case rs::BlendZero:
        return GL_ZERO;
    case rs::BlendOne:
        return GL_ONE;
    case rs::BlendSrcColor:
        return GL_SRC_COLOR;
    case rs::BlendInvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case rs::BlendSrcAlpha:
        return GL_SRC_ALPHA;
    case rs::BlendInvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case rs::BlendDestAlpha:
        return GL_DST_ALPHA;
    case rs::BlendInvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case rs::BlendDestColor:
        return GL_DST_COLOR;
    case rs::BlendInvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case rs::BlendSrcAlphaSat:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum glCompare(std::uint32_t f) {
    if (f < rs::CmpNever || f > rs::CmpAlways)
        return GL_LEQUAL;
    return GL_NEVER + (f - rs::CmpNever); // GL_NEVER .. GL_ALWAYS are consecutive
}

// Transpose of the inverse of m's upper 3 x 3 (row-major), i.e. the cofactor matrix / det; zero
// when singular.
void normalMatrix(const Matrix& m, float out[9]) {
    const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const float c00 = e * i - f * h, c01 = f * g - d * i, c02 = d * h - e * g;
    const float det = a * c00 + b * c01 + c * c02;
    if (det == 0.0f) {
        std::fill(out, out + 9, 0.0f);
        return;
    }
    const float k = 1.0f / det;
    out[0] = c00 * k;
    out[1] = c01 * k;
    out[2] = c02 * k;
    out[3] = (c * h - b * i) * k;
    out[4] = (a * i - c * g) * k;
    out[5] = (b * g - a * h) * k;
    out[6] = (b * f - c * e) * k;
    out[7] = (c * d - a * f) * k;
    out[8] = (a * e - b * d) * k;
}

bool sameBytes(const void* a, const void* b, std::size_t n) {
    return std::memcmp(a, b, n) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CPU state

struct Device::State {
    Matrix world = Matrix::identity();
    Matrix view = Matrix::identity();
    Matrix projection = Matrix::identity();
    std::uint32_t renderStates[kStateCount] = {};
    std::map<int, Light> lights;
    std::map<int, bool> lightOn;
    Material material;
    TexturePtr texture;
    Viewport viewport;
    int targetWidth = 0, targetHeight = 0;
    std::function<void()> presentHook;
    std::vector<OverlayText> pendingText, lastText;
    bool inScene = false;

    // Versions tell the GL side what changed since it last uploaded.
    std::uint64_t worldVersion = 1, viewProjVersion = 1, materialVersion = 1, lightVersion = 1,
                  renderStateVersion = 1, textureVersion = 1;

    State() {
        for (int i = 0; i < kStateCount; ++i)
            renderStates[i] = defaultRenderState(i);
    }
};

// ---------------------------------------------------------------------------------------------
// GL side

struct Device::Gl {
    QOpenGLContext* context = nullptr;
    std::function<bool()> makeCurrent;
    QOpenGLFunctions_3_3_Core* f = nullptr;
    std::unique_ptr<QObject> watcher; // receiver of the context's aboutToBeDestroyed
    std::shared_ptr<GlEpoch> epoch;
    bool everAttached = false;
    bool lost = false;
    // A context offered after a loss, for reset() (it may go away again before that).
    QPointer<QOpenGLContext> offered;
    std::function<bool()> offeredMakeCurrent;

    // The shader variants, compiled when first needed; `variant` is the one in use (-1: none).
    struct Program {
        GLuint name = 0;
        GLint draw = -1, viewProj = -1, eye = -1, light = -1, ambient = -1, flags = -1, remapDepth = -1,
              texture = -1;
    };
    std::array<Program, kVariantCount> programs;
    int variant = -1;
    const Program* loc = nullptr; // the uniforms of the program in use
    GLuint textureBound = 0;      // the texture bound to stage 0 (0: none)
    GLuint fbo = 0, colorBuffer = 0, depthBuffer = 0;
    int fboWidth = 0, fboHeight = 0;
    bool clipControl = false;
    bool allowClipControl = true;
    void (*glClipControl)(GLenum, GLenum) = nullptr;

    // What was last sent to GL; `valid` false forces everything to be sent again (after someone
    // else, e.g. the overlay painter or the view, used the context).
    bool valid = false;
    std::uint64_t worldVersion = 0, viewProjVersion = 0, materialVersion = 0, lightVersion = 0,
                  renderStateVersion = 0, textureVersion = 0;
    GLuint boundVao = 0;
    float drawBlock[48] = {}; // the uDraw uniform as last sent
    std::uint64_t uploads = 0;
};

Device::Device() : m_state(std::make_unique<State>()), m_gl(std::make_unique<Gl>()) {}

Device::~Device() {
    if (m_gl->context && !m_gl->lost) {
        QOpenGLContext* current = QOpenGLContext::currentContext();
        if (current == m_gl->context || (m_gl->makeCurrent && m_gl->makeCurrent()))
            destroyGlObjects();
    }
}

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
    f->glScissor(static_cast<GLint>(vp.x), m_gl->fboHeight - static_cast<GLint>(vp.y + vp.height),
                 static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height));
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

void Device::queueOverlayText(std::unique_ptr<OverlayText> text) {
    if (text)
        m_state->pendingText.push_back(std::move(*text));
}

const std::vector<Device::OverlayText>& Device::overlayTexts() const {
    return m_state->lastText;
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
    applyState(mesh);
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    if (m_gl->boundVao != gpu->arena->vao) {
        f->glBindVertexArray(gpu->arena->vao);
        m_gl->boundVao = gpu->arena->vao;
    }
    const std::uintptr_t first = gpu->firstIndex + range->firstIndex;
    f->glDrawElementsBaseVertex(GL_TRIANGLES, static_cast<GLsizei>(range->indexCount), GL_UNSIGNED_INT,
                                reinterpret_cast<const void*>(first * sizeof(std::uint32_t)),
                                static_cast<GLint>(gpu->firstVertex));
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

// ---------------------------------------------------------------------------------------------
// GL internals

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
        for (const DeadMesh& d : e.deadMeshes)
            freeMeshSpace(*d.arena, d.firstVertex, d.vertexCount, d.firstIndex, d.indexCount);
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
    gl.epoch = std::make_shared<GlEpoch>();
    gl.epoch->id = nextEpochId();
    gl.valid = false;
    gl.boundVao = 0;

    gl.programs = {};
    gl.variant = -1;
    if (!buildProgram(0))
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

bool Device::buildProgram(int variant) {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    const std::string header = "#version 330 core\n#define FLAT " +
                               std::to_string(variant & kVariantFlat ? 1 : 0) + "\n#define TEXTURE " +
                               std::to_string(variant & kVariantTexture ? 1 : 0) + "\n#define SPECULAR " +
                               std::to_string(variant & kVariantSpecular ? 1 : 0) + "\n";
    auto compile = [&](GLenum type, const char* source) -> GLuint {
        GLuint s = f->glCreateShader(type);
        const char* parts[2] = {header.c_str(), source};
        f->glShaderSource(s, 2, parts, nullptr);
        f->glCompileShader(s);
        GLint ok = 0;
        f->glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            f->glGetShaderInfoLog(s, sizeof log, nullptr, log);
            qWarning("Device: shader does not compile: %s", log);
            f->glDeleteShader(s);
            return 0;
        }
        return s;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (!vs || !fs) {
        if (vs)
            f->glDeleteShader(vs);
        if (fs)
            f->glDeleteShader(fs);
        return false;
    }
    const GLuint program = f->glCreateProgram();
    f->glAttachShader(program, vs);
    f->glAttachShader(program, fs);
    f->glLinkProgram(program);
    f->glDeleteShader(vs);
    f->glDeleteShader(fs);
    GLint linked = 0;
    f->glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[2048] = {};
        f->glGetProgramInfoLog(program, sizeof log, nullptr, log);
        qWarning("Device: shader does not link: %s", log);
        f->glDeleteProgram(program);
        return false;
    }
    Gl::Program& p = gl.programs[static_cast<std::size_t>(variant)];
    p.name = program;
    auto loc = [&](const char* name) { return f->glGetUniformLocation(program, name); };
    p.draw = loc("uDraw");
    p.viewProj = loc("uViewProj");
    p.eye = loc("uEye");
    p.light = loc("uLight");
    p.ambient = loc("uAmbient");
    p.flags = loc("uFlags");
    p.remapDepth = loc("uRemapDepth");
    p.texture = loc("uTexture");
    return true;
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
    for (Gl::Program& p : gl.programs)
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
        for (auto& [key, list] : e.arenas)
            for (const auto& arena : list) {
                f->glDeleteVertexArrays(1, &arena->vao);
                f->glDeleteBuffers(1, &arena->vbo);
                f->glDeleteBuffers(1, &arena->ebo);
            }
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

GpuMesh* Device::upload(const Mesh& mesh) {
    Gl& gl = *m_gl;
    if (mesh.gpu && mesh.gpu->epochId == gl.epoch->id && mesh.gpuGeneration == mesh.generation())
        return mesh.gpu.get();
    const std::uint32_t stride = mesh.floatsPerVertex();
    const std::uint32_t fvf = mesh.fvf();
    if (stride < 3 || !(fvf & FVF_XYZ))
        return nullptr;
    // An index past the vertices would make OpenGL read outside the buffer: such a mesh is not
    // drawn at all (it is checked again when its data changes).
    const std::size_t vertexCount = mesh.vertices().size() / stride;
    for (std::uint32_t index : mesh.indices())
        if (index >= vertexCount) {
            qWarning("Device: a mesh refers to vertex %u of %zu; it is not drawn", index, vertexCount);
            mesh.gpu.reset();
            return nullptr;
        }

    auto gpu = std::make_shared<GpuMesh>();
    gpu->epochId = gl.epoch->id;
    gpu->epoch = gl.epoch;

    // Faces sorted by attribute id (stable), so that every subset is one run of indices.
    const auto& indices = mesh.indices();
    const auto& attributes = mesh.faceAttributes();
    const std::uint32_t faces = static_cast<std::uint32_t>(indices.size() / 3);
    std::vector<std::uint32_t> order(faces);
    std::iota(order.begin(), order.end(), 0u);
    auto attr = [&](std::uint32_t face) { return face < attributes.size() ? attributes[face] : 0u; };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return attr(a) < attr(b); });
    std::vector<std::uint32_t> sorted;
    sorted.reserve(faces * 3);
    for (std::uint32_t i = 0; i < faces; ++i) {
        const std::uint32_t face = order[i];
        if (gpu->ranges.empty() || gpu->ranges.back().attribId != attr(face))
            gpu->ranges.push_back({attr(face), i * 3, 0});
        gpu->ranges.back().indexCount += 3;
        sorted.insert(sorted.end(), indices.begin() + face * 3, indices.begin() + face * 3 + 3);
    }

    const std::size_t vertexFloats = vertexCount * stride;
    gpu->vertexCount = vertexCount;
    gpu->indexCount = sorted.size();
    gpu->arena = placeMesh(fvf, stride, vertexCount, sorted.size(), gpu->firstVertex, gpu->firstIndex);
    GlArena& arena = *gpu->arena;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    if (vertexFloats) {
        f->glBindBuffer(GL_COPY_WRITE_BUFFER, arena.vbo);
        f->glBufferSubData(GL_COPY_WRITE_BUFFER,
                           static_cast<GLintptr>(gpu->firstVertex * stride * sizeof(float)),
                           static_cast<GLsizeiptr>(vertexFloats * sizeof(float)), mesh.vertices().data());
    }
    if (!sorted.empty()) {
        f->glBindBuffer(GL_COPY_WRITE_BUFFER, arena.ebo);
        f->glBufferSubData(GL_COPY_WRITE_BUFFER,
                           static_cast<GLintptr>(gpu->firstIndex * sizeof(std::uint32_t)),
                           static_cast<GLsizeiptr>(sorted.size() * sizeof(std::uint32_t)), sorted.data());
    }
    f->glBindBuffer(GL_COPY_WRITE_BUFFER, 0);

    mesh.gpu = std::move(gpu);
    mesh.gpuGeneration = mesh.generation();
    ++gl.uploads;
    return mesh.gpu.get();
}

namespace {

constexpr std::size_t kFirstArenaBytes = std::size_t(256) << 10;
constexpr std::size_t kMaxArenaBytes = std::size_t(16) << 20;

// Takes `count` elements of one of an arena's buffers: a free run, or the unused end.
std::optional<std::size_t> takeSpace(GlArena& arena, bool vertices, std::size_t count) {
    if (count == 0)
        return 0;
    FreeRuns& runs = vertices ? arena.freeVertices : arena.freeIndices;
    if (auto start = runs.take(count))
        return start;
    std::size_t& end = vertices ? arena.vertexEnd : arena.indexEnd;
    if (end + count > (vertices ? arena.vertexCapacity : arena.indexCapacity))
        return std::nullopt;
    const std::size_t start = end;
    end += count;
    return start;
}

} // namespace

GlArena* Device::placeMesh(std::uint32_t fvf, std::uint32_t stride, std::size_t vertexCount,
                           std::size_t indexCount, std::size_t& firstVertex, std::size_t& firstIndex) {
    std::vector<std::unique_ptr<GlArena>>& list = m_gl->epoch->arenas[std::uint64_t{fvf} << 32 | stride];
    // The newest arena first: it is the one with room at its end.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        GlArena& arena = **it;
        const std::optional<std::size_t> v = takeSpace(arena, true, vertexCount);
        if (!v)
            continue;
        const std::optional<std::size_t> i = takeSpace(arena, false, indexCount);
        if (!i) {
            freeMeshSpace(arena, *v, vertexCount, 0, 0);
            continue;
        }
        firstVertex = *v;
        firstIndex = *i;
        return &arena;
    }
    // A new arena, twice the last one's size up to the cap, and never too small for the mesh.
    const std::size_t vertexBytes = stride * sizeof(float), indexBytes = sizeof(std::uint32_t);
    std::size_t bytes = kFirstArenaBytes;
    if (!list.empty())
        bytes = std::min(kMaxArenaBytes, list.back()->vertexCapacity * vertexBytes * 2);
    const std::size_t vertexCapacity = std::max(bytes / vertexBytes, vertexCount);
    const std::size_t indexCapacity = std::max(bytes / 2 / indexBytes, indexCount);
    list.push_back(std::make_unique<GlArena>());
    GlArena& arena = *list.back();
    arena.fvf = fvf;
    arena.stride = stride;
    makeArenaBuffers(arena, vertexCapacity, indexCapacity);
    firstVertex = *takeSpace(arena, true, vertexCount);
    firstIndex = *takeSpace(arena, false, indexCount);
    return &arena;
}

void Device::freeMeshSpace(GlArena& arena, std::size_t firstVertex, std::size_t vertexCount,
                           std::size_t firstIndex, std::size_t indexCount) {
    auto give = [](FreeRuns& runs, std::size_t& end, std::size_t start, std::size_t count) {
        if (!count)
            return;
        const auto [runStart, runCount] = runs.give(start, count);
        if (runStart + runCount == end) { // the last run goes back to the unused end
            runs.erase(runStart);
            end = runStart;
        }
    };
    give(arena.freeVertices, arena.vertexEnd, firstVertex, vertexCount);
    give(arena.freeIndices, arena.indexEnd, firstIndex, indexCount);
}

void Device::makeArenaBuffers(GlArena& arena, std::size_t vertexCapacity, std::size_t indexCapacity) {
    QOpenGLFunctions_3_3_Core* f = m_gl->f;
    f->glGenVertexArrays(1, &arena.vao);
    f->glGenBuffers(1, &arena.vbo);
    f->glGenBuffers(1, &arena.ebo);
    arena.vertexCapacity = vertexCapacity;
    arena.indexCapacity = indexCapacity;
    f->glBindVertexArray(arena.vao);
    m_gl->boundVao = arena.vao;
    f->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, arena.ebo);
    f->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCapacity * sizeof(std::uint32_t)),
                    nullptr, GL_STATIC_DRAW);
    const GLsizei bytes = static_cast<GLsizei>(arena.stride * sizeof(float));
    f->glBindBuffer(GL_ARRAY_BUFFER, arena.vbo);
    f->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCapacity * bytes), nullptr,
                    GL_STATIC_DRAW);
    f->glEnableVertexAttribArray(0);
    f->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, bytes, nullptr);
    std::uint32_t offset = 3;
    if (arena.fvf & FVF_NORMAL) {
        f->glEnableVertexAttribArray(1);
        f->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, bytes,
                                 reinterpret_cast<const void*>(std::uintptr_t{offset} * sizeof(float)));
        offset += 3;
    } else {
        f->glDisableVertexAttribArray(1); // reads the default (0, 0, 0): no lighting but ambient
    }
    if ((arena.fvf & 0xF00) && offset + 2 <= arena.stride) {
        f->glEnableVertexAttribArray(2);
        f->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, bytes,
                                 reinterpret_cast<const void*>(std::uintptr_t{offset} * sizeof(float)));
    } else {
        f->glDisableVertexAttribArray(2); // reads the default (0, 0)
    }
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

unsigned Device::textureName(const Texture& texture) {
    Gl& gl = *m_gl;
    if (texture.gpu && texture.gpu->epochId == gl.epoch->id)
        return texture.gpu->texture;
    const QImage& image = texture.image();
    if (image.isNull())
        return 0;
    QImage rgba =
        image.format() == QImage::Format_RGBA8888 ? image : image.convertToFormat(QImage::Format_RGBA8888);
    QOpenGLFunctions_3_3_Core* f = gl.f;
    auto gpu = std::make_shared<GpuTexture>();
    gpu->epochId = gl.epoch->id;
    gpu->epoch = gl.epoch;
    f->glGenTextures(1, &gpu->texture);
    f->glActiveTexture(GL_TEXTURE0);
    f->glBindTexture(GL_TEXTURE_2D, gpu->texture);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rgba.bytesPerLine() / 4));
    // Row 0 of the image (its top) becomes t = 0, which is where Direct3D puts v = 0.
    f->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rgba.width(), rgba.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                    rgba.constBits());
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    f->glGenerateMipmap(GL_TEXTURE_2D);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    texture.gpu = std::move(gpu);
    ++gl.uploads;
    return texture.gpu->texture;
}

void Device::applyState(const Mesh& mesh) {
    Gl& gl = *m_gl;
    State& st = *m_state;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    (void)mesh;
    if (!gl.valid) {
        // Everything again: program, target, viewport, depth mapping, and all uniforms.
        bindTarget();
        gl.variant = -1;
        f->glBindVertexArray(0);
        gl.boundVao = 0;
        const Viewport& vp = st.viewport;
        f->glViewport(static_cast<GLint>(vp.x), gl.fboHeight - static_cast<GLint>(vp.y + vp.height),
                      static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height));
        f->glDepthRange(vp.minZ, vp.maxZ);
        if (gl.glClipControl)
            gl.glClipControl(GL_LOWER_LEFT, gl.clipControl ? 0x935F /* GL_ZERO_TO_ONE */
                                                           : 0x935E /* GL_NEGATIVE_ONE_TO_ONE */);
        f->glFrontFace(GL_CW); // left-handed data: front faces run clockwise on screen
        f->glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex
        f->glDisable(GL_SCISSOR_TEST);
        f->glDisable(GL_STENCIL_TEST);
        f->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl.renderStateVersion = gl.textureVersion = 0;
        gl.valid = true;
    }
    if (gl.renderStateVersion != st.renderStateVersion) {
        const std::uint32_t* r = st.renderStates;
        if (r[rs::ZEnable])
            f->glEnable(GL_DEPTH_TEST);
        else
            f->glDisable(GL_DEPTH_TEST);
        f->glDepthFunc(glCompare(r[rs::ZFunc]));
        f->glDepthMask(r[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
        switch (r[rs::CullMode]) {
        case rs::CullNone:
            f->glDisable(GL_CULL_FACE);
            break;
        case rs::CullCW: // clockwise faces (our front faces) are culled
            f->glEnable(GL_CULL_FACE);
            f->glCullFace(GL_FRONT);
            break;
        default: // counter-clockwise faces culled
            f->glEnable(GL_CULL_FACE);
            f->glCullFace(GL_BACK);
            break;
        }
        if (r[rs::AlphaBlendEnable]) {
            f->glEnable(GL_BLEND);
            f->glBlendFunc(glBlendFactor(r[rs::SrcBlend]), glBlendFactor(r[rs::DestBlend]));
        } else {
            f->glDisable(GL_BLEND);
        }
        gl.renderStateVersion = st.renderStateVersion;
    }
    if (gl.textureVersion != st.textureVersion) {
        const GLuint textureBound = st.texture ? textureName(*st.texture) : 0;
        f->glActiveTexture(GL_TEXTURE0);
        f->glBindTexture(GL_TEXTURE_2D, textureBound);
        gl.textureBound = textureBound;
        gl.textureVersion = st.textureVersion;
    }
    // The shader variant of these states; a new program has none of the uniforms yet.
    const int variant = (st.renderStates[rs::ShadeMode] == rs::ShadeFlat ? kVariantFlat : 0) |
                        (gl.textureBound ? kVariantTexture : 0) |
                        (st.renderStates[rs::SpecularEnable] ? kVariantSpecular : 0);
    if (variant != gl.variant) {
        Gl::Program& p = gl.programs[static_cast<std::size_t>(variant)];
        if (!p.name && !buildProgram(variant))
            qWarning("Device: shader variant %d is missing; drawing goes on with the plain one", variant);
        const int used = p.name ? variant : 0;
        const Gl::Program& program = gl.programs[static_cast<std::size_t>(used)];
        f->glUseProgram(program.name);
        f->glUniform1i(program.remapDepth, gl.clipControl ? 0 : 1);
        f->glUniform1i(program.texture, 0);
        gl.variant = variant;
        gl.loc = &program;
        gl.worldVersion = gl.viewProjVersion = gl.materialVersion = gl.lightVersion = 0;
    }
    if (gl.viewProjVersion != st.viewProjVersion) {
        const Matrix viewProj = MatrixMultiply(st.view, st.projection);
        f->glUniformMatrix4fv(gl.loc->viewProj, 1, GL_FALSE, &viewProj.m[0][0]);
        Vector3 eye;
        if (auto inv = MatrixInverse(st.view))
            eye = {inv->m[3][0], inv->m[3][1], inv->m[3][2]};
        f->glUniform3f(gl.loc->eye, eye.x, eye.y, eye.z);
        gl.viewProjVersion = st.viewProjVersion;
    }
    const bool worldChanged = gl.worldVersion != st.worldVersion;
    const bool materialChanged = gl.materialVersion != st.materialVersion;
    if (worldChanged || materialChanged) {
        float* block = gl.drawBlock;
        if (worldChanged) {
            std::memcpy(block, &st.world.m[0][0], 16 * sizeof(float));
            float n[9];
            normalMatrix(st.world, n);
            for (int row = 0; row < 3; ++row) {
                block[16 + row * 4 + 0] = n[row * 3 + 0];
                block[16 + row * 4 + 1] = n[row * 3 + 1];
                block[16 + row * 4 + 2] = n[row * 3 + 2];
                block[16 + row * 4 + 3] = 0;
            }
            gl.worldVersion = st.worldVersion;
        }
        if (materialChanged) {
            // Material is diffuse, ambient, specular, emissive (four floats each), then the power.
            static_assert(sizeof(Material) == 17 * sizeof(float));
            std::memcpy(block + 28, &st.material, sizeof(Material));
            block[45] = block[46] = block[47] = 0;
            gl.materialVersion = st.materialVersion;
        }
        f->glUniform4fv(gl.loc->draw, 12, block);
    }
    if (gl.lightVersion != st.lightVersion) {
        // The lowest-numbered enabled directional light is the light.
        const Light* light = nullptr;
        for (const auto& [index, on] : st.lightOn)
            if (on) {
                auto it = st.lights.find(index);
                if (it != st.lights.end() && it->second.type == LightType::Directional) {
                    light = &it->second;
                    break;
                }
            }
        if (light) {
            const float v[16] = {
                light->diffuse.r,   light->diffuse.g,   light->diffuse.b,   light->diffuse.a,
                light->ambient.r,   light->ambient.g,   light->ambient.b,   light->ambient.a,
                light->specular.r,  light->specular.g,  light->specular.b,  light->specular.a,
                light->direction.x, light->direction.y, light->direction.z, 0};
            f->glUniform4fv(gl.loc->light, 4, v);
        }
        const std::uint32_t amb = st.renderStates[rs::Ambient];
        f->glUniform4f(gl.loc->ambient, ((amb >> 16) & 0xFF) / 255.0f, ((amb >> 8) & 0xFF) / 255.0f,
                       (amb & 0xFF) / 255.0f, ((amb >> 24) & 0xFF) / 255.0f);
        f->glUniform4i(gl.loc->flags, st.renderStates[rs::Lighting] ? 1 : 0, light ? 1 : 0,
                       st.renderStates[rs::SpecularEnable] ? 1 : 0,
                       st.renderStates[rs::NormalizeNormals] ? 1 : 0);
        gl.lightVersion = st.lightVersion;
    }
}

void Device::paintOverlay() {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    bindTarget();
    // The painter expects OpenGL's defaults: with face culling or depth testing on, its quads
    // silently vanish.
    f->glBindVertexArray(0);
    f->glUseProgram(0);
    f->glDisable(GL_CULL_FACE);
    f->glDisable(GL_DEPTH_TEST);
    f->glDepthMask(GL_TRUE);
    f->glDisable(GL_BLEND);
    f->glDepthRange(0.0, 1.0);
    if (gl.glClipControl)
        gl.glClipControl(GL_LOWER_LEFT, 0x935E /* GL_NEGATIVE_ONE_TO_ONE */);
    f->glViewport(0, 0, gl.fboWidth, gl.fboHeight);
    {
        QOpenGLPaintDevice device(QSize(gl.fboWidth, gl.fboHeight));
        QPainter painter(&device);
        painter.setRenderHint(QPainter::TextAntialiasing);
        for (const OverlayText& t : m_state->lastText) {
            painter.setFont(t.font);
            painter.setPen(QColor::fromRgba(t.argb));
            painter.drawText(QRect(t.left, t.top, 100000, 100000),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, t.text);
        }
    }
    gl.valid = false;
    gl.boundVao = 0;
}

} // namespace platform
