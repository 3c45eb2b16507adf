// Comma-delimited tables: header rows, textures, comments, where data begins, what stops the
// reading, and the entries, labels and colours made of the cells.
#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"
#include "scene/D3DUtil.h"

#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using ketra::DataTableResult;

namespace {

// Each cell as "row,column:label|texture".
QStringList describe(const ketra::DataTable& t) {
    QStringList out;
    for (const ketra::DataCell& c : t.cells)
        out << QStringLiteral("%1,%2:%3|%4").arg(c.row).arg(c.column).arg(ketra::DataCellLabel(c), c.texture);
    return out;
}

} // namespace

TEST(DataTable, HeaderRowsTexturesCommentsAndWhereDataBegins) {
    struct Case {
        const char* name;
        const char* text;
        DataTableResult::Status status;
        int line, gridColumn, gridRow;
        QStringList cells;
    };
    using S = DataTableResult::Status;
    const Case cases[] = {
        {"worked example; each cell takes its own column's header",
         "; sales\nRegion,North,South TEXTURE:brick.bmp\n1999,10,20\n2000,15,\n",
         S::Ok,
         0,
         3,
         2,
         {"1,1:(1999,North) = 10|", "1,2:(1999,South ) = 20|brick.bmp", "2,1:(2000,North) = 15|",
          "2,2:(2000,South ) = |brick.bmp"}},
        {"comments and blank lines only", "; a\r\n\r\n   \n# b\n", S::Ok, 0, 0, 0, {}},
        {"a numeric second cell is data at once",
         "A,1,2\n",
         S::Ok,
         0,
         3,
         1,
         {"1,1:(A,) = 1|", "1,2:(A,) = 2|"}},
        {"text after data is data; a longer row has no header",
         "H,x\n a ,1\nH,y,z\n",
         S::Ok,
         0,
         3,
         2,
         {"1,1:(a,x) = 1|", "2,1:(H,x) = y|", "2,2:(H,) = z|"}},
        {"the last of two header rows counts; lower case directive; a cell keeps its blanks but the line is "
         "trimmed",
         "H,one TEXTURE:a.bmp\r\nH, Pic texture:pic.jpg \rr, 7 \n",
         S::Ok,
         0,
         2,
         1,
         {"1,1:(r,Pic ) =  7|pic.jpg"}},
        {"a header cell that starts with the directive keeps its whole text",
         "H,TEXTURE:a.bmp\nr,1\n",
         S::Ok,
         0,
         2,
         1,
         {"1,1:(r,TEXTURE:a.bmp) = 1|a.bmp"}},
        {"a line without a comma stops the reading",
         "H,c\nr,1\nTotal\nr2,2\n",
         S::TooFewCells,
         3,
         2,
         1,
         {"1,1:(r,c) = 1|"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ketra::DataTable table;
        const DataTableResult r = ketra::ParseDataTable(QByteArray(c.text), table);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(table.gridColumn, c.gridColumn);
        EXPECT_EQ(table.gridRow, c.gridRow);
        EXPECT_EQ(describe(table), c.cells);
    }
}

TEST(DataTable, NumericTextAndCellValues) {
    struct Case {
        const char* text;
        bool numeric;
        double value;
    } cases[] = {
        {" 12 ", true, 12},  {"-1.5e3", true, -1500}, {"+.5", true, 0.5}, {"5.", true, 5},
        {"1e999", true, 0},  {"1e", false, 0},        {".", false, 0},    {"", false, 0},
        {"12abc", false, 0}, {"1,5", false, 0},       {"- 1", false, 0},  {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ketra::IsNumericText(QString::fromLatin1(c.text)), c.numeric) << c.text;
        EXPECT_EQ(ketra::DataCellValue(QString::fromLatin1(c.text)), c.value) << c.text;
    }
}

TEST(DataTable, MissingFileIsReportedAndLeavesTheTableAlone) {
    ketra::DataTable table;
    table.gridRow = 7;
    const DataTableResult r = ketra::ReadDataTable(QStringLiteral("/nonexistent/t.csv"), table);
    EXPECT_EQ(r.status, DataTableResult::Status::NotFound);
    EXPECT_EQ(r.message(), QStringLiteral("Unable to find /nonexistent/t.csv"));
    EXPECT_EQ(table.gridRow, 7);
}

// Entries: grid place, value and size, colour by row and column, the column's texture from the
// media folder (read once for the whole column), and the log scale as for files.
TEST(DataTable, CellsBecomeEntries) {
    QTemporaryDir media;
    QImage brick(4, 4, QImage::Format_RGB32);
    brick.fill(Qt::red);
    ASSERT_TRUE(brick.save(media.filePath(QStringLiteral("brick.bmp"))));
    SetMediaFolder(media.path());
    ketra::DataTable table;
    ASSERT_TRUE(ketra::ParseDataTable("H,a,b TEXTURE:brick.bmp,c TEXTURE:none.bmp\n"
                                      "r1,10,20,x\nr2,1,0,5\n",
                                      table)
                    .ok());
    ketra::GraphModel model;
    ketra::AddDataTableEntries(model, table, true);
    SetMediaFolder(QString());
    ASSERT_EQ(model.count(), 6);
    const ketra::DataEntry& b1 = model.entry(2);
    EXPECT_EQ(b1.Name, QStringLiteral("(r1,b ) = 20"));
    EXPECT_EQ(b1.Row, 0);
    EXPECT_EQ(b1.Column, 1);
    EXPECT_DOUBLE_EQ(b1.Value, std::log(20.0));
    EXPECT_EQ(b1.Size, 20);
    EXPECT_EQ(b1.Colour, 0xFFB233CCu); // row 1: red 0.7; column 2: blue 0.8
    ASSERT_NE(b1.Texture, nullptr);
    EXPECT_EQ(model.entry(5).Texture, b1.Texture);
    EXPECT_EQ(model.entry(3).Size, 0); // "x" is no number
    EXPECT_EQ(model.entry(3).Texture, nullptr);
    EXPECT_EQ(model.entry(6).Colour, 0xFF9933B2u); // row 2: red 0.6; column 3: blue 0.7
    EXPECT_EQ(model.entry(5).Value, 0);            // 0 is never logged
    EXPECT_FALSE(model.entry(4).isFolder());
}
