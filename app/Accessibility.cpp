// The window for keyboard users and assistive technology: the name each control is read by, the
// labels that name the boxes beside them, and the order in which Tab visits the controls.
#include "GraphForm.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

void GraphForm::setUpKeyboardAndNames() {
    // A label names the box it stands over or beside (and gives it its access key).
    adrLabel->setBuddy(adrList);
    lblFind->setBuddy(txtFind);
    Label1->setBuddy(txtFindIn);

    // The names of the controls whose captions say little, or which have none.
    const std::pair<QWidget*, QString> names[] = {
        {adrList, tr("Address")},
        {adrList->lineEdit(), tr("Address")},
        {adrList->view(), tr("Folders visited")},
        {prog, tr("Progress")},
        {cmdStop, tr("Stop loading")},
        {ListView1, tr("Details list")},
        {txtFind, tr("Find filenames containing")},
        {cmdFind, tr("Find")},
        {cmdStopSearch, tr("Stop the search")},
        {txtFindIn, tr("Text within file")},
        {LstFind, tr("Files found")},
        {chkGT, tr("Filesize at least")},
        {txtGT, tr("Smallest filesize")},
        {chkLT, tr("Filesize at most")},
        {txtLT, tr("Largest filesize")},
        {cmdX, tr("Hide the search options")},
        {cmdUp, tr("Show the search options")},
        {cmdClose, tr("Close the find pane")},
    };
    for (const auto& [control, name] : names)
        control->setAccessibleName(name);
    if (Picture1->accessibleName().isEmpty())
        Picture1->setAccessibleName(tr("3D view"));

    // Tab order: what is hidden is passed over (Stop shows while a folder loads, the view and the
    // list take turns, the find pane and its options come and go).
    QWidget* const order[] = {adrList,       cmdStop,   Picture1, ListView1, txtFind, cmdFind,
                              cmdStopSearch, txtFindIn, LstFind,  chkCase,   cmdX,    chkGT,
                              txtGT,         chkLT,     txtLT,    cmdUp,     cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}
