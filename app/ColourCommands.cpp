// Options > "3D Bar colors": the colour dialog over the program's colour table.
#include "GraphForm.h"

#include "colours/BarColoursDialog.h"

void GraphForm::mnuBarCols_Click() {
    // One dialog at a time; a dialog closed but not yet deleted does not count.
    frmbarCols* dialog = nullptr;
    for (frmbarCols* open :
         findChildren<frmbarCols*>(QStringLiteral("frmbarCols"), Qt::FindDirectChildrenOnly))
        if (open->isVisible())
            dialog = open;
    if (!dialog) {
        dialog = new frmbarCols(g_extColours, userExtColourPath(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &frmbarCols::applied, this, [this] { reloadFolder(); });
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}
