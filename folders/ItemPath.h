// The full path of a graph entry, as every command on the selected item forms it.
#pragma once

#include "graph/DataEntry.h"

#include <QString>

#include <span>
#include <vector>

namespace ketra {

// The path of entry `selected` (1-based) of `entries`. In the tree view an entry of level 3 or
// deeper lies in levelFolders[Level - 1], the folder opened at the level above it; every other
// entry lies in `folder`, the folder shown (the tree's root in the tree view). Empty when
// `selected` names no entry, or when the folder of its level is not known.
QString ItemPath(const std::vector<DataEntry>& entries, int selected, const QString& folder, bool treeview,
                 std::span<const QString> levelFolders = {});

} // namespace ketra
