// Turning the address box's text into the folder shown: selectNode, the reload and enter idioms,
// the back/forward history, the parent folder, refresh, and the address box itself.
//
// A navigation request that arrives while a folder is loading (the load lets window events run so
// that Stop works) is ignored; an option change that asks for a reload meanwhile is carried out
// once the load has finished.
#include "GraphForm.h"

#include "folders/NavigationHistory.h"
#include "folders/Paths.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>

void GraphForm::selectNode() {
    if (!m_deviceReady || m_loading)
        return;
    const QString address = adrList->currentText();
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

    const QString shown = adrList->currentText();
    if (!shown.isEmpty() && adrList->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        adrList->addItem(shown);
        adrList->setEditText(shown);
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

void GraphForm::enterFolder(const QString& path) {
    if (m_loading)
        return;
    adrList->setEditText(path);
    selectNode();
    PushHistory(adrList->currentText());
}

void GraphForm::openAddress(const QString& text) {
    if (m_loading)
        return;
    adrList->setEditText(text);
    adrList_KeyUp(13);
}

void GraphForm::PushHistory(const QString& path) {
    m_history->push(path);
    tlbBack->setEnabled(true);
    tlbNext->setEnabled(false);
}

void GraphForm::GoBack() {
    if (m_loading)
        return;
    if (m_history->position() >= 1) {
        adrList->setEditText(m_history->back());
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
        adrList->setEditText(m_history->forward());
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
    const QString address = adrList->currentText();
    const QString parent = ketra::parentFolder(address);
    if (parent == address)
        return; // no parent: the root, or a text that names no path
    PushHistory(parent);
    adrList->setEditText(parent);
    selectNode();
}

void GraphForm::MENU_REFRESH_Click() {
    if (m_loading)
        return;
    InvalidateFolder(adrList->currentText().toUtf8().constData());
    reloadFolder();
}

void GraphForm::adrList_KeyUp(int key) {
    if (key != 13 || m_loading)
        return;
    const QString base = m_currentFolder.isEmpty() ? m_programFolder : m_currentFolder;
    adrList->setEditText(ketra::tidyAddress(adrList->currentText(), base, QDir::homePath()));
    selectNode();
    if (Picture1->isVisible())
        Picture1->setFocus();
}

void GraphForm::adrList_Click(int index) {
    if (m_loading || index < 0)
        return;
    adrList->setEditText(adrList->itemText(index));
    selectNode();
    if (Picture1->isVisible())
        Picture1->setFocus();
}
