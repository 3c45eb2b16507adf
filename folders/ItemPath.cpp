#include "folders/ItemPath.h"

#include "folders/Paths.h"

namespace ketra {

QByteArray ItemPath(ItemList entries, int selected, const QByteArray& folder) {
    if (selected < 1 || static_cast<std::size_t>(selected) > entries.size())
        return {};
    return joinPath(folder, entries[static_cast<std::size_t>(selected) - 1].NameBytes);
}

int EntryNamed(ItemList entries, const QByteArray& name) {
    if (name.isEmpty())
        return 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].NameBytes == name)
            return static_cast<int>(i + 1);
    return 0;
}

} // namespace ketra
