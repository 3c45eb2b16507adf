// The program's command line: help and version need no display; wrong use is refused; without a
// display the program says so in one line.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs ketra with `display` as its DISPLAY (none when empty), and no other display or platform.
Outcome runKetra(const QStringList& args, const QString& display = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KETRA_EXE), args);
    EXPECT_TRUE(p.waitForFinished(20000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

// Help and version need no display (help wins wherever it stands); wrong use is refused; without a
// display, or with one that is not there, one line says so.
TEST(Cli, HelpVersionWrongUseAndNoDisplay) {
    struct Case {
        QStringList args;
        QString display;
        int exitCode;
        QStringList said; // on the output (status 0) or on one line of the error output
    };
    // A platform that needs no display, so that the refusal is about the arguments.
    const QStringList offscreen{"-platform", "offscreen"};
    const Case cases[] = {
        {{"--help"}, {}, 0, {"Usage: ketra", "--version"}},
        {{"/tmp", "-h"}, {}, 0, {"Usage: ketra"}},
        {{"--version"}, {}, 0, {"ketra " KETRA_VERSION "\n"}},
        {offscreen + QStringList{"--frobnicate"}, {}, 2, {"unknown option '--frobnicate'"}},
        {offscreen + QStringList{"/tmp", "/usr"}, {}, 2, {"only one FOLDER"}},
        {offscreen + QStringList{"file://elsewhere/tmp"}, {}, 2, {"not a folder on this machine"}},
        {offscreen + QStringList{"--data"}, {}, 2, {"--data needs"}},
        {{"--snapshot", "/tmp/x.png", "--data"}, {}, 2, {"'--data' needs a value"}},
        {{"--snapshot", "x.png", "--view", "sideways"}, {}, 2, {"--view wants 3d, tree or details"}},
        {{"--snapshot", "x.png", "--view", "details", "--data", "t.csv"}, {}, 2, {"not with --view details"}},
        {{"--snapshot", "x.png", "--view", "tree", "--data", "t.csv"}, {}, 2, {"not with --view tree"}},
        {offscreen + QStringList{"--import"}, {}, 2, {"--import needs"}},
        {{"--snapshot", "x.png", "--import", "s.json", "--data", "t.csv"}, {}, 2, {"give one"}},
        {{}, {}, 1, {"no display", "xvfb-run"}},
        {{"/tmp"}, QStringLiteral(":4711"), 1, {"no display", ":4711", "xvfb-run"}},
    };
    for (const Case& c : cases) {
        const Outcome r = runKetra(c.args, c.display);
        EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(c.args.join(' ')) << qPrintable(r.err);
        const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (c.exitCode == 1) {
            EXPECT_EQ(lines.size(), 1) << qPrintable(r.err);
        }
        const QStringList said =
            c.exitCode == 0 ? QStringList{r.out} : lines.filter(QStringLiteral("ketra: "));
        ASSERT_FALSE(said.isEmpty()) << qPrintable(r.err);
        EXPECT_EQ(r.out.isEmpty(), c.exitCode != 0);
        for (const QString& s : c.said)
            EXPECT_TRUE(said.first().contains(s)) << qPrintable(r.out + r.err);
    }
}

// The details view's snapshot needs no display and no OpenGL: the window as it starts in the
// details view, with the folder's rows (folders blue).
TEST(Cli, DetailsSnapshotDrawsTheWindowWithTheList) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath("tree/a folder")));
    const QString png = home.filePath("list.png");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KETRA_EXE),
            {"--snapshot", png, "--view", "details", "--size", "640x480", home.filePath("tree")});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(640, 480));
    int blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            blue += qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80;
        }
    EXPECT_GT(blue, 20); // the folder's name and its "folder" size text
}
