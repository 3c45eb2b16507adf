// Plotting a comma-delimited table in place of the folder: the command that asks for the file,
// reading it off the window's thread, putting it into the entries, and the rebuild of the 3D view
// on a new device.
#include "GraphForm.h"

#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"
#include "datafile/DataTableRead.h"
#include "folders/DetailsModel.h"
#include "graph/Camera.h"
#include "graph/GraphModel.h"
#include "graph/ViewPose.h"
#include "scene/D3DInit.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

namespace {

void tell(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("msgDataFile"));
    box.exec();
}

} // namespace

void GraphForm::MENU_LOAD_Click() {
    // A folder being read owns the entries until it is done.
    if (busy())
        return;
    setRenderTimer(false);
    QFileDialog dialog(this, tr("Open Data File"), g_mediaFolder, QStringLiteral("csv (*.csv)"));
    dialog.setObjectName(QStringLiteral("dlgDataFile"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist is accepted, and then reported by the load.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() &&
        !dialog.selectedFiles().constFirst().isEmpty())
        openDataFile(QFile::encodeName(dialog.selectedFiles().constFirst()));
    setRenderTimer(m_deviceReady);
}

void GraphForm::openDataFile(const QByteArray& path) {
    if (busy())
        return;
    // Nothing may change the entries until the table is in; Stop and closing the window end the
    // read (cmdStop_Click, closeEvent).
    showBusy(Mode::ReadingTable, tr("Reading:"));
    prog->setText(QFile::decodeName(path));
    if (!m_tableRead) {
        m_tableRead = new ketra::DataTableRead(this);
        connect(m_tableRead, &ketra::DataTableRead::finished, this, &GraphForm::dataFileRead);
    }
    m_tableRead->start(path, g_mediaFolder);
}

void GraphForm::dataFileRead(const std::shared_ptr<ketra::LoadedDataTable>& read) {
    showIdle();
    if (m_waiting == Waiting::Close || read->result.status == ketra::DataTableResult::Status::Stopped) {
        afterBusy();
        return;
    }

    setRenderTimer(false);
    const auto pose = ketra::ViewPose::capture(m_camera.get(), m_rootFrame.get());
    if (LoadFileAsBarGraph(*read)) {
        // The 3D view starts again on a new device with the new entries, seen as before.
        ReleaseDevice3D();
        DestroyDeviceObjects();
        InitDevice3D(view3D(), true, 0, DEVTYPE_HAL, true);
        InitDeviceObjects();
        ScaleEntries();
        BuildGraph();
        RestoreDeviceObjects();
        if (pose)
            pose->restore(m_camera.get(), m_rootFrame.get());
        markViewDirty();
    }
    setRenderTimer(m_deviceReady);
}

bool GraphForm::LoadFileAsBarGraph(const ketra::LoadedDataTable& read) {
    using Status = ketra::DataTableResult::Status;
    const ketra::DataTableResult& result = read.result;
    if (result.status == Status::TooFewCells) {
        // The graph shown before stays: its entries and grid counters were never touched.
        tell(this, result.message());
        return true;
    }
    if (!result.ok()) {
        tell(this, result.message());
        return false; // nothing changed
    }
    // The exact folder sizes still awaited belong to entries that are gone.
    m_verifyCount = 0;
    if (m_verifyWatch)
        m_verifyWatch->setEnabled(false);
    showBarView();
    m_detailsModel->setEntries(nullptr, false); // the list lets go of the entries about to go
    m_selectedEntry = 0;
    m_overlay.hoverShown = false;
    m_overlay.hoverText.clear();
    m_highlightFrame.reset();
    m_highlightOwn.reset();
    m_model->clear();
    ketra::AddDataTableEntries(*m_model, read.table, read.textures, m_options.m_logscale);
    m_gridColumn = read.table.gridColumn;
    m_gridRow = read.table.gridRow;
    return true;
}
