// The changes mode: the folders' bars coloured by what their totals did since an earlier exact
// pass, and marking the sizes now as that earlier state.
#include "GraphForm.h"

#include "folders/DetailsModel.h"
#include "folders/FolderReader.h"
#include "folders/Paths.h"
#include "treescan.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTreeView>

#include <cstring>
#include <utility>

void GraphForm::createChangesMenu(QMenu* view) {
    view->addSeparator();
    mnuViewChanges = new QAction(tr("Changes") + QStringLiteral("\tC"), this);
    mnuViewChanges->setObjectName(QStringLiteral("mnuViewChanges"));
    mnuViewChanges->setCheckable(true);
    mnuViewMarkEarlier = new QAction(tr("Mark Sizes as Earlier State"), this);
    mnuViewMarkEarlier->setObjectName(QStringLiteral("mnuViewMarkEarlier"));
    view->addAction(mnuViewChanges);
    view->addAction(mnuViewMarkEarlier);
    // Enabled when the folder shown has its exact sizes.
    connect(view, &QMenu::aboutToShow, this, [this] {
        mnuViewMarkEarlier->setEnabled(!busy() && !m_scanShown && m_options.m_includeFolders &&
                                       !m_currentFolder.isEmpty() &&
                                       GetPassState() == TREESCAN_PASS_VERIFIED);
    });
    connect(mnuViewChanges, &QAction::triggered, this, &GraphForm::mnuViewChanges_Click);
    connect(mnuViewMarkEarlier, &QAction::triggered, this, &GraphForm::mnuViewMarkEarlier_Click);
}

void GraphForm::mnuViewChanges_Click() {
    m_options.m_showChanges = !m_options.m_showChanges;
    mnuViewChanges->setChecked(m_options.m_showChanges);
    ListView1->setColumnHidden(ketra::DetailsModel::ChangeColumn, !m_options.m_showChanges);
    if (!m_options.m_showChanges && m_sortKey == TREESCAN_SORT_CHANGE) {
        // The column that sorted is gone: the names sort again.
        m_sortKey = TREESCAN_SORT_NAME;
        SortBy(m_sortKey, m_sortAscending);
        reloadFolder();
        return;
    }
    if (m_graphBuilt && !busy() && !Picture1->isHidden() && !m_options.m_treeview)
        RebuildScene(); // the bars take their other colours
    markViewDirty();
}

void GraphForm::mnuViewMarkEarlier_Click() {
    if (busy() || m_currentFolder.isEmpty() || refusedOnScan())
        return;
    const QString shown = ketra::displayText(m_currentFolder);
    QString problem;
    if (!m_options.m_includeFolders)
        problem = tr("Folder sizes are off: turn them on (F), let the measuring of \"%1\" end, then mark.");
    else if (MarkEarlierState(m_currentFolder.constData()) < 0)
        problem = tr("The exact sizes of \"%1\" are not known yet: let the measuring end, then mark.");
    if (!problem.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"), problem.arg(shown), QMessageBox::Ok,
                        this);
        box.setObjectName(QStringLiteral("msgNoExactSizes"));
        box.exec();
        return;
    }
    const QString notice = saveFolderCache();
    reloadFolder([this, notice] {
        if (!notice.isEmpty())
            showNotice(notice);
    });
}

void GraphForm::readFolderChanges() {
    m_overlay.changes = m_options.m_includeFolders ? ketra::FolderReader::changes() : ketra::FolderChanges{};
}

QString GraphForm::saveFolderCache() {
    const int32_t stored = SaveFolderList(m_programFolder.constData());
    if (stored >= 0)
        return {};
    const QString reason = QString::fromLocal8Bit(std::strerror(-stored));
    qWarning("Ketra: the folder cache can't be written: %s", qPrintable(reason));
    if (std::exchange(m_cacheFailureTold, true))
        return {};
    return tr("The folder cache can't be written (%1): the one stored before is kept").arg(reason);
}
