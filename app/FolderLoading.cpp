// Reading the folder named by the address box into graph entries, with the progress line and its
// Stop button.
#include "GraphForm.h"

#include "colours/ExtColours.h"
#include "datafile/DataTableRead.h"
#include "folders/DetailsModel.h"
#include "folders/FolderLoad.h"
#include "folders/FolderReader.h"
#include "folders/Paths.h"
#include "folders/ScanOpen.h"
#include "graph/BarScene.h"
#include "graph/FolderEntries.h"
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
    if (busy() || m_search->running())
        return; // the line is taken
    placeProgressOverAddress();
    prog->setText(text);
    prog->setCursorPosition(0);
    prog->show();
    m_noticeTimer->start();
}

int GraphForm::progressFit() const {
    // The characters of a folder path that fit in the progress line.
    return static_cast<int>(std::lround(pixelsToTwipsX(prog->width()) / 80.0));
}

void GraphForm::showBusy(Mode mode, const QString& label) {
    m_mode = mode;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_noticeTimer->stop(); // the line is the busy window's now
    placeProgressOverAddress();
    prog->clear();
    prog->show();
    adrList->setEnabled(false); // the progress line covers it; nothing may change it meanwhile
    cmdStop->show();
    cmdStop->raise();
    adrLabel->setText(label);
}

void GraphForm::showIdle() {
    showAddressIdle();
    m_mode = Mode::Idle;
    QApplication::restoreOverrideCursor();
    if (!m_whenIdle.empty()) // once the handler that ended the busy state is done
        QTimer::singleShot(0, this, &GraphForm::runWhenIdle);
    // A layout while busy left the device's size as it was and the render timer off.
    if (m_deviceReady && Picture1->isVisible() && !Timer1->isActive())
        Form_Resize();
}

void GraphForm::afterBusy() {
    switch (std::exchange(m_waiting, Waiting::Nothing)) {
    case Waiting::Close:
        QTimer::singleShot(0, this, &QWidget::close);
        break;
    case Waiting::Reload:
        reloadFolder();
        break;
    case Waiting::Nothing:
        break;
    }
}

void GraphForm::LoadFolder(std::function<void()> then, bool keepEntries) {
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
    // What the address box shows again when the load fails or is stopped. A reload (the current
    // folder emptied on purpose) goes back to the folder still on screen, not to an empty address.
    m_loadOld = m_currentFolder.isEmpty() ? m_shownFolder : m_currentFolder;
    m_afterLoad = std::move(then);
    m_loadKeeps = keepEntries;
    const QByteArray address = addressPath();
    leaveScanFor(address);
    showBusy(Mode::Loading, tr("Searching:"));
    keepPictureShown();
    watchFolder(address); // changes from now on reload it; earlier ones are in what is read
    m_load->start(address, m_options.m_includeFolders, false, progressFit());
}

void GraphForm::loadEnded() {
    if (m_mode == Mode::Measuring) {
        measureEnded();
        return;
    }
    const std::function<void()> then = std::exchange(m_afterLoad, {});
    const QByteArray address = m_load->folder();
    if (m_load->state() != ketra::FolderLoad::State::Done) {
        const QByteArray old = m_loadOld;
        watchFolder(old);
        showIdle();
        if (m_load->state() == ketra::FolderLoad::State::Failed) {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"),
                            ketra::FolderErrorText(address, m_load->error()), QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("msgFolderNotFound"));
            QTimer keep; // the picture shown stays behind the message
            connect(&keep, &QTimer::timeout, this, &GraphForm::keepPictureShown);
            keep.start(50);
            box.exec();
        }
        setAddress(old);
        if (then)
            then();
        afterBusy();
        return;
    }

    // With folder sizes on, the totals now known order the folders (sort by size).
    if (m_options.m_includeFolders)
        ketra::FolderReader::sortByTotals();
    m_currentFolder = address;
    m_shownFolder = address;
    applyScanState();
    const bool tree = m_options.m_treeview && !m_loadKeeps;
    if (!m_loadKeeps)
        m_model->clear();
    if (tree)
        m_levelFolders.reset(m_currentFolder);
    const int firstEntry = m_model->count() + 1 + (tree ? 1 : 0);
    const std::int32_t n = m_load->count();
    // The heap keeps the room of the entries and the scene built next, as in the snapshot.
    ketra::KeepSceneHeapRoom(m_model->count() + n);
    ketra::FolderReader reader(m_pathBuffer);
    m_overlay.statistics = ketra::AddFolderEntries(*m_model, reader, n, m_options, m_level,
                                                   tree ? m_currentFolder : QByteArray());
    if (m_options.m_includeFolders && ketra::FolderReader::verifying())
        watchVerification(firstEntry, n);
    readFolderChanges();
    m_level = 2;
    showIdle();

    if (Picture1->isHidden()) {
        FillDetailsList(); // folders seen here do not join the address list
    } else {
        RebuildScene();
        if (!address.isEmpty() && adrList->findData(address) < 0) {
            adrList->addItem(ketra::displayText(address), address);
            setAddress(address);
        }
    }
    if (then)
        then();
    afterBusy();
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
    if (m_verifyCount == 0 || busy())
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
    ketra::FolderReader reader(m_pathBuffer);
    const ketra::FolderStatistics stats = ketra::AddFolderEntries(
        *m_model, reader, count, m_options, before.empty() ? m_level : before.front().Level);
    const bool changed = !std::equal(before.begin(), before.end(), entries.begin() + first, entries.end(),
                                     [](const ketra::DataEntry& a, const ketra::DataEntry& b) {
                                         return a.NameBytes == b.NameBytes && a.Size == b.Size;
                                     });
    m_overlay.statistics = stats;
    readFolderChanges();
    if (changed || m_options.m_showChanges) {
        RebuildScene();
        m_detailsModel->refresh();
        restoreView(kept);
    } else { // the bars built stay
        entries.resize(first);
        std::move(before.begin(), before.end(), std::back_inserter(entries));
    }
    markViewDirty();
}

void GraphForm::cmdStop_Click() {
    if (m_mode == Mode::ReadingTable && m_tableRead) {
        m_tableRead->stop(); // the scanner is not busy: a table is being read
        return;
    }
    if (m_mode == Mode::ReadingScan && m_scanOpen) {
        m_scanOpen->stop();
        return;
    }
    if (m_load->running())
        m_load->stop();
    else
        ResetFileTree();
}
