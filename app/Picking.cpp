// Clicking in the 3D view: selecting a bar (it turns red), the item's context menu or the view's
// menu on the right button, and double-clicking: a folder is entered, a file is opened by the
// system.
#include "GraphForm.h"
#include "folders/ItemPath.h"
#include "graph/Camera.h"
#include "graph/GraphModel.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QMenu>

QByteArray GraphForm::ItemPath() const {
    return entryPath(m_selectedEntry);
}

QByteArray GraphForm::entryPath(int entry) const {
    if (m_options.m_treeview && entry >= 1 && entry <= m_model->count())
        return m_levelFolders.itemPath(m_model->entry(entry));
    // The item's own name bytes (a name may hold brackets, so it is not cut out of the hover
    // text), in the folder its entry was read from, not in what the address box holds meanwhile.
    const QByteArray folder = m_currentFolder.isEmpty() ? m_shownFolder : m_currentFolder;
    return ketra::ItemPath(m_model->entries(), entry, folder);
}

void GraphForm::Picture1_MouseDown(int button, int shift, float x, float y, float pixelX, float pixelY) {
    m_lastPixelX = pixelX;
    m_lastPixelY = pixelY;
    const bool right = (button & 2) != 0;
    if (right) {
        m_camera->m_lastX = x;
        m_camera->m_lastY = y;
    } else {
        m_camera->MouseDown(x, y); // a drag starts
    }
    if (!m_deviceReady || busy())
        return;

    m_overlay.hoverText.clear();
    MouseOver(button, shift, pixelX, pixelY, true);
    const bool hit = !m_overlay.hoverText.isEmpty();
    if (!right) {
        if (hit) {
            tlbDelete->setEnabled(true);
            CheckImage(ItemPath());
        }
        return;
    }

    const qreal dpr = Picture1->devicePixelRatioF();
    const QPoint global = Picture1->mapToGlobal(QPointF(pixelX / dpr, pixelY / dpr).toPoint());
    if (!hit) {
        MENU_POPUP->popup(global);
        return;
    }
    mnuFolderOpen->setVisible(m_model->entry(m_selectedEntry).isFolder());
    tlbDelete->setEnabled(true);
    CheckImage(ItemPath());
    MENU_CONTEXT->popup(global);
}

void GraphForm::Picture1_DblClick() {
    if (!m_deviceReady || busy())
        return;
    m_overlay.hoverText.clear();
    MouseOver(1, 0, m_lastPixelX, m_lastPixelY, true);
    if (m_overlay.hoverText.isEmpty())
        return;
    tlbDelete->setEnabled(true);

    const ketra::DataEntry& entry = m_model->entry(m_selectedEntry);
    const QByteArray path = ItemPath();
    CheckImage(path);
    if (entry.isFolder()) {
        if (entry.Level <= 1) // the tree's root node
            return;
        m_camera->MouseUp(); // the load runs before the button's release arrives
        if (m_options.m_treeview) {
            expandTreeFolder(m_selectedEntry); // the folder opens in place
            return;
        }
        enterFolder(path);
        return;
    }
    ShellOpen(path);
}
