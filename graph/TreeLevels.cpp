#include "graph/TreeLevels.h"

#include <algorithm>

namespace ketra {

void TreeLevelFolders::reset(const QByteArray& root) {
    m_folders.assign(2, QByteArray());
    m_folders[1] = root;
}

void TreeLevelFolders::open(int level, const QByteArray& path) {
    if (level < 2)
        return;
    const auto slot = static_cast<std::size_t>(level);
    m_folders.resize(slot + 1);
    m_folders[slot] = path;
}

QByteArray TreeLevelFolders::folderOf(int level) const {
    const auto slot = static_cast<std::size_t>(level - 1);
    return level >= 2 && slot < m_folders.size() ? m_folders[slot] : QByteArray();
}

QByteArray TreeLevelFolders::itemPath(const DataEntry& entry) const {
    if (entry.Level <= 1)
        return entry.NameBytes;
    const QByteArray folder = folderOf(entry.Level);
    if (folder.isEmpty())
        return {};
    return folder.endsWith('/') ? folder + entry.NameBytes : folder + '/' + entry.NameBytes;
}

void DropDeeperLevels(GraphModel& model, int level) {
    std::vector<DataEntry>& entries = model.entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [level](const DataEntry& e) { return e.Level > level; }),
                  entries.end());
}

} // namespace ketra
