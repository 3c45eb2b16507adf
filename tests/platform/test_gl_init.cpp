// Bringing the device up: the fall-back from the system's OpenGL to the software rasteriser and its
// messages, the guard for systems without OpenGL, the default scene, and the 3D view widget.
#include "gl_fixture.h"
#include "mesh_checks.h"

#include "scene/D3DView.h"

#include <QOpenGLWidget>
#include <QProcess>
#include "gtest_qtest.h"

#include <cstdio>

using namespace platform;
using namespace gltest;

namespace {

// Runs `condition` through the event loop until it holds or about five seconds passed.
template <class F> bool waitFor(F condition) {
    for (int i = 0; i < 250 && !condition(); ++i)
        QTest::qWait(20);
    return condition();
}

constexpr const char* kChild = "KETRA_GL_INIT_CHILD";

} // namespace

TEST(InitDevice3D, FallsBackToTheSoftwareRasterizerWithTheRightMessagesAndSetsUpTheDefaultScene) {
    std::vector<DeviceMessage> messages;
    std::vector<int> exits;
    SetDeviceMessageHook([&](DeviceMessage m, const QString&) { messages.push_back(m); });
    SetDeviceExitHook([&](int status) { exits.push_back(status); });
    struct Restore {
        ~Restore() {
            ReleaseDevice3D();
            SetDeviceMessageHook(nullptr);
            SetDeviceExitHook(nullptr);
            SetDeviceProbe(nullptr);
        }
    } restore;
    using M = DeviceMessage;
    constexpr std::int32_t H = DEVTYPE_HAL, R = DEVTYPE_REF;
    struct Case {
        const char* name;
        bool hardwareWorks, softwareWorks, allowFallback;
        std::vector<DeviceMessage> messages; // after the second the program ends
        std::vector<std::int32_t> probed;
        std::int32_t deviceType; // 0: no device
        int width, height; // of the client area; the projection's aspect follows it (1 without a height)
    };
    const Case cases[] = {
        {"hardware", true, true, true, {}, {H}, H, 800, 600},
        {"software", false, true, true, {M::NoHardware}, {H, R}, R, 800, 0},
        {"none", false, false, true, {M::NoHardware, M::NoDevice}, {H, R}, 0, 8, 6},
        {"no fall-back", false, true, false, {}, {H}, 0, 8, 6},
    };
    std::weak_ptr<Device> previous;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        exits.clear();
        std::vector<std::int32_t> probed;
        SetDeviceProbe([&](std::int32_t type) {
            probed.push_back(type);
            return type == DEVTYPE_HAL ? c.hardwareWorks : c.softwareWorks;
        });
        EXPECT_EQ(InitOffscreenDevice3D(c.width, c.height, DEVTYPE_HAL, c.allowFallback), c.deviceType != 0);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(probed, c.probed);
        EXPECT_EQ(exits, c.messages.size() == 2 ? std::vector<int>{1} : std::vector<int>{});
        ASSERT_EQ(g_device != nullptr, c.deviceType != 0);
        if (c.deviceType) {
            EXPECT_EQ(CurrentDeviceType(), c.deviceType);
            EXPECT_EQ(UsingReferenceRasterizer(), c.deviceType == DEVTYPE_REF);
            SetupSceneDefaults();
            const float aspect = c.height ? float(c.width) / float(c.height) : 1.0f;
            EXPECT_TRUE(meshchecks::Near(g_device->getTransform(TransformType::Projection),
                                         MatrixPerspectiveFovLH(3.1415f / 4, aspect, 1, 3000)));
            EXPECT_TRUE(
                meshchecks::Near(g_projectionMatrix, g_device->getTransform(TransformType::Projection)));
            EXPECT_TRUE(previous.expired()); // a new device after each release
            previous = g_device;
        }
        ReleaseDevice3D();
        EXPECT_EQ(ClientWidth(), 0);
    }
    EXPECT_TRUE(previous.expired());
}

// ---- child processes: the guard where the system has no OpenGL, and the end of the program ----

TEST(DeviceGuard, ChildProgramsShowTheMessagesRestartOnceAndEndCleanly) {
    if (qEnvironmentVariableIsSet(kChild))
        GTEST_SKIP() << "this is the child";
    struct Case {
        const char* name;
        int exitCode, runs;                                           // runs: tests started
        std::vector<std::pair<const char*, const char*>> environment; // a null value removes
        QStringList lines;                                            // expected in this order
    };
    const QStringList both = {
        "view shown", "message 1: No hardware support found. Switching to reference rasterizer.",
        "message 2: No suitable device was found to initialize D3D. Application will now exit."};
    // clang-format off
    const Case cases[] = {
        {"an X server whose GL Qt may not use", 1, 1, {{"QT_XCB_GL_INTEGRATION", "none"}}, both},
        {"a windowing system without GL", 1, 1, {{"QT_QPA_PLATFORM", "minimal"}}, both},
        {"no display", 1, 1,
         {{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}}, both},
        // The first run tells about the switch and restarts with the same command line; the second
        // (software requested) gives up.
        {"a failed switch restarts once", 1, 2,
         {{"KETRA_GL_INIT_RESTART", "1"}, {"QT_XCB_GL_INTEGRATION", "none"},
          {"LIBGL_ALWAYS_SOFTWARE", nullptr}, {"KETRA_DEVICE_TYPE", nullptr}},
         {"start: type= software=", "message 1:", "[ RUN", "start: type=2 software=1", "message 2:"}},
        // The view is never deleted and the device never released.
        {"ending without a release", 0, 1, {}, {"view shown", "[  PASSED  ] 1 test"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChild), QStringLiteral("1"));
        for (const auto& [name, value] : c.environment)
            value ? env.insert(QString::fromLatin1(name), QString::fromLatin1(value))
                  : env.remove(QString::fromLatin1(name));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=GlInitChild.*")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
        EXPECT_EQ(child.exitCode(), c.exitCode) << out.toStdString();
        qsizetype at = 0;
        for (const QString& line : c.lines) {
            const qsizetype found = out.indexOf(line, at);
            EXPECT_GE(found, at) << "missing or out of order: " << line.toStdString() << "\n"
                                 << out.toStdString();
            at = std::max(at, found);
        }
        EXPECT_FALSE(out.contains(QStringLiteral("returned"))) << out.toStdString();
        EXPECT_LE(out.count(QStringLiteral("message 1:")), 1) << out.toStdString();
        EXPECT_EQ(out.count(QStringLiteral("[ RUN")), c.runs) << out.toStdString();
    }
}

TEST(GlInitChild, ShowAViewAndInitialiseTheDevice) {
    if (!qEnvironmentVariableIsSet(kChild))
        GTEST_SKIP() << "runs as a child of DeviceGuard";
    std::printf("start: type=%s software=%s\n", qgetenv("KETRA_DEVICE_TYPE").constData(),
                qgetenv("LIBGL_ALWAYS_SOFTWARE").constData());
    SetDeviceMessageHook([](DeviceMessage m, const QString& text) {
        std::printf("message %d: %s\n", m == DeviceMessage::NoHardware ? 1 : 2, qPrintable(text));
        std::fflush(stdout);
    });
    SetDeviceRestartAllowed(qEnvironmentVariableIsSet("KETRA_GL_INIT_RESTART"));
    auto* window = new QWidget; // left to the end of the program, as is the device
    auto* view = new D3DView(window);
    window->resize(200, 150);
    view->resize(200, 150);
    window->show();
    QTest::qWait(50);
    std::printf("view shown\n");
    std::fflush(stdout);
    if (!InitDevice3D(view)) { // without OpenGL the process ends after the second message
        std::printf("returned\n");
        return;
    }
    ASSERT_TRUE(waitFor([&] { return view->deviceOnView(); }));
    ClearView(kBackground);
    PresentView(view);
    QTest::qWait(50);
}

// ---- the 3D view ----

TEST(D3DViewGl, ShowsTheDevicePictureTakesTheInputAndRecoversWhenItsContextIsRecreated) {
    SetDeviceMessageHook([](DeviceMessage, const QString& text) {
        ADD_FAILURE() << "unexpected message " << text.toStdString();
    });
    struct Counter : QObject {
        int presses = 0, moves = 0, keys = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            presses += e->type() == QEvent::MouseButtonPress;
            moves += e->type() == QEvent::MouseMove;
            keys += e->type() == QEvent::KeyPress;
            return false;
        }
    } counter;
    QWidget first;
    auto* view = new D3DView(&first);
    first.resize(240, 180);
    view->resize(240, 180);
    view->setMouseTracking(true);
    view->installEventFilter(&counter);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    ASSERT_TRUE(InitDevice3D(view));
    EXPECT_EQ(ClientWidth(), view->pixelSize().width());
    ASSERT_TRUE(waitFor([&] { return view->deviceOnView(); })) << "the device did not move onto the view";
    SetupSceneDefaults();

    // Mouse and keys through the window, as the windowing system delivers them, reach the view
    // and not its OpenGL child.
    view->setFocus();
    QTest::mouseMove(first.windowHandle(), QPoint(100, 70));
    QTest::mousePress(first.windowHandle(), Qt::LeftButton, {}, QPoint(100, 75));
    QTest::mouseRelease(first.windowHandle(), Qt::LeftButton, {}, QPoint(100, 75));
    QTest::keyClick(first.windowHandle(), Qt::Key_W);
    QTest::qWait(20);
    EXPECT_EQ(counter.presses, 1);
    EXPECT_GE(counter.moves, 1);
    EXPECT_EQ(counter.keys, 1);

    const MeshPtr box = CreateBox(6, 6, 6);
    const QPoint centre(view->pixelSize().width() / 2, view->pixelSize().height() / 2);
    auto drawGraph = [&] {
        // What the render loop does: a "not reset" device is reset first.
        if (g_device->testCooperativeLevel() == D3DERR_DEVICENOTRESET) {
            ASSERT_EQ(g_device->reset(), D3D_OK);
        }
        ClearView(kBackground);
        g_device->beginScene();
        g_device->setMaterial(emissiveMaterial(0, 1, 0));
        g_device->drawSubset(*box, 0);
        g_device->endScene();
        PresentView(view);
        EXPECT_EQ(g_device->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
        EXPECT_EQ(view->glWidget()->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
        EXPECT_EQ(view->glWidget()->grabFramebuffer().pixel(2, 2), kBackground);
    };
    drawGraph();
    const std::uint64_t uploads = g_device->uploadCount();

    // Moving the view into another window gives its OpenGL widget a new context.
    QWidget second;
    second.resize(240, 180);
    view->setParent(&second);
    view->show();
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    ASSERT_TRUE(waitFor([&] { return g_device->testCooperativeLevel() == D3DERR_DEVICENOTRESET; }))
        << "cooperative level " << std::hex << g_device->testCooperativeLevel();
    drawGraph();
    EXPECT_EQ(g_device->testCooperativeLevel(), D3D_OK);
    EXPECT_TRUE(view->deviceOnView());
    EXPECT_EQ(g_device->uploadCount(), uploads + 1);

    // A resized view: the target follows through ResizeDevice3D.
    view->resize(300, 200);
    ASSERT_TRUE(ResizeDevice3D(view));
    SetupSceneDefaults();
    ClearView(kBackground);
    EXPECT_EQ(g_device->grabFramebuffer().size(), view->pixelSize());
    ReleaseDevice3D();
    SetDeviceMessageHook(nullptr);
}
