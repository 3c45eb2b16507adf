// The colour table: the colour of an item name, and reading and writing the colour file.
#include "colours/ExtColours.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

using Status = ExtColourLoadResult::Status;

QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// ---- getcol ----

struct KeyCase {
    const char* name;
    std::uint32_t colour;
};

class GetcolKeys : public ::testing::TestWithParam<KeyCase> {};

const ExtColourTable& sampleTable() {
    static const ExtColourTable table({
        {"pdf", 200, 0, 0},
        {"tar", 1, 2, 3},
        {"gz", 0, 200, 0},
        {"bashrc", 0, 0, 200},
        {"none", 10, 20, 30},
        {"folder", 255, 255, 0},
        {"TXT", 9, 9, 9}, // typed with capitals: never matches
        {"c", 255, 0, 0},
        {"c", 0, 0, 255}, // a second record of the same key: the first wins
        {"hot", 300, -5, 128},
    });
    return table;
}

TEST_P(GetcolKeys, ColourOfName) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(sampleTable().colourFor(QString::fromUtf8(c.name)), c.colour) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Names, GetcolKeys,
                         ::testing::Values(KeyCase{"Report.PDF", 0xFFC80000u},    // key lower-cased
                                           KeyCase{"backup.tar.gz", 0xFF00C800u}, // after the last dot only
                                           KeyCase{".bashrc", 0xFF0000C8u},       // only dot first
                                           KeyCase{"Makefile", 0xFF0A141Eu},      // no dot: "none"
                                           KeyCase{"trailing.",
                                                   0xFFFFFFFFu}, // empty key, not in the table: white
                                           KeyCase{"folder", 0xFFFFFF00u},    // the reserved word
                                           KeyCase{"Folder", 0xFF0A141Eu},    // not the reserved word: "none"
                                           KeyCase{"notes.txt", 0xFFFFFFFFu}, // table key "TXT" never matches
                                           KeyCase{"main.c", 0xFFFF0000u},    // first of two "c" records
                                           KeyCase{"odd.hot", 0xFFFF0080u},   // channels clamped to 0..255
                                           KeyCase{"archive.unknown", 0xFFFFFFFFu}, // not in the table: white
                                           KeyCase{"\xC3\x89T\xC3\x89.PDF", 0xFFC80000u}));

TEST(Getcol, EmptyTableMakesEveryBarWhite) {
    const ExtColourTable empty;
    for (const char* name : {"folder", "a.txt", "Makefile", "x."})
        EXPECT_EQ(empty.colourFor(QString::fromLatin1(name)), 0xFFFFFFFFu) << name;
}

TEST(Getcol, EmptyKeyRecordMatchesNamesEndingInDot) {
    const ExtColourTable table({{"", 1, 2, 3}});
    EXPECT_EQ(table.colourFor("trailing."), 0xFF010203u);
    EXPECT_EQ(table.colourFor("plain"), 0xFFFFFFFFu);
}

// ---- reading the colour file ----

class ColourFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = "ext.txt") const { return dir.filePath(name); }
    // A table that a failed read must not leave behind.
    ExtColourTable table{{{"stale", 1, 1, 1}}};
};

TEST_F(ColourFile, ReadsNumbersWithOrWithoutBlanksAndEitherLineEnding) {
    writeFile(
        path(),
        "\xEF\xBB\xBF 2 \r\nfolder\r\n 255 \r\n255\r\n\t0\nmy key \n-1\n+2\n 3\n extra lines are ignored\n");
    const ExtColourLoadResult r = ReadExtColourFile(path(), table);
    EXPECT_EQ(r.status, Status::Ok) << r.message().toStdString();
    ASSERT_EQ(table.count(), 2);
    EXPECT_EQ(table.record(1), (ExtColour{"folder", 255, 255, 0}));
    EXPECT_EQ(table.record(2), (ExtColour{"my key ", -1, 2, 3})); // keys are not trimmed
}

TEST_F(ColourFile, MissingFileGivesAnEmptyTable) {
    const ExtColourLoadResult r = ReadExtColourFile(path("absent.txt"), table);
    EXPECT_EQ(r.status, Status::NotFound);
    EXPECT_EQ(table.count(), 0);
}

TEST_F(ColourFile, ShortFileKeepsTheCompleteRecords) {
    // Count 5, three records, then a fourth cut off after its red line.
    writeFile(path(), "5\na\n1\n2\n3\nb\n4\n5\n6\nc\n7\n8\n9\nd\n10\n");
    const ExtColourLoadResult r = ReadExtColourFile(path(), table);
    EXPECT_EQ(r.status, Status::Truncated);
    EXPECT_EQ(r.line, 16);
    EXPECT_EQ(r.declaredCount, 5);
    EXPECT_EQ(r.recordsRead, 3);
    ASSERT_EQ(table.count(), 3);
    EXPECT_EQ(table.record(3), (ExtColour{"c", 7, 8, 9}));
    // No half-read record: "d" is not in the table, and neither is an empty-key filler.
    EXPECT_EQ(table.find("d"), 0);
    EXPECT_EQ(table.find(""), 0);
    EXPECT_EQ(table.colourFor("trailing."), 0xFFFFFFFFu);
    EXPECT_TRUE(r.message().contains("3 of 5"));
}

TEST_F(ColourFile, BadNumbersStopAtTheirLine) {
    for (const char* bad :
         {"abc", "12.5", "", "  ", "1 2", "32768", "-32769", "99999999999999999999", "0x10"}) {
        const QByteArray text = QByteArray("2\nok\n1\n2\n3\nbad\n4\n") + bad + "\n6\n";
        writeFile(path(), text);
        ExtColourTable t{{{"stale", 1, 1, 1}}};
        const ExtColourLoadResult r = ReadExtColourFile(path(), t);
        EXPECT_EQ(r.status, Status::BadNumber) << bad;
        EXPECT_EQ(r.line, 8) << bad;
        ASSERT_EQ(t.count(), 1) << bad;
        EXPECT_EQ(t.record(1), (ExtColour{"ok", 1, 2, 3})) << bad;
    }
}

TEST_F(ColourFile, UnusableCountGivesAnEmptyTable) {
    for (const char* first : {"-3", "40000", "99999999999999999999", "many", "", "3.0"}) {
        writeFile(path(), QByteArray(first) + "\nfolder\n1\n2\n3\n");
        ExtColourTable t{{{"stale", 1, 1, 1}}};
        const ExtColourLoadResult r = ReadExtColourFile(path(), t);
        EXPECT_EQ(r.status, Status::BadCount) << first;
        EXPECT_EQ(r.line, 1) << first;
        EXPECT_EQ(t.count(), 0) << first;
    }
    writeFile(path(), ""); // an empty file has no count line
    EXPECT_EQ(ReadExtColourFile(path(), table).status, Status::BadCount);
    EXPECT_EQ(table.count(), 0);
}

TEST_F(ColourFile, HugeCountWithFewRecordsIsTruncatedNotAllocated) {
    writeFile(path(), "32767\nfolder\n1\n2\n3\n");
    const ExtColourLoadResult r = ReadExtColourFile(path(), table);
    EXPECT_EQ(r.status, Status::Truncated);
    EXPECT_EQ(r.declaredCount, 32767);
    EXPECT_EQ(table.count(), 1);
}

TEST_F(ColourFile, ZeroCountIsAnEmptyTableAndOk) {
    writeFile(path(), " 0 \r\n");
    EXPECT_EQ(ReadExtColourFile(path(), table).status, Status::Ok);
    EXPECT_EQ(table.count(), 0);
}

TEST_F(ColourFile, UnreadableFileGivesAnEmptyTable) {
    // A folder where the file should be exists but can't be read as a file.
    QDir().mkpath(path("ext-dir.txt"));
    EXPECT_EQ(ReadExtColourFile(path("ext-dir.txt"), table).status, Status::Unreadable);
    EXPECT_EQ(table.count(), 0);
}

TEST_F(ColourFile, PerUserCopyWinsOverTheShippedOne) {
    const QString user = path("config/Ketra/ext.txt");
    const QString shipped = path("bin/ext.txt");
    writeFile(shipped, "1\nfolder\n1\n1\n1\n");

    ExtColourLoadResult r = LoadExtColours(table, {user, shipped});
    EXPECT_EQ(r.path, shipped);
    EXPECT_EQ(table.colourFor("folder"), 0xFF010101u);

    writeFile(user, "1\nfolder\n2\n2\n2\n");
    r = LoadExtColours(table, {user, shipped});
    EXPECT_EQ(r.path, user);
    EXPECT_EQ(table.colourFor("folder"), 0xFF020202u);

    // A per-user copy that exists is the table, even when it is broken: the fault is reported.
    writeFile(user, "garbage\n");
    r = LoadExtColours(table, {user, shipped});
    EXPECT_EQ(r.path, user);
    EXPECT_EQ(r.status, Status::BadCount);
    EXPECT_EQ(table.count(), 0);

    r = LoadExtColours(table, {path("none1"), path("none2")});
    EXPECT_EQ(r.status, Status::NotFound);
}

TEST_F(ColourFile, UserPathFollowsTheConfigFolder) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(userExtColourPath(), dir.path() + "/Ketra/ext.txt");
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
}

// ---- writing it ----

TEST_F(ColourFile, SaveWritesTheDocumentedFormat) {
    const ExtColourTable proposed({{"folder", 255, 255, 0}, {"txt", 0, 0, 255}, {"c", 255, 0, 0}});
    const ExtColourSaveResult s = SaveExtColours(proposed, path("new/sub/ext.txt"));
    ASSERT_TRUE(s.ok) << s.error.toStdString();
    EXPECT_EQ(readFile(path("new/sub/ext.txt")), " 3 \r\nfolder\r\n 255 \r\n 255 \r\n 0 \r\ntxt\r\n 0 \r\n 0 "
                                                 "\r\n 255 \r\nc\r\n 255 \r\n 0 \r\n 0 \r\n");
}

TEST_F(ColourFile, SaveRoundTrip) {
    const ExtColourTable original({{"folder", 240, 190, 60},
                                   {"", 1, 2, 3},
                                   {"two words", 0, 0, 0},
                                   {QString::fromUtf8("\xC3\xA9t\xC3\xA9"), 10, 20, 30},
                                   {"neg", -7, 300, 255},
                                   {"c", 1, 1, 1},
                                   {"c", 2, 2, 2}});
    ASSERT_TRUE(SaveExtColours(original, path()).ok);
    ExtColourTable back;
    EXPECT_EQ(ReadExtColourFile(path(), back).status, Status::Ok);
    EXPECT_EQ(back.records(), original.records());

    // Saving again over the file replaces it entirely.
    ASSERT_TRUE(SaveExtColours(ExtColourTable({{"x", 1, 2, 3}}), path()).ok);
    EXPECT_EQ(ReadExtColourFile(path(), back).status, Status::Ok);
    EXPECT_EQ(back.count(), 1);
}

TEST_F(ColourFile, FailedSaveLeavesTheOldFile) {
    writeFile(path(), "1\nfolder\n1\n1\n1\n");
    const QByteArray before = readFile(path());

    // A key with a line break can't be stored: nothing is written.
    ExtColourSaveResult s = SaveExtColours(ExtColourTable({{"a\nb", 1, 2, 3}}), path());
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(s.error.isEmpty());
    EXPECT_EQ(readFile(path()), before);

    // A folder that can't be made (a file stands in its way).
    writeFile(path("blocker"), "x");
    s = SaveExtColours(ExtColourTable({{"a", 1, 2, 3}}), path("blocker/ext.txt"));
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(s.error.isEmpty());
}

// ---- the shipped table ----

TEST(ShippedColours, IsCompleteAndWellFormed) {
    ExtColourTable table;
    const ExtColourLoadResult r = ReadExtColourFile(QStringLiteral(KETRA_SHIPPED_EXT_TXT), table);
    ASSERT_EQ(r.status, Status::Ok) << r.message().toStdString();
    EXPECT_GE(table.count(), 40);
    std::set<QString> keys;
    for (const ExtColour& c : table.records()) {
        EXPECT_TRUE(keys.insert(c.Ext).second) << "duplicate " << c.Ext.toStdString();
        EXPECT_EQ(c.Ext, c.Ext.toLower()) << "never matches: " << c.Ext.toStdString();
        EXPECT_FALSE(c.Ext.isEmpty());
        for (int ch : {c.Red, c.Green, c.Blue}) {
            EXPECT_GE(ch, 0) << c.Ext.toStdString();
            EXPECT_LE(ch, 255) << c.Ext.toStdString();
        }
    }
    for (const char* key :
         {"folder", "none", "pdf", "png", "mp3", "mp4", "zip", "cpp", "py", "txt", "cmake", "exe"})
        EXPECT_TRUE(keys.count(QString::fromLatin1(key))) << key;
    // Folders and unknown files don't look like white (unlisted) types.
    EXPECT_NE(table.colourFor("folder"), 0xFFFFFFFFu);
    EXPECT_NE(table.colourFor("README"), 0xFFFFFFFFu);
}

} // namespace
