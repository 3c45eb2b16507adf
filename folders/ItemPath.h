// The full path of an item of the bar graph or the details list, as every command on the
// selected item forms it: the folder's bytes and the entry's name bytes. (The tree view's entries
// lie in the folders of their levels: graph/TreeLevels.h.)
#pragma once

#include "folders/ItemRecord.h"

#include <QByteArray>

#include <vector>

namespace ketra {

// The path of entry `selected` (1-based) of `entries`, which lies in `folder`, the folder shown.
// Empty when `selected` names no entry.
QByteArray ItemPath(ItemList entries, int selected, const QByteArray& folder);

// The 1-based index of the first entry whose name bytes are `name`; 0 when there is none (or no
// name).
int EntryNamed(ItemList entries, const QByteArray& name);

} // namespace ketra
