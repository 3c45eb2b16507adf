// The main window's layout rule: where every control goes for given window sizes, with the find
// pane shown or hidden, the status line shown or not, and the find pane's splitter. Everything is
// in twips (1/1440 inch); the window converts to pixels at the edge (twips per pixel = 1440 / the
// screen's logical DPI, 15 at 96 DPI).
//
// The layout has no state of its own: every call places every control again from the sizes.
#pragma once

#include "units/Twips.h"

#include <QRect>

#include <optional>
#include <vector>

namespace ketra {

// A control's place: left, top, width, height, in twips.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

// Design sizes that the layout rule reads but never sets (twips).
namespace design {
inline constexpr int kMinimumOuterSize = 5000;
inline constexpr int kAdrListLeft = 1200;
inline constexpr int kLblFindTop = 240, kLblFindHeight = 255;
inline constexpr int kTxtFindLeft = 120, kTxtFindHeight = 325;
inline constexpr int kTxtFindInTop = 1050, kTxtFindInHeight = 325;
inline constexpr int kCmdFindWidth = 400, kCmdFindHeight = 325;
inline constexpr int kLstFindLeft = 100;
inline constexpr int kFrmOptionsLeft = 120, kFrmOptionsHeight = 1335;
inline constexpr int kCmdStopSearchWidth = 615, kCmdStopSearchHeight = 375;
inline constexpr int kCmdUpSize = 255;
inline constexpr int kCmdCloseWidth = 615, kCmdCloseHeight = 255;
inline constexpr int kTxtGTLeft = 1320, kTxtGTTop = 600, kTxtLTTop = 960, kTxtGTHeight = 315;
inline constexpr int kCmdXTop = 120, kCmdXSize = 255;
inline constexpr int kSplitterWidth = 105;   // imgSplitter, the grab area
inline constexpr int kSplitterBarWidth = 45; // picSplitter, drawn while dragging
inline constexpr int kFindPaneWidth = 2355;  // the find pane's width at start
inline constexpr int kFilenameColumnWidth = 1400, kFolderColumnWidth = 1000, kSizeColumnWidth = 500;
} // namespace design

struct LayoutInput {
    int clientWidth = 0;   // W: the window's inner width
    int clientHeight = 0;  // H: the window's inner height
    int outerWidth = 0;    // Wo: the window's outer width, frame included
    int outerHeight = 0;   // the window's outer height, frame included
    int toolbarHeight = 0; // T
    int frame2Height = 0;  // the address bar's height
    int cmdStopWidth = 0;  // the Stop button's width
    int txtCurrentHeight = 0;
    bool minimized = false;
    bool findPaneShown = false;
    int findPaneWidth = design::kFindPaneWidth; // P, what the splitter gave the pane
    int findPaneHeight = 0;    // the pane's height now (the rule keeps it while the pane is hidden)
    bool optionsShown = false; // the find pane's options frame
    bool showPopup = true;     // m_showPopup: the status line txtCurrent is shown when it is off
    int folderColumnWidth = design::kFolderColumnWidth; // the find results' "Folder" column
    int sizeColumnWidth = design::kSizeColumnWidth;     // the find results' "Size" column
    bool deviceReady = false;                           // the 3D device exists
    bool loading = false;                               // a folder is loading
    double twipsPerPixelX = 15;                         // for the minimums in whole pixels
    double twipsPerPixelY = 15;
};

// What the window does with the device after the layout.
enum class DeviceAction {
    None,           // leave the device alone (no device yet, or a folder is loading)
    SetOuterWidth,  // the view is too narrow: make the window's outer width deviceOuterSize
    SetOuterHeight, // the view is too low: make the window's outer height deviceOuterSize
    Resize,         // resize the device for the view, then turn the render timer on
};

struct LayoutResult {
    bool laidOut = false;      // false while the window is minimized: nothing is placed
    bool timerEnabled = false; // the render timer after the layout
    // The window's outer size is raised to the minimum of 5000 twips in these directions (a window
    // within half a pixel of it counts as at the minimum).
    std::optional<int> minimumOuterWidth;
    std::optional<int> minimumOuterHeight;
    DeviceAction device = DeviceAction::None;
    int deviceOuterSize = 0; // twips, for SetOuterWidth / SetOuterHeight

    // Address bar (inside Toolbar1 and Frame2).
    TwipRect Frame2;
    int adrListWidth = 0;
    int progWidth = 0;
    int cmdStopLeft = 0;

    // View area.
    TwipRect Picture1;
    TwipRect ListView1;
    bool txtCurrentPlaced = false; // the status line is placed only while m_showPopup is off
    TwipRect txtCurrent;
    TwipRect cmdUp; // inside the find pane; placed whether the pane is shown or not

    // Find pane: placed only while it is shown (paneLaidOut).
    bool paneLaidOut = false;
    TwipRect Frame1;
    TwipRect cmdClose;
    TwipRect lblFindStatus; // left of Close (and right of "^" while that is shown)
    TwipRect txtFind;
    TwipRect txtFindIn;
    TwipRect cmdFind;
    TwipRect cmdStopSearch;
    TwipRect LstFind;
    int filenameColumnWidth = design::kFilenameColumnWidth;
    TwipRect frmOptions;
    TwipRect txtGT;
    TwipRect txtLT;
    TwipRect cmdX; // inside frmOptions
    TwipRect imgSplitter;
    int picSplitterHeight = 0;
};

// Form_Resize: places every control for the given sizes. The render timer is off during the
// layout; it is turned on again only after the device has been resized (DeviceAction::Resize), so
// no frame is drawn into a view of the wrong size. A width or height that would come out below 0
// (a find pane narrower than its controls) is given as 0.
LayoutResult layoutMainWindow(const LayoutInput& in);

// The find results' "Filename" column: the list's width less the other two columns where they
// leave room, else its design width (all in twips).
int findFilenameColumnWidth(int listWidth, int otherColumnsWidth);

// ---- the window's place on the screen ----

// Where a window stored at `stored` (its outer rectangle, pixels) opens among the screens there
// are now, given as their available areas (`screens`, the primary first): on the screen that
// shows most of it (the primary when none shows any), no larger than that screen's area, and
// moved the least that puts it wholly on that screen. A placement that fits is kept as it is;
// without screens nothing changes.
QRect placeOnScreen(const QRect& stored, const std::vector<QRect>& screens);

// ---- the splitter ----

// Where the thin bar is drawn while the splitter is dragged: on mouse-down, the grab area's left
// plus 25; while moving, the grab area's left plus the mouse's x relative to it.
inline int splitterBarLeftOnDown(int imgSplitterLeft) {
    return imgSplitterLeft + 25;
}
inline int splitterBarLeftOnMove(int imgSplitterLeft, int x) {
    return imgSplitterLeft + x;
}

struct SplitterRelease {
    int imgSplitterLeft = 0; // the grab area stays where it was released
    bool hidePane = false;   // released less than 500 twips from the left: the pane is hidden
                             // (its menu check and toolbar button are left as they are)
    int findPaneWidth = 0;   // the pane's new width, at most W - 775
};

// The splitter released with its bar at `releaseLeft` (picSplitter's left) in a window of inner
// width `clientWidth`. The window lays itself out again afterwards. A release left of the window
// (a negative position while the mouse is captured) counts as 0, so the pane's width stays positive.
SplitterRelease releaseSplitter(int releaseLeft, int clientWidth);

} // namespace ketra
