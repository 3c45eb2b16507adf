#include "search/SearchResults.h"

namespace ketra {

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const SearchResult& r = at(index.row());
    switch (index.column()) {
    case FilenameColumn:
        return QString::fromUtf8(r.name);
    case FolderColumn:
        return QString::fromUtf8(r.folder);
    case SizeColumn:
        return QString::number(r.size, 'f', 0);
    default:
        return {};
    }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FilenameColumn:
        return QStringLiteral("Filename");
    case FolderColumn:
        return QStringLiteral("Folder");
    case SizeColumn:
        return QStringLiteral("Size");
    default:
        return {};
    }
}

void SearchResultsModel::append(std::vector<SearchResult>&& batch) {
    if (batch.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
    endInsertRows();
}

void SearchResultsModel::clear() {
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

Qt::ItemFlags SearchResultsModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsDragEnabled : flags;
}

} // namespace ketra

#include "moc_SearchResults.cpp"
