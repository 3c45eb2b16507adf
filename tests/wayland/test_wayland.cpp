// The window on a Wayland session (scripts/wayland-session.sh starts weston and runs these): it
// opens, shows a folder as the compositor shows it, takes keys typed through the compositor, and
// closes keeping its placement; the snapshot is the picture it makes under X.
#include "../app/form_fixture.h"
#include "app/core/Settings.h"
#include "scene/D3DView.h"

#include <QGuiApplication>
#include <QImage>
#include <QOpenGLWidget>
#include <QProcess>

namespace {

// Runs `program` to its end (a minute at most); false with its error output otherwise.
bool run(const QString& program, const QStringList& args, const QProcessEnvironment& env,
         const QString& folder = QString()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    const bool ended = p.waitForFinished(60000);
    EXPECT_TRUE(ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << qPrintable(program) << ": " << p.readAllStandardError().constData();
    return ended && p.exitCode() == 0;
}

// How many pixels of `a` and `b` (of one size) differ by more than a few steps in a channel.
int differing(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y); // alpha aside
            n += std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 ||
                 std::abs(qBlue(p) - qBlue(q)) > 8;
        }
    return n;
}

} // namespace

class WaylandTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
        m_folder = makeFolder(QStringLiteral("shown"));
        makeFile(QStringLiteral("shown/a.txt"), 50000);
        makeFile(QStringLiteral("shown/b.png"), 20000);
        makeFolder(QStringLiteral("shown/sub"));
    }

    // The window started as the program starts it, showing the test's folder with its picture on
    // the view.
    std::unique_ptr<GraphForm> showFolder() {
        auto form = startWindow();
        form->openArgument(m_folder.toUtf8());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get(), 60000));
        auto* view = qobject_cast<D3DView*>(form->Picture1);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return form->m_currentFolder == m_folder.toUtf8() && !form->m_loading && view->deviceOnView();
            },
            60000));
        return form;
    }

    // What the window's view shows: its OpenGL child's picture, as handed to the compositor.
    static QImage viewPicture(const GraphForm& form) {
        return qobject_cast<D3DView*>(form.Picture1)->glWidget()->grabFramebuffer();
    }

    QString m_folder;
};

using WaylandHeadless = WaylandTest;
using WaylandKeys = WaylandTest;

TEST_F(WaylandHeadless, TheWindowShowsAFolderAsUnderXAndClosesKeepingItsPlacement) {
    ketra::SettingsValues stored;
    stored.MainLeft = 1500;
    stored.MainTop = 1200;
    ASSERT_TRUE(ketra::Settings().write(stored));
    auto form = showFolder();
    ASSERT_FALSE(HasFailure());
    const QImage shown = viewPicture(*form);

    // The picture is opaque: the compositor blends windows by their alpha.
    int seeThrough = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            seeThrough += qAlpha(shown.pixel(x, y)) != 255;
    EXPECT_EQ(seeThrough, 0);

    // The snapshot of the folder at the view's size is the same picture under Wayland and under X,
    // and the window comes to show it.
    const QString size = QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height());
    const QString xDisplay = qEnvironmentVariable("KETRA_CALLER_DISPLAY");
    ASSERT_FALSE(xDisplay.isEmpty()) << "the picture under X needs the X display of the test run";
    QProcessEnvironment onX = QProcessEnvironment::systemEnvironment(), onWayland = onX;
    onX.insert(QStringLiteral("DISPLAY"), xDisplay);
    onX.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    onWayland.remove(QStringLiteral("DISPLAY"));
    const QString x = m_home.filePath(QStringLiteral("x.png")),
                  wl = m_home.filePath(QStringLiteral("wl.png"));
    ASSERT_TRUE(run(QStringLiteral(KETRA_EXE), {"--snapshot", x, "--size", size, m_folder}, onX));
    ASSERT_TRUE(run(QStringLiteral(KETRA_EXE), {"--snapshot", wl, "--size", size, m_folder}, onWayland));
    const QImage snapshot(wl);
    const int allowed = shown.width() * shown.height() / 200;
    EXPECT_LE(differing(snapshot, QImage(x)), allowed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return differing(viewPicture(*form), snapshot) <= allowed; }, 60000));

    // The compositor's picture (the window on a black background) holds the view's.
    const QString shots = m_home.filePath(QStringLiteral("shots"));
    const QPoint inFrame = form->geometry().topLeft() - form->frameGeometry().topLeft() +
                           form->Picture1->mapTo(form.get(), QPoint());
    auto composited = [&] {
        QDir(shots).removeRecursively();
        QDir().mkpath(shots);
        if (!run(QStringLiteral("weston-screenshooter"), {}, QProcessEnvironment::systemEnvironment(), shots))
            return false;
        const QStringList files = QDir(shots).entryList({QStringLiteral("*.png")}, QDir::Files);
        const QImage screen = files.size() == 1 ? QImage(shots + QLatin1Char('/') + files.front()) : QImage();
        QRect window;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                if ((screen.pixel(x, y) & 0xFFFFFF) != 0)
                    window |= QRect(x, y, 1, 1);
        // Weston may place the window partly off the screen: the part on it counts.
        const QRect view = QRect(window.topLeft() + inFrame, shown.size()) & screen.rect();
        return view.height() > 100 &&
               differing(screen.copy(view), snapshot.copy(view.translated(-window.topLeft() - inFrame))) <=
                   allowed;
    };
    EXPECT_TRUE(QTest::qWaitFor(composited, 60000)) << "the compositor shows another picture than the view's";

    // Wayland does not let a window choose or learn its place on the screen: the stored one stays.
    form->close();
    const ketra::SettingsValues kept = ketra::Settings().read(QByteArray());
    EXPECT_EQ(kept.current_folder, m_folder.toUtf8());
    EXPECT_EQ(kept.MainLeft, stored.MainLeft);
    EXPECT_EQ(kept.MainTop, stored.MainTop);
    EXPECT_NEAR(kept.MainWidth, stored.MainWidth, 30);
    EXPECT_NEAR(kept.MainHeight, stored.MainHeight, 30);
}

// Where no compositor answers, the program says so and which setting it followed.
TEST_F(WaylandHeadless, NoCompositorIsSaidPlainly) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("nothing-here"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KETRA_EXE), {m_folder});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(
        p.readAllStandardError().contains("no Wayland compositor found at WAYLAND_DISPLAY=nothing-here"));
}

// A key typed on weston's keyboard (its X11 back end, driven by xdotool) reaches the window: F5
// reads the folder again, and a file made meanwhile appears.
TEST_F(WaylandKeys, F5TypedThroughTheCompositorReadsTheFolderAgain) {
    auto form = showFolder();
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 60000)) << "weston gave the window no keyboard focus";
    makeFile(QStringLiteral("shown/new.txt"), 90000);
    auto hasNew = [&] {
        for (const ketra::DataEntry& e : form->model().entries())
            if (e.NameBytes == "new.txt")
                return true;
        return false;
    };
    ASSERT_FALSE(hasNew());
    ASSERT_TRUE(run(QStringLiteral("xdotool"), {"key", "F5"}, QProcessEnvironment::systemEnvironment()));
    EXPECT_TRUE(QTest::qWaitFor(hasNew, 60000)) << "F5 did not reach the window";
    form->close();
}
