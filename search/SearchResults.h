// The files a search found, as the find pane's list shows them: one row per file in the order the
// scanner reported them, with its name, the folder that holds it and its size in bytes.
//
// Rows arrive in batches while the search runs; a list of 100,000 results costs two byte strings
// and a number per row (results of one folder share its bytes; the text shown is decoded for the
// rows drawn only), and a batch is one insertion for the view, so the list never holds the search
// up.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>

#include <vector>

namespace ketra {

struct SearchResult {
    QByteArray name;   // the file's name, no folder part: the scanner's bytes
    QByteArray folder; // the folder holding it, no trailing "/"
    double size = 0;
};

class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { FilenameColumn, FolderColumn, SizeColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Display text: the name and the folder decoded (invalid bytes as U+FFFD), the size as a whole
    // number of bytes without separators.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The column captions "Filename", "Folder", "Size".
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Rows are files on disk: they may be dragged (the list makes what a drag carries).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends the rows of `batch` at the end, in order.
    void append(std::vector<SearchResult>&& batch);
    // Removes every row.
    void clear();
    // Row `row` (0-based, below rowCount()).
    const SearchResult& at(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }

private:
    std::vector<SearchResult> m_rows;
};

} // namespace ketra
