// The comma-delimited table that the 3D view plots in place of a folder: a header row names the
// columns, a header column names the rows, and every other cell is a value.
//
// The file is read as a stream, line by line (LF, CR LF or a lone CR end a line). Its text is
// UTF-8, or UTF-16 (little or big end first) when it starts with that byte-order mark or, without
// one, when its NUL bytes fall on one side of each byte pair as UTF-16 text's do. Each line is
// trimmed of blanks (spaces and tabs); empty lines and lines starting with ";" or "#" are
// comments. Every other line is split at each "," into cells: no quoting, empty cells count, cells
// keep their blanks. A line with fewer than two cells stops the reading with an error.
//
// Until the first data row, a line whose second cell is not numeric text is a header row: cell j
// (trimmed) heads column j, and when it holds "TEXTURE:" (in any case) the text after the directive
// names column j's texture and the text before it, when there is any, is the header. Each header
// row replaces the headers and textures of the one before. Every other line is a data row (also a
// text line after the first data row): cell 0, trimmed, heads the row, cells 1 and on are values.
//
// What a table may hold is bounded (kMaxDataTable...): a bigger file or table is refused whole,
// with a message naming the limit, before more of it is read.
#pragma once

#include "platform/Types.h"

#include <QByteArray>
#include <QString>

#include <atomic>
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
    QByteArray folder;           // the folder of the file read (its textures are looked for there)
};

// The largest file read as a table. A table of kMaxDataTableCells short numbers takes a few MiB.
inline constexpr qint64 kMaxDataTableBytes = 16 * 1024 * 1024;
// The most value cells (bars) a table may have, header row included: each becomes a bar with its
// own meshes, and 100,000 bars take seconds to build and to draw.
inline constexpr int kMaxDataTableCells = 100000;
// The longest cell, in characters: a cell's text is its bar's name, shown whole on hover.
inline constexpr int kMaxDataCellLength = 1000;

// What reading a table gave.
struct DataTableResult {
    enum class Status {
        Ok,
        NotFound,     // no file of that name
        NotRegular,   // a folder, named pipe, device or socket: never opened for reading
        Unreadable,   // the file can't be opened or read (`reason`)
        TooLarge,     // the file is larger than kMaxDataTableBytes (`size`)
        TooManyCells, // more than kMaxDataTableCells cells (`line`: where the count passed it)
        LongCell,     // a cell longer than kMaxDataCellLength characters (`line`)
        Encoding,     // text that is neither UTF-8 nor UTF-16 (`reason` names what it is)
        TooFewCells,  // a line without a comma: reading stopped there (`line`)
        Stopped,      // the read was stopped from outside
    };
    Status status = Status::Ok;
    QByteArray path;
    int line = 0;    // 1-based line that stopped the reading
    qint64 size = 0; // TooLarge: the file's size in bytes (at least this much)
    QString reason;  // NotRegular, Unreadable, Encoding: why, in words

    bool ok() const { return status == Status::Ok; }
    // The message the user is shown ("Unable to find " + path, ...); empty when ok or stopped.
    QString message() const;
};

// Reads the table of `text` into `table`. On Ok, `table` is replaced by what was read; on
// TooFewCells it holds what was read before the line that stopped it; on every other status it is
// left alone. The bounds apply as for a file.
DataTableResult ParseDataTable(const QByteArray& text, DataTable& table);
// Reads the file `path` (its bytes) into `table` as ParseDataTable does, block by block, and only
// when it is a regular file (opened without blocking). `stop`, when given, may be set from another
// thread: the read then ends with Stopped within one block. Safe on any thread.
DataTableResult ReadDataTable(const QByteArray& path, DataTable& table,
                              const std::atomic<bool>* stop = nullptr);

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
