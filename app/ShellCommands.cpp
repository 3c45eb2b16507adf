// The commands on the selected item, from its context menu, the Delete key and the toolbar: open
// it, show a folder in the file manager, move it to the trash, show its properties.
#include "GraphForm.h"
#include "folders/FolderLoad.h"
#include "folders/FolderReader.h"

#include "fileops/PosixPath.h"
#include "fileops/Properties.h"
#include "fileops/PropertiesDialog.h"
#include "fileops/Trash.h"
#include "folders/Paths.h"
#include "graph/GraphModel.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace {

// Shell operation code of a delete.
constexpr int kDeleteOperation = 3;

} // namespace

void GraphForm::ShellOpen(const QByteArray& path) {
    if (refusedOnScan())
        return; // a path of another machine: never one of this machine's files
    if (!ketra::ShellOpen(path))
        QMessageBox::warning(this, QStringLiteral("Ketra"),
                             tr("\"%1\" could not be opened.").arg(ketra::displayText(path)));
}

void GraphForm::mnuContentOpen_Click() {
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count() || busy())
        return;
    const QByteArray path = ItemPath();
    if (m_model->entry(m_selectedEntry).isFolder())
        enterFolder(path);
    else
        ShellOpen(path);
}

void GraphForm::mnuFolderOpen_Click() {
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count())
        return;
    ShellOpen(ItemPath()); // a folder: the system shows it in its file manager
}

void GraphForm::mnuContentDelete_Click() {
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count() || busy() || refusedOnScan())
        return;
    // The item as the list read it: a name that now holds another file is not trashed unasked.
    const ketra::FileId id = m_model->entry(m_selectedEntry).Id;
    if (DoFileOperation(kDeleteOperation, ItemPath(), QString(),
                        id == ketra::FileId{} ? std::nullopt : std::optional(id)) == 0)
        reloadFolder(); // the address is unchanged: the folder is read again all the same
}

int GraphForm::DoFileOperation(int op, const QByteArray& from, const QString& to,
                               const std::optional<ketra::FileId>& item) {
    Q_UNUSED(to);
    if (op != kDeleteOperation || from.isEmpty() || m_scanShown)
        return 1;
    const QString name = QString::fromUtf8(ketra::NameOf(ketra::AbsolutePath(from)));
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Ketra"), tr("Move \"%1\" to the trash?").arg(name),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setObjectName(QStringLiteral("msgConfirmDelete"));
    ask.setDefaultButton(QMessageBox::Yes);
    if (ask.exec() != QMessageBox::Yes)
        return 1;

    std::optional<ketra::FileId> expected = item;
    ketra::TrashResult result;
    for (;;) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        result = ketra::MoveToTrash(from, expected);
        QApplication::restoreOverrideCursor();
        if (result.moved)
            return 0;
        if (!result.replaced)
            break;
        // Never the newcomer without asking: the user chose the item the list showed.
        QMessageBox again(QMessageBox::Question, QStringLiteral("Ketra"),
                          tr("\"%1\" changed since the list was read: the name now belongs to another file "
                             "or folder. Move that one to the trash?")
                              .arg(name),
                          QMessageBox::Yes | QMessageBox::No, this);
        again.setObjectName(QStringLiteral("msgItemChanged"));
        again.setDefaultButton(QMessageBox::No);
        if (again.exec() != QMessageBox::Yes)
            return 1;
        expected = result.found;
    }
    QMessageBox failed(QMessageBox::Warning, QStringLiteral("Ketra"),
                       tr("\"%1\" was not moved to the trash: %2.").arg(name, result.error), QMessageBox::Ok,
                       this);
    failed.setObjectName(QStringLiteral("msgTrashFailed"));
    failed.exec();
    return 1;
}

void GraphForm::mnuContentproperties_Click() {
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count() || refusedOnScan())
        return;
    const ketra::FileProperties properties = ketra::ReadFileProperties(ItemPath());
    auto* dialog = new ketra::PropertiesDialog(properties, this);
    dialog->show();
    if (!properties.isFolder)
        return;
    if (busy()) { // the scanner is busy with the folder being read
        dialog->setFolderTotals(std::nullopt);
        return;
    }

    // The folder's total comes from the scanner, measured as a load measures (to the exact
    // figures), with the progress line and its Stop button; nothing else may start meanwhile.
    // The scanner leaves the folder shown: sizes of it still awaited stay as they are.
    m_verifyCount = 0;
    if (m_verifyWatch)
        m_verifyWatch->setEnabled(false);
    m_measured = dialog;
    connect(dialog, &QObject::destroyed, this, [this] { // closed: the measure is not wanted
        if (m_mode == Mode::Measuring)
            m_load->stop();
    });
    IncludeFolderSize(1);
    showBusy(Mode::Measuring, tr("Measuring:"));
    m_load->start(properties.path, true, true, progressFit());
}

void GraphForm::measureEnded() {
    std::optional<ketra::FolderTotals> totals;
    if (m_load->state() == ketra::FolderLoad::State::Done)
        totals = ketra::FolderTotals{GetTotalSize(), ketra::FolderReader::totalFileCount(),
                                     ketra::FolderReader::totalFolderCount()};
    IncludeFolderSize(m_options.m_includeFolders ? 1 : 0);
    showIdle();
    if (m_measured)
        m_measured->setFolderTotals(totals);
    m_measured = nullptr;
    afterBusy();
}
