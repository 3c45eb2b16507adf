// The main window's layout rule and splitter, as pure functions of the sizes (twips).
#include "core/Layout.h"

#include <gtest/gtest.h>

namespace {

using namespace ketra;

// A window of 11000 x 8000 twips outside, 10800 x 7200 inside, at 96 DPI.
LayoutInput window() {
    LayoutInput in;
    in.clientWidth = 10800;
    in.clientHeight = 7200;
    in.outerWidth = 11000;
    in.outerHeight = 8000;
    in.toolbarHeight = 600;
    in.frame2Height = 500;
    in.cmdStopWidth = 800;
    in.txtCurrentHeight = 300;
    in.findPaneHeight = 4000;
    in.deviceReady = true;
    return in;
}

LayoutInput withPane(int width = design::kFindPaneWidth) {
    LayoutInput in = window();
    in.findPaneShown = true;
    in.findPaneWidth = width;
    return in;
}

int right(const TwipRect& r) {
    return r.left + r.width;
}
int bottom(const TwipRect& r) {
    return r.top + r.height;
}

// The window snaps back to 5000 twips in the offending direction. Whole pixels can't always hit
// 5000 twips: a window within half a pixel of it (333 px at 96 DPI are 4995 twips) is at the
// minimum, and is not resized again.
TEST(LayoutRule, SnapsBackToTheMinimumSize) {
    struct Case {
        int outerWidth, outerHeight;
        double twipsPerPixel;
        bool width, height;
    };
    constexpr Case cases[] = {{4999, 8000, 1, true, false},   {8000, 4000, 15, false, true},
                              {100, 100, 15, true, true},     {5000, 5000, 15, false, false},
                              {4995, 4995, 15, false, false}, {4980, 4995, 15, true, false},
                              {4996, 4994, 10, false, true}};
    for (const Case& c : cases) {
        LayoutInput in = window();
        in.outerWidth = c.outerWidth;
        in.outerHeight = c.outerHeight;
        in.twipsPerPixelX = in.twipsPerPixelY = c.twipsPerPixel;
        const LayoutResult r = layoutMainWindow(in);
        EXPECT_EQ(r.minimumOuterWidth.has_value(), c.width) << c.outerWidth << " " << c.twipsPerPixel;
        EXPECT_EQ(r.minimumOuterHeight.has_value(), c.height) << c.outerHeight << " " << c.twipsPerPixel;
        EXPECT_EQ(r.minimumOuterWidth.value_or(5000), 5000);
        EXPECT_EQ(r.minimumOuterHeight.value_or(5000), 5000);
    }
}

TEST(LayoutRule, FindPaneHidden) {
    const LayoutResult r = layoutMainWindow(window());
    ASSERT_TRUE(r.laidOut);
    EXPECT_FALSE(r.paneLaidOut);
    const int A = 600 + 500;
    EXPECT_EQ(r.Picture1, (TwipRect{2, A - 100, 10800 - 3, 7200 - A + 100}));
    EXPECT_EQ(r.ListView1, r.Picture1);
    EXPECT_EQ(r.Frame2, (TwipRect{1, 500, 10800, 500}));
    EXPECT_EQ(r.adrListWidth, 11000 - 1200 - 240);
    EXPECT_EQ(r.progWidth, r.adrListWidth);
    EXPECT_EQ(r.cmdStopLeft, 11000 - 800 - 150);
    EXPECT_FALSE(r.txtCurrentPlaced);
    EXPECT_EQ(r.cmdUp, (TwipRect{20, 4000 - 255 - 20, 255, 255})); // the hidden pane keeps its height
    EXPECT_EQ(r.device, DeviceAction::Resize);
    EXPECT_TRUE(r.timerEnabled);
}

TEST(LayoutRule, FindPaneShown) {
    const LayoutResult r = layoutMainWindow(withPane());
    ASSERT_TRUE(r.paneLaidOut);
    const int P = 2355;
    EXPECT_EQ(r.Frame1, (TwipRect{2, 975, P, 6220}));
    EXPECT_EQ(r.Picture1, (TwipRect{2 + P + 40, 1092, 10800 - 2 - P - 40, 6108}));
    EXPECT_EQ(r.cmdClose, (TwipRect{P - 615 - 80, 6220 - 255 - 80, 615, 255}));
    EXPECT_EQ(r.txtFind, (TwipRect{120, 515, P - 650, 325}));
    EXPECT_EQ(r.txtFindIn, (TwipRect{120, 1050, P - 650, 325}));
    EXPECT_EQ(r.cmdFind, (TwipRect{right(r.txtFind) + 10, 515, 400, 325}));
    // The Stop button lies over the Find button's right part, at Find's new place.
    EXPECT_EQ(right(r.cmdStopSearch), right(r.cmdFind) + 80);
    EXPECT_EQ(r.LstFind, (TwipRect{100, 1415, P - 250, 6220 - 1050 - 325 - 255 - 140}));
    EXPECT_EQ(r.imgSplitter, (TwipRect{P + 2, 1084, 105, 6220}));
    EXPECT_EQ(r.picSplitterHeight, 6220);
    EXPECT_EQ(r.cmdUp.top, 6220 - 255 - 20);
    // The status line stands left of Close, right of "^" (shown while the options are hidden).
    EXPECT_EQ(r.lblFindStatus, (TwipRect{335, r.cmdClose.top, r.cmdClose.left - 60 - 335, 255}));

    // The options frame sits under the results list, which gives up its height.
    LayoutInput in = withPane();
    in.optionsShown = true;
    const LayoutResult open = layoutMainWindow(in);
    EXPECT_EQ(r.LstFind.height - open.LstFind.height, 1335 + 90 - 140);
    EXPECT_EQ(open.frmOptions, (TwipRect{120, bottom(open.LstFind) - 40, open.LstFind.width + 20, 1335}));
    EXPECT_EQ(open.txtGT, (TwipRect{1320, 600, open.frmOptions.width - 1370, 315}));
    EXPECT_EQ(open.txtLT, (TwipRect{1320, 960, open.txtGT.width, 315}));
    EXPECT_EQ(open.cmdX.left, open.frmOptions.width - 275);
}

TEST(LayoutRule, FilenameColumnTakesTheRestOrStaysAt1400) {
    struct Case {
        int paneWidth, folder, size, filename;
    };
    // List width = pane width - 250.
    // clang-format off
    constexpr Case cases[] = {{2355, 1000, 500, 2105 - 1500}, {4000, 1000, 500, 3750 - 1500}, {1750, 1000, 500, 1400},
                              {2355, 1500, 605, 1400}, {2355, 1500, 604, 1}};
    // clang-format on
    for (const Case& c : cases) {
        LayoutInput in = withPane(c.paneWidth);
        in.folderColumnWidth = c.folder;
        in.sizeColumnWidth = c.size;
        EXPECT_EQ(layoutMainWindow(in).filenameColumnWidth, c.filename) << c.paneWidth << " " << c.size;
    }
}

TEST(LayoutRule, PopupOffShowsTheStatusLineUnderTheView) {
    for (bool pane : {false, true}) {
        LayoutInput in = pane ? withPane() : window();
        const LayoutResult on = layoutMainWindow(in);
        in.showPopup = false;
        const LayoutResult off = layoutMainWindow(in);
        EXPECT_EQ(on.Picture1.height - off.Picture1.height, 300) << pane;
        EXPECT_EQ(off.ListView1.height, on.ListView1.height) << pane; // the list covers the strip
        EXPECT_FALSE(on.txtCurrentPlaced);
        ASSERT_TRUE(off.txtCurrentPlaced);
        EXPECT_EQ(off.txtCurrent,
                  (pane ? TwipRect{2365, 6890, 11000 - 2365, 300} : TwipRect{20, 6890, 11000, 300}));
        EXPECT_EQ(off.txtCurrent.top, bottom(off.Picture1) - 10);
    }
}

// Minimized, nothing is placed; while a folder loads the controls are placed but the device and
// the render timer are left alone; a view under 10 pixels grows the window instead.
TEST(LayoutRule, TheDeviceFollowsTheViewWhenItCan) {
    struct Case {
        bool minimized, ready, loading;
        int clientWidth, clientHeight;
        bool laidOut;
        DeviceAction device;
        int outerSize;
    };
    constexpr Case cases[] = {
        {true, true, false, 10800, 7200, false, DeviceAction::None, 0},
        {false, true, true, 10800, 7200, true, DeviceAction::None, 0},
        {false, false, false, 10800, 7200, true, DeviceAction::None, 0},
        {false, true, false, 5, 7200, true, DeviceAction::SetOuterWidth, 120},
        {false, true, false, 10800, 0, true, DeviceAction::SetOuterHeight, 150},
        {false, true, false, 10800, 7200, true, DeviceAction::Resize, 0},
    };
    for (const Case& c : cases) {
        LayoutInput in = window();
        in.minimized = c.minimized;
        in.outerWidth = c.minimized ? 100 : in.outerWidth; // minimized: not even the minimum size
        in.deviceReady = c.ready;
        in.loading = c.loading;
        in.clientWidth = c.clientWidth;
        in.clientHeight = c.clientHeight;
        in.twipsPerPixelX = 12;
        const LayoutResult r = layoutMainWindow(in);
        EXPECT_EQ(r.laidOut, c.laidOut);
        EXPECT_EQ(r.device, c.device) << static_cast<int>(c.device);
        EXPECT_EQ(r.deviceOuterSize, c.outerSize);
        EXPECT_EQ(r.timerEnabled, c.device == DeviceAction::Resize);
        EXPECT_FALSE(r.minimumOuterWidth && c.minimized);
        EXPECT_GE(r.Picture1.height, 0); // never negative
    }
}

// Released under 500 twips from the left the pane hides (and comes back at the narrow width);
// at most W - 800, so the view keeps 733 twips; left of the window the width stays positive.
TEST(Splitter, ReleaseSetsThePaneWidth) {
    struct Case {
        int release;
        bool hide;
        int paneWidth, gripLeft, viewWidth;
    };
    // clang-format off
    constexpr Case cases[] = {{400, true, 425, 400, 10333}, {499, true, 524, 499, 10234}, {500, false, 525, 500, 10233},
                              {10800, false, 10025, 10800, 733}, {-3000, true, 25, 0, 10733}};
    // clang-format on
    for (const Case& c : cases) {
        const SplitterRelease s = releaseSplitter(c.release, 10800);
        EXPECT_EQ(s.hidePane, c.hide) << c.release;
        EXPECT_EQ(s.findPaneWidth, c.paneWidth) << c.release;
        EXPECT_EQ(s.imgSplitterLeft, c.gripLeft) << c.release;
        const LayoutResult r = layoutMainWindow(withPane(s.findPaneWidth));
        EXPECT_EQ(r.Picture1.width, c.viewWidth) << c.release;
        EXPECT_GE(r.txtFind.width, 0); // a narrow pane lays out without negative sizes
    }
}

// A stored placement opens on a screen that is there: screens are a 1920 x 1040 primary and a
// 1280 x 1024 one right of it.
TEST(Placement, OpensOnAScreenThatIsThere) {
    const std::vector<QRect> screens{{0, 0, 1920, 1040}, {1920, 0, 1280, 1024}};
    struct Case {
        const char* what;
        QRect stored, placed;
    };
    const Case cases[] = {
        {"fits", {67, 67, 733, 533}, {67, 67, 733, 533}},
        {"on the second screen", {2000, 100, 800, 600}, {2000, 100, 800, 600}},
        {"larger than the screen", {67, 67, 20000, 19909}, {0, 0, 1920, 1040}},
        {"off to the right", {9000, 67, 733, 533}, {1187, 67, 733, 533}},
        {"mostly on the second screen", {1800, 500, 800, 600}, {1920, 424, 800, 600}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(placeOnScreen(c.stored, screens), c.placed) << c.what;
}

} // namespace
