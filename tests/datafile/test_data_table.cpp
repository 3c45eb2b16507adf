// Comma-delimited tables: header rows, textures, comments, where data begins, what stops the
// reading, the files refused and the bounds, and the entries, labels and colours made of the cells.
#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"

#include "watchdog.h"

#include <QFile>
#include <QImage>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
        {"inf", false, 0},   {"nan", false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ketra::IsNumericText(QString::fromLatin1(c.text)), c.numeric) << c.text;
        EXPECT_EQ(ketra::DataCellValue(QString::fromLatin1(c.text)), c.value) << c.text;
    }
}

// Files that are not plain tables: each is refused with a message naming it and the reason (the
// table left as it was), or read whole when it is UTF-16; none is read past its bounds or waited on.
TEST(DataTable, HostileFilesAreReadWithinBoundsOrRefused) {
    QTemporaryDir dir;
    const QByteArray at = QFile::encodeName(dir.path()) + '/';
    const QString table = QStringLiteral("H,\u00e9t\u00e9,b\nr,1,2\n");
    auto utf16 = [&](bool little, bool bom) {
        QStringEncoder encode(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                              bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
        return QByteArray(encode(table));
    };
    // A CR at the end of the first 64 KiB block, its LF in the next: one line end, not two.
    const QByteArray split = "H,a\n;" + QByteArray(65535 - 5, 'c') + "\r\nr,1\r\nTotal\r\n";
    enum Make { File, Fifo, Folder, Sparse, Nothing };
    using S = DataTableResult::Status;
    const struct Case {
        const char* name;
        Make make;
        QByteArray bytes;
        S status;
        int line;
        const char* says;
    } cases[] = {
        {"le-bom.csv", File, utf16(true, true), S::Ok, 0, ""},
        {"be-bom.csv", File, utf16(false, true), S::Ok, 0, ""},
        {"le.csv", File, utf16(true, false), S::Ok, 0, ""},
        {"be.csv", File, utf16(false, false), S::Ok, 0, ""},
        {"u32.csv", File, QByteArray("\xFF\xFE\0\0H\0\0\0", 8), S::Encoding, 0, ": it holds UTF-32 text,"},
        {"split.csv", File, split, S::TooFewCells, 4, "Comma delimited file must have"},
        {"cells.csv", File, "r" + QByteArray(",1").repeated(100001), S::TooManyCells, 1,
         "cells.csv has more than 100,000 cells, the most a table may have"},
        {"long.csv", File, "H," + QByteArray(1001, 'x') + "\nr,1\n", S::LongCell, 1,
         "longer than 1,000 characters"},
        {"sparse.csv", Sparse, {}, S::TooLarge, 0, "it holds 3,221,225,472 bytes, more than the 16 MiB"},
        {"x.csv", Fifo, {}, S::NotRegular, 0, "x.csv: it is a named pipe, not a regular file"},
        {"d.csv", Folder, {}, S::NotRegular, 0, "d.csv: it is a folder, not a regular file"},
        {"gone.csv", Nothing, {}, S::NotFound, 0, "Unable to find "},
    };
    Watchdog watchdog("reading the hostile tables");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray path = at + c.name;
        if (c.make == Fifo || c.make == Folder) {
            ASSERT_EQ(c.make == Fifo ? ::mkfifo(path.constData(), 0600) : ::mkdir(path.constData(), 0700), 0);
        }
        QFile file(QFile::decodeName(path));
        if (c.make == File || c.make == Sparse) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.bytes);
            ASSERT_TRUE(file.resize(c.make == Sparse ? 3LL << 30 : c.bytes.size()));
            file.close();
        }
        ketra::DataTable read;
        read.gridRow = 7;
        const DataTableResult r = ketra::ReadDataTable(path, read);
        EXPECT_EQ(r.status, c.status) << qPrintable(r.message());
        EXPECT_EQ(r.line, c.line);
        EXPECT_TRUE(r.message().contains(QLatin1String(c.says))) << qPrintable(r.message());
        if (c.status == S::Ok) {
            EXPECT_EQ(describe(read), QStringList({"1,1:(r,\u00e9t\u00e9) = 1|", "1,2:(r,b) = 2|"}));
            EXPECT_EQ(read.folder, QFile::encodeName(dir.path()));
        } else if (c.status != S::TooFewCells) {
            EXPECT_EQ(read.gridRow, 7); // refused whole: the table is untouched
        }
    }
    std::atomic<bool> stop{true};
    ketra::DataTable read;
    EXPECT_EQ(ketra::ReadDataTable(at + "le.csv", read, &stop).status, S::Stopped);
}

// Entries: grid place, value and size, colour by row and column, the column's texture beside the
// table, else in the media folder (read once for the whole column; a named pipe is passed over),
// and the log scale as for files.
TEST(DataTable, CellsBecomeEntries) {
    QTemporaryDir media, beside;
    auto picture = [](const QString& path, Qt::GlobalColor colour) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(path, "BMP"));
    };
    picture(media.filePath(QStringLiteral("brick.bmp")), Qt::red);
    picture(media.filePath(QStringLiteral("pipe.bmp")), Qt::green);
    picture(beside.filePath(QStringLiteral("brick.bmp")), Qt::blue);
    ASSERT_EQ(::mkfifo(QFile::encodeName(beside.filePath(QStringLiteral("pipe.bmp"))).constData(), 0600), 0);
    QFile file(beside.filePath(QStringLiteral("t.csv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("H,a,b TEXTURE:brick.bmp,c TEXTURE:none.bmp,d TEXTURE:pipe.bmp\nr1,10,20,x,1\nr2,1,0,5,1\n");
    file.close();
    ketra::DataTable table;
    ASSERT_TRUE(ketra::ReadDataTable(QFile::encodeName(file.fileName()), table).ok());
    const ketra::DataTextures textures = ketra::LoadDataTableTextures(table, media.path());
    ASSERT_EQ(textures.size(), 3);
    ASSERT_TRUE(textures.value(QStringLiteral("brick.bmp")));
    EXPECT_EQ(textures.value(QStringLiteral("brick.bmp"))->image().pixelColor(1, 1), QColor(Qt::blue));
    ASSERT_TRUE(textures.value(QStringLiteral("pipe.bmp")));
    EXPECT_EQ(textures.value(QStringLiteral("pipe.bmp"))->image().pixelColor(1, 1), QColor(Qt::green));
    EXPECT_FALSE(textures.value(QStringLiteral("none.bmp")));
    ketra::GraphModel model;
    ketra::AddDataTableEntries(model, table, textures, true);
    ASSERT_EQ(model.count(), 8);
    const ketra::DataEntry& b1 = model.entry(2);
    EXPECT_EQ(b1.Name, QStringLiteral("(r1,b ) = 20"));
    EXPECT_EQ(b1.Row, 0);
    EXPECT_EQ(b1.Column, 1);
    EXPECT_DOUBLE_EQ(b1.Value, std::log(20.0));
    EXPECT_EQ(b1.Size, 20);
    EXPECT_EQ(b1.Colour, 0xFFB233CCu); // row 1: red 0.7; column 2: blue 0.8
    ASSERT_NE(model.texture(b1), nullptr);
    EXPECT_EQ(model.texture(model.entry(6)), model.texture(b1));
    EXPECT_EQ(model.texture(b1), textures.value(QStringLiteral("brick.bmp")));
    EXPECT_EQ(model.entry(3).Size, 0); // "x" is no number
    EXPECT_EQ(model.texture(model.entry(3)), nullptr);
    EXPECT_EQ(model.entry(7).Colour, 0xFF9933B2u); // row 2: red 0.6; column 3: blue 0.7
    EXPECT_EQ(model.entry(6).Value, 0);            // 0 is never logged
    EXPECT_FALSE(model.entry(5).isFolder());
}
