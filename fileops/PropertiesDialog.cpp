#include "fileops/PropertiesDialog.h"

#include "widgets/Controls.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ketra {

namespace {

QString timeText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace

PropertiesDialog::PropertiesDialog(const FileProperties& p, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmProperties"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("Properties of %1").arg(p.name));

    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    addRow(tr("Name:"), "lblName", p.name);
    addRow(tr("Folder:"), "lblFolder", p.folder);
    if (!p.exists) {
        addRow(tr("Type:"), "lblType", tr("it is no longer there"));
    } else {
        addRow(tr("Type:"), "lblType", p.type);
        if (p.isLink)
            addRow(tr("Link to:"), "lblLinkTarget", p.linkTarget);
        if (!p.brokenLink) {
            if (p.isFolder) {
                addRow(tr("Size:"), "lblSize", tr("measuring..."));
                addRow(tr("Contains:"), "lblContents", QString());
            } else {
                addRow(tr("Size:"), "lblSize", ByteText(static_cast<double>(p.size)));
            }
            addRow(tr("Modified:"), "lblModified", timeText(p.modified));
            addRow(tr("Accessed:"), "lblAccessed", timeText(p.accessed));
            addRow(tr("Owner:"), "lblOwner", p.owner + QStringLiteral(" / ") + p.group);
            addRow(tr("Permissions:"), "lblPermissions", p.permissions);
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setAccessibleName(tr("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

QLabel* PropertiesDialog::addRow(const QString& caption, const char* name, const QString& value) {
    QLabel* label = makeLabel(this, name, value);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    m_form->addRow(caption, label);
    return label;
}

void PropertiesDialog::setFolderTotals(const std::optional<FolderTotals>& totals) {
    auto* size = findChild<QLabel*>(QStringLiteral("lblSize"));
    auto* contents = findChild<QLabel*>(QStringLiteral("lblContents"));
    if (!size || !contents)
        return;
    if (!totals) {
        size->setText(tr("not measured"));
        contents->clear();
        return;
    }
    size->setText(ByteText(totals->bytes));
    auto count = [](std::int64_t n, const QString& one, const QString& many) {
        return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
    };
    contents->setText(count(totals->files, tr("file"), tr("files")) + QStringLiteral(", ") +
                      count(totals->folders, tr("folder"), tr("folders")));
}

QString PropertiesDialog::value(const char* row) const {
    const auto* label = findChild<QLabel*>(QString::fromLatin1(row));
    return label ? label->text() : QString();
}

} // namespace ketra
