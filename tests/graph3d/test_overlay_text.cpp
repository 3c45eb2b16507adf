// The texts of the 3D view: hover text, statistics, key help, labels and the hover position.
#include "graph/OverlayText.h"

#include <gtest/gtest.h>

using namespace ketra;

TEST(OverlayText, HoverTextOfFilesAndFolders) {
    const struct {
        const char* name;
        bool folder;
        double size;
        bool includeFolders;
        const char* text;
    } cases[] = {
        {"a.bin", false, 1234567, false, "a.bin (1,234,567 bytes)"},
        {"one", false, 1, false, "one (1 byte)"},
        {"empty", false, 0, false, "empty (0 bytes)"},
        {"half", false, 0.5, false, "half (0 bytes)"},
        {"odd", false, 1.5, false, "odd (2 bytes)"},
        {"docs", true, 500, false, "docs"},
        {"docs", true, 4096, true, "docs (4,096 bytes)"},
        {"notes (old).txt", false, 120, false, "notes (old).txt (120 bytes)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HoverText(QString::fromLatin1(c.name), c.folder, c.size, c.includeFolders),
                  QString::fromLatin1(c.text));
}

TEST(OverlayText, HoverPositionIsAboveLeftOfTheMouseAndNeverNegative) {
    const struct {
        float x, y;
        QPoint at;
    } cases[] = {
        {100, 100, {80, 70}}, {20.5f, 30.5f, {0, 0}}, {21.5f, 31.5f, {2, 2}}, // halves go to even
        {5, 200, {1, 170}},   {300, 10, {280, 1}},    {19.4f, 29.6f, {1, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HoverTextPosition(c.x, c.y), c.at) << c.x << ", " << c.y;
}

TEST(OverlayText, StatisticsLines) {
    EXPECT_EQ(StatisticsLines(0, 0, 0, false, 7, 8),
              (QStringList{"Size: 0 bytes", "Files: 0", "Folders: 0"}));
    EXPECT_EQ(StatisticsLines(1234567, 12, 3, true, 70000, 123),
              (QStringList{"Size: 1,234,567 bytes", "Files: 12", "Folders: 3", "Total File Count: 70000",
                           "Total Folder Count: 123"}));
    // Counts beyond 16 bits are shown as they are.
    EXPECT_EQ(StatisticsLines(0, 100000, 40000, false, 0, 0).at(1), QStringLiteral("Files: 100000"));
}

TEST(OverlayText, KeyHelpNamesWhatFDoes) {
    const QStringList off = KeyHelpLines(false);
    const QStringList on = KeyHelpLines(true);
    ASSERT_EQ(off.size(), 12);
    ASSERT_EQ(on.size(), 12);
    EXPECT_EQ(off.first(), QStringLiteral("Right: right arrow"));
    EXPECT_EQ(off.last(), QStringLiteral("Include Folder size: F"));
    EXPECT_EQ(on.last(), QStringLiteral("No Folder size: F"));
    EXPECT_EQ(off.mid(0, 11), on.mid(0, 11));
}

TEST(OverlayText, LabelsAreCutAfterTwelveCharacters) {
    EXPECT_EQ(LabelText(QString()), QString());
    EXPECT_EQ(LabelText(QStringLiteral("a")), QStringLiteral("a"));
    EXPECT_EQ(LabelText(QStringLiteral("twelve_chars")), QStringLiteral("twelve_chars"));
    EXPECT_EQ(LabelText(QStringLiteral("thirteen_char")), QStringLiteral("thirtee..."));
    // Characters, not bytes: a name of twelve accented letters stays whole.
    EXPECT_EQ(LabelText(QString::fromUtf8("éééééééééééé")), QString::fromUtf8("éééééééééééé"));
}
