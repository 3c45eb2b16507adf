// Reading the folder shown again when it changes on disk (the stored option m_autoupdate). The
// watch paces the reloads; this side keeps what the person was looking at: the camera and the
// sort (a reload keeps both), the selected and the highlighted item where they are still there,
// and the details list's current row and scroll position.
#include "GraphForm.h"

#include "folders/FolderWatch.h"
#include "graph/GraphModel.h"
#include "scene/D3DFrame.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QScrollBar>
#include <QTreeView>

namespace {

// The 1-based index of the entry named `name`; 0 when there is none (or no name).
int indexOfName(const ketra::GraphModel& model, const QString& name) {
    if (name.isEmpty())
        return 0;
    for (int i = 1; i <= model.count(); ++i)
        if (model.entry(i).Name == name)
            return i;
    return 0;
}

} // namespace

void GraphForm::watchFolder(const QString& folder) {
    if (!m_watch)
        m_watch = std::make_unique<ketra::FolderWatch>([this] { return FolderWatch_Changed(); });
    m_watch->watch(m_options.m_autoupdate ? folder : QString());
}

bool GraphForm::FolderWatch_Changed() {
    if (!m_options.m_autoupdate || m_currentFolder.isEmpty())
        return true;
    // Not while a folder is read, nor under an open dialog or menu: the command they lead to acts
    // on the entry selected now.
    if (m_loading || !m_deviceReady || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;

    auto nameOf = [this](int index) {
        return index >= 1 && index <= m_model->count() ? m_model->entry(index).Name : QString();
    };
    const QString selected = nameOf(m_selectedEntry);
    QString highlighted;
    if (m_highlightFrame)
        for (int i = 1; i <= m_model->count() && highlighted.isEmpty(); ++i)
            if (m_model->entry(i).Frame == m_highlightFrame)
                highlighted = m_model->entry(i).Name;
    const bool deleteButton = tlbDelete->isEnabled(), pictureButton = tlbShowImage->isEnabled();
    const bool details = ListView1->isVisible();
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    const QString currentRow = rows.isEmpty() ? QString() : nameOf(rows.first().row() + 1);
    const int scrolled = ListView1->verticalScrollBar()->value();

    reloadFolder();

    if (const int i = indexOfName(*m_model, selected)) {
        m_selectedEntry = i;
        tlbDelete->setEnabled(deleteButton);
    }
    tlbShowImage->setEnabled(pictureButton && QFileInfo::exists(m_imagePath));
    if (const int i = indexOfName(*m_model, highlighted); i && !details)
        highlightFrame(m_model->entry(i).Frame);
    if (details) {
        if (const int i = indexOfName(*m_model, currentRow))
            ListView1->selectionModel()->setCurrentIndex(ListView1->model()->index(i - 1, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        ListView1->verticalScrollBar()->setValue(scrolled);
    }
    return true;
}
