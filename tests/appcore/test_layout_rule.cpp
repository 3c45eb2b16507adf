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

int right(const TwipRect& r) {
    return r.left + r.width;
}
int bottom(const TwipRect& r) {
    return r.top + r.height;
}

TEST(TwipsAndPixels, FollowTheLogicalDpi) {
    EXPECT_EQ(twipsPerPixel(96), 15);
    EXPECT_EQ(twipsPerPixel(144), 10);
    EXPECT_EQ(twipsPerPixel(0), 15); // no DPI known: 96
    EXPECT_EQ(twipsToPixels(11000, 96), 733);
    EXPECT_EQ(twipsToPixels(1440, 120), 120);
    EXPECT_EQ(pixelsToTwips(733, 96), 10995);
    for (double dpi : {72.0, 96.0, 110.0, 144.0, 192.0})
        for (int px : {0, 1, 7, 640, 1921})
            EXPECT_EQ(twipsToPixels(pixelsToTwips(px, dpi), dpi), px) << dpi << " " << px;
}

TEST(LayoutRule, SnapsBackToTheMinimumSize) {
    struct Case {
        int outerWidth, outerHeight;
        bool width, height;
    };
    for (const Case& c : {Case{4990, 8000, true, false}, Case{8000, 4000, false, true},
                          Case{100, 100, true, true}, Case{5000, 5000, false, false}}) {
        LayoutInput in = window();
        in.outerWidth = c.outerWidth;
        in.outerHeight = c.outerHeight;
        const LayoutResult r = layoutMainWindow(in);
        EXPECT_EQ(r.minimumOuterWidth.has_value(), c.width) << c.outerWidth;
        EXPECT_EQ(r.minimumOuterHeight.has_value(), c.height) << c.outerHeight;
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
    EXPECT_EQ(bottom(r.Picture1), 7200); // down to the bottom edge
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
    LayoutInput in = window();
    in.findPaneShown = true;
    const LayoutResult r = layoutMainWindow(in);
    ASSERT_TRUE(r.paneLaidOut);
    const int P = 2355;
    EXPECT_EQ(r.Frame1, (TwipRect{2, 975, P, 6220}));
    EXPECT_EQ(r.Picture1, (TwipRect{2 + P + 40, 1092, 10800 - 2 - P - 40, 6108}));
    EXPECT_EQ(right(r.Picture1), 10800);
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
    EXPECT_EQ(r.filenameColumnWidth, r.LstFind.width - 1500);
}

TEST(LayoutRule, OptionsFrameSitsUnderTheResultsList) {
    LayoutInput in = window();
    in.findPaneShown = true;
    const LayoutResult closed = layoutMainWindow(in);
    in.optionsShown = true;
    const LayoutResult open = layoutMainWindow(in);
    EXPECT_EQ(closed.LstFind.height - open.LstFind.height, 1335 + 90 - 140);
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
    for (const Case& c :
         {Case{2355, 1000, 500, 2105 - 1500}, Case{4000, 1000, 500, 3750 - 1500}, Case{1750, 1000, 500, 1400},
          Case{2355, 1500, 605, 1400}, Case{2355, 1500, 604, 1}}) {
        LayoutInput in = window();
        in.findPaneShown = true;
        in.findPaneWidth = c.paneWidth;
        in.folderColumnWidth = c.folder;
        in.sizeColumnWidth = c.size;
        EXPECT_EQ(layoutMainWindow(in).filenameColumnWidth, c.filename) << c.paneWidth << " " << c.size;
    }
}

TEST(LayoutRule, PopupOffShowsTheStatusLine) {
    for (bool pane : {false, true}) {
        LayoutInput in = window();
        in.findPaneShown = pane;
        const LayoutResult on = layoutMainWindow(in);
        in.showPopup = false;
        const LayoutResult off = layoutMainWindow(in);
        EXPECT_EQ(on.Picture1.height - off.Picture1.height, 300) << pane;
        EXPECT_EQ(off.ListView1.height, on.ListView1.height) << pane; // the list covers the strip
        EXPECT_FALSE(on.txtCurrentPlaced);
        ASSERT_TRUE(off.txtCurrentPlaced);
        EXPECT_EQ(off.txtCurrent.top, 7200 - 300 - 10);
        EXPECT_EQ(off.txtCurrent.left, pane ? 2355 + 10 : 20);
        EXPECT_EQ(off.txtCurrent.width, pane ? 11000 - 2355 - 10 : 11000);
        EXPECT_EQ(off.txtCurrent.top, bottom(off.Picture1) - 10); // the strip under the view
    }
}

TEST(LayoutRule, MinimizedLaysOutNothing) {
    LayoutInput in = window();
    in.minimized = true;
    in.outerWidth = 100; // not even the minimum size is enforced
    const LayoutResult r = layoutMainWindow(in);
    EXPECT_FALSE(r.laidOut);
    EXPECT_FALSE(r.timerEnabled);
    EXPECT_FALSE(r.minimumOuterWidth);
    EXPECT_EQ(r.device, DeviceAction::None);
}

TEST(LayoutRule, DeviceFollowsTheViewUnlessLoading) {
    LayoutInput in = window();
    in.loading = true;
    LayoutResult r = layoutMainWindow(in);
    EXPECT_TRUE(r.laidOut); // the controls are still placed
    EXPECT_EQ(r.device, DeviceAction::None);
    EXPECT_FALSE(r.timerEnabled);

    in.loading = false;
    in.deviceReady = false;
    r = layoutMainWindow(in);
    EXPECT_EQ(r.device, DeviceAction::None);
    EXPECT_FALSE(r.timerEnabled);

    in.deviceReady = true;
    in.clientWidth = 5;
    in.twipsPerPixelX = 12;
    r = layoutMainWindow(in);
    EXPECT_EQ(r.device, DeviceAction::SetOuterWidth);
    EXPECT_EQ(r.deviceOuterSize, 120); // 10 pixels
    EXPECT_FALSE(r.timerEnabled);

    in.clientWidth = 10800;
    in.clientHeight = 0;
    r = layoutMainWindow(in);
    EXPECT_EQ(r.device, DeviceAction::SetOuterHeight);
    EXPECT_EQ(r.deviceOuterSize, 150);
    EXPECT_EQ(r.Picture1.height, 0); // never negative
}

TEST(Splitter, ReleasedNearTheLeftHidesThePane) {
    const SplitterRelease s = releaseSplitter(400, 10800);
    EXPECT_TRUE(s.hidePane);
    EXPECT_EQ(s.findPaneWidth, 425); // shown again later at this narrow width
    EXPECT_EQ(s.imgSplitterLeft, 400);
    EXPECT_FALSE(releaseSplitter(500, 10800).hidePane);
    EXPECT_TRUE(releaseSplitter(499, 10800).hidePane);

    // The narrow pane lays out without negative sizes.
    LayoutInput in = window();
    in.findPaneShown = true;
    in.findPaneWidth = s.findPaneWidth;
    const LayoutResult r = layoutMainWindow(in);
    EXPECT_EQ(r.txtFind.width, 0);
    EXPECT_GE(r.LstFind.width, 0);
}

TEST(Splitter, ReleasedAtTheRightEdgeKeepsTheViewVisible) {
    const SplitterRelease s = releaseSplitter(10800, 10800);
    EXPECT_FALSE(s.hidePane);
    EXPECT_EQ(s.findPaneWidth, 10800 - 775);
    LayoutInput in = window();
    in.findPaneShown = true;
    in.findPaneWidth = s.findPaneWidth;
    EXPECT_EQ(layoutMainWindow(in).Picture1.width, 733);
}

TEST(Splitter, ReleasedLeftOfTheWindowKeepsAPositiveWidth) {
    const SplitterRelease s = releaseSplitter(-3000, 10800);
    EXPECT_TRUE(s.hidePane);
    EXPECT_EQ(s.findPaneWidth, 25);
    EXPECT_EQ(s.imgSplitterLeft, 0);
}

} // namespace
