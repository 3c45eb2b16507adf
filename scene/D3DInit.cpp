#include "D3DInit.h"

#include "D3DView.h"

#include "platform/GlContext.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

struct DeviceModule {
    std::int32_t deviceType = 0;
    bool reference = false;
    bool windowed = true;
    std::int32_t adapter = 0;
    QPointer<D3DView> window;
    int clientWidth = 0, clientHeight = 0;
    double pixelRatio = 1; // of the window's device pixels; 1 off-screen
    // The context the device renders on until the view's own context exists (and, without a
    // window, for good).
    std::unique_ptr<platform::OffscreenGl> ownContext;

    std::function<void(DeviceMessage, const QString&)> messageHook;
    std::function<void(int)> exitHook;
    std::function<bool(std::int32_t)> probe;
    bool restartAllowed = false;
} g_module;

const QString kNoHardware = QStringLiteral("No hardware support found. Switching to reference rasterizer.");
const QString kNoDevice =
    QStringLiteral("No suitable device was found to initialize D3D. Application will now exit.");

void tell(DeviceMessage which, const QString& text) {
    if (g_module.messageHook) {
        g_module.messageHook(which, text);
        return;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No widgets in this process (a command-line use): the message goes to the error stream.
        std::fprintf(stderr, "Ketra: %s\n", qPrintable(text));
        return;
    }
    if (which == DeviceMessage::NoHardware)
        QMessageBox::information(nullptr, QStringLiteral("Ketra"), text);
    else
        QMessageBox::critical(nullptr, QStringLiteral("Ketra"), text);
}

// Tries to bring g_device up with `deviceType`; true on success.
bool createDevice(std::int32_t deviceType) {
    if (deviceType == DEVTYPE_REF && !g_module.probe)
        platform::RequestSoftwareRasterizer();
    auto device = std::make_shared<platform::Device>();
    device->setTargetSize(g_module.clientWidth, g_module.clientHeight);
    device->setPixelRatio(g_module.pixelRatio);
    if (g_module.probe) {
        if (!g_module.probe(deviceType))
            return false;
    } else {
        // A context on an off-screen surface first: where none can be made, nothing else is tried.
        if (!QGuiApplication::instance())
            return false;
        auto own = std::make_unique<platform::OffscreenGl>();
        if (!own->valid())
            return false;
        if (!device->attachContext(own->context(), own->makeCurrentFunction()))
            return false;
        g_module.ownContext = std::move(own);
    }
    g_device = std::move(device);
    return true;
}

// Set in the environment of a process that restarted itself on the software rasteriser.
const char* const kRestartMarker = "KETRA_DEVICE_TYPE";

bool restartedForSoftware() {
    return qgetenv(kRestartMarker) == "2";
}

// Mesa picks its driver when the process first connects to the display, so the software rasteriser
// can only be had in a new process: run this program again, same arguments, with Mesa told to use
// llvmpipe. Nothing is lost at start-up, the only time the system's OpenGL can fail.
void restartWithSoftwareRasterizer() {
    if (restartedForSoftware())
        return;
    const QByteArray exe = QFile::encodeName(QCoreApplication::applicationFilePath());
    if (exe.isEmpty())
        return;
    // The command line as the process got it (main may have taken options out of argv since).
    std::vector<QByteArray> bytes;
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray all = cmdline.readAll();
        for (const QByteArray& arg : all.split('\0'))
            bytes.push_back(arg);
        if (!bytes.empty() && bytes.back().isEmpty())
            bytes.pop_back(); // the text ends with a NUL
    }
    if (bytes.empty()) {
        for (const QString& arg : QCoreApplication::arguments())
            bytes.push_back(arg.toLocal8Bit());
    }
    if (bytes.empty())
        return;
    bytes[0] = exe;
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    platform::RequestSoftwareRasterizer();
    qputenv(kRestartMarker, "2");
    std::fflush(stdout);
    std::fflush(stderr);
    ::execv(exe.constData(), argv.data());
    qunsetenv(kRestartMarker); // still here: the restart failed
}

void storeClientSize(D3DView* window) {
    const QSize size = window ? window->pixelSize() : QSize();
    g_module.clientWidth = size.width();
    g_module.clientHeight = size.height();
    g_module.pixelRatio = window ? window->devicePixelRatioF() : 1.0;
}

// OpenGL objects must not outlive the application object: a program that ends without
// ReleaseDevice3D would otherwise tear its contexts down after the windowing system is gone.
void releaseAtExit() {
    if (g_device && g_device->hasContext())
        g_device->contextLost();
    g_module.ownContext.reset();
    g_module.window = nullptr;
}

bool initDevice(D3DView* window, std::int32_t deviceType, bool allowFallback) {
    static const bool cleanupRegistered = [] {
        qAddPostRoutine(releaseAtExit);
        return true;
    }();
    (void)cleanupRegistered;
    // Any earlier device goes first; its view stops showing it.
    if (g_module.window)
        g_module.window->setDevice(nullptr);
    g_device.reset();
    g_module.ownContext.reset();

    if (deviceType != DEVTYPE_REF)
        deviceType = DEVTYPE_HAL;
    if (restartedForSoftware())
        deviceType = DEVTYPE_REF; // the user was told already, before the restart
    bool ok = createDevice(deviceType);
    if (!ok) {
        if (!allowFallback)
            return false;
        if (deviceType == DEVTYPE_HAL) {
            tell(DeviceMessage::NoHardware, kNoHardware);
            deviceType = DEVTYPE_REF;
            ok = createDevice(deviceType);
            if (!ok && g_module.restartAllowed && !g_module.probe)
                restartWithSoftwareRasterizer(); // returns only when the restart fails
        }
    }
    if (!ok) {
        tell(DeviceMessage::NoDevice, kNoDevice);
        if (g_module.exitHook)
            g_module.exitHook(1);
        else
            std::exit(1);
        return false;
    }
    g_module.deviceType = deviceType;
    g_module.reference = deviceType == DEVTYPE_REF;
    g_identityMatrix = platform::Matrix::identity();
    if (window)
        window->setDevice(g_device);
    return true;
}

} // namespace

bool InitDevice3D(D3DView* window, bool windowed, std::int32_t adapter, std::int32_t deviceType,
                  bool allowFallback) {
    g_module.windowed = windowed;
    g_module.adapter = adapter;
    g_module.window = window;
    storeClientSize(window);
    return initDevice(window, deviceType, allowFallback);
}

bool InitOffscreenDevice3D(int width, int height, std::int32_t deviceType, bool allowFallback) {
    g_module.windowed = true;
    g_module.adapter = 0;
    g_module.window = nullptr;
    g_module.clientWidth = std::max(0, width);
    g_module.clientHeight = std::max(0, height);
    g_module.pixelRatio = 1; // a picture file has no screen to match
    return initDevice(nullptr, deviceType, allowFallback);
}

void ReleaseDevice3D() {
    ClearTextureCache();
    if (g_module.window)
        g_module.window->setDevice(nullptr);
    g_device.reset();
    g_module.ownContext.reset();
    g_module.window = nullptr;
    g_module.clientWidth = g_module.clientHeight = 0;
    g_module.pixelRatio = 1;
}

bool ResizeDevice3D(D3DView* window) {
    if (!g_module.windowed)
        return false;
    try {
        g_module.window = window;
        storeClientSize(window);
        if (!g_device)
            return false;
        g_device->setTargetSize(g_module.clientWidth, g_module.clientHeight);
        g_device->setPixelRatio(g_module.pixelRatio);
        if (window && window->device() != g_device)
            window->setDevice(g_device);
        return g_device->reset() == platform::D3D_OK;
    } catch (...) {
        return false;
    }
}

void SetupSceneDefaults() {
    using namespace platform;
    const float fov = 3.1415f / 4.0f;
    float aspect = 1.0f;
    const float nearPlane = 1.0f, farPlane = 3000.0f;
    if (g_module.clientWidth != 0 && g_module.clientHeight != 0)
        aspect = static_cast<float>(g_module.clientWidth) / static_cast<float>(g_module.clientHeight);

    g_identityMatrix = Matrix::identity();
    g_projectionMatrix = MatrixPerspectiveFovLH(fov, aspect, nearPlane, farPlane);
    g_viewMatrix = MatrixLookAtLH(Vector3{0, 0, -20}, Vector3{0, 0, 0}, Vector3{0, 1, 0});
    if (!g_device)
        return;
    g_device->setTransform(TransformType::Projection, g_projectionMatrix);
    g_device->setTransform(TransformType::View, g_viewMatrix);
    g_device->setTransform(TransformType::World, g_identityMatrix);

    Light light;
    light.type = LightType::Directional;
    light.diffuse = ColorValue{1, 1, 1, 1};
    light.ambient = ColorValue{0.1f, 0.1f, 0.1f, 1};
    light.direction = Vec3Normalize(Vector3{-1, -1, -1});
    light.range = 10000;
    g_device->setLight(0, light);
    g_device->lightEnable(0, true);

    Material material;
    material.diffuse = ColorValue{0.5f, 0.5f, 0.5f, 1};
    material.ambient = ColorValue{0.2f, 0.2f, 0.2f, 1};
    material.power = 10;
    g_device->setMaterial(material);

    g_device->setRenderState(rs::Ambient, 0x10101010);
    g_device->setRenderState(rs::Clipping, 1);
    g_device->setRenderState(rs::Lighting, 1);
    g_device->setRenderState(rs::ZEnable, 1);
    g_device->setRenderState(rs::ShadeMode, rs::ShadeGouraud);
}

void ClearView(std::uint32_t argb) {
    if (g_device)
        g_device->clear(platform::CLEAR_TARGET | platform::CLEAR_ZBUFFER, argb, 1.0f, 0);
}

void PresentView(D3DView* window) {
    try {
        if (g_device)
            g_device->present();
        if (window)
            window->update();
        if (window && window->glWidget())
            window->glWidget()->update();
    } catch (...) {
        // A picture that can't be shown is simply not shown.
    }
}

std::int32_t CurrentDeviceType() {
    return g_module.deviceType;
}
bool UsingReferenceRasterizer() {
    return g_module.reference;
}
int ClientWidth() {
    return g_module.clientWidth;
}
int ClientHeight() {
    return g_module.clientHeight;
}
D3DView* DeviceWindow() {
    return g_module.window;
}

void SetDeviceMessageHook(std::function<void(DeviceMessage, const QString&)> hook) {
    g_module.messageHook = std::move(hook);
}

void SetDeviceExitHook(std::function<void(int)> hook) {
    g_module.exitHook = std::move(hook);
}

void SetDeviceRestartAllowed(bool allowed) {
    g_module.restartAllowed = allowed;
}

void SetDeviceProbe(std::function<bool(std::int32_t)> probe) {
    g_module.probe = std::move(probe);
}
