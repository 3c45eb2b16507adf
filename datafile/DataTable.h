// The comma-delimited table that the 3D view plots in place of a folder: a header row names the
// columns, a header column names the rows, and every other cell is a value.
//
// The file is read line by line (LF, CR LF or a lone CR end a line; UTF-8). Each line is trimmed of
// blanks (spaces and tabs); empty lines and lines starting with ";" or "#" are comments. Every other
// line is split at each "," into cells: no quoting, empty cells count, cells keep their blanks. A
// line with fewer than two cells stops the reading with an error.
//
// Until the first data row, a line whose second cell is not numeric text is a header row: cell j
// (trimmed) heads column j, and when it holds "TEXTURE:" (in any case) the text after the directive
// names column j's texture and the text before it, when there is any, is the header. Each header
// row replaces the headers and textures of the one before. Every other line is a data row (also a
// text line after the first data row): cell 0, trimmed, heads the row, cells 1 and on are values.
#pragma once

#include "platform/Types.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace ketra {

// One value cell and what the graph makes of it.
struct DataCell {
    int row = 0;          // data row, from 1 in the order the rows come
    int column = 0;       // the cell's place in its line, from 1 (cell 0 heads the row)
    QString text;         // the cell as written
    QString rowHeader;    // cell 0 of its line, trimmed
    QString columnHeader; // the header of its own column; empty when the header row had none
    QString texture;      // the texture file its column names; empty when none
};

struct DataTable {
    std::vector<DataCell> cells; // row by row, left to right
    int gridColumn = 0;          // the cell count of the last line read
    int gridRow = 0;             // data rows read
};

// What reading a table gave.
struct DataTableResult {
    enum class Status {
        Ok,
        NotFound,    // no file of that name: the table is untouched
        Unreadable,  // the file exists but can't be read: the table is untouched
        TooFewCells, // a line without a comma: reading stopped there (`line`)
    };
    Status status = Status::Ok;
    QString path;
    int line = 0; // 1-based line that stopped the reading

    bool ok() const { return status == Status::Ok; }
    // The message the user is shown ("Unable to find " + path, ...); empty when ok.
    QString message() const;
};

// Reads the table of `text` into `table` (replacing what it held). On TooFewCells, `table` holds
// what was read before the line that stopped it.
DataTableResult ParseDataTable(const QByteArray& text, DataTable& table);
// Reads the file `path`; `table` is left alone when the file is missing or unreadable.
DataTableResult ReadDataTable(const QString& path, DataTable& table);

// Numeric text: optional blanks, an optional sign, digits with at most one decimal point (at least
// one digit), an optional exponent ("e" or "E", optional sign, digits), optional blanks.
bool IsNumericText(QStringView text);
// A cell's number: its value when it is numeric text and finite as a double, else 0.
double DataCellValue(QStringView text);
// "(" + row header + "," + column header + ") = " + cell text.
QString DataCellLabel(const DataCell& cell);
// The colour of a cell's bar: alpha 1, red 1 - ((row mod 4) + 2) / 10, green 0.2,
// blue 1 - (column mod 8) / 10.
platform::ColorValue DataCellColour(int row, int column);

} // namespace ketra
