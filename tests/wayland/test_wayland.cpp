// The window on a Wayland session, in a weston of its own (scripts/wayland-session.sh runs this).
#include "../app/form_fixture.h"
#include "app/core/Settings.h"
#include "scene/D3DView.h"
#include <QOpenGLWidget>
#include <QProcess>

// Runs the program with `env` and `args` to its end, expecting `exitCode`; its error output.
static QByteArray runKetra(const QStringList& args, const QProcessEnvironment& env, int exitCode = 0) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KETRA_EXE), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), exitCode) << qPrintable(args.join(' ')) << ": " << err.constData();
    return err;
}

// Same picture: 1 pixel in 200 may differ by over 8 in a channel (alpha too: windows blend by it).
static bool samePicture(const QImage& a, const QImage& b) {
    qint64 n = 0;
    for (int y = 0; y < a.height() && a.size() == b.size(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                           std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) > 8;
        }
    return a.size() == b.size() && !a.isNull() && n * 200 <= qint64(a.width()) * a.height();
}

// The window shows a folder as the snapshot does under Wayland and X; a key typed on weston's X11
// back end (xdotool; KETRA_TEST_KEYS) reaches it; on closing, the stored place stays (Wayland tells
// a window none). Without a compositor the program says so.
TEST_F(FormTest, WaylandShowsTheFolderTakesKeysAndKeepsThePlace) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    ketra::SettingsValues stored;
    stored.MainLeft = 1500; // MainTop keeps its default, 1000
    ASSERT_TRUE(ketra::Settings().write(stored));
    makeFile(QStringLiteral("shown/a.txt"), 50000);
    makeFolder(QStringLiteral("shown/sub"));
    const QByteArray folder = QFile::encodeName(m_home.filePath(QStringLiteral("tree/shown")));
    auto form = startWindow();
    form->openArgument(folder);
    auto* view = qobject_cast<D3DView*>(form->Picture1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->m_currentFolder == folder && view->deviceOnView(); }, 60000));

    const QImage shown = view->glWidget()->grabFramebuffer();
    const QString size = QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height());
    const QString x = m_home.filePath(QStringLiteral("x.png")), wl = x + QStringLiteral(".wl.png");
    QProcessEnvironment onX = QProcessEnvironment::systemEnvironment(), onWayland = onX;
    onX.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("KETRA_CALLER_DISPLAY"));
    onX.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    onWayland.remove(QStringLiteral("DISPLAY"));
    runKetra({"--snapshot", x, "--size", size, folder}, onX); // on the X display of the test run
    runKetra({"--snapshot", wl, "--size", size, folder}, onWayland);
    EXPECT_TRUE(samePicture(QImage(wl), QImage(x)));
    for (const QImage& opaque : {shown, QImage(wl)}) // as the compositor would blend it in
        EXPECT_TRUE(samePicture(opaque, opaque.convertToFormat(QImage::Format_RGB32)));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return samePicture(view->glWidget()->grabFramebuffer(), QImage(wl)); }, 60000));

    if (qEnvironmentVariableIntValue("KETRA_TEST_KEYS") == 1) { // F5 reads the folder again: a new file shows
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 60000)) << "weston gave the window no focus";
        makeFile(QStringLiteral("shown/new.txt"), 90000);
        const int before = form->model().count();
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {"key", "F5"}), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->model().count() > before; }, 60000)) << "F5 was lost";
    }

    form->close();
    const ketra::SettingsValues kept = ketra::Settings().read(QByteArray());
    EXPECT_EQ(kept.current_folder, folder);
    EXPECT_EQ(kept.MainLeft, stored.MainLeft);
    EXPECT_EQ(kept.MainTop, stored.MainTop);

    onWayland.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("nothing-here"));
    EXPECT_TRUE(runKetra({folder}, onWayland, 1)
                    .contains("no Wayland compositor found at WAYLAND_DISPLAY=nothing-here"));
}
