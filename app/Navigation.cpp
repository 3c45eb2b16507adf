// Turning the address box's text into the folder shown: selectNode, the reload and enter idioms,
// the back/forward history, the parent folder, refresh, and the address box itself.
//
// A navigation request that arrives while the window is busy (a folder is read on the scanner's
// threads meanwhile, and Stop works) is refused; an option change that asks for a reload meanwhile
// is carried out once the load has finished.
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

void GraphForm::selectNode(std::function<void()> then, bool keepEntries) {
    if (busy())
        return;
    if (!m_deviceReady || addressPath() == m_currentFolder) {
        if (then)
            then();
        return;
    }
    LoadFolder(std::move(then), keepEntries); // the view shows the folder once it is read
}

void GraphForm::reloadFolder(std::function<void()> then) {
    if (busy()) {
        m_waiting = m_waiting == Waiting::Close ? Waiting::Close : Waiting::Reload;
        return;
    }
    m_currentFolder.clear();
    selectNode(std::move(then));
}

void GraphForm::enterFolder(const QByteArray& path) {
    if (busy())
        return;
    setAddress(path);
    selectNode([this] { PushHistory(addressPath()); });
}

void GraphForm::openAddress(const QByteArray& path, std::function<void()> then) {
    if (busy())
        return;
    const QByteArray base = m_currentFolder.isEmpty() ? m_programFolder : m_currentFolder;
    setAddress(ketra::tidyAddress(path, base, ketra::homeFolder()));
    selectNode(std::move(then));
    if (Picture1->isVisible())
        Picture1->setFocus();
}

void GraphForm::openAddress(const QString& typed) {
    openAddress(typed.trimmed().toUtf8());
}

void GraphForm::openArgument(const QByteArray& path) {
    if (busy())
        return;
    const QByteArray base = m_currentFolder.isEmpty() ? m_programFolder : m_currentFolder;
    const QByteArray full = ketra::tidyAddress(path, base, ketra::homeFolder());
    struct stat st {};
    if (full.contains('\0') || ::stat(full.constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        openAddress(full); // a folder, or what can't be shown says why
        return;
    }
    openAddress(ketra::parentFolder(full), [this, full] {
        if (m_currentFolder == ketra::parentFolder(full))
            selectItemNamed(ketra::fileNameOf(full));
    });
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
    if (busy())
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
    if (busy())
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
    if (busy())
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
    if (busy())
        return;
    InvalidateFolder(addressPath().constData());
    reloadFolder();
}

void GraphForm::adrList_KeyUp(int key) {
    if (key != 13 || busy())
        return;
    const QString text = adrList->currentText();
    if (text == m_addressText) // the folder set last, unchanged: its own bytes
        openAddress(m_addressPath);
    else
        openAddress(text);
}

void GraphForm::adrList_Click(int index) {
    if (busy() || index < 0)
        return;
    setAddress(adrList->itemData(index).toByteArray());
    selectNode();
    if (Picture1->isVisible())
        Picture1->setFocus();
}
