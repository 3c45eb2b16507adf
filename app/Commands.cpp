// The menu bar, the 3D view's pop-up menu, the item context menu, the toolbar, and the option
// commands. An option command flips its flag, keeps its check mark (or its toolbar button's
// pressed state) in step with it, tells the scanner when the option is the scanner's, and
// reloads the folder when the picture depends on it.
#include "GraphForm.h"
#include "folders/Paths.h"

#include "treescan.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

namespace {

QAction* makeAction(QObject* parent, const char* name, const QString& caption, bool checkable = false,
                    bool checked = false) {
    auto* a = new QAction(caption, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setCheckable(checkable);
    if (checkable)
        a->setChecked(checked);
    return a;
}

// A freedesktop theme icon, or Qt's own picture when the theme has none.
QIcon themeIcon(const QStyle* style, const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), style->standardIcon(fallback));
}

} // namespace

void GraphForm::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpenData = makeAction(this, "mnuFileOpenData", tr("Open &Data File..."));
    mnuFileOpenData->setShortcut(QKeySequence::Open);
    file->addAction(mnuFileOpenData);
    // Other machines' scans, and the way back to this machine's folders.
    mnuFileOpenFolder = makeAction(this, "mnuFileOpenFolder", tr("Open &Folder..."));
    mnuFileOpenScan = makeAction(this, "mnuFileOpenScan", tr("Open &Scan..."));
    file->addAction(mnuFileOpenFolder);
    file->addAction(mnuFileOpenScan);
    file->addSeparator();
    mnuFileExit = makeAction(this, "mnuFileExit", tr("&Exit"));
    file->addAction(mnuFileExit);

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    mnuEditFind = makeAction(this, "mnuEditFind", tr("&Find"), true, false);
    mnuEditFind->setShortcut(QKeySequence::Find);
    edit->addAction(mnuEditFind);

    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    mnuView3D = makeAction(this, "mnuView3D", tr("3D"), true, true);
    mnuViewTree3D = makeAction(this, "mnuViewTree3D", tr("Tree View 3D"), true, false);
    mnuViewDetails = makeAction(this, "mnuViewDetails", tr("Details"), true, false);
    view->addAction(mnuView3D);
    view->addAction(mnuViewTree3D);
    view->addAction(mnuViewDetails);
    view->addSeparator();
    QMenu* arrange = view->addMenu(tr("Arrange Icons by"));
    arrange->setObjectName(QStringLiteral("mnuViewArrange"));
    mnuViewName = makeAction(this, "mnuViewName", tr("Name"), true, true);
    mnuViewSize = makeAction(this, "mnuViewSize", tr("Size"), true, false);
    mnuViewType = makeAction(this, "mnuViewType", tr("Type"), true, false);
    mnuViewDate = makeAction(this, "mnuViewDate", tr("Modified Date"), true, false);
    mnuViewAscending = makeAction(this, "mnuViewAscending", tr("Ascending"), true, true);
    arrange->addAction(mnuViewName);
    arrange->addAction(mnuViewSize);
    arrange->addAction(mnuViewType);
    arrange->addAction(mnuViewDate);
    arrange->addSeparator();
    arrange->addAction(mnuViewAscending);
    createChangesMenu(view);

    QMenu* options = bar->addMenu(tr("&Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    mnuOptionsHidden = makeAction(this, "mnuOptionsHidden", tr("Show Hidden Files"), true, false);
    mnuOptionsSystem = makeAction(this, "mnuOptionsSystem", tr("Show System Files"), true, false);
    mnuOptionsImages = makeAction(this, "mnuOptionsImages", tr("Show Filename on 3D nodes"), true, false);
    mnuOptionsPopup = makeAction(this, "mnuOptionsPopup", tr("Show Filename as popup text"), true, false);
    mnuBarCols = makeAction(this, "mnuBarCols", tr("3D Bar colors"));
    mnuShortcuts = makeAction(this, "mnuShortcuts", tr("Show Keyboard Shortcuts"), true, true);
    mnuLog = makeAction(this, "mnuLog", tr("Use Log Scale for Bar Heights"), true, false);
    options->addAction(mnuOptionsHidden);
    options->addAction(mnuOptionsSystem);
    options->addSeparator();
    options->addAction(mnuOptionsImages);
    options->addAction(mnuOptionsPopup);
    options->addAction(mnuBarCols);
    options->addAction(mnuShortcuts);
    options->addAction(mnuLog);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelp = makeAction(this, "mnuHelpHelp", tr("Help"));
    mnuHelpHelp->setShortcut(QKeySequence::HelpContents);
    mnuAbout = makeAction(this, "mnuAbout", tr("About Ketra"));
    help->addAction(mnuHelpHelp);
    help->addAction(mnuAbout);

    // The 3D view's pop-up menu.
    MENU_POPUP = new QMenu(this);
    MENU_POPUP->setObjectName(QStringLiteral("MENU_POPUP"));
    MENU_UP = makeAction(this, "MENU_UP", tr("&Show Parent Folder"));
    MENU_REFRESH = makeAction(this, "MENU_REFRESH", tr("Reload folder"));
    MENU_RESET = makeAction(this, "MENU_RESET", tr("Reset Orientation"));
    MENU_ROTATE = makeAction(this, "MENU_ROTATE", tr("Auto Rotate"), true, true);
    MENU_BASE = makeAction(this, "MENU_BASE", tr("Show base plane"), true, true);
    MENU_LOAD = makeAction(this, "MENU_LOAD", tr("Load Data From File!"));
    MENU_LOAD->setVisible(false); // hidden in the window definition; File > Open Data File... runs it
    MENU_POPUP->addAction(MENU_UP);
    MENU_POPUP->addAction(MENU_REFRESH);
    MENU_POPUP->addSeparator();
    MENU_POPUP->addAction(MENU_RESET);
    MENU_POPUP->addAction(MENU_ROTATE);
    MENU_POPUP->addAction(MENU_BASE);
    MENU_POPUP->addAction(MENU_LOAD);

    // The context menu of an item.
    MENU_CONTEXT = new QMenu(this);
    MENU_CONTEXT->setObjectName(QStringLiteral("MENU_CONTEXT"));
    mnuContentOpen = makeAction(this, "mnuContentOpen", tr("&Open"));
    mnuFolderOpen = makeAction(this, "mnuFolderOpen", tr("Open Folder in File Manager"));
    mnuContentDelete = makeAction(this, "mnuContentDelete", tr("&Delete"));
    mnuContentproperties = makeAction(this, "mnuContentproperties", tr("&File Properties"));
    MENU_CONTEXT->addAction(mnuContentOpen);
    MENU_CONTEXT->addAction(mnuFolderOpen);
    MENU_CONTEXT->addSeparator();
    MENU_CONTEXT->addAction(mnuContentDelete);
    MENU_CONTEXT->addSeparator();
    MENU_CONTEXT->addAction(mnuContentproperties);
    mnuFolderOpen->setVisible(false);       // shown for folders only
    MENU_CONTEXT->setToolTipsVisible(true); // why an item is off (a scan of another machine)
}

void GraphForm::createToolbar() {
    Toolbar1 = new QToolBar(tr("Toolbar"), this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->toggleViewAction()->setEnabled(false);
    Toolbar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, Toolbar1);

    const QStyle* st = style();
    auto button = [&](const char* name, const QString& tip, const char* icon, QStyle::StandardPixmap fallback,
                      bool checkable = false) {
        QAction* a = makeAction(this, name, tip, checkable, false);
        a->setToolTip(tip);
        a->setIcon(themeIcon(st, icon, fallback));
        Toolbar1->addAction(a);
        return a;
    };
    tlbBack = button("tlbBack", tr("Previous Folder"), "go-previous", QStyle::SP_ArrowBack);
    tlbNext = button("tlbNext", tr("Next Folder"), "go-next", QStyle::SP_ArrowForward);
    tlbUp = button("tlbUp", tr("Parent Folder"), "go-up", QStyle::SP_FileDialogToParent);
    Toolbar1->addSeparator();
    tlbFind = button("tlbFind", tr("Find Files"), "edit-find", QStyle::SP_FileDialogContentsView, true);
    tlbRotate = button("tlbRotate", tr("Auto Rotate"), "object-rotate-right", QStyle::SP_MediaPlay, true);
    tlbReset = button("tlbReset", tr("Reset View"), "zoom-original", QStyle::SP_DialogResetButton);
    tlbBase = button("tlbBase", tr("Show Base"), "view-grid", QStyle::SP_DesktopIcon, true);
    Toolbar1->addSeparator();
    tlbIncFolders =
        button("tlbIncFolders", tr("Include Folder Sizes"), "drive-harddisk", QStyle::SP_DriveHDIcon, true);
    tlbStats = button("tlbStats", tr("Show folder statistics"), "dialog-information",
                      QStyle::SP_MessageBoxInformation, true);
    tlbRefresh = button("tlbRefresh", tr("Refresh this folder"), "view-refresh", QStyle::SP_BrowserReload);
    tlbRefresh->setShortcut(QKeySequence::Refresh);
    tlbDelete = button("tlbDelete", tr("Remove File or Folder"), "edit-delete", QStyle::SP_TrashIcon);
    Toolbar1->addSeparator();
    tlbShowImage = button("tlbShowImage", tr("Show Picture"), "image-x-generic", QStyle::SP_FileIcon);
    tlbBack->setShortcut(QKeySequence::Back);
    tlbNext->setShortcut(QKeySequence::Forward);
    tlbDelete->setEnabled(false);
    tlbShowImage->setEnabled(false);

    // The Stop button of folder loads sits inside the toolbar at its right end (placed by the layout).
    cmdStop = new QPushButton(themeIcon(st, "process-stop", QStyle::SP_BrowserStop), tr("Stop"), Toolbar1);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdStop->hide();
}

// ---- Option commands -------------------------------------------------------------------------

void GraphForm::ToggleFolderSizes() {
    m_options.m_includeFolders = !m_options.m_includeFolders;
    IncludeFolderSize(m_options.m_includeFolders ? 1 : 0);
    tlbIncFolders->setChecked(m_options.m_includeFolders);
    reloadFolder();
}

void GraphForm::ToggleStats() {
    m_options.m_showStats = !m_options.m_showStats;
    tlbStats->setChecked(m_options.m_showStats);
    DrawGraph();
}

void GraphForm::MENU_BASE_Click() {
    m_options.m_bShowBase = !m_options.m_bShowBase;
    MENU_BASE->setChecked(m_options.m_bShowBase);
    tlbBase->setChecked(m_options.m_bShowBase);
    DrawGraph();
}

void GraphForm::MENU_ROTATE_Click() {
    m_autoRotate = !m_autoRotate;
    MENU_ROTATE->setChecked(m_autoRotate);
    tlbRotate->setChecked(m_autoRotate);
}

void GraphForm::mnuOptionsHidden_Click() {
    m_options.m_showHidden = !m_options.m_showHidden;
    mnuOptionsHidden->setChecked(m_options.m_showHidden);
    IncludeHidden(m_options.m_showHidden ? 1 : 0);
    reloadFolder();
}

void GraphForm::mnuOptionsSystem_Click() {
    m_options.m_showSystem = !m_options.m_showSystem;
    mnuOptionsSystem->setChecked(m_options.m_showSystem);
    IncludeSystem(m_options.m_showSystem ? 1 : 0);
    reloadFolder();
}

void GraphForm::mnuOptionsImages_Click() {
    m_options.m_showText = !m_options.m_showText;
    mnuOptionsImages->setChecked(m_options.m_showText);
    reloadFolder();
}

void GraphForm::mnuOptionsPopup_Click() {
    m_options.m_showPopup = !m_options.m_showPopup;
    mnuOptionsPopup->setChecked(m_options.m_showPopup);
    txtCurrent->setVisible(!m_options.m_showPopup);
    Form_Resize();
}

void GraphForm::mnuShortcuts_Click() {
    m_options.m_bShowShortcuts = !m_options.m_bShowShortcuts;
    mnuShortcuts->setChecked(m_options.m_bShowShortcuts);
}

void GraphForm::mnuLog_Click() {
    m_options.m_logscale = !m_options.m_logscale;
    mnuLog->setChecked(m_options.m_logscale);
    reloadFolder();
}

// ---- View commands ---------------------------------------------------------------------------

void GraphForm::showBarView() {
    mnuView3D->setChecked(true);
    mnuViewTree3D->setChecked(false);
    mnuViewDetails->setChecked(false);
    Picture1->show();
    ListView1->hide();
    m_options.m_treeview = false;
}

void GraphForm::mnuView3D_Click() {
    showBarView();
    reloadFolder();
    setRenderTimer(m_deviceReady);
}

void GraphForm::setSortKey(int key) {
    mnuViewName->setChecked(key == TREESCAN_SORT_NAME);
    mnuViewType->setChecked(key == TREESCAN_SORT_TYPE);
    mnuViewSize->setChecked(key == TREESCAN_SORT_SIZE);
    mnuViewDate->setChecked(key == TREESCAN_SORT_DATE);
    m_sortKey = key;
    SortBy(m_sortKey, m_sortAscending);
    reloadFolder();
}

void GraphForm::mnuViewAscending_Click() {
    m_sortAscending = 1 - m_sortAscending;
    mnuViewAscending->setChecked(m_sortAscending == 1);
    SortBy(m_sortKey, m_sortAscending);
    reloadFolder();
}

void GraphForm::mnuEditFind_Click() {
    setFindPaneShown(Frame1->isHidden());
}

void GraphForm::setFindPaneShown(bool shown) {
    Frame1->setVisible(shown);
    mnuEditFind->setChecked(shown);
    tlbFind->setChecked(shown);
    if (shown)
        txtFind->setFocus();
    Form_Resize();
}

// ---- Help ------------------------------------------------------------------------------------

void GraphForm::mnuHelpHelp_Click() {
    // Read-only resources sit beside the program, or in ../share/ketra in the installed layout.
    const QString folder = QFile::decodeName(m_programFolder);
    const QString beside = folder + QStringLiteral("/help.htm");
    const QString installed = QDir::cleanPath(folder + QStringLiteral("/../share/ketra/help.htm"));
    const QString path = QFileInfo::exists(beside) ? beside : installed;
    if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, QStringLiteral("Ketra"),
                             tr("The help file \"%1\" could not be opened.").arg(beside));
}

void GraphForm::mnuAbout_Click() {
    auto* about = findChild<QMessageBox*>(QStringLiteral("frmAbout"));
    if (!about) {
        about = new QMessageBox(QMessageBox::Information, tr("About Ketra"),
                                tr("<b>Ketra</b> %1<br>A folder seen as a 3D bar graph.")
                                    .arg(QCoreApplication::applicationVersion()),
                                QMessageBox::Ok, this);
        about->setObjectName(QStringLiteral("frmAbout"));
        about->setModal(false);
    }
    about->show();
    about->raise();
}
