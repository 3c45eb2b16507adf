// The snapshot command: arguments, the picture it writes, and its failures.
#include "../app/form_fixture.h"
#include "app/Snapshot.h"

#include <QImage>
#include <QProcess>

#include <cstdio>

using ketra::ParseSnapshotArguments;

namespace {

class SnapshotTest : public FormTest {
protected:
    // A colour file of the user's giving every ".red" file pure red.
    void redFiles() {
        QDir().mkpath(configFolder() + QStringLiteral("/Ketra"));
        QFile f(configFolder() + QStringLiteral("/Ketra/ext.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("2\nred\n255\n0\n0\nfolder\n255\n0\n0\n");
    }

    int run(const ketra::SnapshotRequest& r, QString* errors = nullptr) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = ketra::RunSnapshot(r, out, err);
        if (errors) {
            std::rewind(err);
            char buf[1024] = {};
            const size_t n = std::fread(buf, 1, sizeof buf - 1, err);
            *errors = QString::fromUtf8(buf, static_cast<int>(n));
        }
        std::fclose(out);
        std::fclose(err);
        return status;
    }
};

} // namespace

TEST(SnapshotArguments, ReadsFileSizeTimingsAndFolder) {
    QString error;
    auto r =
        ParseSnapshotArguments({"--snapshot", "out.png", "--size", "640x480", "--timings", "/tmp"}, error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_EQ(r->output, QStringLiteral("out.png"));
    EXPECT_EQ(r->width, 640);
    EXPECT_EQ(r->height, 480);
    EXPECT_TRUE(r->timings);
    EXPECT_EQ(r->folder, QStringLiteral("/tmp"));

    r = ParseSnapshotArguments({"--snapshot=a.png"}, error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->output, QStringLiteral("a.png"));
    EXPECT_EQ(r->width, 800);
    EXPECT_TRUE(r->folder.isEmpty());
    EXPECT_FALSE(r->timings);

    const QStringList bad[] = {
        {"--snapshot"},
        {"--snapshot", "a.png", "--size", "640"},
        {"--snapshot", "a.png", "--size", "0x10"},
        {"--snapshot", "a.png", "--frobnicate"},
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

TEST_F(SnapshotTest, WritesThePictureOfTheFolder) {
    redFiles();
    const QString folder = makeFolder(QStringLiteral("snap"));
    for (int i = 0; i < 9; ++i)
        makeFile(QStringLiteral("snap/f%1.red").arg(i), 1000 + 500 * i);
    ketra::SnapshotRequest r;
    r.output = m_home.filePath(QStringLiteral("out.png"));
    r.width = 320;
    r.height = 240;
    r.folder = folder;
    QString errors;
    ASSERT_EQ(run(r, &errors), 0) << errors.toStdString();
    const QImage image(r.output);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(320, 240));
    // The background at the bottom corners, bars in the middle.
    EXPECT_EQ(image.pixel(2, 237), 0xFF80B0E0u);
    EXPECT_EQ(image.pixel(317, 237), 0xFF80B0E0u);
    int red = 0;
    for (int y = 60; y < 180; ++y)
        for (int x = 80; x < 240; ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p) > 90 && qGreen(p) < 60 && qBlue(p) < 60;
        }
    EXPECT_GT(red, 500);
}

TEST_F(SnapshotTest, FailsClearlyOnAMissingFolderOrAnUnwritableFile) {
    ketra::SnapshotRequest r;
    r.output = m_home.filePath(QStringLiteral("out.png"));
    r.folder = m_home.filePath(QStringLiteral("nothing-here"));
    QString errors;
    EXPECT_EQ(run(r, &errors), 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("nothing-here"))) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(r.output));

    r.folder = makeFolder(QStringLiteral("ok"));
    r.output = m_home.filePath(QStringLiteral("no/such/dir/out.png"));
    EXPECT_EQ(run(r, &errors), 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("can't be written"))) << errors.toStdString();
}

TEST_F(SnapshotTest, TheProgramPrintsItsTimings) {
    const QString folder = makeFolder(QStringLiteral("t"));
    makeFile(QStringLiteral("t/a.txt"), 10);
    QProcess p;
    p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    const QString png = m_home.filePath(QStringLiteral("t.png"));
    p.start(QStringLiteral(KETRA_EXE), {"--snapshot", png, "--size", "64x48", "--timings", folder});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    const char* keys[] = {"load_ms ", "scale_ms ", "build_ms ", "first_frame_ms ", "frame_ms "};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(lines[i].startsWith(QLatin1String(keys[i]))) << lines[i].toStdString();
        bool ok = false;
        lines[i].section(' ', 1).toDouble(&ok);
        EXPECT_TRUE(ok) << lines[i].toStdString();
    }
    EXPECT_EQ(QImage(png).size(), QSize(64, 48));
}
