// A comma-delimited table turned into graph entries, as the window and the snapshot command both
// plot it.
#pragma once

#include "datafile/DataTable.h"
#include "graph/GraphModel.h"

namespace ketra {

// Appends one entry per value cell of `table` to `model`: named with the cell's label, on the grid
// at row r - 1 and column j - 1, with the cell's number as value and size (stored as its natural
// logarithm on the log scale, as for files), the cell's colour, no attributes (a box), level 2, and
// its column's texture when LoadTexture can read it (by name, else in the media folder).
void AddDataTableEntries(GraphModel& model, const DataTable& table, bool logscale);

} // namespace ketra
