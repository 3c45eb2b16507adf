// Showing a scan of another machine (a file in the export format of ncdu and gdu) in place of the
// disk: the commands that open one or leave it, reading it off the window's thread, and what the
// window refuses while its entries are not files of this machine.
#include "GraphForm.h"

#include "folders/FolderLoad.h"
#include "folders/Paths.h"
#include "folders/ScanOpen.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

const char* const kOwnTip = "ketraOwnTip"; // a control's tool tip while the disk is shown

QString scanReason() {
    return QCoreApplication::translate("GraphForm", "Not available: this is a scan of another machine");
}

// A control needing the real files: off with the reason as its tool tip, or back as it was.
template <typename Control> void setForScan(Control* control, bool scan) {
    if (!control)
        return;
    if (!control->property(kOwnTip).isValid())
        control->setProperty(kOwnTip, control->toolTip());
    control->setToolTip(scan ? scanReason() : control->property(kOwnTip).toString());
    if (scan)
        control->setEnabled(false);
}

} // namespace

void GraphForm::mnuFileOpenScan_Click() {
    if (busy())
        return;
    setRenderTimer(false);
    QFileDialog dialog(this, tr("Open Scan"),
                       m_scanDialogFolder.isEmpty() ? QDir::homePath() : m_scanDialogFolder,
                       tr("Scans (*.json *.ncdu *.gdu);;All files (*)"));
    dialog.setObjectName(QStringLiteral("dlgOpenScan"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    m_scanDialogFolder = dialog.directory().absolutePath();
    setRenderTimer(m_deviceReady);
    if (chosen)
        importScan(QFile::encodeName(dialog.selectedFiles().constFirst()));
}

void GraphForm::mnuFileOpenFolder_Click() {
    if (busy())
        return;
    setRenderTimer(false);
    QFileDialog dialog(this, tr("Open Folder"),
                       QFile::decodeName(m_diskFolder.isEmpty() ? m_programFolder : m_diskFolder));
    dialog.setObjectName(QStringLiteral("dlgOpenFolder"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    setRenderTimer(m_deviceReady);
    if (!chosen)
        return;
    if (GetScanTime() >= 0)
        CloseScan(); // a folder of this machine, even where its path lies within the scan's
    enterFolder(QFile::encodeName(dialog.selectedFiles().constFirst()));
}

void GraphForm::importScan(const QByteArray& file) {
    if (busy() || file.isEmpty())
        return;
    if (!m_scanOpen) {
        m_scanOpen = new ketra::ScanOpen(this);
        connect(m_scanOpen, &ketra::ScanOpen::finished, this, &GraphForm::scanRead);
    }
    showBusy(Mode::ReadingScan, tr("Reading:"));
    prog->setText(ketra::displayText(file));
    keepPictureShown();
    m_scanOpen->start(file);
}

void GraphForm::scanRead() {
    showIdle();
    if (m_waiting == Waiting::Close || m_scanOpen->stopped()) {
        afterBusy();
        return;
    }
    if (m_scanOpen->count() < 0) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Ketra"), m_scanOpen->error(), QMessageBox::Ok,
                        this);
        box.setObjectName(QStringLiteral("msgScanError"));
        QTimer keep; // the picture shown stays behind the message
        connect(&keep, &QTimer::timeout, this, &GraphForm::keepPictureShown);
        keep.start(50);
        box.exec();
        afterBusy();
        return;
    }
    // The scanner now answers from the scan: its root is shown, and the history records it.
    const ketra::ScanInfo scan = ketra::CurrentScan();
    m_waiting = Waiting::Nothing; // a reload asked for meanwhile was of the folder left
    setAddress(scan.root);
    m_currentFolder.clear();
    selectNode([this] { PushHistory(addressPath()); });
}

void GraphForm::whenIdle(std::function<void()> action) {
    m_whenIdle.push_back(std::move(action));
    runWhenIdle();
}

void GraphForm::runWhenIdle() {
    while (!busy() && !m_whenIdle.empty()) {
        const std::function<void()> action = std::move(m_whenIdle.front());
        m_whenIdle.erase(m_whenIdle.begin());
        action();
    }
}

void GraphForm::leaveScanFor(const QByteArray& path) {
    if (GetScanTime() < 0)
        return;
    if (ketra::WithinScan(ketra::CurrentScan().root, path) || !ketra::isFolder(path))
        return; // a folder of the scan, or one that is nowhere: the scan says so
    CloseScan();
}

bool GraphForm::refusedOnScan() {
    if (!m_scanShown)
        return false;
    showNotice(scanReason());
    return true;
}

void GraphForm::applyScanState() {
    m_scanShown = GetScanTime() >= 0;
    if (!m_scanShown)
        m_diskFolder = m_currentFolder;
    setWindowTitle(m_scanShown ? ketra::ScanTitle(ketra::CurrentScan()) : QStringLiteral("Ketra"));
    for (QAction* a : {mnuContentOpen, mnuFolderOpen, mnuContentDelete, mnuContentproperties, tlbDelete,
                       tlbShowImage, mnuViewMarkEarlier})
        setForScan(a, m_scanShown);
    for (QWidget* w : {static_cast<QWidget*>(txtFindIn), static_cast<QWidget*>(Label1)})
        setForScan(w, m_scanShown);
    if (!m_scanShown) {
        for (QAction* a : {mnuContentOpen, mnuFolderOpen, mnuContentproperties})
            a->setEnabled(true);
        txtFindIn->setEnabled(true);
        Label1->setEnabled(true);
    }
}
