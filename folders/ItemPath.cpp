#include "folders/ItemPath.h"

#include "folders/Paths.h"

namespace ketra {

QString ItemPath(const std::vector<DataEntry>& entries, int selected, const QString& folder) {
    if (selected < 1 || static_cast<std::size_t>(selected) > entries.size())
        return {};
    return joinPath(folder, entries[static_cast<std::size_t>(selected) - 1].Name);
}

} // namespace ketra
