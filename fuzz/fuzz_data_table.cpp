// The comma-delimited table: any bytes read as a table, and what the graph makes of every cell.
#include "datafile/DataTable.h"
#include "fuzz_support.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ketra::DataTable table;
    const auto result = ketra::ParseDataTable(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), table);
    FUZZ_CHECK(result.ok() == (result.line == 0));
    int row = 0;
    for (const ketra::DataCell& cell : table.cells) {
        FUZZ_CHECK(cell.row >= row && cell.row >= 1 && cell.row <= table.gridRow && cell.column >= 1);
        row = cell.row;
        FUZZ_CHECK(std::isfinite(ketra::DataCellValue(cell.text)));
        FUZZ_CHECK(ketra::DataCellLabel(cell).endsWith(cell.text));
        const platform::ColorValue c = ketra::DataCellColour(cell.row, cell.column);
        FUZZ_CHECK(c.r >= 0 && c.r <= 1 && c.b >= 0 && c.b <= 1 && c.a == 1);
    }
    return 0;
}
