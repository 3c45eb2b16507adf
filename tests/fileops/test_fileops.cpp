// The trash in a temporary data folder (nothing is ever removed for good), an item's properties
// and a folder's totals, the picture test and what decoding a picture gives.
#include "fileops/Picture.h"
#include "fileops/Properties.h"
#include "fileops/Trash.h"
#include "treescan.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "hostile_pictures.h"
#include "watchdog.h"

#include <algorithm>
#include <array>

namespace {

class FileopsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(path("work")));
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(path("work")); // where a misplaced trash would land
        m_oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", path("data").toUtf8()); // not there yet
    }
    void TearDown() override {
        QDir::setCurrent(m_oldCurrent);
        qputenv("XDG_DATA_HOME", m_oldData);
    }

    QString path(const QString& relative) const { return home.filePath(relative); }
    QString make(const QString& relative, const QByteArray& data) {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(p);
        f.write(data);
        return p;
    }

    QTemporaryDir home;

private:
    QString m_oldCurrent;
    QByteArray m_oldData;
};

TEST_F(FileopsTest, TrashTakesItemsOrLeavesThemWhereTheyAre) {
    struct Case {
        const char* what;
        const char* item;     // below the temp folder
        const char* dataHome; // the user's data folder, not made yet (but for "blocked")
        bool moved;
        const char* errorHas;
    };
    constexpr Case cases[] = {
        {"a file, the data folder not made yet", "tree/a.txt", "data", true, ""},
        {"a folder with what is in it", "tree/sub", "data", true, ""},
        {"a trash that can't be made", "tree/b.txt", "blocked", false, "no trash folder could be made"},
        {"an item already gone", "tree/gone.txt", "data", false, "no longer there"},
    };
    make("tree/a.txt", "a");
    make("tree/b.txt", "b");
    make("tree/sub/inner.txt", "inner");
    make("blocked/Trash", "a file where the trash folder would be");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("XDG_DATA_HOME", path(c.dataHome).toUtf8());
        const QString item = path(c.item);
        const ketra::TrashResult r = ketra::MoveToTrash(item);
        EXPECT_EQ(r.moved, c.moved) << qPrintable(r.error);
        EXPECT_TRUE(r.error.contains(QLatin1String(c.errorHas))) << qPrintable(r.error);
        const QString name = QFileInfo(item).fileName();
        if (c.moved) {
            EXPECT_FALSE(QFileInfo::exists(item));
            EXPECT_EQ(r.trashedAs, path("data/Trash/files/") + name);
            EXPECT_TRUE(QFileInfo::exists(path("data/Trash/info/") + name + ".trashinfo"));
        } else {
            EXPECT_EQ(QFileInfo::exists(item), name != QLatin1String("gone.txt"));
        }
        // Never into the current folder.
        EXPECT_TRUE(QDir(path("work")).isEmpty()) << qPrintable(QDir(path("work")).entryList().join(' '));
    }
    EXPECT_TRUE(QFileInfo::exists(path("data/Trash/files/sub/inner.txt")));
}

TEST_F(FileopsTest, PropertiesTellWhatTheItemIs) {
    const QString file = make("p/notes.txt", QByteArray(5120, 'n'));
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QFile::link(file, path("p/link"));
    QFile::link(path("p/nowhere"), path("p/broken"));
    make("p/sub/deeper/x.bin", QByteArray(1000, 'x'));
    make("p/sub/.hidden", QByteArray(24, 'h'));

    const ketra::FileProperties f = ketra::ReadFileProperties(file);
    EXPECT_EQ(f.name, "notes.txt");
    EXPECT_EQ(f.folder, path("p"));
    EXPECT_TRUE(f.exists && !f.isFolder && !f.isLink);
    EXPECT_EQ(f.size, 5120);
    EXPECT_EQ(f.type, "plain text document (text/plain)");
    EXPECT_EQ(f.permissions, "rw-r----- (640)");
    EXPECT_TRUE(f.modified.isValid());
    EXPECT_FALSE(f.owner.isEmpty());

    const ketra::FileProperties link = ketra::ReadFileProperties(path("p/link"));
    EXPECT_TRUE(link.isLink && !link.brokenLink);
    EXPECT_EQ(link.linkTarget, file);
    EXPECT_EQ(link.size, 5120);
    const ketra::FileProperties broken = ketra::ReadFileProperties(path("p/broken"));
    EXPECT_TRUE(broken.exists && broken.brokenLink);
    EXPECT_EQ(broken.linkTarget, path("p/nowhere"));
    EXPECT_FALSE(ketra::ReadFileProperties(path("p/gone")).exists);
    EXPECT_TRUE(ketra::ReadFileProperties(path("p/sub")).isFolder);

    // The scanner's totals count hidden files too; its folder-size option is put back.
    IncludeFolderSize(0);
    const auto totals = ketra::MeasureFolder(path("p/sub"), false, 80, {});
    ASSERT_TRUE(totals);
    EXPECT_EQ(totals->bytes, 1024);
    EXPECT_EQ(totals->files, 2);
    EXPECT_EQ(totals->folders, 1);
    EXPECT_FALSE(ketra::MeasureFolder(path("p/gone"), false, 80, {}));

    const std::pair<double, const char*> sizes[] = {{0, "0 bytes"},
                                                    {1, "1 byte"},
                                                    {1023, "1,023 bytes"},
                                                    {5120, "5,120 bytes (5.0 KiB)"},
                                                    {3221225472.0, "3,221,225,472 bytes (3.0 GiB)"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(ketra::ByteText(bytes), QString::fromLatin1(text));
    EXPECT_EQ(ketra::PermissionText(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther),
              "rwxr-xr-x (755)");
}

TEST(PictureName, TheExtensionOfTheNameDecidesExactly) {
    struct Case {
        const char* path;
        ketra::PictureName is;
    };
    using enum ketra::PictureName;
    constexpr Case cases[] = {
        {"/d/photo.jpeg", Picture}, {"/d/a.gif", Picture},
        {"/d/a.bmp", Picture},      {"/d/a.wmf", Picture},
        {"/d/a.jpg", Picture},      {"/d/a.png", Picture},
        {"/d/PHOTO.JPG", Other},    {"/d/a.Png", Other},
        {"/d/notes.txt", Other},    {"/d/a.png.txt", Other},
        {"/d/docs", NoExtension},   {"/d.e/docs", NoExtension}, // a dot in a folder above is not the item's
    };
    for (const Case& c : cases)
        EXPECT_EQ(ketra::CheckPictureName(QByteArray(c.path)), c.is) << c.path;
}

QByteArray encoded(const QImage& image, const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// A w x h picture of one colour as a run-length coded 8-bit BMP: small on disk, w x h bytes
// decoded, and a format Qt cannot scale while it reads.
QByteArray rleBmp(int w, int h) {
    QByteArray row;
    for (int left = w; left > 0; left -= 255)
        row += QByteArray(1, static_cast<char>(std::min(left, 255))) + QByteArray(1, 1);
    row += QByteArray(2, 0); // end of the row
    const QByteArray pixels = row.repeated(h) + QByteArray("\0\1", 2);
    const QByteArray palette("\0\0\0\0\xff\xff\xff\0", 8);
    QByteArray header(54, 0);
    auto put = [&header](int at, quint32 v) { qToLittleEndian(v, header.data() + at); };
    header[0] = 'B';
    header[1] = 'M';
    put(2, static_cast<quint32>(54 + palette.size() + pixels.size()));
    put(10, static_cast<quint32>(54 + palette.size()));
    put(14, 40);
    put(18, static_cast<quint32>(w));
    put(22, static_cast<quint32>(h));
    put(26, 1 | 8 << 16); // one plane, 8 bits a pixel
    put(30, 1);           // run-length coded
    put(34, static_cast<quint32>(pixels.size()));
    put(46, 2); // colours in the palette
    return header + palette + pixels;
}

TEST_F(FileopsTest, PicturesDecodeOrSayWhyNot) {
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QByteArray png = encoded(red, "PNG");
    enum Make { File, Fifo, Folder, Sparse };
    struct Case {
        const char* name;
        QByteArray data;
        QSize fit;
        QSize size; // decoded; empty: not decoded
        const char* errorHas;
        Make make = File;
    };
    const QSize any(16384, 16384);
    const Case cases[] = {
        {"small.png", png, any, {64, 48}, ""},
        {"fitted.jpg", encoded(red, "JPG"), {32, 32}, {32, 24}, ""},
        {"scaled.png", encoded(QImage(3000, 2000, QImage::Format_RGB32), "PNG"), {300, 300}, {300, 200}, ""},
        {"cut.png", png.left(png.size() - 30), any, {}, "damaged or incomplete"},
        {"empty.jpg", {}, any, {}, "the file is empty"},
        {"drawing.wmf",
         QByteArray("\xd7\xcd\xc6\x9a\0\0", 6) + QByteArray(200, 'w'),
         any,
         {},
         "no picture of a kind"},
        // 12,000 x 11,000 bytes decoded: more than Qt reads by default.
        {"huge.bmp", rleBmp(12000, 11000), any, {12000, 11000}, ""},
        // Within the limit, so decoded (and found to hold no pixels); beyond it, refused unread.
        {"20k.png", PngClaiming(20000, 20000), any, {}, "damaged or incomplete"},
        {"40k.png",
         PngClaiming(40000, 40000),
         any,
         {},
         "at 40,000 x 40,000 pixels it would take 6,104 MiB to decode, more than the 2,048 MiB"},
        {"x.png", {}, any, {}, "it is a named pipe, not a regular file", Fifo},
        {"d.png", {}, any, {}, "it is a folder, not a regular file", Folder},
        {"zeros.png", {}, any, {}, "no picture of a kind", Sparse},
    };
    Watchdog watchdog("decoding the pictures");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray at = QFile::encodeName(path(QLatin1String(c.name)));
        if (c.make == File) {
            make(QLatin1String(c.name), c.data);
        } else if (c.make == Fifo) {
            ASSERT_EQ(::mkfifo(at.constData(), 0600), 0);
        } else if (c.make == Folder) {
            ASSERT_TRUE(QDir().mkpath(path(QLatin1String(c.name))));
        } else {
            QFile sparse(path(QLatin1String(c.name)));
            ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(3LL << 30));
        }
        const ketra::DecodedPicture p = ketra::DecodePicture(at, c.fit);
        EXPECT_EQ(p.image.size(), c.size.isEmpty() ? QSize(0, 0) : c.size) << qPrintable(p.error);
        if (c.size.isEmpty()) {
            EXPECT_TRUE(p.error.startsWith(QStringLiteral("\"%1\" can't be shown").arg(c.name)))
                << qPrintable(p.error);
            EXPECT_TRUE(p.error.contains(QLatin1String(c.errorHas))) << qPrintable(p.error);
        }
    }
    // A decode given up reads nothing more and says nothing.
    const std::atomic<bool> cancel{true};
    const ketra::DecodedPicture given =
        ketra::DecodePicture(QFile::encodeName(path("small.png")), any, &cancel);
    EXPECT_TRUE(given.cancelled);
    EXPECT_TRUE(given.image.isNull());
    EXPECT_TRUE(given.error.isEmpty());
}

} // namespace
