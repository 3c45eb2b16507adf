// The grid of a folder load and the bar layout: rows and columns, positions, heights, base plate.
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

using ketra::BasePlateSize;
using ketra::FolderEntryBuilder;
using ketra::GraphModel;
using ketra::GridCursor;
using ketra::kFolderAttribute;

constexpr std::int32_t kFile = 32; // archive bit: a regular file

TEST(GridCursor, SideOfTheGrid) {
    const std::pair<std::int64_t, int> cases[] = {{0, -1}, {1, 0},  {2, 0},  {3, 1},        {4, 1},
                                                  {9, 2},  {10, 2}, {12, 2}, {13, 3},       {16, 3},
                                                  {20, 3}, {21, 4}, {25, 4}, {100000, 315}, {70000, 264}};
    for (const auto& [n, side] : cases)
        EXPECT_EQ(GridCursor::sideFor(n), side) << n << " items";
}

// Items fill rows of side + 1: consecutive items advance along the column, then the row; 10 items
// fill rows 0 to 3 with columns 0 to 2, 16 make a 4 x 4 square, one sits at row 0, column 0.
TEST(GridCursor, ItemsFillTheRowsInTurn) {
    struct Case {
        int items, rows, columns;
    };
    for (const Case& c : {Case{1, 1, 1}, Case{2, 2, 1}, Case{10, 4, 3}, Case{16, 4, 4}, Case{17, 5, 4}}) {
        GridCursor grid(c.items);
        for (int i = 0; i < c.items; ++i) {
            grid.advance();
            EXPECT_EQ(grid.row() - 1, i / c.columns) << c.items << " items, item " << i;
            EXPECT_EQ(grid.column(), i % c.columns) << c.items << " items, item " << i;
        }
        EXPECT_EQ(grid.row(), c.rows);
    }
}

class FolderLoad : public ::testing::Test {
protected:
    GraphModel model;
    ExtColourTable colours{{{"folder", 255, 255, 0}, {"txt", 0, 0, 255}}};
};

// Folders take the folder colour and, without folder sizes, stand as 500 bytes that the total does
// not count; files take the colour of their type.
TEST_F(FolderLoad, FoldersStandAs500BytesWithoutFolderSizes) {
    for (bool sizes : {false, true}) {
        model.clear();
        FolderEntryBuilder load(model, colours, 3, sizes, false, 3);
        load.addItem("sub", kFolderAttribute | 1024, 4000, "2024-01-02 03:04:05");
        load.addItem("a.txt", kFile, 1000, "t");
        load.addItem("b.bin", kFile, 250, "");
        ASSERT_EQ(model.count(), 3);
        const ketra::DataEntry& folder = model.entry(1);
        EXPECT_EQ(folder.Value, sizes ? 4000 : 500);
        EXPECT_EQ(folder.Size, folder.Value);
        EXPECT_EQ(folder.Colour, 0xFFFFFF00u);
        EXPECT_EQ(folder.Attributes, kFolderAttribute | 1024);
        EXPECT_EQ(folder.Modified, "2024-01-02 03:04:05");
        EXPECT_EQ(folder.Level, 3);
        EXPECT_EQ(model.entry(2).Colour, 0xFF0000FFu);
        EXPECT_EQ(model.entry(3).Colour, 0xFFFFFFFFu);
        EXPECT_EQ(load.statistics(), (ketra::FolderStatistics{sizes ? 5250.0 : 1250.0, 2, 1, 0, 0}));
    }
    // The tree view's first entry is the folder itself: level 1, row 1, column 1, 100 bytes; the
    // items keep their own grid.
    FolderEntryBuilder tree(model, colours, 0, false, false, 2);
    tree.addFolderItself("/home/user");
    const ketra::DataEntry& root = model.entry(4);
    EXPECT_EQ(std::tie(root.Name, root.Level, root.Row, root.Column, root.Size, root.Modified),
              std::make_tuple(QString("/home/user"), std::int16_t(1), 1.0, 1.0, 100.0, QString("100")));
    EXPECT_TRUE(root.isFolder());
    EXPECT_EQ(tree.grid().side(), -1);
    EXPECT_EQ(tree.statistics(), ketra::FolderStatistics{});
}

// A file's colour is its type's, however its name's bytes run before the last dot; a name without
// one is typed by its whole text ("folder" is that type's name).
TEST_F(FolderLoad, FilesOfOneSuffixShareTheColourOfTheirType) {
    const QByteArray names[] = {"a.TXT", "b.txt",  "c\xff.TxT", "d.x.txt", "e.txt.",
                                "f.",    "folder", ".txt",      "g"};
    FolderEntryBuilder load(model, colours, 2 * std::size(names), false, false, 2);
    for (int round = 0; round < 2; ++round)
        for (const QByteArray& name : names)
            load.addItem(name, kFile, 1, "");
    for (int i = 1; i <= model.count(); ++i)
        EXPECT_EQ(model.entry(i).Colour, colours.colourFor(model.entry(i).Name))
            << model.entry(i).Name.toStdString();
    EXPECT_EQ(model.entry(3).Colour, 0xFF0000FFu);
}

TEST(AddEntry, TheLogScaleStoresTheLogarithmOfPositiveValues) {
    GraphModel m;
    const double values[] = {1.0, 0.0, 500.0, -3.0, 1e12};
    const double logged[] = {0.0, 0.0, std::log(500.0), -3.0, std::log(1e12)};
    for (double v : values)
        m.AddEntry("x", 0, v, 0, v, 0, kFile, "", 2, true);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_DOUBLE_EQ(m.entry(i).Value, logged[i - 1]);
        EXPECT_EQ(m.entry(i).Size, values[i - 1]); // never logged
    }
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

// The grid is centred on the origin, 2.5 between bars, on a plate half a spacing larger all round.
TEST(ScaleEntries, ThePlacesOfTheBarsAndThePlate) {
    struct Case {
        std::vector<Bar> bars;
        float x, z; // of the last bar
        BasePlateSize plate;
    };
    const Case cases[] = {
        {{{0, 0, 42}}, 0, 0, {2.5f, 2.5f, 0.1f}},
        {{{0, 0, 10}, {1, 0, 20}}, 1.25f, 0, {5.0f, 2.5f, 0.1f}},
        {{{0, 0, 1}, {1, 2, 1}, {3, 0, 1}}, 3.75f, -2.5f, {10.0f, 7.5f, 0.1f}},
    };
    for (const Case& c : cases) {
        GraphModel m = layOut(c.bars, false);
        EXPECT_EQ(m.entry(m.count()).X, c.x);
        EXPECT_EQ(m.entry(m.count()).Z, c.z);
        EXPECT_EQ(m.entry(1).X, -m.m_maxRow * 1.25);
        EXPECT_EQ(*m.m_basePlate, c.plate);
    }
}

// Heights are linear in Value: the tallest bar is 6 units high, 3 on the log scale (where a 1-byte
// file has height 0); sizes are scaled to 12 and never logged; all zero leaves the scale at 1.
TEST(ScaleEntries, HeightsAndSizes) {
    struct Case {
        std::vector<double> bytes;
        bool logscale;
        std::vector<float> heights;
        float heightScale;
        double maxSize;
    };
    const Case cases[] = {
        {{1000, 250, 1, 0}, false, {6, 1.5f, 0.006f, 0}, 0.012f, 1000},
        {{1000, 10, 1, 0}, true, {3, 1, 0, 0}, 0.5f * 12 / std::log(1000.0f), 1000},
        {{0, 0, 0}, false, {0, 0, 0}, 1, 1},
        {{1e300, 5e299}, false, {6, 3}, 0, 1e300}, // beyond a single's range, the others keep their height
        {{0, 0, 0}, true, {0, 0, 0}, 0.5f, 1},
    };
    for (const Case& c : cases) {
        std::vector<Bar> bars;
        for (double b : c.bytes)
            bars.push_back({0, static_cast<double>(bars.size()), b});
        const GraphModel m = layOut(bars, c.logscale);
        EXPECT_NEAR(m.m_heightScale, c.heightScale, 1e-6) << c.logscale;
        EXPECT_EQ(m.m_maxSize, c.maxSize);
        EXPECT_DOUBLE_EQ(m.m_sizeScale, 12 / c.maxSize);
        for (int i = 1; i <= m.count(); ++i)
            EXPECT_NEAR(m.entry(i).Height, c.heights[static_cast<std::size_t>(i - 1)], 1e-5) << i;
    }
}

TEST(ScaleEntries, AnEmptyListChangesNothingAndAnAppendRescales) {
    GraphModel m = layOut({{0, 0, 10}, {2, 3, 20}}, false);
    const GraphModel before = m;
    m.clear();
    EXPECT_FALSE(m.ScaleEntries(true));
    EXPECT_EQ(m.m_maxRow, before.m_maxRow);
    EXPECT_EQ(m.m_maxValue, before.m_maxValue);
    EXPECT_EQ(m.m_heightScale, before.m_heightScale);
    EXPECT_EQ(m.m_sizeScale, before.m_sizeScale);
    EXPECT_EQ(m.m_basePlate, before.m_basePlate);

    m = layOut({{0, 0, 10}}, false);
    m.AddEntry("big", 1, 40, 0, 40, 0, kFile, "", 3, false);
    m.ScaleEntries(false);
    EXPECT_FLOAT_EQ(m.entry(1).Height, 1.5f);
    EXPECT_EQ(m.entry(1).X, -1.25f);
}

TEST(FrameNames, NameTheEntryByIndex) {
    GraphModel m = layOut({{0, 0, 1}, {0, 1, 2}, {0, 2, 3}}, false);
    EXPECT_EQ(GraphModel::frameName(3), "3");
    // Names from the shared table (across its blocks) and beyond it; a copy changed is its own.
    for (const int index : {9, 10, 100, 4096, 4097, 140000, 999999, 1000000, 10000000, 0, -5}) {
        QString name = GraphModel::frameName(index);
        EXPECT_EQ(name, QString::number(index));
        name.append(u'x');
        EXPECT_EQ(GraphModel::frameName(index), QString::number(index));
    }
    const std::pair<const char*, int> cases[] = {{"1", 1}, {"3", 3},   {"2.4", 2}, {" 2 ", 2},
                                                 {"0", 0}, {"4", 0},   {"-1", 0},  {"abc", 0},
                                                 {"", 0},  {"inf", 0}, {"nan", 0}};
    for (const auto& [name, index] : cases)
        EXPECT_EQ(m.indexFromFrameName(QString::fromLatin1(name)), index) << name;
}

} // namespace
