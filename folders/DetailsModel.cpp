#include "folders/DetailsModel.h"

#include "units/Thousands.h"

#include <QBrush>
#include <QFont>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace ketra {

QString DetailsSizeText(const ItemRecord& entry, bool includeFolders) {
    if (entry.isFolder() && !includeFolders)
        return QStringLiteral("folder");
    const long long whole = std::llround(entry.Size);
    if (whole <= 0)
        return QStringLiteral("0");
    return GroupThousands(QString::number(whole));
}

QString SignedThousands(double bytes) {
    const QString digits = FormatThousands(bytes);
    return bytes >= 0.5 ? QLatin1Char('+') + digits : digits;
}

QString DetailsChangeText(const ItemRecord& entry) {
    switch (entry.change()) {
    case ItemChange::Unknown:
        return {};
    case ItemChange::New:
        return DetailsModel::tr("%1 (new)").arg(SignedThousands(entry.Size));
    default:
        return SignedThousands(entry.changeBytes());
    }
}

void DetailsModel::setEntries(ItemList entries, bool includeFolders) {
    beginResetModel();
    m_entries = entries;
    m_rows = static_cast<int>(std::min<std::size_t>(entries.size(), INT_MAX));
    m_includeFolders = includeFolders;
    m_markedRow = -1;
    endResetModel();
}

void DetailsModel::setMarkedRow(int row) {
    const int before = std::exchange(m_markedRow, row);
    for (int r : {before, row})
        if (r >= 0 && r < m_rows)
            emit dataChanged(index(r, FilenameColumn), index(r, FilenameColumn));
}

QStringList DetailsModel::widestSizeTexts() const {
    QStringList texts;
    if (!m_entries || m_rows == 0)
        return texts;
    const ItemRecord* largest = nullptr;
    bool folderText = false;
    for (int i = 0; i < m_rows && static_cast<std::size_t>(i) < m_entries.size(); ++i) {
        const ItemRecord& e = m_entries[static_cast<std::size_t>(i)];
        if (e.isFolder() && !m_includeFolders)
            folderText = true;
        else if (!largest || e.Size > largest->Size)
            largest = &e;
    }
    if (largest)
        texts << DetailsSizeText(*largest, m_includeFolders);
    if (folderText)
        texts << QStringLiteral("folder");
    return texts;
}

void DetailsModel::refresh() {
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
}

int DetailsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int DetailsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DetailsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_entries.size())
        return {};
    const ItemRecord& e = m_entries[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FilenameColumn:
            return e.Name;
        case SizeColumn:
            return DetailsSizeText(e, m_includeFolders);
        case ModifiedColumn:
            return e.Modified;
        case ChangeColumn:
            return DetailsChangeText(e);
        default:
            return {};
        }
    case Qt::ForegroundRole:
        if (index.row() == m_markedRow && index.column() == FilenameColumn)
            return QBrush(kMarkedColour);
        return e.isFolder() ? QVariant(QBrush(kFolderColour)) : QVariant();
    case Qt::FontRole:
        if (index.row() == m_markedRow && index.column() == FilenameColumn) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == SizeColumn || index.column() == ChangeColumn
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant();
    default:
        return {};
    }
}

QVariant DetailsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FilenameColumn:
        return tr("Filename");
    case SizeColumn:
        return tr("Size");
    case ModifiedColumn:
        return tr("Modified");
    case ChangeColumn:
        return tr("Change");
    default:
        return {};
    }
}

Qt::ItemFlags DetailsModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsDragEnabled : flags;
}

} // namespace ketra

#include "moc_DetailsModel.cpp"
