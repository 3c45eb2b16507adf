// The full path of a graph entry of the bar graph or the details list, as every command on the
// selected item forms it. (The tree view's entries lie in the folders of their levels:
// graph/TreeLevels.h.)
#pragma once

#include "graph/DataEntry.h"

#include <QString>

#include <vector>

namespace ketra {

// The path of entry `selected` (1-based) of `entries`, which lies in `folder`, the folder shown.
// Empty when `selected` names no entry.
QString ItemPath(const std::vector<DataEntry>& entries, int selected, const QString& folder);

} // namespace ketra
