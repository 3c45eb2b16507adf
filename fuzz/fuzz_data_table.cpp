// The comma-delimited table: any bytes read as a table (UTF-8, UTF-16 or refused), within its
// bounds, and what the graph makes of every cell.
#include "datafile/DataTable.h"
#include "fuzz_support.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ketra::DataTable table;
    const auto result = ketra::ParseDataTable(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), table);
    using S = ketra::DataTableResult::Status;
    const bool atALine =
        result.status == S::TooFewCells || result.status == S::TooManyCells || result.status == S::LongCell;
    FUZZ_CHECK(atALine == (result.line > 0));
    FUZZ_CHECK(result.ok() || !result.message().isEmpty());
    FUZZ_CHECK(table.cells.size() <= static_cast<std::size_t>(ketra::kMaxDataTableCells));
    int row = 0;
    for (const ketra::DataCell& cell : table.cells) {
        FUZZ_CHECK(cell.row >= row && cell.row >= 1 && cell.row <= table.gridRow && cell.column >= 1);
        FUZZ_CHECK(cell.text.size() <= ketra::kMaxDataCellLength);
        row = cell.row;
        FUZZ_CHECK(std::isfinite(ketra::DataCellValue(cell.text)));
        FUZZ_CHECK(ketra::DataCellLabel(cell).endsWith(cell.text));
        const platform::ColorValue c = ketra::DataCellColour(cell.row, cell.column);
        FUZZ_CHECK(c.r >= 0 && c.r <= 1 && c.b >= 0 && c.b <= 1 && c.a == 1);
    }
    return 0;
}
