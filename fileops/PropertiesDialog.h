// The properties dialog of an item: name, folder, type, size, for a folder its total and counts,
// times, owner and group, permissions, link target. Not modal; each item gets a dialog of its own.
#pragma once

#include "fileops/Properties.h"

#include <QDialog>

class QFormLayout;
class QLabel;

namespace ketra {

class PropertiesDialog : public QDialog {
public:
    // Shows what `properties` says; a folder's size reads "measuring..." until setFolderTotals.
    PropertiesDialog(const FileProperties& properties, QWidget* parent);

    // A folder's total, or nothing when it could not be measured.
    void setFolderTotals(const std::optional<FolderTotals>& totals);

    // The value shown for a row, by the row's object name (lblName, lblFolder, lblType, lblSize,
    // lblContents, lblModified, lblAccessed, lblOwner, lblPermissions, lblLinkTarget); empty
    // when the dialog has no such row.
    QString value(const char* row) const;

private:
    QLabel* addRow(const QString& caption, const char* name, const QString& value);
    QFormLayout* m_form = nullptr; // owned by this dialog (Qt parent)
};

} // namespace ketra
