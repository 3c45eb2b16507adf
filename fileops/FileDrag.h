// Items dragged out of the window to another program: a list whose rows are files carries their
// file URLs (text/uri-list), made from the names' bytes, so a file manager or an editor takes
// them whatever bytes a name holds.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTreeView>

#include <functional>

class QMimeData;

namespace ketra {

// The drag data for `paths` (bytes, as the file system names them; made absolute from the
// working folder): one file URL a line, in the order given, each byte that is no letter, digit,
// "-", ".", "_", "~" or "/" percent-encoded. Null when `paths` is empty.
QMimeData* FileUrlsMimeData(const QList<QByteArray>& paths);

// A list whose selected rows are dragged out as files. A drag starts once the pointer has moved
// the system's drag distance with the button held on a selected row (the model marks its rows
// draggable), never on a click; what it carries is the paths `setDragPaths` gives for the rows.
class FileDragView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;

    // The paths of the rows `rows` (row numbers of the model, in the list's order); none stops the
    // drag (nothing local to carry).
    using DragPaths = std::function<QList<QByteArray>(const QList<int>& rows)>;
    void setDragPaths(DragPaths paths);

    // What a drag of the selected rows carries now (null: no drag).
    QMimeData* dragData() const;

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    DragPaths m_paths;
};

} // namespace ketra
