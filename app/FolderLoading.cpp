// Reading the folder named by the address box into graph entries, with the progress line and its
// Stop button.
#include "GraphForm.h"

#include "colours/ExtColours.h"
#include "datafile/DataTableRead.h"
#include "folders/DetailsModel.h"
#include "folders/FolderReader.h"
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"
#include "treescan.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// The hourglass for as long as it lives; every path out of a load puts the pointer back.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void release() {
        if (m_held)
            QApplication::restoreOverrideCursor();
        m_held = false;
    }

private:
    bool m_held = true;
};

} // namespace

void GraphForm::placeProgressOverAddress() {
    prog->setGeometry(adrList->geometry());
    prog->raise();
}

void GraphForm::showAddressIdle() {
    prog->hide();
    cmdStop->hide();
    adrList->setEnabled(true);
    adrLabel->setText(tr("Address"));
}

void GraphForm::LoadFolder() {
    m_verifyCount = 0; // the sizes awaited were those of the folder left behind
    if (m_verifyWatch)
        m_verifyWatch->setEnabled(false);
    m_selectedEntry = 0;
    // The item under the mouse was one of the folder left behind.
    m_overlay.hoverShown = false;
    m_overlay.hoverText.clear();
    txtCurrent->clear();
    tlbDelete->setEnabled(false);
    tlbShowImage->setEnabled(false);
    WaitCursor hourglass;
    // What the address box shows again when the load fails or is stopped. A reload (the current
    // folder emptied on purpose) goes back to the folder still on screen, not to an empty address.
    const QString old = m_currentFolder.isEmpty() ? m_shownFolder : m_currentFolder;
    const QString address = adrList->currentText();
    m_stopSearch = false;

    placeProgressOverAddress();
    prog->clear();
    prog->show();
    adrList->setEnabled(false); // the progress line covers it; nothing may change it meanwhile
    cmdStop->show();
    cmdStop->raise();
    adrLabel->setText(tr("Searching:"));
    // Raised before the window may run events, so that nothing started from them can begin a
    // second load inside this one.
    m_loading = true;
    QCoreApplication::processEvents();
    keepPictureShown();

    // Every path out of the load below ends here: idle address bar, flags down, a close that
    // arrived meanwhile carried out.
    auto finish = [&] {
        showAddressIdle();
        m_stopSearch = false;
        m_loading = false;
        hourglass.release();
        if (m_closePending)
            QTimer::singleShot(0, this, &QWidget::close);
    };

    ketra::FolderReader reader(m_pathBuffer);
    watchFolder(address); // changes from now on reload it; earlier ones are in what is read
    const int32_t n = reader.open(address);
    if (n < 0) {
        watchFolder(old);
        finish();
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"),
                        tr("Folder \"%1\" not found").arg(address), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgFolderNotFound"));
        QTimer keep; // the picture shown stays behind the message
        connect(&keep, &QTimer::timeout, this, &GraphForm::keepPictureShown);
        keep.start(50);
        box.exec();
        adrList->setEditText(old);
        return;
    }

    if (m_options.m_includeFolders) {
        // The characters of a folder path that fit in the progress line.
        const int fit = static_cast<int>(std::lround(pixelsToTwipsX(prog->width()) / 80.0));
        reader.measure(fit, [this](const QString& folder) {
            if (!folder.isEmpty())
                prog->setText(folder);
            QCoreApplication::processEvents(); // Stop works meanwhile
            keepPictureShown();
            return !m_stopSearch;
        });
    }
    showAddressIdle();

    if (m_stopSearch) {
        adrList->setEditText(old);
        watchFolder(old);
        finish();
        return;
    }

    m_currentFolder = address;
    m_shownFolder = address;
    if (!m_keepEntries)
        m_model->clear();

    // The grid counters, the colours and the statistics follow the graph's loading rules.
    ketra::FolderEntryBuilder entries(*m_model, g_extColours, n, m_options.m_includeFolders,
                                      m_options.m_logscale, m_level);
    if (m_options.m_treeview && !m_keepEntries) {
        entries.addFolderItself(m_currentFolder);
        m_levelFolders.reset(m_currentFolder);
    }

    const int firstEntry = m_model->count() + 1;
    for (int32_t i = 0; i < n; ++i) {
        const ketra::FolderItem item = reader.item(i);
        entries.addItem(item.name, item.attributes, item.size, item.modified);
    }
    if (m_options.m_includeFolders && ketra::FolderReader::verifying())
        watchVerification(firstEntry, n);
    ketra::FolderStatistics& stats = m_overlay.statistics;
    stats = entries.statistics();
    if (m_options.m_includeFolders) {
        stats.totalFileCount = ketra::FolderReader::totalFileCount();
        stats.totalFolderCount = ketra::FolderReader::totalFolderCount();
    }
    m_keepEntries = false;
    m_level = 2;
    finish();
}

void GraphForm::watchVerification(int firstEntry, int32_t count) {
    const int fd = ketra::FolderReader::progressDescriptor();
    if (fd < 0)
        return; // no descriptor to watch: the cached sizes stay until the next load
    if (!m_verifyWatch) {
        m_verifyWatch = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_verifyWatch, &QSocketNotifier::activated, this, &GraphForm::verifiedSizesArrived);
    }
    m_verifyFirst = firstEntry;
    m_verifyCount = count;
    m_verifyWatch->setEnabled(true);
}

void GraphForm::verifiedSizesArrived() {
    WaitForProgress(0); // takes the wake-up, so the watch fires again only for new news
    if (m_verifyCount == 0 || m_loading)
        return;
    if (!ketra::FolderReader::verifiedNow()) {
        if (!ketra::FolderReader::verifying()) { // stopped: the cached sizes stay
            m_verifyCount = 0;
            m_verifyWatch->setEnabled(false);
        }
        return;
    }
    m_verifyWatch->setEnabled(false);
    ketra::FolderReader reader(m_pathBuffer);
    ketra::FolderStatistics& stats = m_overlay.statistics;
    bool changed = false;
    for (int32_t i = 0; i < m_verifyCount; ++i) {
        ketra::DataEntry& e = m_model->entry(m_verifyFirst + i);
        const double size = reader.item(i).size;
        if (!e.isFolder() || size == e.Size)
            continue;
        stats.totalBytes += size - e.Size;
        e.Size = size;
        e.Value = m_options.m_logscale && size > 0 ? std::log(size) : size;
        changed = true;
    }
    m_verifyCount = 0;
    stats.totalFileCount = ketra::FolderReader::totalFileCount();
    stats.totalFolderCount = ketra::FolderReader::totalFolderCount();
    if (changed) {
        RebuildScene(false);
        m_detailsModel->refresh();
    }
    markViewDirty();
}

void GraphForm::cmdStop_Click() {
    if (m_tableRead && m_tableRead->running()) {
        m_tableRead->stop(); // the scanner is not busy: a table is being read
        return;
    }
    ResetFileTree();
    m_stopSearch = true;
}
