// The colour table: the colour of an item name, and reading and writing the colour file.
#include "colours/ExtColours.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "watchdog.h"

#include <optional>
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

TEST(Getcol, ColourOfANameByItsTypeKey) {
    // "TXT" is typed with capitals and never matches; of the two "c" records the first wins.
    const std::vector<ExtColour> records = {
        {"pdf", 200, 0, 0},      {"gz", 0, 200, 0}, {"bashrc", 0, 0, 200}, {"none", 10, 20, 30},
        {"folder", 255, 255, 0}, {"TXT", 9, 9, 9},  {"c", 255, 0, 0},      {"c", 0, 0, 255},
        {"hot", 300, -5, 128},   {"", 1, 2, 3}};
    const ExtColourTable table(records);
    const ExtColourTable empty, noEmptyKey({{"pdf", 200, 0, 0}});
    struct Case {
        const ExtColourTable* table;
        const char* name;
        std::uint32_t colour;
    } cases[] = {
        {&table, "Report.PDF", 0xFFC80000u},            // the key lower-cased
        {&table, "\xC3\x89T\xC3\x89.PDF", 0xFFC80000u}, // not only ASCII
        {&table, "backup.tar.gz", 0xFF00C800u},         // after the last dot only
        {&table, ".bashrc", 0xFF0000C8u},               // a dot first only
        {&table, "Makefile", 0xFF0A141Eu},              // no dot: "none"
        {&table, "folder", 0xFFFFFF00u},                // the reserved word
        {&table, "Folder", 0xFF0A141Eu},                // not the reserved word: "none"
        {&table, "notes.txt", 0xFFFFFFFFu},             // not "TXT": white
        {&table, "main.c", 0xFFFF0000u},                // the first "c"
        {&table, "odd.hot", 0xFFFF0080u},               // channels clamped to 0..255
        {&table, "trailing.", 0xFF010203u},             // the empty key
        {&table, "archive.unknown", 0xFFFFFFFFu},       // not in the table: white
        {&noEmptyKey, "trailing.", 0xFFFFFFFFu},
        {&empty, "folder", 0xFFFFFFFFu}, // an empty table makes every bar white
        {&empty, "Makefile", 0xFFFFFFFFu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.table->colourFor(QString::fromUtf8(c.name)), c.colour) << c.name;
}

class ColourFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = "ext.txt") const { return dir.filePath(name); }
};

TEST_F(ColourFile, ReadingKeepsOnlyCompleteRecordsAndTellsWhereItStopped) {
    struct Case {
        const char* name;
        Status status;
        int line, declared;
        const char* says;               // part of the message for the user
        std::optional<QByteArray> text; // none: no file at all
        std::vector<ExtColour> records;
    };
    const ExtColour ok{"ok", 1, 2, 3};
    // clang-format off
    std::vector<Case> cases = {
        {"blanks, a byte-order mark, either line ending, keys as written, lines after the records",
         Status::Ok, 0, 2, "2 colour types read",
         "\xEF\xBB\xBF 2 \r\nfolder\r\n 255 \r\n255\r\n\t0\nmy key \n-1\n+2\n 3\n extra\n",
         {{"folder", 255, 255, 0}, {"my key ", -1, 2, 3}}},
        {"count 0", Status::Ok, 0, 0, "0 colour types", " 0 \r\n", {}},
        {"no file", Status::NotFound, 0, 0, "every bar is white", std::nullopt, {}},
        {"empty file", Status::BadCount, 1, 0, "line 1", "", {}},
        // Count 5, three records, then a fourth cut off after its red line.
        {"cut short", Status::Truncated, 16, 5, "3 of 5", "5\na\n1\n2\n3\nb\n4\n5\n6\nc\n7\n8\n9\nd\n10\n",
         {{"a", 1, 2, 3}, {"b", 4, 5, 6}, {"c", 7, 8, 9}}},
        {"a huge count with one record", Status::Truncated, 6, 32767, "line 6", "32767\nok\n1\n2\n3\n", {ok}},
    };
    // clang-format on
    for (const char* count : {"", "-3", "32768", "99999999999999999999", "many", "3.0"})
        cases.push_back({count, Status::BadCount, 1, 0, "line 1", QByteArray(count) + "\nok\n1\n2\n3\n", {}});
    for (const char* bad :
         {"", "abc", "12.5", "  ", "1 2", "32768", "-32769", "99999999999999999999", "0x10"})
        cases.push_back({bad,
                         Status::BadNumber,
                         8,
                         2,
                         "line 8 is not a whole number; 1 of 2",
                         QByteArray("2\nok\n1\n2\n3\nbad\n4\n") + bad + "\n6\n",
                         {ok}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        if (c.text)
            writeFile(path(), *c.text);
        ExtColourTable table{{{"stale", 1, 1, 1}}}; // never left behind
        const ExtColourLoadResult r = ReadExtColourFile(path(), table);
        EXPECT_EQ(r.status, c.status) << r.message().toStdString();
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.declaredCount, c.declared);
        EXPECT_EQ(r.recordsRead, static_cast<int>(c.records.size()));
        EXPECT_EQ(table.records(), c.records);
        EXPECT_TRUE(r.message().contains(QString::fromUtf8(c.says))) << r.message().toStdString();
    }
    // A folder, a named pipe (never waited on) or a file too large to be one can't be read as one.
    QDir().mkpath(path("ext-dir.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("ext-pipe.txt")).constData(), 0600), 0);
    QFile large(path("ext-large.txt"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(3LL << 30));
    Watchdog watchdog("reading a named pipe as the colour file");
    for (const char* name : {"ext-dir.txt", "ext-pipe.txt", "ext-large.txt"}) {
        ExtColourTable table{{{"stale", 1, 1, 1}}};
        const ExtColourLoadResult r = ReadExtColourFile(path(name), table);
        EXPECT_EQ(r.status, Status::Unreadable) << name;
        EXPECT_EQ(table.count(), 0);
        EXPECT_TRUE(r.message().contains(name[4] == 'l' ? "more than the 4 MiB" : "not a regular file"))
            << r.message().toStdString();
    }
}

TEST_F(ColourFile, PerUserCopyWinsOverTheShippedOneEvenWhenBroken) {
    const QString user = path("config/Ketra/ext.txt"), shipped = path("bin/ext.txt");
    writeFile(shipped, "1\nfolder\n1\n1\n1\n");
    ExtColourTable table;
    EXPECT_EQ(LoadExtColours(table, {user, shipped}).path, shipped);
    EXPECT_EQ(table.colourFor("folder"), 0xFF010101u);
    writeFile(user, "1\nfolder\n2\n2\n2\n");
    EXPECT_EQ(LoadExtColours(table, {user, shipped}).path, user);
    EXPECT_EQ(table.colourFor("folder"), 0xFF020202u);
    // A per-user copy that exists is the table, even when it is broken: the fault is reported.
    writeFile(user, "garbage\n");
    const ExtColourLoadResult r = LoadExtColours(table, {user, shipped});
    EXPECT_EQ(r.path, user);
    EXPECT_EQ(r.status, Status::BadCount);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(LoadExtColours(table, {path("none1"), path("none2")}).status, Status::NotFound);

    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(userExtColourPath(), dir.path() + "/Ketra/ext.txt");
    old.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", old);
}

TEST_F(ColourFile, SaveWritesTheFormatReadsBackAndFailsWithoutHarm) {
    const ExtColourTable proposed({{"folder", 255, 255, 0}, {"txt", 0, 0, 255}, {"c", 255, 0, 0}});
    const ExtColourSaveResult s = SaveExtColours(proposed, path("new/sub/ext.txt"));
    ASSERT_TRUE(s.ok) << s.error.toStdString();
    EXPECT_EQ(readFile(path("new/sub/ext.txt")), " 3 \r\nfolder\r\n 255 \r\n 255 \r\n 0 \r\ntxt\r\n 0 \r\n 0 "
                                                 "\r\n 255 \r\nc\r\n 255 \r\n 0 \r\n 0 \r\n");

    const ExtColourTable original({{"", 1, 2, 3},
                                   {"two words", 0, 0, 0},
                                   {QString::fromUtf8("\xC3\xA9t\xC3\xA9"), -7, 300, 255},
                                   {"", 1, 1, 1}});
    ASSERT_TRUE(SaveExtColours(original, path()).ok);
    ExtColourTable back;
    EXPECT_EQ(ReadExtColourFile(path(), back).status, Status::Ok);
    EXPECT_EQ(back.records(), original.records());

    // A key with a line break can't be stored, and a folder can't be made where a file stands:
    // nothing is written, the old file stays.
    const QByteArray before = readFile(path());
    writeFile(path("blocker"), "x");
    for (const auto& [key, file] : {std::pair("a\nb", path()), std::pair("a", path("blocker/ext.txt"))}) {
        const ExtColourSaveResult failed = SaveExtColours(ExtColourTable({{key, 1, 2, 3}}), file);
        EXPECT_FALSE(failed.ok) << file.toStdString();
        EXPECT_FALSE(failed.error.isEmpty());
    }
    EXPECT_EQ(readFile(path()), before);
}

TEST(ShippedColours, IsCompleteAndWellFormed) {
    ExtColourTable table;
    const ExtColourLoadResult r = ReadExtColourFile(QStringLiteral(KETRA_SHIPPED_EXT_TXT), table);
    ASSERT_EQ(r.status, Status::Ok) << r.message().toStdString();
    std::set<QString> keys;
    for (const ExtColour& c : table.records()) {
        EXPECT_TRUE(keys.insert(c.Ext).second) << "duplicate " << c.Ext.toStdString();
        EXPECT_EQ(c.Ext, c.Ext.toLower()) << "never matches: " << c.Ext.toStdString();
        EXPECT_FALSE(c.Ext.isEmpty());
        for (int ch : {c.Red, c.Green, c.Blue})
            EXPECT_TRUE(ch >= 0 && ch <= 255) << c.Ext.toStdString();
    }
    for (const char* key : {"folder", "none", "pdf", "png", "mp3", "mp4", "zip", "cpp", "py", "txt", "exe"})
        EXPECT_TRUE(keys.count(QString::fromLatin1(key))) << key;
    EXPECT_NE(table.colourFor("folder"), 0xFFFFFFFFu); // folders and unknown files don't look unlisted
    EXPECT_NE(table.colourFor("README"), 0xFFFFFFFFu);
}

} // namespace
