#include "folders/ItemPath.h"

#include "folders/Paths.h"

namespace ketra {

QString ItemPath(const std::vector<DataEntry>& entries, int selected, const QString& folder, bool treeview,
                 std::span<const QString> levelFolders) {
    if (selected < 1 || static_cast<std::size_t>(selected) > entries.size())
        return {};
    const DataEntry& entry = entries[static_cast<std::size_t>(selected) - 1];
    if (treeview && entry.Level >= 3) {
        const auto slot = static_cast<std::size_t>(entry.Level - 1);
        if (slot >= levelFolders.size() || levelFolders[slot].isEmpty())
            return {};
        return joinPath(levelFolders[slot], entry.Name);
    }
    return joinPath(folder, entry.Name);
}

} // namespace ketra
