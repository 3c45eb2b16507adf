// Reading the folder named by the address box into graph entries, with the progress line and its
// Stop button.
#include "app/GraphForm.h"

#include "colours/ExtColours.h"
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"
#include "treescan.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
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

// How often a folder-size scan that reports nothing new still lets the window breathe.
constexpr qint64 kQuietEventsMs = 15;

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
    m_selectedEntry = 0;
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

    WaitForTree(0);
    const int32_t n = SetFolder(address.toUtf8().constData());
    if (n < 0) {
        finish();
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"),
                        tr("Folder \"%1\" not found").arg(address), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgFolderNotFound"));
        box.exec();
        adrList->setEditText(old);
        return;
    }

    // The characters of a folder path that fit in the progress line.
    const int fit = std::clamp(static_cast<int>(std::lround(pixelsToTwipsX(prog->width()) / 80.0)), 1,
                               static_cast<int>(m_pathBuffer.size()));
    if (m_options.m_includeFolders) {
        QElapsedTimer quiet;
        quiet.start();
        for (;;) {
            const int32_t r = NextTree();
            if (r == 1) {
                const int32_t k = GetCurrentFolder(m_pathBuffer.data(), fit);
                prog->setText(QString::fromUtf8(m_pathBuffer.data(), k));
                QCoreApplication::processEvents();
                quiet.restart();
            } else if (r != 0) {
                // Nothing new yet: wait a little instead of spinning, and keep Stop responsive.
                QThread::msleep(1);
                if (quiet.elapsed() >= kQuietEventsMs) {
                    QCoreApplication::processEvents();
                    quiet.restart();
                }
            }
            if (m_stopSearch || r == 0)
                break;
        }
    }
    showAddressIdle();

    if (m_stopSearch) {
        adrList->setEditText(old);
        finish();
        return;
    }

    m_currentFolder = address;
    m_shownFolder = address;
    if (!m_keepEntries)
        m_model->clear();

    // The grid counters, the colours and the statistics follow the graph's loading rules.
    ketra::FolderEntryBuilder entries(*m_model, g_extColours, n, m_options.m_includeFolders, m_options.m_logscale, m_level);
    if (m_options.m_treeview && !m_keepEntries)
        entries.addFolderItself(m_currentFolder);

    const int32_t capacity = static_cast<int32_t>(m_pathBuffer.size());
    for (int32_t i = 0; i < n; ++i) {
        const QString modified =
            QString::fromUtf8(m_pathBuffer.data(), GetTime(i, m_pathBuffer.data(), capacity));
        const QString name =
            QString::fromUtf8(m_pathBuffer.data(), GetFile(i, m_pathBuffer.data(), capacity));
        entries.addItem(name, GetAttribs(i), GetSize(i), modified);
    }
    ketra::FolderStatistics& stats = m_overlay.statistics;
    stats = entries.statistics();
    if (m_options.m_includeFolders) {
        stats.totalFileCount = GetTotalFileCount();
        stats.totalFolderCount = GetTotalFolderCount();
    }
    m_keepEntries = false;
    m_level = 2;
    finish();
}

void GraphForm::cmdStop_Click() {
    ResetFileTree();
    m_stopSearch = true;
}
