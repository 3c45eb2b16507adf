#include "graph/TreeLevels.h"

#include <algorithm>

namespace ketra {

void TreeLevelFolders::reset(const QString& root) {
    m_folders.assign(2, QString());
    m_folders[1] = root;
}

void TreeLevelFolders::open(int level, const QString& path) {
    if (level < 2)
        return;
    const auto slot = static_cast<std::size_t>(level);
    m_folders.resize(slot + 1);
    m_folders[slot] = path;
}

QString TreeLevelFolders::folderOf(int level) const {
    const auto slot = static_cast<std::size_t>(level - 1);
    return level >= 2 && slot < m_folders.size() ? m_folders[slot] : QString();
}

QString TreeLevelFolders::itemPath(const DataEntry& entry) const {
    if (entry.Level <= 1)
        return entry.Name;
    const QString folder = folderOf(entry.Level);
    if (folder.isEmpty())
        return {};
    return folder.endsWith(QLatin1Char('/')) ? folder + entry.Name : folder + QLatin1Char('/') + entry.Name;
}

void DropDeeperLevels(GraphModel& model, int level) {
    std::vector<DataEntry>& entries = model.entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [level](const DataEntry& e) { return e.Level > level; }),
                  entries.end());
}

} // namespace ketra
