// The grid of a folder load and the bar layout: rows and columns, positions, heights, base plate.
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

namespace {

using ketra::BasePlateSize;
using ketra::FolderEntryBuilder;
using ketra::GraphModel;
using ketra::GridCursor;
using ketra::kFolderAttribute;

constexpr std::int32_t kFile = 32; // archive bit: a regular file

// ---- the grid of a load ----

TEST(GridCursor, SideOfTheGrid) {
    const std::pair<std::int64_t, int> cases[] = {{0, -1}, {1, 0},  {2, 0},  {3, 1},        {4, 1},
                                                  {9, 2},  {10, 2}, {12, 2}, {13, 3},       {16, 3},
                                                  {20, 3}, {21, 4}, {25, 4}, {100000, 315}, {70000, 264}};
    for (const auto& [n, side] : cases)
        EXPECT_EQ(GridCursor::sideFor(n), side) << n << " items";
}

// The (row, column) of every item of a load of n items.
std::vector<std::pair<int, int>> cells(int n) {
    GridCursor grid(n);
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < n; ++i) {
        grid.advance();
        out.emplace_back(grid.row() - 1, grid.column());
    }
    return out;
}

TEST(GridCursor, TenItemsFillFourRowsOfThree) {
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1},
                                                       {1, 2}, {2, 0}, {2, 1}, {2, 2}, {3, 0}};
    EXPECT_EQ(cells(10), expected);
}

TEST(GridCursor, SixteenItemsMakeAFourByFourSquare) {
    const auto c = cells(16);
    std::set<std::pair<int, int>> distinct(c.begin(), c.end());
    EXPECT_EQ(distinct.size(), 16u);
    for (const auto& [row, column] : c) {
        EXPECT_GE(row, 0);
        EXPECT_LE(row, 3);
        EXPECT_GE(column, 0);
        EXPECT_LE(column, 3);
    }
}

TEST(GridCursor, OneItemSitsAtTheFirstCell) {
    EXPECT_EQ(cells(1), (std::vector<std::pair<int, int>>{{0, 0}}));
}

// ---- the entries of a load ----

class FolderLoad : public ::testing::Test {
protected:
    GraphModel model;
    ExtColourTable colours{{{"folder", 255, 255, 0}, {"txt", 0, 0, 255}}};
};

TEST_F(FolderLoad, EmptyFolderAddsNothing) {
    FolderEntryBuilder load(model, colours, 0, false, false, 2);
    EXPECT_EQ(load.grid().side(), -1);
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(load.statistics().fileCount, 0);
    EXPECT_EQ(load.statistics().folderCount, 0);
    EXPECT_EQ(load.statistics().totalBytes, 0);
    EXPECT_FALSE(model.ScaleEntries(false));
}

TEST_F(FolderLoad, FoldersStandAs500BytesWithoutFolderSizes) {
    FolderEntryBuilder load(model, colours, 3, false, false, 2);
    load.addItem("sub", kFolderAttribute, 123456789, "2024-01-02 03:04:05");
    load.addItem("a.txt", kFile, 500, "2024-01-02 03:04:06");
    load.addItem("b.bin", kFile, 250, "t");
    ASSERT_EQ(model.count(), 3);
    const ketra::DataEntry& folder = model.entry(1);
    EXPECT_EQ(folder.Value, 500);
    EXPECT_EQ(folder.Size, 500);
    EXPECT_EQ(folder.Colour, 0xFFFFFF00u);
    EXPECT_EQ(folder.Attributes, kFolderAttribute);
    EXPECT_EQ(folder.Modified, "2024-01-02 03:04:05");
    EXPECT_EQ(folder.Level, 2);
    EXPECT_EQ(model.entry(2).Colour, 0xFF0000FFu);
    EXPECT_EQ(model.entry(3).Colour, 0xFFFFFFFFu);
    EXPECT_EQ(load.statistics().totalBytes, 750); // the folder's 500 is not counted
    EXPECT_EQ(load.statistics().fileCount, 2);
    EXPECT_EQ(load.statistics().folderCount, 1);

    model.ScaleEntries(false);
    EXPECT_FLOAT_EQ(model.entry(1).Height, model.entry(2).Height); // as tall as a 500-byte file
    EXPECT_FLOAT_EQ(model.entry(1).Height, 6.0f);
    EXPECT_FLOAT_EQ(model.entry(3).Height, 3.0f);
}

TEST_F(FolderLoad, FolderSizesCountTowardsTheTotal) {
    FolderEntryBuilder load(model, colours, 2, true, false, 3);
    load.addItem("sub", kFolderAttribute | 1024, 4000, "");
    load.addItem("a.txt", kFile, 1000, "");
    EXPECT_EQ(model.entry(1).Value, 4000);
    EXPECT_EQ(model.entry(1).Level, 3);
    EXPECT_EQ(load.statistics().totalBytes, 5000);
}

TEST_F(FolderLoad, TreeViewRootComesFirst) {
    FolderEntryBuilder load(model, colours, 1, false, false, 2);
    load.addFolderItself("/home/user");
    load.addItem("a.txt", kFile, 10, "");
    ASSERT_EQ(model.count(), 2);
    const ketra::DataEntry& root = model.entry(1);
    EXPECT_EQ(root.Name, "/home/user");
    EXPECT_EQ(root.Level, 1);
    EXPECT_EQ(root.Row, 1);
    EXPECT_EQ(root.Column, 1);
    EXPECT_EQ(root.Size, 100);
    EXPECT_EQ(root.Modified, "100");
    EXPECT_TRUE(root.isFolder());
    EXPECT_EQ(model.entry(2).Row, 0); // the items keep their own grid
    EXPECT_EQ(load.statistics().folderCount, 0);
}

// ---- AddEntry and ScaleEntries ----

TEST(AddEntry, LogScaleStoresTheLogarithmOfPositiveValues) {
    GraphModel m;
    for (double v : {1.0, 0.0, 500.0, -3.0, 1e12})
        m.AddEntry("x", 0, v, 0, v, 0, kFile, "", 2, true);
    EXPECT_EQ(m.entry(1).Value, 0.0);
    EXPECT_EQ(m.entry(2).Value, 0.0);
    EXPECT_NEAR(m.entry(3).Value, 6.2146, 1e-4);
    EXPECT_EQ(m.entry(4).Value, -3.0);
    EXPECT_NEAR(m.entry(5).Value, 27.631, 1e-3);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(m.entry(i).Size, std::vector<double>({1, 0, 500, -3, 1e12})[i - 1]); // never logged
}

struct Bar {
    double row, column, bytes;
};

GraphModel layOut(const std::vector<Bar>& bars, bool logscale) {
    GraphModel m;
    for (const Bar& b : bars)
        m.AddEntry("e", b.row, b.bytes, b.column, b.bytes, 0xFFFFFFFF, kFile, "", 2, logscale);
    m.ScaleEntries(logscale);
    return m;
}

TEST(ScaleEntries, OneEntrySitsAtTheOrigin) {
    GraphModel m;
    m.AddEntry("only", 0, 42, 0, 42, 0, kFile, "", 2, false);
    const auto plate = m.ScaleEntries(false);
    ASSERT_TRUE(plate);
    EXPECT_EQ(*plate, (BasePlateSize{2.5f, 2.5f, 0.1f}));
    EXPECT_EQ(m.entry(1).X, 0.0f);
    EXPECT_EQ(m.entry(1).Z, 0.0f);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 6.0f);
    EXPECT_FLOAT_EQ(m.entry(1).ScaledSize, 12.0);
}

TEST(ScaleEntries, TwoEntriesLieOnALineAlongX) {
    GraphModel m;
    ExtColourTable none;
    FolderEntryBuilder load(m, none, 2, false, false, 2);
    load.addItem("a", kFile, 10, "");
    load.addItem("b", kFile, 20, "");
    const auto plate = m.ScaleEntries(false);
    EXPECT_EQ(m.entry(1).X, -1.25f);
    EXPECT_EQ(m.entry(2).X, 1.25f);
    EXPECT_EQ(m.entry(1).Z, 0.0f);
    EXPECT_EQ(m.entry(2).Z, 0.0f);
    EXPECT_EQ(*plate, (BasePlateSize{5.0f, 2.5f, 0.1f}));
}

TEST(ScaleEntries, TenItemsAreCentredOnTheOrigin) {
    GraphModel m;
    ExtColourTable none;
    FolderEntryBuilder load(m, none, 10, false, false, 2);
    for (int i = 0; i < 10; ++i)
        load.addItem(QString::number(i), kFile, 100 * (i + 1), "");
    const auto plate = m.ScaleEntries(false);
    EXPECT_EQ(*plate, (BasePlateSize{10.0f, 7.5f, 0.1f}));
    EXPECT_EQ(m.m_maxRow, 3);
    EXPECT_EQ(m.m_maxColumn, 2);
    // Entry 6 is row 1, column 2; entry 10 is row 3, column 0.
    EXPECT_EQ(m.entry(6).X, -1.25f);
    EXPECT_EQ(m.entry(6).Z, 2.5f);
    EXPECT_EQ(m.entry(10).X, 3.75f);
    EXPECT_EQ(m.entry(10).Z, -2.5f);
    EXPECT_FLOAT_EQ(m.entry(10).Height, 6.0f);
    EXPECT_FLOAT_EQ(m.entry(5).Height, 3.0f);
    EXPECT_EQ(m.m_rowSpacing, 2.5f);
    EXPECT_EQ(m.m_columnSpacing, 2.5f);
}

TEST(ScaleEntries, HeightsOnTheLinearScale) {
    const GraphModel m = layOut({{0, 0, 1000}, {0, 1, 250}, {1, 0, 1}, {1, 1, 0}}, false);
    EXPECT_FLOAT_EQ(m.m_heightScale, 0.012f);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 6.0f);
    EXPECT_FLOAT_EQ(m.entry(2).Height, 1.5f);
    EXPECT_FLOAT_EQ(m.entry(3).Height, 0.006f);
    EXPECT_EQ(m.entry(4).Height, 0.0f);
    EXPECT_FLOAT_EQ(m.entry(2).ScaledSize, 3.0);
    EXPECT_EQ(m.m_maxSize, 1000);
    EXPECT_EQ(m.m_maxValue, 1000);
}

TEST(ScaleEntries, HeightsOnTheLogScale) {
    const GraphModel m = layOut({{0, 0, 1000}, {0, 1, 10}, {1, 0, 1}, {1, 1, 0}}, true);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 3.0f); // the tallest bar is half as tall as on the linear scale
    EXPECT_FLOAT_EQ(m.entry(2).Height, 1.0f); // ln 10 / ln 1000 of it
    EXPECT_EQ(m.entry(3).Height, 0.0f);       // a 1-byte file: ln 1 = 0
    EXPECT_EQ(m.entry(4).Height, 0.0f);
    EXPECT_FLOAT_EQ(m.entry(2).ScaledSize, 0.12); // sizes are never logged
}

TEST(ScaleEntries, AllSizesZero) {
    for (bool logscale : {false, true}) {
        const GraphModel m = layOut({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, logscale);
        EXPECT_EQ(m.m_heightScale, logscale ? 0.5f : 1.0f);
        EXPECT_EQ(m.m_maxSize, 1.0);
        EXPECT_EQ(m.m_sizeScale, 12.0f);
        for (const auto& e : m.entries()) {
            EXPECT_EQ(e.Height, 0.0f);
            EXPECT_EQ(e.ScaledSize, 0.0);
        }
    }
}

TEST(ScaleEntries, EmptyListChangesNothing) {
    GraphModel m = layOut({{0, 0, 10}, {2, 3, 20}}, false);
    const GraphModel before = m;
    m.clear();
    EXPECT_FALSE(m.ScaleEntries(true));
    EXPECT_EQ(m.m_maxRow, before.m_maxRow);
    EXPECT_EQ(m.m_maxValue, before.m_maxValue);
    EXPECT_EQ(m.m_maxColumn, before.m_maxColumn);
    EXPECT_EQ(m.m_maxSize, before.m_maxSize);
    EXPECT_EQ(m.m_heightScale, before.m_heightScale);
    EXPECT_EQ(m.m_sizeScale, before.m_sizeScale);
    EXPECT_EQ(m.m_basePlate, before.m_basePlate);
}

TEST(ScaleEntries, RescalingAfterAnAppendUsesTheNewMaxima) {
    GraphModel m = layOut({{0, 0, 10}}, false);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 6.0f);
    m.AddEntry("big", 1, 40, 0, 40, 0, kFile, "", 3, false);
    m.ScaleEntries(false);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 1.5f);
    EXPECT_EQ(m.entry(1).X, -1.25f);
}

// ---- identity of entries in the scene ----

TEST(FrameNames, NameTheEntryByIndex) {
    GraphModel m = layOut({{0, 0, 1}, {0, 1, 2}, {0, 2, 3}}, false);
    EXPECT_EQ(GraphModel::frameName(3), "3");
    const std::pair<const char*, int> cases[] = {{"1", 1}, {"3", 3},   {"2.4", 2}, {" 2 ", 2},
                                                 {"0", 0}, {"4", 0},   {"-1", 0},  {"abc", 0},
                                                 {"", 0},  {"inf", 0}, {"nan", 0}};
    for (const auto& [name, index] : cases)
        EXPECT_EQ(m.indexFromFrameName(QString::fromLatin1(name)), index) << name;
}

} // namespace
