// Turning the address box's text into the folder shown: selectNode, the reload and enter idioms,
// the back/forward history, the parent folder, refresh, and the address box itself.
//
// A navigation request that arrives while a folder is loading (the load lets window events run so
// that Stop works) is ignored; an option change that asks for a reload meanwhile is carried out
// once the load has finished.
//
// Folders are their bytes throughout: the address box shows a folder's text and keeps its bytes
// beside it (in its list, each item's data), so a name that is not valid UTF-8 is reached as it
// is. Only what the user types is taken as text, as UTF-8 bytes.
#include "GraphForm.h"

#include "folders/ItemPath.h"
#include "folders/NavigationHistory.h"
#include "folders/Paths.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QVariant>

#include <sys/stat.h>

void GraphForm::setAddress(const QByteArray& path) {
    m_addressPath = path;
    m_addressText = ketra::displayText(path);
    adrList->setEditText(m_addressText);
}

QByteArray GraphForm::addressPath() const {
    const QString text = adrList->currentText();
    return text == m_addressText ? m_addressPath : text.toUtf8();
}

void GraphForm::selectNode() {
    if (!m_deviceReady || m_loading)
        return;
    const QByteArray address = addressPath();
    if (address == m_currentFolder)
        return;
    if (Picture1->isHidden()) {
        FillDetailsList(); // folders seen here do not join the address list
        if (m_reloadPending) {
            m_reloadPending = false;
            reloadFolder();
        }
        return;
    }

    setRenderTimer(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    RebuildScene();
    setRenderTimer(true);

    const QByteArray shown = addressPath();
    if (!shown.isEmpty() && adrList->findData(shown) < 0) {
        adrList->addItem(ketra::displayText(shown), shown);
        setAddress(shown);
    }
    QApplication::restoreOverrideCursor();

    if (m_reloadPending) {
        m_reloadPending = false;
        reloadFolder();
    }
}

void GraphForm::reloadFolder() {
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_currentFolder.clear();
    selectNode();
}

void GraphForm::enterFolder(const QByteArray& path) {
    if (m_loading)
        return;
    setAddress(path);
    selectNode();
    PushHistory(addressPath());
}

void GraphForm::openAddress(const QByteArray& path) {
    if (m_loading)
        return;
    const QByteArray base = m_currentFolder.isEmpty() ? m_programFolder : m_currentFolder;
    setAddress(ketra::tidyAddress(path, base, ketra::homeFolder()));
    selectNode();
    if (Picture1->isVisible())
        Picture1->setFocus();
}

void GraphForm::openAddress(const QString& typed) {
    openAddress(typed.trimmed().toUtf8());
}

void GraphForm::openArgument(const QByteArray& path) {
    if (m_loading)
        return;
    const QByteArray base = m_currentFolder.isEmpty() ? m_programFolder : m_currentFolder;
    const QByteArray full = ketra::tidyAddress(path, base, ketra::homeFolder());
    struct stat st {};
    if (full.contains('\0') || ::stat(full.constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        openAddress(full); // a folder, or what can't be shown says why
        return;
    }
    openAddress(ketra::parentFolder(full));
    if (m_currentFolder == ketra::parentFolder(full))
        selectItemNamed(ketra::fileNameOf(full));
}

void GraphForm::selectItemNamed(const QByteArray& name) {
    m_selectedEntry = ketra::EntryNamed(m_model->entries(), name);
    if (m_selectedEntry == 0)
        return;
    tlbDelete->setEnabled(true);
    if (Picture1->isVisible())
        highlightFrame(m_model->entry(m_selectedEntry).Frame);
    else
        highlightDetailsRow(m_selectedEntry);
}

void GraphForm::PushHistory(const QByteArray& path) {
    m_history->push(path);
    tlbBack->setEnabled(true);
    tlbNext->setEnabled(false);
}

void GraphForm::GoBack() {
    if (m_loading)
        return;
    if (m_history->position() >= 1) {
        setAddress(m_history->back());
        selectNode();
        tlbNext->setEnabled(true);
    } else {
        tlbBack->setEnabled(false);
    }
    if (m_history->position() == 0)
        tlbBack->setEnabled(false);
}

void GraphForm::GoForward() {
    if (m_loading)
        return;
    if (m_history->position() < m_history->top()) {
        setAddress(m_history->forward());
        selectNode();
        tlbBack->setEnabled(true);
    } else {
        tlbNext->setEnabled(false);
    }
    if (m_history->position() == m_history->top())
        tlbNext->setEnabled(false);
}

void GraphForm::MENU_UP_Click() {
    if (m_loading)
        return;
    const QByteArray address = addressPath();
    const QByteArray parent = ketra::parentFolder(address);
    if (parent == address)
        return; // no parent: the root, or a text that names no path
    PushHistory(parent);
    setAddress(parent);
    selectNode();
}

void GraphForm::MENU_REFRESH_Click() {
    if (m_loading)
        return;
    InvalidateFolder(addressPath().constData());
    reloadFolder();
}

void GraphForm::adrList_KeyUp(int key) {
    if (key != 13 || m_loading)
        return;
    const QString text = adrList->currentText();
    if (text == m_addressText) // the folder set last, unchanged: its own bytes
        openAddress(m_addressPath);
    else
        openAddress(text);
}

void GraphForm::adrList_Click(int index) {
    if (m_loading || index < 0)
        return;
    setAddress(adrList->itemData(index).toByteArray());
    selectNode();
    if (Picture1->isVisible())
        Picture1->setFocus();
}
