// The main window: one class, its code split by subsystem.
//
//   app/GraphForm.cpp         controls, and every signal wired in one place
//   app/Commands.cpp          menu bar, pop-up menus, toolbar and the option commands
//   app/Startup.cpp           start-up, settings, shutdown
//   app/Layout.cpp            the layout rule applied to the widgets, the splitter
//   app/ViewPlaceholder.cpp   the 3D view's seam (see "3D view" below)
//   folders/FolderLoading.cpp reading a folder into graph entries, Stop
//   folders/Navigation.cpp    selectNode, history, address box, parent, refresh
//
// Window positions and sizes are reasoned about in twips (1/1440 inch) and converted to pixels at
// the edge (twips per pixel = 1440 / logical DPI).
#pragma once

#include <QFont>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolBar;
class QTreeWidget;

namespace ketra {
class GraphModel;
class NavigationHistory;
} // namespace ketra

class GraphForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds every control, menu and toolbar button (hidden window). The start-up sequence runs
    // from Form_Load, which the program calls once before entering the event loop.
    explicit GraphForm(QWidget* parent = nullptr);
    ~GraphForm() override;

    // ---- Start-up and shutdown (app/Startup.cpp) --------------------------------------------
    // Reads the settings, places and shows the window, applies the options, loads the program's
    // own folder. Returns false when the 3D view could not be brought up (the program ends).
    bool Form_Load();
    // Stores the scanner's folder cache and every setting.
    void Form_Unload();
    // Stores the scanner's folder cache and ends the program without writing the settings.
    void mnuFileExit_Click();
    // The folder the executable lives in; also the first folder shown.
    static QString programFolder();

    // ---- Layout (app/Layout.cpp) -------------------------------------------------------------
    void Form_Resize();
    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;
    double pixelsToTwipsX(int pixels) const;
    double pixelsToTwipsY(int pixels) const;

    // ---- Navigation (folders/Navigation.cpp) -------------------------------------------------
    // Shows the folder named by the address box's text (no-op when it is already shown, while a
    // folder is loading, or before the view is ready).
    void selectNode();
    // Reload idiom: forget the current folder, then selectNode.
    void reloadFolder();
    // Enter idiom: the address text becomes `path`, selectNode, then the history records it.
    void enterFolder(const QString& path);
    void PushHistory(const QString& path);
    void GoBack();
    void GoForward();
    void MENU_UP_Click();
    void MENU_REFRESH_Click();
    // What Enter in the address box does with `text` (the program's FOLDER argument uses it).
    void openAddress(const QString& text);
    // Joins a folder and an item name with one "/" (none doubled at the root).
    static QString joinPath(const QString& folder, const QString& name);
    // The folder above `path` ("/home" gives "/", "/" gives "/"); `path` itself when it has none.
    static QString parentFolder(const QString& path);

    // ---- Folder loading (folders/FolderLoading.cpp) ------------------------------------------
    void LoadFolder();
    void cmdStop_Click();

    // ---- Graph rules, forwarded to the graph and colour libraries ----------------------------
    uint32_t getcol(const QString& name) const;
    void AddEntry(const QString& name, double row, double value, double column, double size, uint32_t colour,
                  int32_t attributes, const QString& modified, int16_t level);
    void ScaleEntries();
    ketra::GraphModel& model() { return *m_model; }
    const ketra::GraphModel& model() const { return *m_model; }

    // ---- Commands (app/Commands.cpp) --------------------------------------------------------
    void ToggleFolderSizes();
    void ToggleStats();
    void MENU_BASE_Click();
    void MENU_ROTATE_Click();
    void MENU_RESET_Click();
    void mnuOptionsHidden_Click();
    void mnuOptionsSystem_Click();
    void mnuOptionsImages_Click();
    void mnuOptionsPopup_Click();
    void mnuShortcuts_Click();
    void mnuLog_Click();
    void mnuView3D_Click();
    void mnuEditFind_Click();
    void setSortKey(int key);
    void mnuViewAscending_Click();
    void mnuHelpHelp_Click();
    void mnuAbout_Click();

    // ---- State read by the other subsystems --------------------------------------------------
    // Option flags, named like their settings keys.
    bool m_includeFolders = false;
    bool m_logscale = false;
    bool m_showStats = true;
    bool m_showHidden = false;
    bool m_showSystem = false;
    bool m_showText = true;
    bool m_showPopup = true;
    bool m_bShowShortcuts = true;
    bool m_bShowBase = true;
    bool m_treeview = false;
    bool m_autoupdate = true;
    bool m_autoRotate = false;

    QString m_currentFolder;
    bool m_loading = false; // a folder is being read
    bool m_stopSearch = false;
    bool m_deviceReady = false;
    bool m_graphBuilt = false;
    bool m_keepEntries = false;
    int16_t m_level = 2;
    int32_t m_selectedEntry = 0; // 1-based entry index; 0 = none

    // Folder statistics of the last load.
    double m_totalBytes = 0;
    int32_t m_fileCount = 0;
    int32_t m_folderCount = 0;
    int32_t m_totalFileCount = 0;
    int32_t m_totalFolderCount = 0;
    int32_t m_gridRow = 0;
    int32_t m_gridColumn = 0;

    int m_sortKey = 0;
    int m_sortAscending = 1;

    // The scanner writes names and folders here; PATH_MAX bytes, and its capacity is always passed.
    std::array<char, 4096> m_pathBuffer{};

    // The window's font of the design (Arial 12): the 3D overlay's first font is made from it.
    QFont m_windowFont;

    // The find pane's width in twips (what the splitter gives it).
    double m_findPaneWidth = 2355;

    // ---- Controls (owned by Qt's parent chain; names are their objectNames) ------------------
    QToolBar* Toolbar1 = nullptr;
    QPushButton* cmdStop = nullptr;
    QFrame* Frame2 = nullptr;
    QLabel* adrLabel = nullptr;
    QComboBox* adrList = nullptr;
    QLineEdit* prog = nullptr;
    QFrame* Frame1 = nullptr;
    QLabel* lblFind = nullptr;
    QLineEdit* txtFind = nullptr;
    QPushButton* cmdFind = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtFindIn = nullptr;
    QFrame* frmOptions = nullptr;
    QCheckBox* chkCase = nullptr;
    QCheckBox* chkGT = nullptr;
    QLineEdit* txtGT = nullptr;
    QCheckBox* chkLT = nullptr;
    QLineEdit* txtLT = nullptr;
    QPushButton* cmdX = nullptr;
    QPushButton* cmdUp = nullptr;
    QTreeWidget* LstFind = nullptr;
    QPushButton* cmdStopSearch = nullptr;
    QPushButton* cmdClose = nullptr;
    QWidget* imgSplitter = nullptr;
    QFrame* picSplitter = nullptr;
    QWidget* Picture1 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QLabel* txtCurrent = nullptr;
    QPushButton* Command1 = nullptr; // hidden; its font is the overlay's second font
    QTimer* Timer1 = nullptr;        // the render timer, 10 ms

    // Menus and actions.
    QAction *mnuFileExit = nullptr, *mnuEditFind = nullptr;
    QAction *mnuView3D = nullptr, *mnuViewTree3D = nullptr, *mnuViewDetails = nullptr;
    QAction *mnuViewName = nullptr, *mnuViewSize = nullptr, *mnuViewType = nullptr, *mnuViewDate = nullptr,
            *mnuViewAscending = nullptr;
    QAction *mnuOptionsHidden = nullptr, *mnuOptionsSystem = nullptr, *mnuOptionsImages = nullptr,
            *mnuOptionsPopup = nullptr, *mnuBarCols = nullptr, *mnuShortcuts = nullptr, *mnuLog = nullptr;
    QAction *mnuHelpHelp = nullptr, *mnuAbout = nullptr;
    QMenu* MENU_POPUP = nullptr;
    QAction *MENU_UP = nullptr, *MENU_REFRESH = nullptr, *MENU_RESET = nullptr, *MENU_ROTATE = nullptr,
            *MENU_BASE = nullptr, *MENU_LOAD = nullptr;
    QMenu* MENU_CONTEXT = nullptr;
    QAction *mnuContentOpen = nullptr, *mnuFolderOpen = nullptr, *mnuContentDelete = nullptr,
            *mnuContentproperties = nullptr;
    QAction *tlbBack = nullptr, *tlbNext = nullptr, *tlbUp = nullptr, *tlbFind = nullptr,
            *tlbRotate = nullptr, *tlbReset = nullptr, *tlbBase = nullptr, *tlbIncFolders = nullptr,
            *tlbStats = nullptr, *tlbRefresh = nullptr, *tlbDelete = nullptr, *tlbShowImage = nullptr;

    // ---- 3D view (app/ViewPlaceholder.cpp until the GL view is plugged in) --------------------
    // Makes the widget that stands in `Picture1`'s place; it must carry the objectName "Picture1".
    QWidget* createPicture1(QWidget* parent);
    // The 3D start-up: brings the device up, loads the folder of the address box, scales it and
    // builds the first scene. Sets m_deviceReady; returns it.
    bool Start3D();
    // The folder rebuild run by selectNode: release the scene, LoadFolder, ScaleEntries, build
    // the scene again, keeping the camera and the graph's orientation.
    void RebuildScene();
    // The view changed size: hand the new size to the device.
    void ResizeDevice();
    // One render-timer tick.
    void Timer1_Timer();
    // Draws one frame when there is something to draw.
    void DrawGraph();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();   // app/Commands.cpp
    void createToolbar(); // app/Commands.cpp
    void wireSignals();
    void setRenderTimer(bool on);
    void setFindPaneShown(bool shown);
    void adrList_KeyUp(int key);
    void adrList_Click(int index);
    // A typed address made absolute and tidy: "~" expanded, relative to the folder shown.
    QString tidyAddress(const QString& typed) const;
    void imgSplitter_MouseDown(int x);
    void imgSplitter_MouseMove(int x);
    void imgSplitter_MouseUp();
    void showAddressIdle();
    void placeProgressOverAddress();

    std::unique_ptr<ketra::GraphModel> m_model;
    std::unique_ptr<ketra::NavigationHistory> m_history;
    QWidget* m_central = nullptr;
    bool m_closePending = false;
    bool m_exiting = false;       // File > Exit: the program ends without the unload sequence
    bool m_reloadPending = false; // an option asked for a reload while a folder was loading
    bool m_splitterDragging = false;
    int m_splitterGrab = 0; // where the splitter was grabbed, in pixels from its left edge
    QString m_programFolder;
};
