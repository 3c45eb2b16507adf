#include "graph/FolderEntries.h"

#include "colours/ExtColours.h"
#include "graph/GraphModel.h"

#include <array>

namespace ketra {

FolderStatistics AddFolderEntries(GraphModel& model, FolderReader& reader, std::int32_t count,
                                  const Options& options, std::int16_t level,
                                  const QByteArray& folderItself) {
    FolderEntryBuilder entries(model, g_extColours, count, options.m_includeFolders, options.m_logscale,
                               level);
    if (!folderItself.isEmpty())
        entries.addFolderItself(folderItself);
    for (std::int32_t i = 0; i < count; ++i) {
        const FolderItem item = reader.item(i);
        entries.addItem(item.name, item.attributes, item.size, item.modified, item.id);
        DataEntry& added = model.entries().back();
        added.Earlier = item.earlier;
        added.EarlierTime = item.earlierTime;
    }
    FolderStatistics stats = entries.statistics();
    if (options.m_includeFolders) {
        stats.totalFileCount = FolderReader::totalFileCount();
        stats.totalFolderCount = FolderReader::totalFolderCount();
    }
    return stats;
}

bool ReadFolderEntries(const QByteArray& folder, const Options& options, GraphModel& model,
                       FolderStatistics& stats, const std::function<void(std::int32_t count)>& read) {
    std::array<char, 4096> buffer{};
    FolderReader reader(buffer);
    const std::int32_t n = reader.open(folder);
    if (n < 0)
        return false;
    if (options.m_includeFolders) {
        reader.measure(1, {});
        FolderReader::sortByTotals();
    }
    if (read)
        read(n);
    model.clear();
    stats = AddFolderEntries(model, reader, n, options, 2, options.m_treeview ? folder : QByteArray());
    return true;
}

} // namespace ketra
