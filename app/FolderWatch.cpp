// Reading the folder shown again when it changes on disk (the stored option m_autoupdate). The
// watch paces the reloads; this side keeps what the person was looking at: the camera and the
// sort (a reload keeps both), the selected and the highlighted item where they are still there,
// and the details list's current row and scroll position. A folder shown that went away gives way
// to its nearest parent that is still there.
#include "GraphForm.h"

#include "folders/FolderWatch.h"
#include "folders/ItemPath.h"
#include "folders/Paths.h"
#include "graph/GraphModel.h"
#include "scene/D3DFrame.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QScrollBar>
#include <QTreeView>

void GraphForm::watchFolder(const QByteArray& folder) {
    if (!m_watch)
        m_watch = std::make_unique<ketra::FolderWatch>([this] { return FolderWatch_Changed(); });
    // A scan of another machine has nothing here to watch.
    m_watch->watch(m_options.m_autoupdate && GetScanTime() < 0 ? folder : QByteArray());
}

bool GraphForm::FolderWatch_Changed() {
    if (!m_options.m_autoupdate || m_currentFolder.isEmpty())
        return true;
    // Not while a folder is read, nor under an open dialog or menu: the command they lead to acts
    // on the entry selected now.
    if (busy() || !m_deviceReady || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    // Gone, with another folder of its name standing there now: that one is read like a change.
    // (In the tree view the tree's root is what stays or goes.)
    const QByteArray shown = m_options.m_treeview ? m_levelFolders.root() : m_currentFolder;
    if (m_watch->gone() && !shown.isEmpty() && !ketra::isFolder(shown)) {
        followGoneFolder(shown);
        return true;
    }

    const ViewKept kept = keepView();
    reloadFolder([this, kept] { restoreView(kept); });
    return true;
}

GraphForm::ViewKept GraphForm::keepView() const {
    auto nameOf = [this](int index) {
        return index >= 1 && index <= m_model->count() ? m_model->entry(index).NameBytes : QByteArray();
    };
    ViewKept kept;
    kept.selected = nameOf(m_selectedEntry);
    if (m_highlightFrame)
        for (int i = 1; i <= m_model->count() && kept.highlighted.isEmpty(); ++i)
            if (m_model->entry(i).Frame == m_highlightFrame)
                kept.highlighted = m_model->entry(i).NameBytes;
    kept.deleteButton = tlbDelete->isEnabled();
    kept.pictureButton = tlbShowImage->isEnabled();
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    kept.currentRow = rows.isEmpty() ? QByteArray() : nameOf(rows.first().row() + 1);
    kept.scrolled = ListView1->verticalScrollBar()->value();
    return kept;
}

void GraphForm::restoreView(const ViewKept& kept) {
    m_selectedEntry = ketra::EntryNamed(m_model->entries(), kept.selected);
    tlbDelete->setEnabled(m_selectedEntry != 0 && kept.deleteButton);
    tlbShowImage->setEnabled(kept.pictureButton && QFileInfo::exists(m_imagePath));
    const bool details = ListView1->isVisible();
    if (const int i = ketra::EntryNamed(m_model->entries(), kept.highlighted); i && !details)
        highlightFrame(m_model->entry(i).Frame);
    if (details) {
        if (const int i = ketra::EntryNamed(m_model->entries(), kept.currentRow))
            ListView1->selectionModel()->setCurrentIndex(ListView1->model()->index(i - 1, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        ListView1->verticalScrollBar()->setValue(kept.scrolled);
    }
}

void GraphForm::followGoneFolder(const QByteArray& gone) {
    QByteArray parent = ketra::parentFolder(gone);
    while (!ketra::isFolder(parent) && ketra::parentFolder(parent) != parent)
        parent = ketra::parentFolder(parent);
    PushHistory(parent);
    setAddress(parent);
    selectNode([this, parent, gone] {
        if (m_currentFolder == parent)
            showNotice(
                tr("\"%1\" is no longer there; its parent folder is shown").arg(ketra::displayText(gone)));
    });
}
