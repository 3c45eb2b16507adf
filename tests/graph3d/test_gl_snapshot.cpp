// The snapshot command: its arguments, and the program run as a user runs it, with the picture it
// writes, its timings and its failures.
#include "../app/form_fixture.h"
#include "app/Snapshot.h"

#include <QImage>
#include <QProcess>

using ketra::ParseSnapshotArguments;

TEST(SnapshotArguments, ReadsFileSizeTimingsAndFolder) {
    QString error;
    auto r =
        ParseSnapshotArguments({"--snapshot", "out.png", "--size", "640x480", "--timings", "/tmp"}, error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_EQ(r->output, QStringLiteral("out.png"));
    EXPECT_EQ(QSize(r->width, r->height), QSize(640, 480));
    EXPECT_TRUE(r->timings);
    EXPECT_EQ(r->folder, QStringLiteral("/tmp"));
    r = ParseSnapshotArguments({"--snapshot=a.png"}, error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->output, QStringLiteral("a.png"));
    EXPECT_EQ(QSize(r->width, r->height), QSize(800, 600));
    EXPECT_TRUE(r->folder.isEmpty());
    EXPECT_FALSE(r->timings);
    EXPECT_FALSE(r->tree);
    EXPECT_TRUE(ParseSnapshotArguments({"--snapshot", "a.png", "--view", "tree"}, error)->tree);

    const QStringList bad[] = {
        {"--snapshot"},
        {"--snapshot", "a.png", "--size", "640"},
        {"--snapshot", "a.png", "--size", "0x10"},
        {"--snapshot", "a.png", "--frobnicate"},
        {"--snapshot", "a.png", "--view", "sideways"},
        {"--snapshot", "a.png", "one", "two"},
        {"/tmp"},
    };
    for (const QStringList& args : bad) {
        error.clear();
        EXPECT_FALSE(ParseSnapshotArguments(args, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(ketra::WantsSnapshot({"x", "--snapshot", "a.png"}));
    EXPECT_FALSE(ketra::WantsSnapshot({"--", "--snapshot"}));
}

// The program writes the picture of a folder (bars in the user's colour for their type, the
// background at the corners) and its five timings; it fails clearly on a missing folder or an
// unwritable file, and writes nothing then.
TEST_F(FormTest, TheProgramWritesTheSnapshotOfAFolder) {
    QDir().mkpath(configFolder() + QStringLiteral("/Ketra"));
    QFile colours(configFolder() + QStringLiteral("/Ketra/ext.txt"));
    ASSERT_TRUE(colours.open(QIODevice::WriteOnly));
    colours.write("2\nred\n255\n0\n0\nfolder\n255\n0\n0\n");
    colours.close();
    const QString folder = makeFolder(QStringLiteral("snap"));
    for (int i = 0; i < 9; ++i)
        makeFile(QStringLiteral("snap/f%1.red").arg(i), 1000 + 500 * i);
    const QString png = m_home.filePath(QStringLiteral("out.png"));
    auto run = [](const QStringList& args, QString& out, QString& err) {
        QProcess p;
        p.start(QStringLiteral(KETRA_EXE), QStringList{"--snapshot"} + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString out, err;
    ASSERT_EQ(run({png, "--size", "320x240", "--timings", folder}, out, err), 0) << qPrintable(err);
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(320, 240));
    EXPECT_EQ(image.pixel(2, 237), 0xFF80B0E0u);
    EXPECT_EQ(image.pixel(317, 237), 0xFF80B0E0u);
    int red = 0;
    for (int y = 60; y < 180; ++y)
        for (int x = 80; x < 240; ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p) > 90 && qGreen(p) < 60 && qBlue(p) < 60;
        }
    EXPECT_GT(red, 500);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    // The five times first, then every figure a name and a number.
    ASSERT_GE(lines.size(), 5) << qPrintable(out);
    const char* keys[] = {"load_ms ", "scale_ms ", "build_ms ", "first_frame_ms ", "frame_ms "};
    for (int i = 0; i < lines.size(); ++i) {
        bool ok = false;
        lines[i].section(' ', 1).toDouble(&ok);
        EXPECT_TRUE((i >= 5 || lines[i].startsWith(QLatin1String(keys[i]))) && ok) << lines[i].toStdString();
    }

    // The tree view of the same folder: its cubes in the same colour.
    ASSERT_EQ(run({png, "--size", "320x240", "--view", "tree", folder}, out, err), 0) << qPrintable(err);
    const QImage tree(png);
    red = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            red +=
                qRed(tree.pixel(x, y)) > 90 && qGreen(tree.pixel(x, y)) < 60 && qBlue(tree.pixel(x, y)) < 60;
    EXPECT_GT(red, 100);
    EXPECT_NE(tree, image);

    const std::pair<QStringList, QString> failures[] = {
        {{m_home.filePath("none.png"), m_home.filePath("nothing-here")}, QStringLiteral("nothing-here")},
        {{m_home.filePath("no/such/dir/out.png"), folder}, QStringLiteral("can't be written")},
    };
    for (const auto& [args, said] : failures) {
        EXPECT_EQ(run(args, out, err), 1);
        EXPECT_TRUE(err.contains(said)) << qPrintable(err);
        EXPECT_FALSE(QFile::exists(args.first()));
    }
}
