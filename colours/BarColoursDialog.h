// The dialog "Bar Colours" (frmbarCols): the colour table as a list, each row drawn in its own
// colour, with boxes to edit a row, add one or delete one. Nothing reaches the table until
// "Apply", which replaces the table by the list, writes the colour file and tells the main window,
// which rebuilds the graph in the new colours. "Close" (or the bottom "Cancel") drops what was not
// applied.
//
// Positions and sizes are design values in twips (1/1440 inch), turned into pixels with the
// dialog's logical DPI. The list, the editing frame and the three bottom buttons follow the
// dialog's size; the dialog is never made smaller than its design size.
#pragma once

#include "colours/ExtColours.h"

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class frmbarCols : public QDialog {
    Q_OBJECT
public:
    // Edits `table` (kept by the caller, which outlives the dialog); "Apply" writes it to `path`.
    // The dialog is not modal.
    frmbarCols(ExtColourTable& table, const QString& path, QWidget* parent = nullptr);

    // Fills the list from the table (the rows "folder", "txt" and "c" proposed when it is empty),
    // selects the first row and loads it into the boxes.
    void Form_Load();
    // The selected row into the boxes; the next "Ok" stores into an existing row.
    void ListView1_Click();
    // The boxes prepared for a new row: type "new" (selected, with the focus), channels 0.
    void cmdAdd_Click();
    // Stores the boxes into a row: the selected row when it has the typed key, else the first row
    // with it, else a new row after "Add New", else the selected row, renamed. An empty channel is
    // 0; a channel above 255 is 255 and one below 0 (or not a number) is 0, and its box says so.
    void cmdOk_Click();
    // The selected row into the boxes again, dropping what was typed.
    void cmdCancel_Click();
    // Removes the selected row from the list.
    void cmdDelete_Click();
    // The list becomes the table, the table is written to the colour file (a failure is shown),
    // and `applied` is sent. The dialog stays open.
    void cmdApply_Click();
    void Form_Resize();

    bool m_addingNew = false;

    // Controls (owned by the dialog; names are their objectNames).
    QTreeWidget* ListView1 = nullptr;
    QFrame* Frame1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr;
    QLineEdit *red = nullptr, *green = nullptr, *blue = nullptr, *txtExt = nullptr;
    QPushButton *cmdOk = nullptr, *cmdCancel = nullptr, *cmdAdd = nullptr, *cmdDelete = nullptr;
    QPushButton *cmdEsc = nullptr, *cmdApply = nullptr, *cmdClose = nullptr;

signals:
    // "Apply" replaced the table: the graph is to be drawn in its colours.
    void applied();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillColourList();
    void AddColourRow(const QString& ext, int red, int green, int blue);
    int twipsX(double twips) const;
    int twipsY(double twips) const;
    double pixelsToTwipsX(int pixels) const;
    double pixelsToTwipsY(int pixels) const;

    ExtColourTable& m_table;
    QString m_path;
};
