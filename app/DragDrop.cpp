// Drag and drop with other programs: a folder (or a file) dropped anywhere on the window is shown,
// and the details list's and the find results' rows are dragged out as files.
//
// A dropped URL's path is its percent-encoded bytes, decoded byte for byte (never through a
// QString), so a name that is not UTF-8 arrives as the file system knows it; a dragged row's URL is
// made from its name's bytes the same way round.
#include "GraphForm.h"

#include "fileops/FileDrag.h"
#include "folders/Paths.h"
#include "search/SearchResults.h"
#include "search/SearchSession.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>

void GraphForm::setUpDragAndDrop() {
    setAcceptDrops(true);
    // A line edit takes dropped text itself; a drag of files over it is the window's.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->installEventFilter(this);

    auto* details = static_cast<ketra::FileDragView*>(ListView1);
    details->setDragEnabled(true);
    details->setDragDropMode(QAbstractItemView::DragOnly);
    // A scan of another machine has no files here to carry.
    details->setDragPaths([this](const QList<int>& rows) {
        QList<QByteArray> paths;
        if (m_scanShown)
            return paths;
        for (int row : rows)
            if (QByteArray path = entryPath(row + 1); !path.isEmpty())
                paths.append(path);
        return paths;
    });

    auto* results = static_cast<ketra::FileDragView*>(LstFind);
    results->setSelectionMode(QAbstractItemView::ExtendedSelection); // several files go at once
    results->setDragEnabled(true);
    results->setDragDropMode(QAbstractItemView::DragOnly);
    results->setDragPaths([this](const QList<int>& rows) {
        const ketra::SearchResultsModel& found = m_search->results();
        QList<QByteArray> paths;
        if (m_scanShown)
            return paths;
        for (int row : rows)
            if (row >= 0 && row < found.rowCount())
                paths.append(ketra::joinPath(found.at(row).folder, found.at(row).name));
        return paths;
    });
}

QByteArray GraphForm::droppedPath(const QList<QUrl>& urls) {
    QByteArray firstFile;
    for (const QUrl& url : urls) {
        const std::optional<QByteArray> path = ketra::pathFromUrl(url);
        if (!path || path->isEmpty())
            continue;
        if (ketra::isFolder(*path))
            return *path;
        if (firstFile.isEmpty())
            firstFile = *path;
    }
    return firstFile;
}

bool GraphForm::dropUrls(const QList<QUrl>& urls) {
    if (busy())
        return false;
    const QByteArray path = droppedPath(urls);
    if (path.isEmpty())
        return false;
    openArgument(path);
    return true;
}

bool GraphForm::takesDrop(const QDropEvent* event) const {
    if (busy() || !event->mimeData()->hasUrls())
        return false;
    // What was dragged out of this window is not dropped back into it.
    if (auto* source = qobject_cast<const QWidget*>(event->source()); source && source->window() == this)
        return false;
    const QList<QUrl> urls = event->mimeData()->urls();
    return std::any_of(urls.begin(), urls.end(),
                       [](const QUrl& url) { return ketra::pathFromUrl(url).has_value(); });
}

void GraphForm::dragEnterEvent(QDragEnterEvent* event) {
    if (takesDrop(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void GraphForm::dragMoveEvent(QDragMoveEvent* event) {
    if (takesDrop(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void GraphForm::dropEvent(QDropEvent* event) {
    if (takesDrop(event) && dropUrls(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

bool GraphForm::filterDrop(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        break;
    default:
        return false;
    }
    if (!qobject_cast<QLineEdit*>(watched) || !static_cast<QDropEvent*>(event)->mimeData()->hasUrls())
        return false;
    if (event->type() == QEvent::DragEnter)
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
    else if (event->type() == QEvent::DragMove)
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
    else
        dropEvent(static_cast<QDropEvent*>(event));
    return true;
}
