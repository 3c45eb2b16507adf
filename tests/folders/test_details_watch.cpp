// The details list's rows, an item's path, and the folder watch with its pacing.
#include "folders/DetailsModel.h"
#include "folders/FolderWatch.h"
#include "folders/ItemPath.h"

#include <QBrush>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// An item with more beside it, as the view's entries are: the list reads the item part of each.
struct DataEntry : ketra::ItemRecord {
    double viewState[5] = {};
};

DataEntry entry(const char* name, double size, bool folder) {
    DataEntry e;
    e.Name = QString::fromUtf8(name);
    e.NameBytes = name;
    e.Size = size;
    e.Attributes = folder ? ketra::kFolderAttribute : 32;
    e.Modified = QStringLiteral("2024-01-02 03:04:05");
    return e;
}

TEST(DetailsModel, RowsShowNameSizeAndModifiedWithFoldersBlue) {
    const std::vector<DataEntry> entries = {entry("docs", 5120, true), entry("empty.txt", 0, false),
                                            entry("big.iso", 1234567890, false), entry("odd", -3, false)};
    struct Case {
        bool includeFolders;
        const char* sizes[4];
    };
    constexpr Case cases[] = {{false, {"folder", "0", "1,234,567,890", "0"}},
                              {true, {"5,120", "0", "1,234,567,890", "0"}}};
    ketra::DetailsModel model;
    for (const Case& c : cases) {
        model.setEntries(&entries, c.includeFolders);
        ASSERT_EQ(model.rowCount(), 4);
        for (int row = 0; row < 4; ++row) {
            SCOPED_TRACE(row);
            const auto& e = entries[static_cast<std::size_t>(row)];
            EXPECT_EQ(model.data(model.index(row, 0)).toString(), e.Name);
            EXPECT_EQ(model.data(model.index(row, 1)).toString(), QString::fromLatin1(c.sizes[row]));
            EXPECT_EQ(model.data(model.index(row, 2)).toString(), e.Modified);
            const QVariant colour = model.data(model.index(row, 0), Qt::ForegroundRole);
            EXPECT_EQ(colour.isValid(), e.isFolder());
            if (e.isFolder()) {
                EXPECT_EQ(colour.value<QBrush>().color(), QColor(0, 0, 250));
            }
        }
    }
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"Filename", "Size", "Modified", "Change"}));
    model.setEntries(nullptr, false);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ItemPath, EntriesLieInTheFolderShown) {
    const std::vector<DataEntry> entries = {entry("a.txt", 1, false), entry("sub", 0, true)};
    struct Case {
        int selected;
        const char* folder;
        const char* path;
    };
    constexpr Case cases[] = {
        {1, "/data", "/data/a.txt"},
        {2, "/data/", "/data/sub"},
        {1, "/", "/a.txt"},
        {0, "/data", ""},
        {3, "/data", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ketra::ItemPath(entries, c.selected, c.folder), c.path) << c.selected;
}

TEST(ReloadPacer, WaitsForQuietButNotLongAndKeepsAGapBetweenReloads) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> changes;
        std::int64_t reloadedAt; // -1: none before the changes
        std::int64_t due;
    };
    const Case cases[] = {
        {"one change", {0}, -1, 250},
        {"a short burst", {0, 100, 200}, -1, 450},
        {"changes all the time", {0, 200, 400, 600, 800, 950}, -1, 1000},
        {"soon after a reload", {5000}, 4000, 7000},
        {"long after a reload", {9000}, 4000, 9250},
    };
    for (const Case& c : cases) {
        ketra::ReloadPacer pacer; // quiet 250, at most 1000 after the first, 3000 between reloads
        if (c.reloadedAt >= 0)
            pacer.reloaded(c.reloadedAt);
        std::int64_t due = 0;
        for (std::int64_t t : c.changes)
            due = pacer.changed(t);
        EXPECT_EQ(due, c.due) << c.what;
        EXPECT_TRUE(pacer.pending()) << c.what;
    }
    // A folder about to be read afresh has nothing pending; a change during a reload stays pending.
    ketra::ReloadPacer pacer;
    pacer.changed(0);
    pacer.clear();
    EXPECT_FALSE(pacer.pending());
    pacer.changed(10);
    pacer.reloaded(20);
    EXPECT_TRUE(pacer.pending());
    EXPECT_EQ(pacer.due(), 3020);
}

class FolderWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(QStringLiteral("shown"));
        ASSERT_TRUE(QDir().mkpath(folder));
        watch = std::make_unique<ketra::FolderWatch>(
            [this] {
                ++asked;
                if (busy)
                    return false;
                ++reloads;
                goneSeen += watch->gone();
                watch->watch(QFile::encodeName(folder)); // a reload reads the folder afresh
                return true;
            },
            ketra::ReloadTiming{50, 200, 400});
        watch->watch(QFile::encodeName(folder));
    }

    // Runs the event loop until `done` holds (false after 10 s) or, without `done`, for `ms`.
    bool spin(const std::function<bool()>& done, int ms = 10000) {
        for (int waited = 0; waited < ms; waited += 5) {
            QCoreApplication::processEvents();
            if (done && done())
                return true;
            QThread::msleep(5);
        }
        return !done;
    }

    void make(const QString& name, const QByteArray& data = {},
              QIODevice::OpenMode mode = QIODevice::WriteOnly) {
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(mode));
        f.write(data);
    }

    int argc = 1;
    char name[14] = "folders_tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    QString folder;
    int asked = 0, reloads = 0, goneSeen = 0;
    bool busy = false;
    std::unique_ptr<ketra::FolderWatch> watch;
};

TEST_F(FolderWatchTest, ChangesOnDiskGiveOnePacedReloadEach) {
    // A file made by another program.
    ASSERT_EQ(QProcess::execute(QStringLiteral("touch"), {folder + QStringLiteral("/other")}), 0);
    ASSERT_TRUE(spin([&] { return reloads == 1; }));

    // A burst of 1,000 files (an archive unpacking) gives one reload.
    for (int i = 0; i < 1000; ++i)
        make(QStringLiteral("f%1").arg(i));
    ASSERT_TRUE(spin([&] { return reloads == 2; }));
    spin({}, 700); // longer than the gap between reloads
    EXPECT_EQ(reloads, 2);
    EXPECT_FALSE(watch->pending());

    // A file that grows, and a rename.
    make(QStringLiteral("f1"), "more", QIODevice::Append);
    ASSERT_TRUE(spin([&] { return reloads == 3; }));
    ASSERT_TRUE(QFile::rename(folder + QStringLiteral("/f2"), folder + QStringLiteral("/g2")));
    ASSERT_TRUE(spin([&] { return reloads == 4; }));

    // Changes made before the folder is read afresh are in what is read: no reload for them.
    make(QStringLiteral("seen"));
    watch->watch(QFile::encodeName(folder));
    spin({}, 700);
    EXPECT_EQ(reloads, 4);

    // A reload that can't be done now is asked for again.
    busy = true;
    make(QStringLiteral("later"));
    ASSERT_TRUE(spin([&] { return asked >= 7; }));
    EXPECT_EQ(reloads, 4);
    busy = false;
    ASSERT_TRUE(spin([&] { return reloads == 5; }));

    // A folder replaced by another of its name asks for one reload, as gone; the watch then
    // follows the new one.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(spin([&] { return reloads == 6; }));
    EXPECT_EQ(goneSeen, 1);
    make(QStringLiteral("in-the-new-one"));
    ASSERT_TRUE(spin([&] { return reloads == 7; }));
    EXPECT_EQ(goneSeen, 1);

    // One that goes for good asks once more, and is watched no more.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(spin([&] { return reloads == 8; }));
    EXPECT_EQ(goneSeen, 2);
    EXPECT_TRUE(watch->folder().isEmpty());
    spin({}, 700);
    EXPECT_EQ(reloads, 8);
}

} // namespace
