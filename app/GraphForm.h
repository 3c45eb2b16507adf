// The main window: one class, its code split by subsystem.
//
//   app/GraphForm.cpp         controls, and every signal wired in one place
//   app/Commands.cpp          menu bar, pop-up menus, toolbar and the option commands
//   app/Startup.cpp           start-up, settings, shutdown
//   app/Layout.cpp            the layout rule applied to the widgets, the splitter
//   app/RenderLoop.cpp        the 3D view: device, device objects, render loop, camera step, reset
//   app/BarScene.cpp          the bar scene (BuildGraph)
//   app/Overlay.cpp           the hover test (MouseOver)
//   app/ViewInput.cpp         the view widget, its keys and mouse, dragging, hovering
//   app/Picking.cpp           clicking, the context menus and double-clicking bars
//   app/FolderLoading.cpp     reading a folder into graph entries, its progress line, Stop
//   app/Navigation.cpp        selectNode, history, address box, parent, refresh
//   app/Find.cpp              the find pane: searching, its results, going to a result
//   app/TreeView.cpp          the tree view: its command, its scene, opening a folder node in place
//   app/ColourCommands.cpp    the colour dialog's command
//   app/Snapshot.cpp          the snapshot command (a fresh window's picture, no window shown)
//   app/DetailsList.cpp       the details list: filling it, its header, clicks and keys
//   app/ShellCommands.cpp     open, file manager, delete to the trash, properties
//   app/Images.cpp            the picture test and the picture window
//   app/FolderWatch.cpp       reloading the folder shown when it changes on disk
//   app/DataFile.cpp          plotting a comma-delimited table in place of the folder
//   app/ScanImport.cpp        showing a scan of another machine in place of the disk
//   app/DragDrop.cpp          folders dropped on the window, rows dragged out as files
//   app/Accessibility.cpp     accessible names, label buddies and the Tab order
//
// What the handlers compute without a window lives below app/ and never includes it: the layout
// rule and the settings store in app/core; reading folders, paths and the history in folders/; the
// options value, the grid layout, the camera step, the bar scene, one frame with its overlay and
// the overlay's texts in graph/; the tree's scene and its levels' folders in graph/; the search
// session, its results and the find pane's rules in search/; the colour dialog in colours/; the
// details list's model, an item's path and the folder watch in folders/; the shell services, the
// trash, properties and pictures, and the picture and properties windows in fileops/. The options
// are one value (m_options) and the overlay one state (m_overlay), handed on whole.
//
// Window positions and sizes are reasoned about in twips (1/1440 inch) and converted to pixels at
// the edge (twips per pixel = 1440 / logical DPI).
#pragma once

#include "core/Settings.h"
#include "fileops/Shell.h"
#include "fileops/Trash.h"
#include "graph/BarFrame.h"
#include "graph/Options.h"
#include "graph/TreeLevels.h"

#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

class CD3DFrame;
class D3DView;
namespace platform {
class Font;
class Mesh;
} // namespace platform

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QSocketNotifier;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QTimer;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QUrl;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

namespace ketra {
class Camera;
class DataTableRead;
class DetailsModel;
class FolderLoad;
class FolderWatch;
class GraphModel;
class LabelMaker;
class NavigationHistory;
class PictureWindow;
class PropertiesDialog;
class ScanOpen;
class SearchSession;
struct BarScene;
struct LoadedDataTable;
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
    // The folder the executable lives in (its bytes); also the first folder shown.
    static QByteArray programFolder();
    // Where textures not found by name are looked for, and where the data-file dialog starts:
    // "media" beside the program, or the installed layout's share folder when only that exists.
    static QString mediaFolder(const QByteArray& programFolder);

    // ---- Layout (app/Layout.cpp) -------------------------------------------------------------
    void Form_Resize();
    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;
    double pixelsToTwipsX(int pixels) const;
    double pixelsToTwipsY(int pixels) const;

    // ---- Navigation (app/Navigation.cpp) -------------------------------------------------
    // Starts showing the folder named by the address box's text (refused while the window is
    // busy; nothing to do when it is shown already, or before the view is ready). `then` runs once
    // the load has ended (also when it failed or was stopped) or at once when there is nothing to
    // load; with `keepEntries` the folder's items are appended to the entries (a tree level).
    void selectNode(std::function<void()> then = {}, bool keepEntries = false);
    // Reload idiom: forget the current folder, then selectNode (once the window is idle again
    // when it is busy).
    void reloadFolder(std::function<void()> then = {});
    // Enter idiom: the address box names `path`, selectNode, then the history records it.
    void enterFolder(const QByteArray& path);
    void PushHistory(const QByteArray& path);
    void GoBack();
    void GoForward();
    void MENU_UP_Click();
    void MENU_REFRESH_Click();
    // What Enter in the address box does with `path`: taken from the folder shown when relative,
    // "~" as the home folder, then shown.
    void openAddress(const QByteArray& path, std::function<void()> then = {});
    // The same with text typed: its UTF-8 bytes, blanks around it dropped.
    void openAddress(const QString& typed);
    // The program's FOLDER argument (its bytes as given): a folder is shown as Enter shows it; a
    // file's folder is shown with the file selected.
    void openArgument(const QByteArray& path);
    // The address box names `path`: it shows its text, and stands for `path` until the text is
    // changed.
    void setAddress(const QByteArray& path);
    // The path the address box stands for: the one set last while the box still shows its text,
    // otherwise the text in the box as UTF-8 bytes (what the user typed).
    QByteArray addressPath() const;

    // ---- The window's mode; the folder load (app/FolderLoading.cpp) ------------------------
    // Busy: a folder is read or measured, or a table read; handlers that would change the entries
    // or the scanner's folder are refused meanwhile.
    enum class Mode { Idle, Loading, Measuring, ReadingTable, ReadingScan };
    Mode mode() const { return m_mode; }
    bool busy() const { return m_mode != Mode::Idle; }
    // Starts reading the folder of the address box into the entries (the picture shown stays
    // until it is in); `then` runs when the load has ended.
    void LoadFolder(std::function<void()> then = {}, bool keepEntries = false);
    void cmdStop_Click();
    // Folder sizes that came partly from the scanner's cache are shown at once; when the full
    // pass behind them has the exact sizes, the folders' bars that changed are rebuilt with them.
    void watchVerification(int firstEntry, int32_t count);
    void verifiedSizesArrived();

    // ---- Comma-delimited data (app/DataFile.cpp) ----------------------------------------------
    // Asks for a comma-delimited file (File > Open Data File..., starting in the media folder) and
    // plots it with openDataFile. Choosing nothing changes nothing.
    void MENU_LOAD_Click();
    // Reads the table of `path` off the window's thread, with the progress line and its Stop
    // button, as a folder is read (nothing else may start meanwhile); then LoadFileAsBarGraph, and
    // the 3D view made again on a new device from the entries, seen as before (view, camera and
    // the graph's orientation kept). Ignored while a folder or a table is read.
    void openDataFile(const QByteArray& path);
    // Puts the table read into the entries in place of the folder's, one entry per value cell. A
    // file that is missing, not a regular file, unreadable or beyond a table's bounds is reported
    // and changes nothing (false: nothing to rebuild); a line without a comma is reported and
    // keeps the entries and grid counters shown before. A table is a bar graph: the tree view or
    // the details list gives way to the 3D view.
    bool LoadFileAsBarGraph(const ketra::LoadedDataTable& read);
    // The table read by openDataFile has come (or was stopped).
    void dataFileRead(const std::shared_ptr<ketra::LoadedDataTable>& read);

private:
    ketra::DataTableRead* m_tableRead = nullptr; // made on the first table; a child of the window
    int32_t m_gridColumn = 0;                    // the cell count of the table's last line
    int32_t m_gridRow = 0;                       // the table's data rows
    QAction* mnuFileOpenData = nullptr;

public:
    // ---- Scans of other machines (app/ScanImport.cpp) ------------------------------------------
    // File > "Open Scan...": asks for a scan file (ours, ncdu's or gdu's; the dialog starts in the
    // folder used last) and shows it with importScan.
    void mnuFileOpenScan_Click();
    // File > "Open Folder...": asks for a folder of this machine and shows it; a scan shown gives
    // way to the disk.
    void mnuFileOpenFolder_Click();
    // Reads the scan in `file` off the window's thread, with the progress line and Stop, then shows
    // the folder scanned in place of the disk (recorded in the history). A file that is not a sound
    // scan is told in a message, and the graph shown before stays. Waits for a folder being read.
    void importScan(const QByteArray& file);
    // The entries shown come from a scan of another machine: nothing may act on local files.
    bool scanShown() const { return m_scanShown; }
    // Runs `action` now when the window is idle, else once it is idle again (in the order asked):
    // what the command line asks for waits for the first folder being read.
    void whenIdle(std::function<void()> action);

private:
    void scanRead();
    // After a folder was read: whether it came from a scan; what needs the real files disabled
    // (their tool tips say why) or enabled again; the window's title.
    void applyScanState();
    // Before `path` is read: with a scan open, a folder of this machine outside the scan's root
    // (typed, dropped, from the history) closes the scan, and the disk is read again.
    void leaveScanFor(const QByteArray& path);
    // With a scan shown, says why the command can't act and returns true.
    bool refusedOnScan();
    ketra::ScanOpen* m_scanOpen = nullptr; // a child of the window
    bool m_scanShown = false;
    QByteArray m_diskFolder;                       // the folder of this machine shown last (stored at exit)
    QString m_scanDialogFolder;                    // where File > "Open Scan..." was used last
    std::vector<std::function<void()>> m_whenIdle; // waiting for the window to be idle
    void runWhenIdle();
    QAction *mnuFileOpenScan = nullptr, *mnuFileOpenFolder = nullptr;

public:
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
    // The 3D bar view's marks and widgets, and the bar layout, without reading the folder again.
    void showBarView();
    void mnuEditFind_Click();
    void setSortKey(int key);
    void mnuViewAscending_Click();
    void mnuHelpHelp_Click();
    void mnuAbout_Click();

    // ---- Find pane (app/Find.cpp) ---------------------------------------------------------------
    // "Go", or Enter in either box: reads the size bounds (reversed bounds are shown in a message
    // and keep the list), then searches the folder named by the address box and everything below
    // it; a search still running is stopped first. The results fill the list as they are found.
    void cmdFind_Click();
    // Stops the running search; every file found until then is listed.
    void cmdStopSearch_Click();
    // A size check box: its size box enabled (and given the focus) or disabled.
    void chkGT_Click(bool checked);
    void chkLT_Click(bool checked);
    // A click on a result: the list's tool tip names the file's full path.
    void LstFind_Click(const QModelIndex& index);
    // Goes to the result's folder (recorded in the history), and selects and highlights the item
    // of the same name there (nothing when the file is gone).
    void LstFind_DblClick(const QModelIndex& index);

private:
    ketra::SearchSession* m_search = nullptr; // owned by the window
    bool m_searchStopped = false;             // Stop ended the search running

public:
    // ---- Tree view (app/TreeView.cpp) ------------------------------------------------------------
    // View > "Tree View 3D": the folder of the address box shown afresh as a tree.
    void mnuViewTree3D_Click();
    // Builds the tree scene from the entries (BuildGraph in the tree view).
    void BuildTree();
    // A double-click on folder node `index` of level L >= 2: the levels below L are dropped and
    // the folder's items read in as level L + 1; the address box keeps naming the tree's root.
    void expandTreeFolder(int index);

private:
    // The folders whose items each level of the tree shows.
    ketra::TreeLevelFolders m_levelFolders;

public:
    // ---- Changes since an earlier state (app/Changes.cpp) -----------------------------------
    // View > "Changes" (key C in the 3D view): folders' bars coloured by the change of their
    // totals since the scanner's earlier state, files grey, a legend in the view, the change in
    // the hover text and the details list's "Change" column; off again: the type colours.
    void mnuViewChanges_Click();
    // View > "Mark Sizes as Earlier State": the exact totals of the folder shown and of every
    // folder below it become their earlier state (stored at once), and the folder is shown
    // again. Without an exact pass of the folder a message says why nothing was marked.
    void mnuViewMarkEarlier_Click();

private:
    void createChangesMenu(QMenu* view); // the View menu's two items
    // The folder shown's changes, read from the scanner after a load or its exact sizes.
    void readFolderChanges();
    // Stores the scanner's folder cache. A cache that can't be written gives, once a run, the
    // notice to show (the one stored before stays, and the folder stays shown); else nothing.
    QString saveFolderCache();
    QAction* mnuViewChanges = nullptr;
    QAction* mnuViewMarkEarlier = nullptr;
    bool m_cacheFailureTold = false;

public:
    // ---- Colours (app/ColourCommands.cpp) ----------------------------------------------------------
    // Options > "3D Bar colors": the colour dialog, not modal (brought to the front when open);
    // its "Apply" reloads the folder in the new colours.
    void mnuBarCols_Click();

private:
    // ---- State read by the other subsystems --------------------------------------------------
    // The options, named like their settings keys; the option commands flip them.
    ketra::Options m_options;
    bool m_autoRotate = false; // auto-rotation (the camera reads it every step)

    // The folders are the bytes the system knows them by.
    QByteArray m_currentFolder;
    // The folder whose entries were read last (m_currentFolder may be emptied to force a reload).
    QByteArray m_shownFolder;
    bool m_deviceReady = false;
    bool m_graphBuilt = false;
    // While the sizes shown await the scanner's full pass: the watch on its progress descriptor
    // (a child of the window), and the entries of the folder's items (first, count).
    QSocketNotifier* m_verifyWatch = nullptr;
    int m_verifyFirst = 0;
    int32_t m_verifyCount = 0;
    int16_t m_level = 2;
    int32_t m_selectedEntry = 0; // 1-based entry index; 0 = none

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
    QTreeView* LstFind = nullptr; // shows the search session's results
    QPushButton* cmdStopSearch = nullptr;
    QPushButton* cmdClose = nullptr;
    QLabel* lblFindStatus = nullptr; // how many files the last search found
    QWidget* imgSplitter = nullptr;
    QFrame* picSplitter = nullptr;
    QWidget* Picture1 = nullptr;
    QTreeView* ListView1 = nullptr;
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

public:
    // ---- 3D view (app/RenderLoop.cpp, BarScene.cpp, Overlay.cpp, ViewInput.cpp, Picking.cpp) ----
    // Makes the 3D view widget (a D3DView named "Picture1") and routes its key and mouse events
    // to the Picture1_ handlers below.
    QWidget* createPicture1(QWidget* parent);
    D3DView* view3D() const;
    // The 3D start-up: brings the device up on Picture1 (a program without a device ends), turns
    // auto-rotation off, places the camera, loads the folder of the address box, scales it and
    // builds the first scene. Sets m_deviceReady; returns it.
    bool Start3D();
    // The scene made again from the entries (a folder just read, or its sizes changed in place):
    // release the scene, ScaleEntries and build it again, keeping the view, the camera and the
    // graph's orientation.
    void RebuildScene();
    // The view changed size: fonts released, the device's target resized, device objects restored,
    // and the picture drawn again.
    void ResizeDevice();
    // Draws the scene shown again when the picture on screen was lost (a new target, or the device
    // moved onto the view's own context), also while a folder is read: the picture shown stays
    // until the next one is ready.
    void keepPictureShown();
    // One render-timer tick: FrameMove, then a frame when the picture would change.
    void Timer1_Timer();
    // Draws one frame (device reset when needed, scene, overlay, present).
    void DrawGraph();
    // The view needs a repaint: draws when the device is ready, a scene is built, no folder is
    // loading and the picture on screen is not the one a frame would give.
    void Form_Paint();
    // Base plate box 14 x 14 x 0.1 (the plate until a folder with entries is laid out).
    void InitDeviceObjects();
    // The default scene, then the three overlay fonts.
    void RestoreDeviceObjects();
    // Releases the overlay fonts.
    void DeleteDeviceObjects();
    // Releases the scene's frames.
    void DestroyDeviceObjects();
    // Builds the bar scene from the laid-out entries.
    void BuildGraph();
    // Around building a scene (bars or tree): the old one goes first, under the hourglass; the
    // new one is then taken and drawn.
    void dropScene();
    void takeScene(const ketra::BarScene& scene);
    // One camera step: auto-rotation, keys, movement; sets the view transform on the device.
    void FrameMove();
    // Hover test at (x, y) pixels of the device's viewport: selects the entry under the point,
    // sets the hover text and position and, with `highlight`, turns the item red (restoring the
    // colour of the previous one).
    void MouseOver(int button, int shift, float x, float y, bool highlight);
    // The full path of the selected entry (its bytes); empty when none is selected.
    QByteArray ItemPath() const;
    // The full path of entry `entry` (1-based), as ItemPath forms it; empty when there is none.
    QByteArray entryPath(int entry) const;

    // Events of Picture1. Key codes are the camera's (ketra::vk); `shift` is the modifier mask
    // (1 Shift, 2 Ctrl, 4 Alt); positions are in twips of the view (the drag arithmetic) and
    // `pixelX`, `pixelY` in pixels of the device's viewport (picking).
    void Picture1_KeyDown(int keyCode, int shift);
    void Picture1_KeyUp(int keyCode, int shift);
    void Picture1_MouseDown(int button, int shift, float x, float y, float pixelX, float pixelY);
    void Picture1_MouseMove(int button, int shift, float x, float y, float pixelX, float pixelY);
    void Picture1_MouseUp(int button, int shift, float x, float y);
    void Picture1_DblClick();

private:
    // ---- 3D view state ----------------------------------------------------------------------
    std::shared_ptr<CD3DFrame> m_rootFrame;          // all user rotations apply to it
    std::shared_ptr<CD3DFrame> m_barsFrame;          // bars and labels
    std::shared_ptr<CD3DFrame> m_baseFrame;          // the base plate
    std::shared_ptr<ketra::LabelMaker> m_labelMaker; // makes the labels' text as they come into view
    std::shared_ptr<platform::Mesh> m_baseMesh;
    std::array<float, 3> m_baseMeshSize{}; // the layout's plate m_baseMesh was made for (0: start-up box)
    std::shared_ptr<platform::Font> m_popupFont;  // font A: the window's font
    std::shared_ptr<platform::Font> m_buttonFont; // font B: Command1's font
    std::shared_ptr<platform::Font> m_statsFont;  // font C: the status font
    std::shared_ptr<ketra::Camera> m_camera;      // keys, drag, velocity, camera and view matrices
    float m_barWidth = 1.0f;
    float m_barDepth = 1.0f;
    // The hover text of the item under the mouse and the statistics of the last load.
    ketra::OverlayState m_overlay;
    // Shown red: its first mesh is a copy of m_highlightOwn, its own (which other bars may share) in
    // the highlight's colour.
    std::shared_ptr<CD3DFrame> m_highlightFrame;
    std::shared_ptr<CD3DMesh> m_highlightOwn;
    float m_lastPixelX = 0, m_lastPixelY = 0; // the last mouse-down, in viewport pixels
    // Frames drawn and render ticks that found nothing to draw (the idle view draws nothing).
    uint64_t m_framesDrawn = 0;
    uint64_t m_ticksSkipped = 0;

public:
    // Something the picture depends on changed outside what the view compares every tick.
    void markViewDirty() { m_viewDirty = true; }
    bool viewNeedsRedraw() const;

    // ---- Details list (app/DetailsList.cpp) ----------------------------------------------------
    // View > Details: the list takes the 3D view's place and is filled for the folder shown.
    void mnuViewDetails_Click();
    // Refills the list from the entries (the folder just read).
    void FillDetailsList();
    // Header column `column` (1 to 3) clicked: sorts by its key, or flips the direction when the
    // key is the one sorted by already; then reloads.
    void ListView1_ColumnClick(int column);
    // A click on row `row` (0-based): selects its entry and pops the item's menu up at `global`.
    void ListView1_Click(int row, const QPoint& global);
    // A double-click on row `row`: a folder is entered, a file opened.
    void ListView1_DblClick(int row);
    // Delete (or Backspace) with row `row` selected: its entry is selected and deleted to the trash.
    void ListView1_DeleteKey(int row);
    // A left click on row `row` pops the menu up once the double-click time has passed without a
    // second click; -1 drops a click still waiting.
    void listClickLater(int row, const QPoint& global);
    // The window as a fresh start in the details view shows `folder`, drawn at `size` into an
    // image without being put on screen and without a 3D device (the snapshot command). With
    // `timings`, one line each: fill_ms (reading the folder and filling the list), draw_ms (the
    // window drawn) and scroll_ms (the median of 20 page scrolls spread over the list, each drawn).
    QImage DetailsSnapshot(const QByteArray& folder, const QSize& size, std::FILE* timings = nullptr);

    // ---- Shell commands (app/ShellCommands.cpp) -----------------------------------------------
    // The commands on the selected entry; without one they do nothing.
    void mnuContentOpen_Click();
    void mnuFolderOpen_Click();
    void mnuContentDelete_Click();
    void mnuContentproperties_Click();
    // Operation 3 (delete): asks, then moves `from` (bytes) to the trash. With `item` (the
    // identity the list had), a name that now stands for another file or folder is not trashed:
    // the user is asked again about the one it stands for now. 0 when it was moved; 1 when the
    // user said no or it failed (the failure is told in a message).
    int DoFileOperation(int op, const QByteArray& from, const QString& to,
                        const std::optional<ketra::FileId>& item = std::nullopt);
    // Hands `path` to the system's default program; says so when the system can't.
    void ShellOpen(const QByteArray& path);

    // ---- Images (app/Images.cpp) ----------------------------------------------------------------
    // The picture test on the selected item's path (its bytes): a picture is remembered and
    // enables the picture button (and shows in the picture window when it is open); another item
    // with an extension disables the button; an item without one changes nothing.
    void CheckImage(const QByteArray& path);
    // Opens the picture window (made when missing) on the picture remembered.
    void ShowPicture();

private:
    QByteArray m_imagePath;
    QPointer<ketra::PictureWindow> frmPic; // a window of its own; deleted with the main window

public:
    // ---- Folder watch (app/FolderWatch.cpp) -----------------------------------------------------
    // The folder shown changed on disk: with m_autoupdate on it is read again, keeping the camera,
    // the sort, the selection (where the item is still there) and the list's scroll position.
    // Returns false when it can't be done now (a folder is loading, a dialog is open).
    bool FolderWatch_Changed();
    // Points the watch at `folder` (none while m_autoupdate is off), right before it is read.
    void watchFolder(const QByteArray& folder);
    // The folder shown, `gone`, went away and nothing of its name stands there: its nearest
    // parent that is still there is shown (recorded in the history), and the progress line says
    // why.
    void followGoneFolder(const QByteArray& gone);

private:
    std::unique_ptr<ketra::FolderWatch> m_watch;

public:
    // ---- Drag and drop (app/DragDrop.cpp) -------------------------------------------------------
    // What another program drops on the window: the first folder of its file URLs is shown, as
    // Enter in the address box shows it; with no folder among them, the first file's folder is
    // shown with the file selected. Nothing for other URLs, while the window is busy, or for what
    // was dragged out of this window. True when a path was taken.
    bool dropUrls(const QList<QUrl>& urls);
    // The path a drop of `urls` would show (empty: the drop is refused).
    static QByteArray droppedPath(const QList<QUrl>& urls);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The window takes drops (the address box and the find pane's boxes included), and the
    // details list's and the find results' rows are dragged out as files.
    void setUpDragAndDrop();
    bool takesDrop(const QDropEvent* event) const;
    // ---- Keyboard and assistive technology (app/Accessibility.cpp) ----------------------------
    // Every control gets the name assistive technology reads, and Tab walks the window in the
    // order it is seen: address box, the 3D view or the details list, then the find pane's fields
    // from top to bottom, and back to the address box.
    void setUpKeyboardAndNames();
    // A drag of file URLs over a line edit of the window is the window's (the window's event
    // filter asks first); true when `event` was taken.
    bool filterDrop(QObject* watched, QEvent* event);
    // The tests read the window's state through it (tests/support/GraphFormProbe.h).
    friend class GraphFormProbe;

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
    void imgSplitter_MouseDown(int x);
    void imgSplitter_MouseMove(int x);
    void imgSplitter_MouseUp();
    void showAddressIdle();
    void placeProgressOverAddress();
    // The progress line over the address box shows `text` for a while, needing no click; gone
    // when a load or a search takes the line, or when the user clicks it.
    void showNotice(const QString& text);
    // The item named `name` of the folder shown becomes the selected one and is highlighted (its
    // bar, or its row in the details list); nothing is selected when there is none.
    void selectItemNamed(const QByteArray& name);
    void searchProgress(const QString& folder); // app/Find.cpp
    void searchFinished();
    // Marks the details list's row of entry `entry` (bold, dark red), selects it and scrolls to it;
    // the row marked before gets its own look back.
    void highlightDetailsRow(int entry);
    QTreeView* createListView1(QWidget* parent); // app/DetailsList.cpp
    void setDetailsColumns();                    // app/DetailsList.cpp
    // The details list's "Size" column widens to show its widest text whole (a user's wider
    // column is kept).
    void fitDetailsSizeColumn();
    // The find results' columns widen to show the texts of rows `first` to `last` whole.
    void fitFindColumns(int first, int last);
    // The widest texts the find results' columns have shown since the list was emptied (pixels).
    std::array<int, 3> m_findFit{};
    // What the person is looking at, by the items' names, kept over reading the folder again
    // (app/FolderWatch.cpp): the selected and the highlighted item, the item buttons, the details
    // list's row and scroll position. Restored where the items are still there.
    struct ViewKept {
        QByteArray selected, highlighted, currentRow;
        bool deleteButton = false, pictureButton = false;
        int scrolled = 0;
    };
    ViewKept keepView() const;
    void restoreView(const ViewKept& kept);
    // app/Overlay.cpp: the frame's bar turns red, the bar red before gets its own colour back.
    void highlightFrame(const std::shared_ptr<CD3DFrame>& frame);
    // The 3D view tells assistive technology about the selected item when it changed (from the
    // hover test, and from the render loop's ticks for a selection made in the lists or cleared).
    void announceSelection();
    ketra::DetailsModel* m_detailsModel = nullptr; // ListView1's rows (Qt parent: the window)
    QTimer* m_listClickTimer = nullptr;            // a click's menu waits for a double-click
    int m_listClickRow = -1;
    QPoint m_listClickAt;

    std::unique_ptr<ketra::GraphModel> m_model;
    std::unique_ptr<ketra::NavigationHistory> m_history;
    QWidget* m_central = nullptr;
    bool m_started = false; // Form_Load has run: only then does closing write the settings
    // The settings as start-up read them; the file could not be read (it is then written at
    // close only when a setting was changed).
    ketra::SettingsValues m_storedSettings;
    bool m_settingsUnreadable = false;
    bool m_exiting = false; // File > Exit: the program ends without the unload sequence
    bool m_splitterDragging = false;
    int m_splitterGrab = 0; // where the splitter was grabbed, in pixels from its left edge
    QByteArray m_programFolder;
    // What the address box stands for while it shows m_addressText (setAddress).
    QByteArray m_addressPath;
    QString m_addressText;
    QTimer* m_noticeTimer = nullptr; // hides a notice on the progress line

    // The busy window (app/FolderLoading.cpp): the load, what waits for its end, and the progress
    // line with Stop and the wait cursor over the address box, shared by the load, the measure and
    // a table's read.
    void showBusy(Mode mode, const QString& label);
    void showIdle();
    void loadEnded();
    void measureEnded();
    // A close or a reload asked for while the window was busy is carried out now.
    void afterBusy();
    int progressFit() const;
    Mode m_mode = Mode::Idle;
    ketra::FolderLoad* m_load = nullptr; // a child of the window
    std::function<void()> m_afterLoad;   // what the load's starter asked for once it has ended
    QByteArray m_loadOld;                // the address shown again when the load fails or is stopped
    bool m_loadKeeps = false;            // the load appends to the entries
    enum class Waiting { Nothing, Close, Reload } m_waiting = Waiting::Nothing;
    QPointer<ketra::PropertiesDialog> m_measured; // the dialog that waits for the measure

    // 3D view internals.
    QByteArray viewSignature() const;
    void resetScene();
    void DragRotate(int x, int y);
    bool m_viewDirty = true;
    bool m_cameraStarted = false; // FrameMove has set the camera's view on the device
    // What the picture on screen was drawn from.
    QByteArray m_drawnSignature; // scene, device and matrices
    ketra::Options m_drawnOptions;
    ketra::OverlayState m_drawnOverlay;
    const void* m_drawnOn = nullptr; // the device's OpenGL context then
};
