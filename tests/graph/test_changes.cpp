// The changes mode without a window: a tree measured exactly and marked, then changed and
// measured again, read into entries as a load reads them; the colours, the folders gone, the
// order by change; the dates and the legend.
#include "folders/DetailsModel.h"
#include "graph/Changes.h"
#include "graph/DataEntry.h"
#include "graph/FolderEntries.h"
#include "treescan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <map>

using namespace ketra;

namespace {

class ChangesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        qputenv("XDG_CACHE_HOME", m_home.filePath("cache").toUtf8());
        root = m_home.filePath("tree").toUtf8();
        LoadFolderList(root.constData());
        IncludeFolderSize(1);
        SortBy(TREESCAN_SORT_NAME, 1);
    }
    void file(const QString& relative, qint64 bytes) {
        const QString path = m_home.filePath("tree/" + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    }
    // The folder read and measured to its exact sizes, into the entries; the colour of each.
    std::map<QString, std::uint32_t> measure(GraphModel& model) {
        FolderReader reader(m_buffer);
        const std::int32_t n = reader.open(root);
        EXPECT_GE(n, 0);
        reader.measure(1, {});
        while (FolderReader::verifying())
            if (!FolderReader::verifiedNow())
                WaitForProgress(100);
        EXPECT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED);
        FolderReader::sortByTotals();
        model.clear();
        Options changes;
        changes.m_includeFolders = changes.m_showChanges = true;
        AddFolderEntries(model, reader, n, changes, 2);
        std::map<QString, std::uint32_t> colours;
        for (const DataEntry& e : model.entries())
            colours[e.Name] = BarColour(e, changes);
        return colours;
    }

    QTemporaryDir m_home;
    QByteArray root;
    std::array<char, 4096> m_buffer{};
};

} // namespace

TEST_F(ChangesTest, FoldersAreColouredByTheirChangeSinceTheMark) {
    file("grows/a", 100);
    file("grows/deeper/b", 200);
    file("gone/c", 300);
    file("gone/inside/d", 50);
    file("same/e", 5);
    file("top.txt", 10);
    GraphModel model;
    const auto before = measure(model);
    EXPECT_EQ(before.at("grows"), kChangeUnknownColour); // nothing marked yet
    EXPECT_FALSE(FolderReader::changes().known);
    ASSERT_EQ(MarkEarlierState(root.constData()), 6);

    file("grows/deeper/b", 250);
    file("fresh/f", 6);
    ASSERT_TRUE(QDir(m_home.filePath("tree/gone")).removeRecursively());
    const auto after = measure(model);
    const std::map<QString, std::uint32_t> expected = {{"fresh", kChangeNewColour},
                                                       {"grows", kChangeGrownColour},
                                                       {"same", kChangeSameColour},
                                                       {"top.txt", kChangeFileColour}};
    EXPECT_EQ(after, expected);
    const FolderChanges c = FolderReader::changes();
    EXPECT_TRUE(c.known);
    EXPECT_EQ(c.removedCount, 2); // "gone" and "inside"
    EXPECT_EQ(c.removedBytes, 350);
    EXPECT_EQ(model.entry(2).changeBytes(), 50); // "grows": 300 -> 350
    EXPECT_EQ(DetailsChangeText(model.entry(2)), "+50");
    EXPECT_EQ(DetailsChangeText(model.entry(1)), "+6 (new)");
    EXPECT_EQ(DetailsChangeText(model.entry(4)), "");

    // The type colours without the mode; sorted by change: the unchanged, the new by its total,
    // the grown; descending the other way.
    EXPECT_EQ(BarColour(model.entry(2), Options{}), model.entry(2).Colour);
    for (const auto& [ascending, order] :
         {std::pair{1, "same fresh grows top.txt"}, {0, "grows fresh same top.txt"}}) {
        SortBy(TREESCAN_SORT_CHANGE, ascending);
        measure(model);
        QStringList names;
        for (const DataEntry& e : model.entries())
            names << e.Name;
        EXPECT_EQ(names.join(' '), QString::fromLatin1(order));
    }

    // Marked again: everything is unchanged, nothing gone.
    ASSERT_GT(MarkEarlierState(root.constData()), 0);
    SortBy(TREESCAN_SORT_NAME, 1);
    EXPECT_EQ(measure(model).at("grows"), kChangeSameColour);
    EXPECT_EQ(FolderReader::changes().removedCount, 0);
}

TEST(ChangesText, DatesLeaveOutThisYearAndTheLegendSaysWhatIsMissing) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDate today(2026, 12, 7);
    EXPECT_EQ(ShortDateText(QDate(2026, 12, 2), today), "12/2");
    EXPECT_EQ(ShortDateText(QDate(2025, 12, 2), today), "12/2/25");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(ShortDateText(QDate(2026, 12, 2), today), "02.12");

    FolderChanges none;
    EXPECT_EQ(ChangeLegend(none, true, today).front().text,
              "No earlier state: mark one with View > Mark Sizes as Earlier State");
    EXPECT_EQ(ChangeLegend(none, false, today).size(), 1u);
    const FolderChanges gone{true, 0, 3, 1234567};
    EXPECT_EQ(ChangeLegend(gone, true, today).back().text, "3 folders gone (1,234,567 bytes)");
}
