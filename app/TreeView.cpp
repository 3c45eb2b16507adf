// The 3D tree view: its command, its scene, and a folder node opened in place.
#include "GraphForm.h"

#include "graph/GraphModel.h"
#include "graph/TreeScene.h"

#include <QAction>
#include <QComboBox>
#include <QTreeView>

void GraphForm::mnuViewTree3D_Click() {
    mnuView3D->setChecked(false);
    mnuViewTree3D->setChecked(true);
    mnuViewDetails->setChecked(false);
    Picture1->show();
    ListView1->hide();
    m_options.m_treeview = true;
    reloadFolder();
    setRenderTimer(m_deviceReady);
}

void GraphForm::BuildTree() {
    if (!m_deviceReady)
        return;
    dropScene();
    takeScene(ketra::BuildTreeScene(*m_model, m_options, m_windowFont, m_barWidth, m_barDepth));
}

void GraphForm::expandTreeFolder(int index) {
    if (index < 1 || index > m_model->count())
        return;
    const ketra::DataEntry& entry = m_model->entry(index);
    const int level = entry.Level;
    const QByteArray path = m_levelFolders.itemPath(entry);
    if (level <= 1 || !entry.isFolder() || path.isEmpty())
        return;

    if (busy() || !m_deviceReady)
        return;
    ketra::DropDeeperLevels(*m_model, level);
    m_level = static_cast<std::int16_t>(level + 1);
    const QByteArray root = addressPath();
    setAddress(path);
    m_levelFolders.open(level, path);
    m_currentFolder.clear(); // a folder opened again is read again: its wall was just dropped
    // A load that failed or was stopped leaves the entries it would have appended to: the next
    // load starts a tree afresh.
    selectNode(
        [this, root] {
            m_level = 2;
            PushHistory(addressPath());
            setAddress(root);
        },
        true);
}
