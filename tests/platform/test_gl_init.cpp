// Bringing the device up: the fall-back from the system's OpenGL to the software rasteriser and its
// messages, the guard for systems without OpenGL, the default scene, and the 3D view widget.
#include "gl_fixture.h"

#include "scene/D3DView.h"

#include <QApplication>
#include <QOpenGLWidget>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace platform;
using namespace gltest;

namespace {

// Runs `condition` through the event loop until it holds or about five seconds passed.
template <class F> bool waitFor(F condition) {
    for (int i = 0; i < 250 && !condition(); ++i)
        QTest::qWait(20);
    return condition();
}

struct Recorded {
    std::vector<DeviceMessage> messages;
    std::vector<int> exits;
    std::vector<std::int32_t> probed;
};

class InitFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDeviceMessageHook([this](DeviceMessage m, const QString&) { rec.messages.push_back(m); });
        SetDeviceExitHook([this](int status) { rec.exits.push_back(status); });
    }
    void TearDown() override {
        ReleaseDevice3D();
        SetDeviceMessageHook(nullptr);
        SetDeviceExitHook(nullptr);
        SetDeviceProbe(nullptr);
    }
    Recorded rec;
};

} // namespace

TEST_F(InitFlowTest, FallsBackToTheSoftwareRasterizerWithTheRightMessages) {
    struct Case {
        const char* name;
        bool hardwareWorks, softwareWorks, allowFallback;
        bool result;
        std::vector<DeviceMessage> messages;
        std::vector<std::int32_t> probed;
        std::int32_t deviceType;
        bool exited;
    };
    const Case cases[] = {
        {"hardware", true, true, true, true, {}, {DEVTYPE_HAL}, DEVTYPE_HAL, false},
        {"software",
         false,
         true,
         true,
         true,
         {DeviceMessage::NoHardware},
         {DEVTYPE_HAL, DEVTYPE_REF},
         DEVTYPE_REF,
         false},
        {"none",
         false,
         false,
         true,
         false,
         {DeviceMessage::NoHardware, DeviceMessage::NoDevice},
         {DEVTYPE_HAL, DEVTYPE_REF},
         0,
         true},
        {"no fall-back", false, true, false, false, {}, {DEVTYPE_HAL}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseDevice3D();
        rec = {};
        SetDeviceProbe([&](std::int32_t type) {
            rec.probed.push_back(type);
            return type == DEVTYPE_HAL ? c.hardwareWorks : c.softwareWorks;
        });
        EXPECT_EQ(InitDevice3D(nullptr, true, 0, DEVTYPE_HAL, c.allowFallback), c.result);
        EXPECT_EQ(rec.messages, c.messages);
        EXPECT_EQ(rec.probed, c.probed);
        EXPECT_EQ(rec.exits, c.exited ? std::vector<int>{1} : std::vector<int>{});
        EXPECT_EQ(g_device != nullptr, c.result);
        if (c.result) {
            EXPECT_EQ(CurrentDeviceType(), c.deviceType);
            EXPECT_EQ(UsingReferenceRasterizer(), c.deviceType == DEVTYPE_REF);
        }
    }
}

TEST_F(InitFlowTest, SecondInitialisationAfterReleaseMakesANewDevice) {
    ASSERT_TRUE(InitOffscreenDevice3D(64, 48));
    std::weak_ptr<Device> first = g_device;
    ASSERT_TRUE(g_device->hasContext());
    EXPECT_EQ(CurrentDeviceType(), DEVTYPE_HAL);
    ReleaseDevice3D();
    EXPECT_TRUE(first.expired());
    EXPECT_EQ(ClientWidth(), 0);
    ASSERT_TRUE(InitOffscreenDevice3D(64, 48));
    EXPECT_TRUE(g_device->hasContext());
    ClearView(kBackground);
    EXPECT_EQ(g_device->grabFramebuffer().pixel(10, 10), kBackground);
    EXPECT_TRUE(rec.messages.empty());
}

TEST_F(InitFlowTest, SceneDefaultsTakeTheAspectFromTheClientSize) {
    struct Case {
        int width, height;
        float aspect;
    };
    for (const Case& c : {Case{800, 600, 800.0f / 600.0f}, Case{800, 0, 1.0f}, Case{0, 0, 1.0f}}) {
        ASSERT_TRUE(InitOffscreenDevice3D(c.width, c.height));
        SetupSceneDefaults();
        const Matrix expected = MatrixPerspectiveFovLH(3.1415f / 4, c.aspect, 1, 3000);
        const Matrix got = g_device->getTransform(TransformType::Projection);
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                EXPECT_FLOAT_EQ(got.m[r][k], expected.m[r][k]) << c.width << "x" << c.height;
        EXPECT_EQ(std::memcmp(&g_projectionMatrix, &got, sizeof got), 0);
        const Vector3 eye = Vec3TransformCoord({0, 0, -20}, g_device->getTransform(TransformType::View));
        EXPECT_FLOAT_EQ(eye.z, 0.0f); // the camera sits at (0, 0, -20)
        EXPECT_TRUE(g_device->lightEnabled(0));
        EXPECT_EQ(g_device->getRenderState(rs::Ambient), 0x10101010u);
        EXPECT_EQ(g_device->getRenderState(rs::ShadeMode), rs::ShadeGouraud);
        EXPECT_FLOAT_EQ(g_device->getMaterial().power, 10.0f);
        ReleaseDevice3D();
    }
}

// ---- the guard where the system has no OpenGL: run as child processes ----

TEST(DeviceGuard, WithoutOpenGLBothMessagesAreShownAndTheProgramEnds) {
    if (qEnvironmentVariableIsSet("KETRA_DEVICE_GUARD_CHILD"))
        GTEST_SKIP() << "this is the child";
    struct Case {
        const char* variable;
        const char* value;
        bool withoutDisplay;
    };
    // An X server whose GL Qt may not use, a windowing system without GL, and no display at all.
    for (const Case& c :
         {Case{"QT_XCB_GL_INTEGRATION", "none", false}, Case{"QT_QPA_PLATFORM", "minimal", false},
          Case{"QT_QPA_PLATFORM", "offscreen", true}}) {
        SCOPED_TRACE(c.value);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KETRA_DEVICE_GUARD_CHILD"), QStringLiteral("1"));
        env.insert(QString::fromLatin1(c.variable), QString::fromLatin1(c.value));
        if (c.withoutDisplay) {
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=DeviceGuardChild.*")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
        EXPECT_EQ(child.exitCode(), 1) << out.toStdString();
        const qsizetype first = out.indexOf(
            QStringLiteral("message 1: No hardware support found. Switching to reference rasterizer."));
        const qsizetype second = out.indexOf(QStringLiteral(
            "message 2: No suitable device was found to initialize D3D. Application will now exit."));
        EXPECT_GE(first, 0) << out.toStdString();
        EXPECT_GT(second, first) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("view shown"))) << out.toStdString();
        EXPECT_FALSE(out.contains(QStringLiteral("returned"))) << out.toStdString();
    }
}

TEST(DeviceGuard, AFailedSwitchRestartsTheProgramOnTheSoftwareRasterizerOnce) {
    if (qEnvironmentVariableIsSet("KETRA_DEVICE_GUARD_CHILD"))
        GTEST_SKIP() << "this is the child";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KETRA_DEVICE_GUARD_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("KETRA_DEVICE_GUARD_RESTART"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none")); // no GL, before or after
    env.remove(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"));
    env.remove(QStringLiteral("KETRA_DEVICE_TYPE"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DeviceGuardChild.*")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    EXPECT_EQ(child.exitCode(), 1) << out.toStdString();
    // The first run tells about the switch and restarts; the second (software requested) gives up.
    const QStringList expected = {QStringLiteral("start: type= software="), QStringLiteral("message 1:"),
                                  QStringLiteral("start: type=2 software=1"), QStringLiteral("message 2:")};
    qsizetype at = 0;
    for (const QString& step : expected) {
        const qsizetype found = out.indexOf(step, at);
        EXPECT_GE(found, at) << "missing or out of order: " << step.toStdString() << "\n"
                             << out.toStdString();
        at = std::max(at, found);
    }
    EXPECT_EQ(out.count(QStringLiteral("message 1:")), 1) << out.toStdString();
    EXPECT_EQ(out.count(QStringLiteral("[ RUN")), 2) << "the restart must keep the command line\n"
                                                     << out.toStdString();
}

TEST(DeviceGuardChild, InitialiseOnAShownView) {
    if (!qEnvironmentVariableIsSet("KETRA_DEVICE_GUARD_CHILD"))
        GTEST_SKIP() << "runs as a child of DeviceGuard";
    std::printf("start: type=%s software=%s\n", qgetenv("KETRA_DEVICE_TYPE").constData(),
                qgetenv("LIBGL_ALWAYS_SOFTWARE").constData());
    SetDeviceMessageHook([](DeviceMessage m, const QString& text) {
        std::printf("message %d: %s\n", m == DeviceMessage::NoHardware ? 1 : 2, qPrintable(text));
        std::fflush(stdout);
    });
    SetDeviceRestartAllowed(qEnvironmentVariableIsSet("KETRA_DEVICE_GUARD_RESTART"));
    QWidget window;
    auto* view = new D3DView(&window);
    window.resize(200, 150);
    view->resize(200, 150);
    window.show();
    QTest::qWait(50);
    std::printf("view shown\n");
    std::fflush(stdout);
    InitDevice3D(view); // ends the process after the second message
    std::printf("returned\n");
}

// ---- the 3D view ----

TEST(D3DViewGl, ShowsTheDevicePictureAndRecoversWhenItsContextIsRecreated) {
    SetDeviceMessageHook([](DeviceMessage, const QString& text) {
        ADD_FAILURE() << "unexpected message " << text.toStdString();
    });
    QWidget first;
    auto* view = new D3DView(&first);
    first.resize(240, 180);
    view->resize(240, 180);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    ASSERT_TRUE(InitDevice3D(view));
    EXPECT_EQ(ClientWidth(), view->pixelSize().width());
    ASSERT_TRUE(waitFor([&] { return view->deviceOnView(); })) << "the device did not move onto the view";
    SetupSceneDefaults();

    const MeshPtr box = CreateBox(6, 6, 6);
    const Material green = emissiveMaterial(0, 1, 0);
    auto drawGraph = [&] {
        // What the render loop does: a "not reset" device is reset first.
        if (g_device->testCooperativeLevel() == D3DERR_DEVICENOTRESET) {
            ASSERT_EQ(g_device->reset(), D3D_OK);
        }
        ClearView(kBackground);
        g_device->beginScene();
        g_device->setMaterial(green);
        g_device->drawSubset(*box, 0);
        g_device->endScene();
        PresentView(view);
    };
    drawGraph();
    const QPoint centre(view->pixelSize().width() / 2, view->pixelSize().height() / 2);
    EXPECT_EQ(g_device->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
    EXPECT_EQ(view->glWidget()->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
    EXPECT_EQ(view->glWidget()->grabFramebuffer().pixel(2, 2), kBackground);
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
    EXPECT_EQ(g_device->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
    EXPECT_EQ(view->glWidget()->grabFramebuffer().pixel(centre), qRgb(0, 255, 0));
    EXPECT_EQ(g_device->uploadCount(), uploads + 1);

    // A resized view: the target follows through ResizeDevice3D.
    view->resize(300, 200);
    ASSERT_TRUE(ResizeDevice3D(view));
    SetupSceneDefaults();
    drawGraph();
    EXPECT_EQ(g_device->grabFramebuffer().size(), view->pixelSize());
    ReleaseDevice3D();
    SetDeviceMessageHook(nullptr);
}

// ---- a program that ends without releasing the device ----

TEST(DeviceExit, ProgramEndingWithoutReleaseExitsCleanly) {
    if (qEnvironmentVariableIsSet("KETRA_DEVICE_EXIT_CHILD"))
        GTEST_SKIP() << "this is the child";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KETRA_DEVICE_EXIT_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DeviceExitChild.*")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
}

TEST(DeviceExitChild, LeaveTheDeviceAndItsViewToTheEndOfTheProgram) {
    if (!qEnvironmentVariableIsSet("KETRA_DEVICE_EXIT_CHILD"))
        GTEST_SKIP() << "runs as a child of DeviceExit";
    // A shown view that is never deleted, and a device that is never released.
    auto* window = new QWidget;
    auto* view = new D3DView(window);
    window->resize(120, 90);
    view->resize(120, 90);
    window->show();
    ASSERT_TRUE(InitDevice3D(view));
    ASSERT_TRUE(waitFor([&] { return view->deviceOnView(); }));
    ClearView(kBackground);
    PresentView(view);
    QTest::qWait(50);
}

TEST(D3DViewGl, MouseAndKeysReachTheViewNotItsOpenGLChild) {
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
    QWidget window;
    auto* view = new D3DView(&window);
    window.resize(200, 150);
    view->resize(200, 150);
    view->setMouseTracking(true);
    view->installEventFilter(&counter);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(InitDevice3D(view));
    ASSERT_TRUE(waitFor([&] { return view->deviceOnView(); }));
    view->setFocus();
    // Through the window, as the windowing system delivers them: Qt picks the widget under the point.
    QTest::mouseMove(window.windowHandle(), QPoint(100, 70));
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(100, 75));
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, QPoint(100, 75));
    QTest::keyClick(window.windowHandle(), Qt::Key_W);
    QTest::qWait(20);
    EXPECT_EQ(counter.presses, 1);
    EXPECT_GE(counter.moves, 1);
    EXPECT_EQ(counter.keys, 1);
    ReleaseDevice3D();
    SetDeviceMessageHook(nullptr);
}
