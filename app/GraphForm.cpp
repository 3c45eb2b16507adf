// The main window's controls and the one place where their signals are wired.
#include "GraphForm.h"

#include "colours/ExtColours.h"
#include "fileops/FileDrag.h"
#include "fileops/PictureWindow.h"
#include "folders/DetailsModel.h"
#include "folders/FolderLoad.h"
#include "folders/FolderWatch.h"
#include "folders/NavigationHistory.h"
#include "graph/GraphModel.h"
#include "search/SearchSession.h"
#include "treescan.h"
#include "widgets/Controls.h"
#include "widgets/FitText.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

namespace {

// Design sizes (twips) of the controls that the layout rule reads but never sets.
constexpr double kFrame2Height = 600;
constexpr double kTxtCurrentHeight = 285;
constexpr double kSplitterWidth = 105;
constexpr double kSplitterBarWidth = 45;
// How long a notice stays on the progress line.
constexpr int kNoticeMs = 10000;

using ketra::makeButton;
using ketra::makeCheck;
using ketra::makeEdit;
using ketra::makeLabel;

} // namespace

GraphForm::GraphForm(QWidget* parent)
    : QMainWindow(parent), m_model(std::make_unique<ketra::GraphModel>()),
      m_history(std::make_unique<ketra::NavigationHistory>()) {
    setObjectName(QStringLiteral("GraphForm"));
    setWindowTitle(QStringLiteral("Ketra"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("ketra"), QIcon(QStringLiteral(":/ketra/ketra.png"))));
    m_programFolder = programFolder();
    createControls();
    createMenus();
    createToolbar();
    wireSignals();
    setUpDragAndDrop();
    setUpKeyboardAndNames();
}

GraphForm::~GraphForm() {
    delete frmPic.data();                       // a window of its own, not a child
    m_detailsModel->setEntries(nullptr, false); // the entries go before the list does
}

void GraphForm::createControls() {
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_central);

    // Address bar.
    Frame2 = new QFrame(m_central);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setFrameShape(QFrame::NoFrame);
    adrLabel = makeLabel(Frame2, "adrLabel", tr("Address"));
    adrList = new QComboBox(Frame2);
    adrList->setObjectName(QStringLiteral("adrList"));
    adrList->setEditable(true);
    adrList->setInsertPolicy(QComboBox::NoInsert);
    adrList->setCompleter(nullptr);
    adrList->setMaxVisibleItems(20);
    prog = makeEdit(Frame2, "prog");
    prog->setReadOnly(true);
    prog->setFocusPolicy(Qt::NoFocus);
    prog->hide();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(kNoticeMs);

    // Folders are read (and measured) by the load, on the scanner's threads.
    m_load = new ketra::FolderLoad(m_pathBuffer, this);
    connect(m_load, &ketra::FolderLoad::finished, this, &GraphForm::loadEnded);
    connect(m_load, &ketra::FolderLoad::progress, this, [this](const QString& folder) {
        if (!folder.isEmpty())
            prog->setText(folder);
        keepPictureShown();
    });

    // The find pane; its search runs in a session of search/.
    m_search = new ketra::SearchSession(this);
    Frame1 = new QFrame(m_central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    lblFind = makeLabel(Frame1, "lblFind", tr("Find filenames containing:"));
    txtFind = makeEdit(Frame1, "txtFind");
    cmdFind = makeButton(Frame1, "cmdFind", tr("Go"));
    Label1 = makeLabel(Frame1, "Label1", tr("Text within file:"));
    txtFindIn = makeEdit(Frame1, "txtFindIn");
    frmOptions = new QFrame(Frame1);
    frmOptions->setObjectName(QStringLiteral("frmOptions"));
    frmOptions->setFrameShape(QFrame::StyledPanel);
    chkCase = makeCheck(frmOptions, "chkCase", tr("Ignore Case"));
    chkGT = makeCheck(frmOptions, "chkGT", tr("Filesize  >="));
    txtGT = makeEdit(frmOptions, "txtGT", QStringLiteral("1Kb"));
    chkLT = makeCheck(frmOptions, "chkLT", tr("Filesize  <="));
    txtLT = makeEdit(frmOptions, "txtLT", QStringLiteral("10Kb"));
    txtGT->setEnabled(false);
    txtLT->setEnabled(false);
    cmdX = makeButton(frmOptions, "cmdX", QStringLiteral("x"));
    cmdUp = makeButton(Frame1, "cmdUp", QStringLiteral("^"));
    cmdUp->hide();
    LstFind = new ketra::FileDragView(Frame1);
    LstFind->setObjectName(QStringLiteral("LstFind"));
    LstFind->setRootIsDecorated(false);
    LstFind->setUniformRowHeights(true); // a list of 100,000 results stays quick
    LstFind->setAllColumnsShowFocus(true);
    LstFind->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LstFind->setModel(&m_search->results());
    // Columns are as wide as their texts; the list scrolls sideways where they are wider.
    LstFind->header()->setStretchLastSection(false);
    cmdStopSearch = makeButton(Frame1, "cmdStopSearch", tr("Stop"));
    cmdStopSearch->hide();
    cmdClose = makeButton(Frame1, "cmdClose", tr("Close"));
    lblFindStatus = makeLabel(Frame1, "lblFindStatus", QString());
    Frame1->hide();

    // Splitter: an invisible grab area and the bar drawn while dragging.
    imgSplitter = new QWidget(m_central);
    imgSplitter->setObjectName(QStringLiteral("imgSplitter"));
    imgSplitter->setCursor(Qt::SizeHorCursor);
    imgSplitter->hide();
    picSplitter = new QFrame(m_central);
    picSplitter->setObjectName(QStringLiteral("picSplitter"));
    picSplitter->setFrameShape(QFrame::VLine);
    picSplitter->setAutoFillBackground(true);
    picSplitter->setBackgroundRole(QPalette::Dark);
    picSplitter->hide();

    // The view area: the 3D view, or the details list in its place.
    Picture1 = createPicture1(m_central);
    Q_ASSERT(Picture1->objectName() == QLatin1String("Picture1"));
    ListView1 = createListView1(m_central);
    txtCurrent = makeLabel(m_central, "txtCurrent", QString());
    txtCurrent->setFrameShape(QFrame::StyledPanel);
    txtCurrent->hide();

    // A button with no command of its own; the overlay takes its second font from it.
    Command1 = makeButton(m_central, "Command1", QStringLiteral("Command1"));
    Command1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);

    // Sizes the layout rule reads but never sets.
    Frame2->setFixedHeight(std::max(twipsToPixelsY(kFrame2Height), adrList->sizeHint().height() + 6));
    txtCurrent->setFixedHeight(std::max(twipsToPixelsY(kTxtCurrentHeight), txtCurrent->sizeHint().height()));
    imgSplitter->setFixedWidth(twipsToPixelsX(kSplitterWidth));
    picSplitter->setFixedWidth(std::max(2, twipsToPixelsX(kSplitterBarWidth)));

    // Design positions of the controls the layout rule does not move (twips).
    const auto place = &ketra::placeInTwips;
    // The label reaches to the address box (design 855 twips), so that "Searching:" fits in the
    // fonts of this platform.
    place(adrLabel, 120, 210, 1050, 255);
    adrList->move(twipsToPixelsX(1200), twipsToPixelsY(170));
    place(lblFind, 120, 240, 2055, 255);
    place(txtFind, 120, 495, 1500, 325);
    place(cmdFind, 1700, 495, 400, 325);
    place(Label1, 120, 840, 2055, 255);
    place(txtFindIn, 120, 1050, 1500, 325);
    place(LstFind, 100, 1415, 2000, 2000);
    place(frmOptions, 120, 3400, 2000, 1335);
    place(cmdStopSearch, 1500, 495, 615, 375);
    place(cmdUp, 20, 4000, 255, 255);
    place(cmdClose, 1660, 4000, 615, 255);
    place(chkCase, 120, 140, 1215, 225);
    place(chkGT, 120, 650, 1215, 225);
    place(txtGT, 1320, 600, 600, 315);
    place(chkLT, 120, 1000, 1215, 225);
    place(txtLT, 1320, 960, 600, 315);
    place(cmdX, 1700, 120, 255, 255);
    for (QWidget* caption : std::initializer_list<QWidget*>{lblFind, Label1, chkCase, chkGT, chkLT})
        ketra::FitFont(caption);
}

void GraphForm::wireSignals() {
    // Menu bar.
    connect(mnuFileExit, &QAction::triggered, this, &GraphForm::mnuFileExit_Click);
    connect(mnuEditFind, &QAction::triggered, this, &GraphForm::mnuEditFind_Click);
    connect(mnuView3D, &QAction::triggered, this, &GraphForm::mnuView3D_Click);
    connect(mnuViewTree3D, &QAction::triggered, this, &GraphForm::mnuViewTree3D_Click);
    connect(mnuViewName, &QAction::triggered, this, [this] { setSortKey(0); });
    connect(mnuViewType, &QAction::triggered, this, [this] { setSortKey(1); });
    connect(mnuViewSize, &QAction::triggered, this, [this] { setSortKey(2); });
    connect(mnuViewDate, &QAction::triggered, this, [this] { setSortKey(3); });
    connect(mnuViewAscending, &QAction::triggered, this, &GraphForm::mnuViewAscending_Click);
    connect(mnuOptionsHidden, &QAction::triggered, this, &GraphForm::mnuOptionsHidden_Click);
    connect(mnuOptionsSystem, &QAction::triggered, this, &GraphForm::mnuOptionsSystem_Click);
    connect(mnuOptionsImages, &QAction::triggered, this, &GraphForm::mnuOptionsImages_Click);
    connect(mnuOptionsPopup, &QAction::triggered, this, &GraphForm::mnuOptionsPopup_Click);
    connect(mnuShortcuts, &QAction::triggered, this, &GraphForm::mnuShortcuts_Click);
    connect(mnuLog, &QAction::triggered, this, &GraphForm::mnuLog_Click);
    connect(mnuBarCols, &QAction::triggered, this, &GraphForm::mnuBarCols_Click);
    connect(mnuHelpHelp, &QAction::triggered, this, &GraphForm::mnuHelpHelp_Click);
    connect(mnuAbout, &QAction::triggered, this, &GraphForm::mnuAbout_Click);

    // The 3D view's pop-up menu.
    connect(MENU_UP, &QAction::triggered, this, &GraphForm::MENU_UP_Click);
    connect(MENU_REFRESH, &QAction::triggered, this, &GraphForm::MENU_REFRESH_Click);
    connect(MENU_RESET, &QAction::triggered, this, &GraphForm::MENU_RESET_Click);
    connect(MENU_ROTATE, &QAction::triggered, this, &GraphForm::MENU_ROTATE_Click);
    connect(MENU_BASE, &QAction::triggered, this, &GraphForm::MENU_BASE_Click);
    connect(MENU_LOAD, &QAction::triggered, this, &GraphForm::MENU_LOAD_Click);
    connect(mnuFileOpenData, &QAction::triggered, this, &GraphForm::MENU_LOAD_Click);

    // Toolbar: each button runs the command of its key.
    connect(tlbBack, &QAction::triggered, this, &GraphForm::GoBack);
    connect(tlbNext, &QAction::triggered, this, &GraphForm::GoForward);
    connect(tlbUp, &QAction::triggered, this, &GraphForm::MENU_UP_Click);
    connect(tlbFind, &QAction::triggered, this, &GraphForm::mnuEditFind_Click);
    connect(tlbRotate, &QAction::triggered, this, &GraphForm::MENU_ROTATE_Click);
    connect(tlbReset, &QAction::triggered, this, &GraphForm::MENU_RESET_Click);
    connect(tlbBase, &QAction::triggered, this, &GraphForm::MENU_BASE_Click);
    connect(tlbIncFolders, &QAction::triggered, this, &GraphForm::ToggleFolderSizes);
    connect(tlbStats, &QAction::triggered, this, &GraphForm::ToggleStats);
    connect(tlbRefresh, &QAction::triggered, this, &GraphForm::MENU_REFRESH_Click);

    // Address bar and loading. The box has the focus and hands keys on to its line edit without
    // passing event filters, so Enter is taken from the box itself. The box's own activation when
    // its line edit loses the focus is cut off: a folder is shown on Enter or a pick from the list.
    connect(cmdStop, &QPushButton::clicked, this, &GraphForm::cmdStop_Click);
    connect(adrList, &QComboBox::activated, this, &GraphForm::adrList_Click);
    QObject::disconnect(adrList->lineEdit(), &QLineEdit::editingFinished, adrList, nullptr);
    adrList->installEventFilter(this);
    // A notice on the progress line goes when its time is up or when it is clicked.
    auto endNotice = [this] {
        m_noticeTimer->stop();
        if (!busy() && !m_search->running())
            showAddressIdle();
    };
    connect(m_noticeTimer, &QTimer::timeout, this, endNotice);
    prog->installEventFilter(this);

    // Find pane: searching and the results, showing and hiding the pane and its options frame.
    connect(cmdFind, &QPushButton::clicked, this, &GraphForm::cmdFind_Click);
    connect(txtFind, &QLineEdit::returnPressed, this, &GraphForm::cmdFind_Click);
    connect(txtFindIn, &QLineEdit::returnPressed, this, &GraphForm::cmdFind_Click);
    connect(cmdStopSearch, &QPushButton::clicked, this, &GraphForm::cmdStopSearch_Click);
    // Stop covers Go while a search runs, so the second click of a double-click on Go lands on
    // Stop: neither button takes a double-click's second press, and a double-click runs one search.
    cmdFind->installEventFilter(this);
    cmdStopSearch->installEventFilter(this);
    connect(m_search, &ketra::SearchSession::progress, this, &GraphForm::searchProgress);
    connect(m_search, &ketra::SearchSession::finished, this, &GraphForm::searchFinished);
    connect(LstFind, &QAbstractItemView::clicked, this, &GraphForm::LstFind_Click);
    connect(LstFind, &QAbstractItemView::doubleClicked, this, &GraphForm::LstFind_DblClick);
    connect(&m_search->results(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { fitFindColumns(first, last); });
    connect(&m_search->results(), &QAbstractItemModel::modelReset, this, [this] { m_findFit = {}; });
    connect(cmdClose, &QPushButton::clicked, this, &GraphForm::mnuEditFind_Click);
    connect(cmdX, &QPushButton::clicked, this, [this] {
        frmOptions->hide();
        cmdUp->show();
        Form_Resize();
    });
    connect(cmdUp, &QPushButton::clicked, this, [this] {
        frmOptions->show();
        cmdUp->hide();
        Form_Resize();
    });
    connect(chkCase, &QCheckBox::clicked, this, [this](bool checked) { IgnoreCase(checked ? 1 : 0); });
    connect(chkGT, &QCheckBox::clicked, this, &GraphForm::chkGT_Click);
    connect(chkLT, &QCheckBox::clicked, this, &GraphForm::chkLT_Click);

    // Splitter.
    imgSplitter->installEventFilter(this);

    // Render loop.
    connect(Timer1, &QTimer::timeout, this, &GraphForm::Timer1_Timer);

    // The details list, the commands on the selected item, the picture button.
    connect(mnuViewDetails, &QAction::triggered, this, &GraphForm::mnuViewDetails_Click);
    connect(m_detailsModel, &QAbstractItemModel::modelReset, this, &GraphForm::fitDetailsSizeColumn);
    connect(m_detailsModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (from.column() <= ketra::DetailsModel::SizeColumn &&
                    to.column() >= ketra::DetailsModel::SizeColumn)
                    fitDetailsSizeColumn();
            });
    connect(ListView1->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { ListView1_ColumnClick(section + 1); });
    connect(m_listClickTimer, &QTimer::timeout, this,
            [this] { ListView1_Click(m_listClickRow, m_listClickAt); });
    connect(mnuContentOpen, &QAction::triggered, this, &GraphForm::mnuContentOpen_Click);
    connect(mnuFolderOpen, &QAction::triggered, this, &GraphForm::mnuFolderOpen_Click);
    connect(mnuContentDelete, &QAction::triggered, this, &GraphForm::mnuContentDelete_Click);
    connect(mnuContentproperties, &QAction::triggered, this, &GraphForm::mnuContentproperties_Click);
    connect(tlbDelete, &QAction::triggered, this, &GraphForm::mnuContentDelete_Click);
    connect(tlbShowImage, &QAction::triggered, this, &GraphForm::ShowPicture);

    // A scan of another machine: its items are no files here.
    connect(mnuFileOpenScan, &QAction::triggered, this, &GraphForm::mnuFileOpenScan_Click);
    connect(mnuFileOpenFolder, &QAction::triggered, this, &GraphForm::mnuFileOpenFolder_Click);
    for (QAction* a : {tlbDelete, tlbShowImage}) // selecting an item enables them: not on a scan
        connect(a, &QAction::enabledChanged, this, [this, a](bool on) {
            if (on && m_scanShown)
                a->setEnabled(false);
        });
}

void GraphForm::setRenderTimer(bool on) {
    if (on)
        Timer1->start();
    else
        Timer1->stop();
}

bool GraphForm::eventFilter(QObject* watched, QEvent* event) {
    if (filterDrop(watched, event))
        return true;
    if ((watched == cmdFind || watched == cmdStopSearch) && event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (watched == adrList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
            adrList_KeyUp(13);
            return true;
        }
    } else if (watched == prog && event->type() == QEvent::MouseButtonPress && m_noticeTimer->isActive()) {
        m_noticeTimer->stop();
        showAddressIdle();
        adrList->setFocus();
        return true;
    } else if (watched == imgSplitter) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            imgSplitter_MouseDown(static_cast<QMouseEvent*>(event)->position().toPoint().x());
            return true;
        case QEvent::MouseMove:
            if (m_splitterDragging)
                imgSplitter_MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint().x());
            return true;
        case QEvent::MouseButtonRelease:
            if (m_splitterDragging)
                imgSplitter_MouseUp();
            return true;
        case QEvent::Paint: {
            // The handle is drawn in the strip the view leaves of it, between the pane and the view.
            QPainter painter(imgSplitter);
            QStyleOption handle;
            handle.initFrom(imgSplitter);
            handle.state |= QStyle::State_Horizontal;
            const int shown = Picture1->geometry().left() - imgSplitter->geometry().left();
            if (shown > 0 && shown < handle.rect.width())
                handle.rect.setWidth(shown);
            painter.fillRect(handle.rect, handle.palette.mid());
            imgSplitter->style()->drawControl(QStyle::CE_Splitter, &handle, &painter, imgSplitter);
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void GraphForm::closeEvent(QCloseEvent* event) {
    if (m_exiting) { // File > Exit: nothing more is written
        event->accept();
        return;
    }
    if (busy()) {
        // The running load is stopped first; the window closes as soon as it has ended.
        m_waiting = Waiting::Close;
        cmdStop_Click();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void GraphForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void GraphForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

// ---- Graph rules, kept by the graph and colour libraries -----------------------------------------

uint32_t GraphForm::getcol(const QString& name) const {
    return ::getcol(name);
}

void GraphForm::AddEntry(const QString& name, double row, double value, double column, double size,
                         uint32_t colour, int32_t attributes, const QString& modified, int16_t level) {
    m_model->AddEntry(name, row, value, column, size, colour, attributes, modified, level,
                      m_options.m_logscale);
}

void GraphForm::ScaleEntries() {
    m_model->ScaleEntries(m_options.m_logscale);
}

#include "moc_GraphForm.cpp"
