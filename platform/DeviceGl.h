// The Device's inner parts, shared by its source files and by no one else:
//   Device.cpp         the CPU state and the frame (clear, draw, present, read back)
//   DeviceContext.cpp  the context's life: attaching, loss, reset, the render target
//   DeviceUpload.cpp   meshes and textures copied to the GPU, the arenas' buffers
//   DeviceStates.cpp   render states, transforms, light and material translated to OpenGL
//   DeviceOverlay.cpp  the overlay text painted over the finished picture
#pragma once

#include "Device.h"
#include "MeshArenas.h"
#include "Shaders.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QPointer>
#include <QRect>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

inline constexpr int kStateCount = 256;

// A render state's value on a new device (Direct3D's defaults).
std::uint32_t DefaultRenderState(int state);

// GL names that belong to one life of one context. Uploads remember the epoch they were made in:
// a later epoch (a reset onto a new context) makes them upload again, and objects freed while
// their epoch lives are queued here and released on the next GL work.
struct GlEpoch {
    explicit GlEpoch(ArenaBackend& backend) : arenas(backend) {}
    std::uint64_t id = 0;
    MeshArenas arenas;
    std::vector<MeshPlace> deadMeshes;
    std::vector<GLuint> deadTextures;
};

// One subset's run of indices in the uploaded (attribute-sorted) index buffer.
struct GpuRange {
    std::uint32_t attribId = 0;
    std::uint32_t firstIndex = 0; // relative to the mesh's own first index
    std::uint32_t indexCount = 0;
};

struct GpuMesh {
    std::uint64_t epochId = 0;
    std::weak_ptr<GlEpoch> epoch;
    MeshPlace place;
    std::vector<GpuRange> ranges;

    ~GpuMesh() {
        if (auto e = epoch.lock(); e && place.arena)
            e->deadMeshes.push_back(place);
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
    double pixelRatio = 1;
    std::function<void()> presentHook;
    std::vector<OverlayText> pendingText, lastText;
    bool inScene = false;

    // Versions tell the GL side what changed since it last uploaded.
    std::uint64_t worldVersion = 1, viewProjVersion = 1, materialVersion = 1, lightVersion = 1,
                  renderStateVersion = 1, textureVersion = 1;

    State() {
        for (int i = 0; i < kStateCount; ++i)
            renderStates[i] = DefaultRenderState(i);
    }
};

// The GL side; it makes the arenas' buffers on its context.
struct Device::Gl final : ArenaBackend {
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

    // The shader variants, built when first needed; `variant` is the one in use (-1: none).
    std::array<ShaderProgram, kVariantCount> programs;
    int variant = -1;
    const ShaderProgram* loc = nullptr; // the uniforms of the program in use
    GLuint textureBound = 0;            // the texture bound to stage 0 (0: none)
    GLuint fbo = 0, colorBuffer = 0, depthBuffer = 0;
    int fboWidth = 0, fboHeight = 0;
    // The target size the render target was made for (it may be smaller: see makeRenderTarget),
    // and the largest one the context allows (0: not known yet).
    int madeForWidth = 0, madeForHeight = 0;
    int maxTargetWidth = 0, maxTargetHeight = 0;
    int targetLimit = 0; // a further bound (tests); 0: none
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
    // The overlay's texts, painted by Qt's raster painter into one texture (a row each) that
    // quads draw over the picture; painted again only when the texts or the target change.
    struct Overlay {
        GLuint program = 0, texture = 0, vao = 0;
        GLint rect = -1, texRect = -1, sampler = -1;
        std::vector<OverlayText> texts; // what the texture shows
        int fboWidth = 0, fboHeight = 0;
        double sx = 1, sy = 1;
        int textureWidth = 0, textureHeight = 0; // 0 until first painted
        // Per text, its place on the target (device pixels, top-down) and its row's top in the texture.
        std::vector<std::pair<QRect, int>> places;
    } overlay;

    void makeBuffers(MeshArena& arena) override;
    void releaseBuffers(MeshArena& arena) override;
};

} // namespace platform
