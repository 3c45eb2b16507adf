// A comma-delimited table turned into graph entries, as the window and the snapshot command both
// plot it.
#pragma once

#include "datafile/DataTable.h"
#include "graph/GraphModel.h"
#include "platform/Texture.h"

#include <QHash>

namespace ketra {

// The largest texture a table may name, in pixels a side; a bigger picture is not read.
inline constexpr int kMaxDataTextureSide = 4096;

// Texture name as the table writes it -> the texture read (null when none could be).
using DataTextures = QHash<QString, platform::TexturePtr>;

// Reads every texture the columns of `table` name, each once: a name that is not an absolute path
// is looked for beside the table (table.folder) first, then in `mediaFolder`. Only regular files
// are read, opened without blocking, and only pictures of at most kMaxDataTextureSide pixels a
// side. A texture that can't be read is left out (its column's bars are plain). Needs no device;
// safe on any thread.
DataTextures LoadDataTableTextures(const DataTable& table, const QString& mediaFolder);

// Appends one entry per value cell of `table` to `model`: named with the cell's label, on the grid
// at row r - 1 and column j - 1, with the cell's number as value and size (stored as its natural
// logarithm on the log scale, as for files), the cell's colour, no attributes (a box), level 2, and
// its column's texture from `textures`.
void AddDataTableEntries(GraphModel& model, const DataTable& table, const DataTextures& textures,
                         bool logscale);

} // namespace ketra
