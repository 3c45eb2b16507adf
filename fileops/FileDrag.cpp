#include "fileops/FileDrag.h"
#include "fileops/Shell.h"

#include <QDrag>
#include <QItemSelectionModel>
#include <QMimeData>

#include <algorithm>

namespace ketra {

QMimeData* FileUrlsMimeData(const QList<QByteArray>& paths) {
    if (paths.isEmpty())
        return nullptr;
    QByteArray list;
    for (const QByteArray& path : paths)
        list += FileUrl(path).toEncoded() + "\r\n";
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), list);
    return data;
}

void FileDragView::setDragPaths(DragPaths paths) {
    m_paths = std::move(paths);
}

QMimeData* FileDragView::dragData() const {
    if (!m_paths || !selectionModel())
        return nullptr;
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return FileUrlsMimeData(m_paths(rows));
}

void FileDragView::startDrag(Qt::DropActions) {
    QMimeData* data = dragData();
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

} // namespace ketra

#include "moc_FileDrag.cpp"
