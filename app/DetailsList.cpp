// The details list: the folder as rows of name, size and modified time in the 3D view's place,
// its header sorting the folder, a click popping the item's menu up, a double-click entering a
// folder or opening a file, Delete and Backspace deleting. The scanner sorts; every sort change
// reads the folder again, so the list and the 3D grid always agree.
#include "GraphForm.h"
#include "graph/FolderEntries.h"

#include "core/Settings.h"
#include "fileops/FileDrag.h"
#include "folders/DetailsModel.h"
#include "folders/Paths.h"
#include "folders/ScanOptions.h"
#include "graph/GraphModel.h"
#include "treescan.h"
#include "widgets/FitText.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <vector>

namespace {

// Hands the list's clicks and keys to the window's ListView1 handlers. A left click's menu waits
// for the double-click time, so that a double-click never opens it.
class ListView1Events : public QObject {
public:
    ListView1Events(GraphForm* form, QTreeView* list)
        : QObject(list), m_form(form), m_list(list), m_viewport(list->viewport()) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_list && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Delete && key != Qt::Key_Backspace)
                return false;
            const QModelIndexList rows = m_list->selectionModel()->selectedRows();
            if (!rows.isEmpty())
                m_form->ListView1_DeleteKey(rows.first().row()); // the row the person sees selected
            return true;
        }
        // Only pointers are compared: the list may be half destroyed when its viewport's last
        // events arrive.
        if (watched != m_viewport)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            m_afterDoubleClick = false;
            return false;
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (m_afterDoubleClick) { // the release of a double-click's second press
                m_afterDoubleClick = false;
                return false;
            }
            const int row = m_list->indexAt(e->position().toPoint()).row();
            if (row < 0)
                return false; // below the last row: nothing is selected, nothing happens
            if (e->button() == Qt::RightButton)
                m_form->ListView1_Click(row, e->globalPosition().toPoint());
            else if (e->button() == Qt::LeftButton)
                m_form->listClickLater(row, e->globalPosition().toPoint());
            return false;
        }
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            const int row = m_list->indexAt(e->position().toPoint()).row();
            if (e->button() != Qt::LeftButton || row < 0)
                return false;
            m_afterDoubleClick = true;
            m_form->listClickLater(-1, {});
            m_form->ListView1_DblClick(row);
            return true;
        }
        default:
            return false;
        }
    }

private:
    GraphForm* m_form;   // not owned: the window outlives its list
    QTreeView* m_list;   // not owned: the parent of this object
    QWidget* m_viewport; // not owned: the list's
    bool m_afterDoubleClick = false;
};

// The sort key of a header column (1 Filename, 2 Size, 3 Modified, 4 Change; any other gives
// name).
int columnKey(int column) {
    switch (column) {
    case 2:
        return TREESCAN_SORT_SIZE;
    case 3:
        return TREESCAN_SORT_DATE;
    case 4:
        return TREESCAN_SORT_CHANGE;
    default:
        return TREESCAN_SORT_NAME;
    }
}

} // namespace

QTreeView* GraphForm::createListView1(QWidget* parent) {
    auto* list = new ketra::FileDragView(parent);
    list->setObjectName(QStringLiteral("ListView1"));
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true); // rows are never measured one by one: 100,000 fill at once
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->setSortingEnabled(false); // the scanner sorts, never the list
    list->header()->setSectionsClickable(true);
    list->header()->setSectionsMovable(false);
    list->header()->setSortIndicatorShown(true);
    m_detailsModel = new ketra::DetailsModel(this);
    list->setModel(m_detailsModel);
    list->setColumnHidden(ketra::DetailsModel::ChangeColumn, true); // the changes mode shows it
    auto* events = new ListView1Events(this, list);
    list->installEventFilter(events);
    list->viewport()->installEventFilter(events);
    m_listClickTimer = new QTimer(this);
    m_listClickTimer->setSingleShot(true);
    list->hide();
    return list;
}

void GraphForm::setDetailsColumns() {
    const int widths[ketra::DetailsModel::ColumnCount] = {2500, 1400, 2500, 1400}; // twips
    for (int i = 0; i < ketra::DetailsModel::ColumnCount; ++i)
        ListView1->setColumnWidth(i, twipsToPixelsX(widths[i]));
}

void GraphForm::fitDetailsSizeColumn() {
    int needed = ListView1->header()->sectionSizeHint(ketra::DetailsModel::SizeColumn);
    for (const QString& text : m_detailsModel->widestSizeTexts())
        needed = std::max(needed, ketra::CellWidthFor(*ListView1, text));
    if (needed > ListView1->columnWidth(ketra::DetailsModel::SizeColumn))
        ListView1->setColumnWidth(ketra::DetailsModel::SizeColumn, needed);
}

void GraphForm::listClickLater(int row, const QPoint& global) {
    m_listClickRow = row;
    m_listClickAt = global;
    if (row < 0) {
        m_listClickTimer->stop();
        return;
    }
    m_listClickTimer->start(QApplication::doubleClickInterval());
}

void GraphForm::mnuViewDetails_Click() {
    setRenderTimer(false);
    mnuView3D->setChecked(false);
    mnuViewTree3D->setChecked(false);
    mnuViewDetails->setChecked(true);
    ListView1->show();
    Picture1->hide();
    m_options.m_treeview = false;
    reloadFolder();
}

void GraphForm::FillDetailsList() {
    listClickLater(-1, {}); // a click still waiting belongs to the rows about to go
    m_detailsModel->setEntries(&m_model->entries(), m_options.m_includeFolders);
    const int column = m_sortKey == TREESCAN_SORT_SIZE     ? 1
                       : m_sortKey == TREESCAN_SORT_DATE   ? 2
                       : m_sortKey == TREESCAN_SORT_CHANGE ? ketra::DetailsModel::ChangeColumn
                                                           : 0;
    ListView1->header()->setSortIndicator(m_sortKey == TREESCAN_SORT_TYPE ? -1 : column,
                                          m_sortAscending == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void GraphForm::ListView1_ColumnClick(int column) {
    const int key = columnKey(column);
    if (key == m_sortKey) {
        m_sortAscending = 1 - m_sortAscending;
        mnuViewAscending->setChecked(m_sortAscending == 1);
    } else {
        m_sortKey = key;
    }
    SortBy(m_sortKey, m_sortAscending);
    reloadFolder();
}

void GraphForm::ListView1_Click(int row, const QPoint& global) {
    if (row < 0 || row >= m_model->count() || busy())
        return;
    m_selectedEntry = row + 1;
    tlbDelete->setEnabled(true);
    CheckImage(ItemPath());
    mnuFolderOpen->setVisible(m_model->entry(m_selectedEntry).isFolder());
    MENU_CONTEXT->popup(global);
}

void GraphForm::ListView1_DeleteKey(int row) {
    m_selectedEntry = row + 1;
    mnuContentDelete_Click();
}

void GraphForm::ListView1_DblClick(int row) {
    if (row < 0 || row >= m_model->count() || busy())
        return;
    m_selectedEntry = row + 1;
    tlbDelete->setEnabled(true);
    const QByteArray path = ItemPath();
    CheckImage(path);
    if (m_model->entry(m_selectedEntry).isFolder())
        enterFolder(path);
    else
        ShellOpen(path);
}

QImage GraphForm::DetailsSnapshot(const QByteArray& folder, const QSize& size, std::FILE* timings) {
    // The window as it starts in the details view, laid out and drawn but never put on screen;
    // no 3D device is made.
    setAttribute(Qt::WA_DontShowOnScreen);
    m_options = ketra::Settings().read(m_programFolder).options;
    m_options.m_treeview = false;
    m_sortKey = TREESCAN_SORT_NAME;
    m_sortAscending = 1;
    ketra::ApplyScanOptions(
        {m_options.m_includeFolders, m_options.m_showHidden, m_options.m_showSystem, m_sortKey, true});
    tlbIncFolders->setChecked(m_options.m_includeFolders);
    tlbStats->setChecked(m_options.m_showStats);
    tlbBase->setChecked(m_options.m_bShowBase);
    txtCurrent->setVisible(!m_options.m_showPopup);
    mnuView3D->setChecked(false);
    mnuViewDetails->setChecked(true);
    Picture1->hide();
    ListView1->show();
    setDetailsColumns();
    adrList->addItem(ketra::displayText(m_programFolder), m_programFolder);
    setAddress(folder);
    resize(size);
    show();
    Form_Resize();
    QElapsedTimer t;
    t.start();
    // No window to keep: the folder is read here and now.
    if (ketra::ReadFolderEntries(folder, m_options, *m_model, m_overlay.statistics))
        m_currentFolder = m_shownFolder = folder;
    FillDetailsList();
    const double fillMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    t.restart();
    const QImage image = grab().toImage(); // lays out and paints the window first
    const double drawMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (timings) {
        QScrollBar* bar = ListView1->verticalScrollBar();
        std::vector<double> times;
        for (int i = 1; i <= 20; ++i) {
            t.restart();
            bar->setValue(bar->maximum() * i / 20);
            ListView1->viewport()->grab();
            times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::fprintf(timings, "fill_ms %.1f\ndraw_ms %.1f\nscroll_ms %.1f\n", fillMs, drawMs,
                     (times[9] + times[10]) / 2);
    }
    return image;
}
