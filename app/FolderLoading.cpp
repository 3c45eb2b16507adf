// Reading the folder named by the address box into graph entries, with the progress line and its
// Stop button.
#include "GraphForm.h"

#include "colours/ExtColours.h"
#include "datafile/DataTableRead.h"
#include "folders/DetailsModel.h"
#include "folders/FolderReader.h"
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"
#include "search/SearchSession.h"
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
#include <iterator>
#include <utility>
#include <vector>

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

void GraphForm::showNotice(const QString& text) {
    if (m_loading || m_search->running())
        return; // the line is taken
    placeProgressOverAddress();
    prog->setText(text);
    prog->setCursorPosition(0);
    prog->show();
    m_noticeTimer->start();
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
    const QByteArray old = m_currentFolder.isEmpty() ? m_shownFolder : m_currentFolder;
    const QByteArray address = addressPath();
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

    m_noticeTimer->stop(); // the line is the load's now
    ketra::FolderReader reader(m_pathBuffer);
    watchFolder(address); // changes from now on reload it; earlier ones are in what is read
    const int32_t n = reader.open(address);
    if (n < 0) {
        watchFolder(old);
        finish();
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"),
                        ketra::FolderErrorText(address, reader.error()), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgFolderNotFound"));
        QTimer keep; // the picture shown stays behind the message
        connect(&keep, &QTimer::timeout, this, &GraphForm::keepPictureShown);
        keep.start(50);
        box.exec();
        setAddress(old);
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
        setAddress(old);
        watchFolder(old);
        finish();
        return;
    }

    // With folder sizes on, the totals now known order the folders (sort by size).
    if (m_options.m_includeFolders)
        ketra::FolderReader::sortByTotals();
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
        entries.addItem(item.name, item.attributes, item.size, item.modified, item.id);
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
    const int32_t count = std::exchange(m_verifyCount, 0);
    std::vector<ketra::DataEntry>& entries = m_model->entries();
    const auto first = static_cast<std::size_t>(m_verifyFirst - 1);
    if (entries.size() != first + static_cast<std::size_t>(count))
        return; // the folder's items are no longer the last entries

    // The exact totals may order the folders otherwise: the items are read again in their order
    // now, each into the cell of the grid its place gives it.
    ketra::FolderReader::sortByTotals();
    const ViewKept kept = keepView();
    std::vector<ketra::DataEntry> before(std::make_move_iterator(entries.begin() + first),
                                         std::make_move_iterator(entries.end()));
    entries.resize(first);
    ketra::FolderEntryBuilder builder(*m_model, g_extColours, count, m_options.m_includeFolders,
                                      m_options.m_logscale, before.empty() ? m_level : before.front().Level);
    ketra::FolderReader reader(m_pathBuffer);
    for (int32_t i = 0; i < count; ++i) {
        const ketra::FolderItem item = reader.item(i);
        builder.addItem(item.name, item.attributes, item.size, item.modified, item.id);
    }
    const bool changed = !std::equal(before.begin(), before.end(), entries.begin() + first, entries.end(),
                                     [](const ketra::DataEntry& a, const ketra::DataEntry& b) {
                                         return a.NameBytes == b.NameBytes && a.Size == b.Size;
                                     });
    ketra::FolderStatistics& stats = m_overlay.statistics;
    stats = builder.statistics();
    stats.totalFileCount = ketra::FolderReader::totalFileCount();
    stats.totalFolderCount = ketra::FolderReader::totalFolderCount();
    if (changed) {
        RebuildScene(false);
        m_detailsModel->refresh();
        restoreView(kept);
    } else { // the bars built stay
        entries.resize(first);
        std::move(before.begin(), before.end(), std::back_inserter(entries));
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
