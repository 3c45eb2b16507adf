#include "graph/LoadGrid.h"

#include <algorithm>
#include <cmath>

namespace ketra {

int GridCursor::sideFor(std::int64_t itemCount) {
    if (itemCount <= 0)
        return -1;
    return static_cast<int>(std::lround(std::sqrt(static_cast<double>(itemCount)) - 1));
}

FolderEntryBuilder::FolderEntryBuilder(GraphModel& model, const ExtColourTable& colours,
                                       std::int64_t itemCount, bool includeFolders, bool logscale,
                                       std::int16_t level)
    : m_model(model), m_colours(colours), m_grid(itemCount),
      m_folderColour(colours.colourFor(QStringLiteral("folder"))), m_includeFolders(includeFolders),
      m_logscale(logscale), m_level(level) {
    if (itemCount > 0)
        m_model.reserve(static_cast<int>(std::min<std::int64_t>(m_model.count() + itemCount, 1 << 24)));
}

void FolderEntryBuilder::addFolderItself(const QByteArray& folder) {
    m_model.AddEntry(QString::fromUtf8(folder), 1, 100, 1, 100, m_folderColour, kFolderAttribute,
                     QStringLiteral("100"), 1, m_logscale);
    m_model.entries().back().NameBytes = folder;
}

void FolderEntryBuilder::addItem(const QByteArray& name, std::int32_t attributes, double size,
                                 const QString& modified, FileId id) {
    m_grid.advance();
    const QString shown = QString::fromUtf8(name);
    double bytes = size;
    std::uint32_t colour = 0;
    if (attributes & kFolderAttribute) {
        ++m_stats.folderCount;
        colour = m_folderColour;
        if (m_includeFolders)
            m_stats.totalBytes += bytes;
        else
            bytes = 500;
    } else {
        ++m_stats.fileCount;
        colour = fileColour(name, shown);
        m_stats.totalBytes += bytes;
    }
    m_model.AddEntry(shown, m_grid.row() - 1, bytes, m_grid.column(), bytes, colour, attributes, modified,
                     m_level, m_logscale);
    DataEntry& added = m_model.entries().back();
    added.NameBytes = name;
    added.Id = id;
}

std::uint32_t FolderEntryBuilder::fileColour(const QByteArray& name, const QString& shown) {
    // '.' is never part of a longer UTF-8 sequence, so the text after the last dot of `shown` is
    // the bytes after the last dot of `name`, decoded on their own.
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return m_colours.colourFor(shown);
    const std::string_view suffix(name.constData() + dot + 1,
                                  static_cast<std::size_t>(name.size() - dot - 1));
    if (const auto known = m_suffixColours.find(suffix); known != m_suffixColours.end())
        return known->second;
    const std::uint32_t colour = m_colours.colourFor(shown);
    if (m_suffixColours.size() < kSuffixesKept)
        m_suffixColours.emplace(suffix, colour);
    return colour;
}

} // namespace ketra
