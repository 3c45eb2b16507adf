// The commands on the selected item, from its context menu, the Delete key and the toolbar: open
// it, show a folder in the file manager, move it to the trash, show its properties.
#include "GraphForm.h"

#include "fileops/PosixPath.h"
#include "fileops/Properties.h"
#include "fileops/PropertiesDialog.h"
#include "fileops/Trash.h"
#include "graph/GraphModel.h"

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

void GraphForm::ShellOpen(const QString& path) {
    if (!ketra::ShellOpen(QFile::encodeName(path)))
        QMessageBox::warning(this, QStringLiteral("Ketra"), tr("\"%1\" could not be opened.").arg(path));
}

void GraphForm::mnuContentOpen_Click() {
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count() || m_loading)
        return;
    const QString path = ItemPath();
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
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count() || m_loading)
        return;
    if (DoFileOperation(kDeleteOperation, QFile::encodeName(ItemPath()), QString()) == 0)
        reloadFolder(); // the address is unchanged: the folder is read again all the same
}

int GraphForm::DoFileOperation(int op, const QByteArray& from, const QString& to,
                               const std::optional<ketra::FileId>& item) {
    Q_UNUSED(to);
    if (op != kDeleteOperation || from.isEmpty())
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
    if (m_selectedEntry < 1 || m_selectedEntry > m_model->count())
        return;
    const QString path = ItemPath();
    const ketra::FileProperties properties = ketra::ReadFileProperties(QFile::encodeName(path));
    auto* dialog = new ketra::PropertiesDialog(properties, this);
    dialog->show();
    if (!properties.isFolder)
        return;
    if (m_loading) { // the scanner is busy with the folder being read
        dialog->setFolderTotals(std::nullopt);
        return;
    }

    // The folder's total comes from the scanner, measured as a load measures, with the progress
    // line and its Stop button; nothing else may start meanwhile.
    QPointer<ketra::PropertiesDialog> shown(dialog);
    // The scanner leaves the folder shown: sizes of it still awaited stay as they are.
    m_verifyCount = 0;
    if (m_verifyWatch)
        m_verifyWatch->setEnabled(false);
    m_loading = true;
    m_stopSearch = false;
    placeProgressOverAddress();
    prog->clear();
    prog->show();
    adrList->setEnabled(false);
    cmdStop->show();
    cmdStop->raise();
    adrLabel->setText(tr("Measuring:"));
    const int fit = static_cast<int>(std::lround(pixelsToTwipsX(prog->width()) / 80.0));
    const auto totals = ketra::MeasureFolder(properties.path, m_options.m_includeFolders, fit,
                                             [this, &shown](const QString& folder) {
                                                 if (!folder.isEmpty())
                                                     prog->setText(folder);
                                                 QCoreApplication::processEvents();
                                                 keepPictureShown();
                                                 return !m_stopSearch && shown;
                                             });
    showAddressIdle();
    m_stopSearch = false;
    m_loading = false;
    if (shown)
        shown->setFolderTotals(totals);
    if (m_closePending)
        QTimer::singleShot(0, this, &QWidget::close);
    else if (m_reloadPending) {
        m_reloadPending = false;
        reloadFolder();
    }
}
