// The details list's rows: one per entry of the folder shown, in the entries' order (the scanner
// sorts; the list never does), with the columns "Filename", "Size", "Modified" and "Change". Folder rows
// are drawn blue.
//
// The model reads the entries it is given and copies nothing, so a list of 100,000 items costs
// one reset, and the view asks only for the rows it draws. Whoever owns the entries resets the
// model (setEntries) whenever they change, and before they go away; meanwhile the row count stays
// what it was and rows no longer there read as empty.
#pragma once

#include "folders/ItemRecord.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <vector>

namespace ketra {

// What the "Size" column says: "folder" for a folder while folder sizes are off; otherwise "0"
// for 0 bytes or less, else the whole number of bytes with its digits grouped by thousands
// ("5,120").
QString DetailsSizeText(const ItemRecord& entry, bool includeFolders);

// A change of bytes with its sign: "+1,234", "-300", "0".
QString SignedThousands(double bytes);

// What the "Change" column says of a folder: its total's change since its earlier state
// ("+1,234", "-300", "0"), "+6 (new)" for a folder that was not there then; nothing for a file or
// a folder without an earlier state.
QString DetailsChangeText(const ItemRecord& entry);

class DetailsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The "Change" column is shown only in the bar graph's changes mode (the view hides it).
    enum Column { FilenameColumn, SizeColumn, ModifiedColumn, ChangeColumn, ColumnCount };
    // The colour of folder rows.
    static constexpr QColor kFolderColour{0, 0, 250};

    explicit DetailsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Shows `entries` (none: an empty list; not owned, read until the next call) with the size
    // texts of `includeFolders`: one reset of the whole list.
    void setEntries(ItemList entries, bool includeFolders);
    // The entries' values changed in place (not their number): the rows are drawn again.
    void refresh();
    // The texts of the "Size" column that may be the widest: the largest count's, and "folder"
    // when a folder shows it (digits are all as wide in the list's fonts, so the most digits are
    // the widest). Looks at every row: one pass over the entries.
    QStringList widestSizeTexts() const;
    // The row of an item gone to from the find pane: its name is drawn bold and dark red until
    // another row is marked or the rows are replaced (-1: none).
    void setMarkedRow(int row);
    static constexpr QColor kMarkedColour{200, 0, 0};

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Rows are items on disk: they may be dragged (the list makes what a drag carries).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    ItemList m_entries; // not owned
    int m_rows = 0;     // the count at the last reset
    bool m_includeFolders = false;
    int m_markedRow = -1;
};

} // namespace ketra
