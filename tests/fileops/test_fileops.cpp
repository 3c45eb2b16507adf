// The trash in a temporary data folder (nothing is ever removed for good), an item's properties
// and a folder's totals, the picture test and what decoding a picture gives.
#include "fileops/Picture.h"
#include "fileops/PosixPath.h"
#include "fileops/Properties.h"
#include "fileops/Shell.h"
#include "fileops/Trash.h"
#include "treescan.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
        std::filesystem::remove_all(
            QFile::encodeName(home.path()).toStdString()); // names that are not UTF-8 too
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

// The path an info file records, decoded to bytes; empty when the file is not one.
QByteArray recordedPath(const QByteArray& trashedAs) {
    const qsizetype files = trashedAs.lastIndexOf("/files/");
    const QByteArray name = trashedAs.left(files) + "/info/" + trashedAs.mid(files + 7) + ".trashinfo";
    QFile info;
    if (!info.open(::open(name.constData(), O_RDONLY | O_CLOEXEC), QIODevice::ReadOnly,
                   QFile::AutoCloseHandle))
        return {};
    const QList<QByteArray> lines = info.readAll().split('\n');
    if (lines.size() != 4 || lines[0] != "[Trash Info]" || !lines[1].startsWith("Path=") ||
        !QRegularExpression("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$")
             .match(lines[2])
             .hasMatch())
        return {};
    return QByteArray::fromPercentEncoding(lines[1].mid(5));
}

bool onDisk(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Names that are not text, or that text would break, reach the file itself in the trash, the
// properties and the URL handed to the system.
TEST_F(FileopsTest, HostileNamesReachTheTrashThePropertiesAndTheShell) {
    const QByteArray folder = QFile::encodeName(path("names"));
    const QByteArray trash = QFile::encodeName(path("data/Trash"));
    const std::pair<QByteArray, bool> cases[] = {
        {"bad\xff.txt", false}, {"dir\xe9", true}, {"new\nline", false},          {"tab\tname", false},
        {"-leading", false},    {"100%", false},   {QByteArray(255, 'n'), false}, {"twin\xfe", false}};
    ASSERT_TRUE(QDir().mkpath(path("names")));
    const int twin = ::open((folder + "/twin\xfd").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(twin, 0);
    ::close(twin);
    QUrl opened;
    ketra::SetOpenUrlHook([&opened](const QUrl& url) { return (opened = url), true; });
    for (const auto& [name, isFolder] : cases) {
        const QByteArray item = folder + '/' + name;
        SCOPED_TRACE(item.toPercentEncoding().toStdString());
        const int fd =
            isFolder ? ::mkdir(item.constData(), 0755) : ::open(item.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        if (!isFolder)
            ::close(fd);

        const ketra::FileProperties p = ketra::ReadFileProperties(item);
        EXPECT_TRUE(p.exists);
        EXPECT_EQ(p.isFolder, isFolder);
        EXPECT_EQ(p.name, QString::fromUtf8(name));
        EXPECT_EQ(p.path, item);
        ASSERT_TRUE(ketra::ShellOpen(item));
        EXPECT_EQ(QByteArray::fromPercentEncoding(opened.toEncoded()), "file://" + item);

        const ketra::TrashResult r = ketra::MoveToTrash(item);
        ASSERT_TRUE(r.moved) << qPrintable(r.error);
        EXPECT_TRUE(r.trashedAs.startsWith(trash + "/files/"));
        EXPECT_TRUE(onDisk(r.trashedAs) && !onDisk(item));
        EXPECT_EQ(recordedPath(r.trashedAs), item);
    }
    ketra::SetOpenUrlHook(nullptr);
    EXPECT_TRUE(onDisk(folder + "/twin\xfd"));
}

// A dangling link goes as itself; a name that now holds another item is left alone; where no
// trash can be made, the item stays and nothing is made. Never into the current folder.
TEST_F(FileopsTest, TrashTakesOnlyTheItemChosenOrSaysWhyNot) {
    make("tree/b.txt", "b");
    make("blocked/Trash", "a file where the trash folder would be");
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(path("tree/dangling")).constData()), 0);
    struct stat chosen;
    const QByteArray replaced = QFile::encodeName(make("tree/replaced", "chosen"));
    ASSERT_EQ(::lstat(replaced.constData(), &chosen), 0);
    make("tree/newcomer", "newcomer");
    ASSERT_EQ(::rename(QFile::encodeName(path("tree/newcomer")).constData(), replaced.constData()), 0);
    struct Case {
        const char* what;
        const char* item;
        const char* dataHome;
        std::optional<ketra::FileId> expected;
        const char* errorHas; // empty: moved
    };
    const ketra::FileId stale{chosen.st_dev, chosen.st_ino};
    const Case cases[] = {
        {"a dangling link, the data folder not made yet", "tree/dangling", "data/deep", {}, ""},
        {"another item under the name chosen", "tree/replaced", "data", stale,
         "changed since the list was read"},
        {"a trash that can't be made", "tree/b.txt", "blocked", {}, "no trash folder could be made"},
        {"an item already gone", "tree/gone.txt", "data", {}, "no longer there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("XDG_DATA_HOME", path(c.dataHome).toUtf8());
        const QByteArray item = QFile::encodeName(path(c.item));
        const ketra::TrashResult r = ketra::MoveToTrash(item, c.expected);
        EXPECT_EQ(r.moved, !*c.errorHas) << qPrintable(r.error);
        EXPECT_TRUE(r.error.contains(QLatin1String(c.errorHas))) << qPrintable(r.error);
        EXPECT_EQ(onDisk(r.trashedAs), r.moved);
        EXPECT_EQ(onDisk(item), !r.moved && !QByteArray(c.item).contains("gone"));
        EXPECT_TRUE(QDir(path("work")).isEmpty());
    }
    EXPECT_EQ(QDir(path("blocked")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Trash"});
    EXPECT_FALSE(QFileInfo::exists(path("data/Trash")));
    // Asked again, the one the name holds now goes.
    struct stat now;
    ASSERT_EQ(::lstat(replaced.constData(), &now), 0);
    EXPECT_TRUE(ketra::MoveToTrash(replaced, ketra::FileId{now.st_dev, now.st_ino}).moved);
}

// Runs `body` in a child process with a mount namespace of its own and a fresh tmpfs on /dev/shm,
// so that a file system's own trash is tried without touching the machine's. Returns what `body`
// returned, or 77 when no namespace can be made (not root).
int inOwnShm(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("ketra-test", "/dev/shm", "tmpfs", 0, "size=1m,mode=1777") != 0)
            ::_exit(77);
        const int rc = body();
        std::fflush(nullptr);
        ::_exit(rc);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// On another file system the item goes to that file system's trash, with its path from the top
// of it; where none can be used, nothing is left behind.
TEST_F(FileopsTest, TheTopFolderOfAnotherFileSystemHasItsOwnTrash) {
    struct Case {
        const char* what;
        const char* setup; // shell commands in /dev/shm
        const char* item;
        bool asNobody;
        const char* trash; // where it goes ("<uid>" for the user's number); empty: refused
        const char* errorHas;
    };
    constexpr Case cases[] = {
        {"no .Trash", "mkdir d && touch \"d/a$(printf '\\377')\"", "d/a\xff", false, ".Trash-<uid>", ""},
        {"a sticky .Trash", "mkdir -m 1777 .Trash && touch a", "a", false, ".Trash/<uid>", ""},
        {"a .Trash not sticky", "mkdir -m 777 .Trash && touch a", "a", false, ".Trash-<uid>", ""},
        {"a .Trash that is a link", "mkdir -m 1777 t && ln -s t .Trash && touch a", "a", false,
         ".Trash-<uid>", ""},
        {"the mount point", "true", "", false, "", "it is a mount point"},
        {"a read-only file system", "touch a && mount -o remount,ro /dev/shm", "a", false, "", "Read-only"},
        {"a folder it can't change", "mkdir d && touch d/a", "d/a", true, "", "can't be changed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int rc = inOwnShm([&c] {
            const QByteArray shm = "/dev/shm";
            if (std::system((QByteArray("cd /dev/shm && ") + c.setup).constData()) != 0)
                return 10;
            const QStringList before =
                QDir(QStringLiteral("/dev/shm")).entryList(QDir::AllEntries | QDir::Hidden);
            if (c.asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                return 11;
            const QByteArray item = *c.item ? shm + '/' + c.item : shm;
            const ketra::TrashResult r = ketra::MoveToTrash(item);
            std::fprintf(stderr, "%s -> %s\n", qPrintable(r.error), r.trashedAs.constData());
            if (!*c.trash)
                return !r.moved && r.error.contains(QLatin1String(c.errorHas)) && onDisk(item) &&
                               QDir(QStringLiteral("/dev/shm")).entryList(QDir::AllEntries | QDir::Hidden) ==
                                   before
                           ? 0
                           : 12;
            const QByteArray trash =
                shm + '/' + QByteArray(c.trash).replace("<uid>", QByteArray::number(::getuid()));
            return r.moved && r.trashedAs == trash + "/files/" + ketra::NameOf(item) && !onDisk(item) &&
                           recordedPath(r.trashedAs) == c.item
                       ? 0
                       : 13;
        });
        if (rc == 77)
            GTEST_SKIP() << "no mount namespace here";
        EXPECT_EQ(rc, 0);
    }
}

TEST_F(FileopsTest, PropertiesTellWhatTheItemIs) {
    const QString file = make("p/notes.txt", QByteArray(5120, 'n'));
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QFile::link(file, path("p/link"));
    QFile::link(path("p/nowhere"), path("p/broken"));
    make("p/sub/deeper/x.bin", QByteArray(1000, 'x'));
    make("p/sub/.hidden", QByteArray(24, 'h'));

    const ketra::FileProperties f = ketra::ReadFileProperties(QFile::encodeName(file));
    EXPECT_EQ(f.name, "notes.txt");
    EXPECT_EQ(f.folder, path("p"));
    EXPECT_TRUE(f.exists && !f.isFolder && !f.isLink);
    EXPECT_EQ(f.size, 5120);
    EXPECT_EQ(f.type, "plain text document (text/plain)");
    EXPECT_EQ(f.permissions, "rw-r----- (640)");
    EXPECT_TRUE(f.modified.isValid());
    EXPECT_FALSE(f.owner.isEmpty());

    const ketra::FileProperties link = ketra::ReadFileProperties(QFile::encodeName(path("p/link")));
    EXPECT_TRUE(link.isLink && !link.brokenLink);
    EXPECT_EQ(link.linkTarget, file);
    EXPECT_EQ(link.size, 5120);
    const ketra::FileProperties broken = ketra::ReadFileProperties(QFile::encodeName(path("p/broken")));
    EXPECT_TRUE(broken.exists && broken.brokenLink);
    EXPECT_EQ(broken.linkTarget, path("p/nowhere"));
    EXPECT_FALSE(ketra::ReadFileProperties(QFile::encodeName(path("p/gone"))).exists);
    EXPECT_TRUE(ketra::ReadFileProperties(QFile::encodeName(path("p/sub"))).isFolder);
    EXPECT_EQ(ketra::ReadFileProperties(QFile::encodeName(path("p/sub"))).type, "folder (inode/directory)");

    // The scanner's totals count hidden files too; its folder-size option is put back.
    IncludeFolderSize(0);
    const auto totals = ketra::MeasureFolder(QFile::encodeName(path("p/sub")), false, 80, {});
    ASSERT_TRUE(totals);
    EXPECT_EQ(totals->bytes, 1024);
    EXPECT_EQ(totals->files, 2);
    EXPECT_EQ(totals->folders, 1);
    EXPECT_FALSE(ketra::MeasureFolder(QFile::encodeName(path("p/gone")), false, 80, {}));

    const std::pair<double, const char*> sizes[] = {{0, "0 bytes"},
                                                    {1, "1 byte"},
                                                    {1023, "1,023 bytes"},
                                                    {5120, "5,120 bytes (5.0 KiB)"},
                                                    {3221225472.0, "3,221,225,472 bytes (3.0 GiB)"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(ketra::ByteText(bytes), QString::fromLatin1(text));
    EXPECT_EQ(ketra::PermissionText(040755), "rwxr-xr-x (755)");
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
        EXPECT_EQ(ketra::CheckPictureName(QString::fromLatin1(c.path)), c.is) << c.path;
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
    struct Case {
        const char* name;
        QByteArray data;
        QSize fit;
        QSize size; // decoded; empty: not decoded
        const char* errorHas;
    };
    const QSize any(16384, 16384);
    const Case cases[] = {
        {"small.png", png, any, {64, 48}, ""},
        {"fitted.jpg", encoded(red, "JPG"), {32, 32}, {32, 24}, ""},
        {"cut.png", png.left(png.size() - 30), any, {}, "damaged or incomplete"},
        {"empty.jpg", {}, any, {}, "the file is empty"},
        {"drawing.wmf",
         QByteArray("\xd7\xcd\xc6\x9a\0\0", 6) + QByteArray(200, 'w'),
         any,
         {},
         "no picture of a kind"},
        // 12,000 x 11,000 bytes decoded: more than Qt reads by default.
        {"huge.bmp", rleBmp(12000, 11000), any, {12000, 11000}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ketra::DecodedPicture p = ketra::DecodePicture(make(c.name, c.data), c.fit);
        EXPECT_EQ(p.image.size(), c.size.isEmpty() ? QSize(0, 0) : c.size) << qPrintable(p.error);
        if (c.size.isEmpty()) {
            EXPECT_TRUE(p.error.startsWith(QStringLiteral("\"%1\" can't be shown").arg(c.name)))
                << qPrintable(p.error);
            EXPECT_TRUE(p.error.contains(QLatin1String(c.errorHas))) << qPrintable(p.error);
        }
    }
}

} // namespace
