// Reading folders through the real scanner, on trees made in a temporary folder.
#include "folders/FolderReader.h"
#include "treescan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ketra::FolderItem;
using ketra::FolderReader;

class Reader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        IncludeHidden(0);
        IncludeSystem(0);
        IncludeFolderSize(0);
        SortBy(TREESCAN_SORT_NAME, 1);
    }

    QString file(const QString& relative, qint64 bytes) {
        const QString path = home.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
        return path;
    }

    QTemporaryDir home;
    std::array<char, 4096> buffer{};
    FolderReader reader{buffer};
};

TEST_F(Reader, ItemsComeWithNamesTimesAttributesAndSizes) {
    file("a.txt", 10);
    file("B.pdf", 20);
    file(".hidden", 5);
    file("sub/x", 100);
    file("sub/deep/y", 1000);
    ASSERT_EQ(reader.open(QFile::encodeName(home.path())), 3);
    const std::pair<const char*, double> expected[] = {{"sub", 0}, {"a.txt", 10}, {"B.pdf", 20}};
    for (std::int32_t i = 0; i < 3; ++i) {
        const FolderItem got = reader.item(i);
        EXPECT_EQ(got.name, QString::fromLatin1(expected[i].first));
        EXPECT_EQ((got.attributes & TREESCAN_FOLDER) != 0, i == 0) << i;
        EXPECT_EQ(i == 0 ? 0 : got.size, expected[i].second) << i;
        EXPECT_EQ(got.modified.size(), 19) << qPrintable(got.modified); // YYYY-MM-DD HH:MM:SS
    }

    // Measured, a folder's size is everything below it; the totals count hidden files too.
    IncludeFolderSize(1);
    ASSERT_EQ(reader.open(QFile::encodeName(home.path())), 3);
    QStringList progress;
    EXPECT_TRUE(reader.measure(100, [&](const QString& folder) {
        if (!folder.isEmpty())
            progress << folder;
        return true;
    }));
    EXPECT_EQ(reader.item(0).size, 1100);
    EXPECT_EQ(FolderReader::totalFileCount(), 5);
    EXPECT_EQ(FolderReader::totalFolderCount(), 2);
    EXPECT_TRUE(progress.contains(home.filePath("sub"))) << qPrintable(progress.join(' '));

    // A folder that can't be read gives -1, and the next folder opens.
    EXPECT_EQ(reader.open(QFile::encodeName(home.filePath("no/such/folder"))), -1);
    EXPECT_EQ(reader.open(QFile::encodeName(home.filePath("a.txt"))), -1);
    EXPECT_EQ(reader.open(QFile::encodeName(home.filePath("sub"))), 2);
}

// Progress names the folder measured in at most `fit` bytes (the end kept); returning false stops
// the pass, and the next one is whole.
TEST_F(Reader, MeasuringReportsProgressAndStops) {
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 20; ++j)
            file(QStringLiteral("d%1/e%2/f").arg(i).arg(j), 1);
    IncludeFolderSize(1);
    ASSERT_EQ(reader.open(QFile::encodeName(home.path())), 30);
    int calls = 0;
    QString named;
    EXPECT_FALSE(reader.measure(12, [&](const QString& folder) {
        if (!folder.isEmpty())
            named = folder;
        return ++calls < 3 || named.isEmpty();
    }));
    ASSERT_FALSE(named.isEmpty());
    EXPECT_LE(named.toUtf8().size(), 12);
    EXPECT_TRUE(named.startsWith(QLatin1String("..."))) << qPrintable(named);

    ASSERT_EQ(reader.open(QFile::encodeName(home.path())), 30);
    EXPECT_TRUE(reader.measure(12, {}));
    EXPECT_EQ(FolderReader::totalFolderCount(), 30 * 21);
    EXPECT_EQ(reader.item(29).size, 20);
}

// A folder that can't be read says why, in the system's words. Root reads every folder, so as
// root the test runs itself again as an ordinary user (nobody) to see what a user sees.
TEST_F(Reader, AFolderThatCannotBeReadSaysWhy) {
    QByteArray locked = qgetenv("KETRA_LOCKED_FOLDER");
    if (locked.isEmpty()) {
        file("locked/inner", 1);
        locked = QFile::encodeName(home.filePath("locked"));
        ASSERT_EQ(::chmod(locked.constData(), 0), 0);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
            std::array<char, 4096> self{};
            ASSERT_GT(::readlink("/proc/self/exe", self.data(), self.size() - 1), 0);
            const std::string filter = "--gtest_filter=Reader.AFolderThatCannotBeReadSaysWhy";
            const pid_t child = ::fork();
            if (child == 0) {
                ::setenv("KETRA_LOCKED_FOLDER", locked.constData(), 1);
                ::execlp("setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                         self.data(), filter.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
                GTEST_SKIP() << "setpriv is not there";
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "as nobody: " << status;
            return;
        }
    }
    EXPECT_EQ(reader.open(locked), -1);
    EXPECT_EQ(reader.error(), EACCES);
    EXPECT_EQ(
        ketra::FolderErrorText(locked, reader.error()),
        QStringLiteral("Folder \"%1\" can't be read: Permission denied").arg(QFile::decodeName(locked)));
    EXPECT_EQ(reader.open(locked.left(locked.lastIndexOf('/')) + "/gone"), -1);
    EXPECT_EQ(ketra::FolderErrorText("/x\xff", reader.error()),
              QStringLiteral("Folder \"/x\uFFFD\" not found"));
}

} // namespace
