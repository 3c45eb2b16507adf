// The rendering device: Direct3D-8-style state (transforms, render states, one directional light,
// material, texture on stage 0) over OpenGL 3.3 core, with fixed-function-like per-vertex lighting
// in our own shader.
//
// All state lives on the CPU, so a Device also works with no OpenGL at all (a "null" device:
// every draw is counted and recorded but nothing is rasterised). Tests of the scene framework use
// that; the GL backend is attached with attachContext(), which uses the context current at the
// time of each call. Meshes and textures keep their data on the CPU and are uploaded on demand,
// so a lost context is the "device not reset" state and recovers with reset().
//
// The device always renders into a framebuffer of its own (colour, 24-bit depth, stencil) of the
// size given to setTargetSize(); a view shows it with presentTo() from its paint handler, tests
// and snapshots read it with grabFramebuffer().
#pragma once

#include "Mesh.h"
#include "Types.h"

#include <QFont>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QOpenGLContext;
class QImage;

namespace platform {

class Texture;
using TexturePtr = std::shared_ptr<Texture>;

enum class TransformType : std::int32_t { View = 2, Projection = 3, World = 256 };

// Render-state numbers and values (the Direct3D numbering).
namespace rs {
inline constexpr int ZEnable = 7;
inline constexpr int ZWriteEnable = 14;
inline constexpr int ShadeMode = 9;
inline constexpr int SrcBlend = 19;
inline constexpr int DestBlend = 20;
inline constexpr int CullMode = 22;
inline constexpr int ZFunc = 23;
inline constexpr int SpecularEnable = 29;
inline constexpr int AlphaBlendEnable = 27;
inline constexpr int Clipping = 136;
inline constexpr int Lighting = 137;
inline constexpr int Ambient = 139;
inline constexpr int NormalizeNormals = 143;
// Comparison functions (ZFunc); the default is LessEqual.
inline constexpr std::uint32_t CmpNever = 1, CmpLess = 2, CmpEqual = 3, CmpLessEqual = 4, CmpGreater = 5,
                               CmpNotEqual = 6, CmpGreaterEqual = 7, CmpAlways = 8;
// Blend factors
inline constexpr std::uint32_t BlendZero = 1, BlendOne = 2, BlendSrcColor = 3, BlendInvSrcColor = 4,
                               BlendSrcAlpha = 5, BlendInvSrcAlpha = 6, BlendDestAlpha = 7,
                               BlendInvDestAlpha = 8, BlendDestColor = 9, BlendInvDestColor = 10,
                               BlendSrcAlphaSat = 11;
// Shading
inline constexpr std::uint32_t ShadeFlat = 1, ShadeGouraud = 2;
// Culling (Direct3D's default is counter-clockwise culling)
inline constexpr std::uint32_t CullNone = 1, CullCW = 2, CullCCW = 3;
} // namespace rs

// Clear flags
inline constexpr std::uint32_t CLEAR_TARGET = 1, CLEAR_ZBUFFER = 2;

// Results of testCooperativeLevel / reset (the Direct3D codes).
inline constexpr std::int32_t D3D_OK = 0;
inline constexpr std::int32_t D3DERR_DEVICELOST = static_cast<std::int32_t>(0x88760868u);
inline constexpr std::int32_t D3DERR_DEVICENOTRESET = static_cast<std::int32_t>(0x88760869u);

// What one draw call saw; kept (when recording is on) for tests.
struct DrawRecord {
    const Mesh* mesh = nullptr;
    std::uint32_t attribId = 0;
    Matrix world;
    Material material;
    const Texture* texture = nullptr;
    bool alphaBlend = false;
};

class Device {
public:
    Device();
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // ---- GL backend ----
    // Use `context` (must be current during every drawing call) for real rendering. Creates the
    // shader; returns false (and stays a null device) when the context lacks OpenGL 3.3.
    bool attachContext(QOpenGLContext* context);
    // The same, with a function that makes `context` current (and returns whether it did): the
    // device then calls it whenever another context is current, so drawing may start anywhere.
    // The device notices the context's destruction by itself (contextLost()).
    bool attachContext(QOpenGLContext* context, std::function<bool()> makeCurrent);
    bool hasContext() const;
    QOpenGLContext* context() const;
    // The context is about to be destroyed (or was): GPU objects are gone. testCooperativeLevel
    // reports D3DERR_DEVICELOST until a replacement is offered with contextAvailable() (a device
    // that never had a context reports D3DERR_DEVICENOTRESET at once), then
    // D3DERR_DEVICENOTRESET until reset().
    void contextLost();
    // A context that reset() may use (e.g. a widget re-created its context).
    void contextAvailable(QOpenGLContext* context, std::function<bool()> makeCurrent);
    std::int32_t testCooperativeLevel() const;
    // After a loss: re-creates the GL objects on `context` (else the one offered by
    // contextAvailable(), else the current one); meshes and textures re-upload on their next
    // draw. On a working device it only re-makes the render target at the target size (meshes
    // stay uploaded). Returns D3D_OK or D3DERR_DEVICENOTRESET (no context to reset onto).
    std::int32_t reset(QOpenGLContext* context = nullptr);
    // Called by present(): e.g. the widget schedules its repaint. Errors are the hook's own.
    void setPresentHook(std::function<void()> hook);
    // Size of the render target in pixels; sets the default viewport. A size beyond what the
    // context allows (or one it has no memory for) is drawn smaller, in the same proportions of
    // the viewport, and scaled when presented; a warning says so. The device never fails for it.
    void setTargetSize(int width, int height);
    int targetWidth() const;
    int targetHeight() const;
    // Target pixels per pixel of the overlay's layout: a view's device-pixel ratio (2 on a screen
    // scaled twice, 1.5 at 150 %; 1 by default). Overlay texts are placed and sized in layout
    // pixels and drawn at this many target pixels each, so they keep their size beside the rest
    // of a scaled window. Values below 0.1 (or not numbers) count as 1.
    void setPixelRatio(double ratio);
    double pixelRatio() const;
    // The largest render target the context allows: the least of its renderbuffer, texture and
    // viewport limits (and the limit below). Empty without a context.
    QSize maxTargetSize() const;
    // Keeps render targets at most `pixels` wide and high (0: only the context's limits). Lets
    // tests reach the fallback without gigabytes of target.
    void setTargetLimit(int pixels);
    // The size the picture is drawn at (the render target's); the target size unless that could
    // not be made.
    QSize drawnSize() const;
    // Copies the finished picture into framebuffer `fbo` of the current context (a view's paint
    // handler), scaled to width x height. Needs the device's context to be current.
    void presentTo(unsigned fbo, int width, int height);

    // ---- state ----
    void setTransform(TransformType type, const Matrix& m);
    Matrix getTransform(TransformType type) const;
    void setRenderState(int state, std::uint32_t value);
    std::uint32_t getRenderState(int state) const;
    void setLight(int index, const Light& light);
    Light getLight(int index) const;
    void lightEnable(int index, bool enable);
    bool lightEnabled(int index) const;
    void setMaterial(const Material& m);
    Material getMaterial() const;
    // Stage 0 only; a null texture unbinds.
    void setTexture(int stage, TexturePtr texture);
    TexturePtr getTexture(int stage) const;
    void setViewport(const Viewport& vp);
    Viewport getViewport() const;

    // ---- frame ----
    void clear(std::uint32_t flags, std::uint32_t argb, float z, std::uint32_t stencil);
    void beginScene();
    // Ends the frame; text queued by overlay fonts is drawn over the 3D picture here.
    void endScene();
    void present();
    // Waits until OpenGL has carried out every call so far (for timing; a no-op without GL).
    void finish();
    // Draws the faces of `mesh` whose attribute id is `attribId` with the current state.
    void drawSubset(const Mesh& mesh, std::uint32_t attribId);
    // `mesh` is about to be drawn for the first time: new GPU buffers are made no larger than the
    // meshes announced so (and the others) need.
    void expectUpload(const Mesh& mesh);

    // ---- overlay text (used by platform::Font); positions in layout pixels ----
    struct OverlayText {
        QFont font;
        QString text;
        int left = 0, top = 0;
        std::uint32_t argb = 0;
        bool operator==(const OverlayText&) const = default;
    };
    void queueOverlayText(std::unique_ptr<OverlayText> text);
    // The texts drawn at the last endScene(), in drawing order (also on a null device).
    const std::vector<OverlayText>& overlayTexts() const;

    // ---- diagnostics ----
    std::uint64_t drawCount() const { return m_drawCount; }
    // Triangles sent to OpenGL so far (a software rasteriser's time goes mostly with them).
    std::uint64_t triangleCount() const { return m_triangleCount; }
    // Mesh and texture uploads to the GPU so far (a reset makes every mesh upload again).
    std::uint64_t uploadCount() const;
    // Whether depth 0..1 comes from glClipControl (else the shader remaps it).
    bool usesClipControl() const;
    // Whether a later attachContext()/reset() may use glClipControl (tests use both ways).
    void setClipControlAllowed(bool allowed);
    void setRecording(bool on) { m_recording = on; }
    const std::vector<DrawRecord>& records() const { return m_records; }
    void clearRecords() { m_records.clear(); }

    // Reads the current render target back (for tests and snapshots); null image without GL.
    QImage grabFramebuffer() const;

private:
    struct State;
    struct Gl;
    bool ensureCurrent();
    bool createGlObjects();
    void makeRenderTarget();
    void destroyGlObjects();
    void forgetContext(bool contextIsCurrent);
    void bindTarget();
    // A rectangle of the target (top-left origin) in the render target's pixels, bottom-left
    // origin, as glViewport and glScissor take it (scaled when the target was made smaller).
    std::array<int, 4> onRenderTarget(const Viewport& vp) const;
    GpuMesh* upload(const Mesh& mesh);
    unsigned textureName(const Texture& texture);
    void applyState();
    void paintOverlay();

    std::unique_ptr<State> m_state;
    std::unique_ptr<Gl> m_gl;
    std::uint64_t m_drawCount = 0;
    std::uint64_t m_triangleCount = 0;
    bool m_recording = false;
    std::vector<DrawRecord> m_records;
};

using DevicePtr = std::shared_ptr<Device>;

} // namespace platform
