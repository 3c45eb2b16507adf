#include "core/Layout.h"

#include <algorithm>
#include <cmath>

namespace ketra {

namespace {

TwipRect nonNegative(TwipRect r) {
    r.width = std::max(r.width, 0);
    r.height = std::max(r.height, 0);
    return r;
}

} // namespace

LayoutResult layoutMainWindow(const LayoutInput& in) {
    using namespace design;
    LayoutResult out;
    // Step 1: the render timer is off while the layout runs.
    out.timerEnabled = false;
    if (in.minimized)
        return out; // nothing is laid out; the timer stays off until the next resize
    out.laidOut = true;

    const int W = in.clientWidth;
    const int H = in.clientHeight;
    const int Wo = in.outerWidth;

    // Minimum size. Whole pixels can't always hit it: a window within half a pixel of it (333
    // pixels at 96 DPI are 4995 twips) is at the minimum already, and resizing it would give it
    // the same size again.
    if (in.outerHeight < kMinimumOuterSize - in.twipsPerPixelY / 2)
        out.minimumOuterHeight = kMinimumOuterSize;
    if (in.outerWidth < kMinimumOuterSize - in.twipsPerPixelX / 2)
        out.minimumOuterWidth = kMinimumOuterSize;

    // Address bar.
    out.Frame2 = {1, in.toolbarHeight - 100, W, in.frame2Height};
    out.adrListWidth = Wo - kAdrListLeft - 240;
    out.progWidth = out.adrListWidth;
    out.cmdStopLeft = Wo - in.cmdStopWidth - 150;

    const int A = in.toolbarHeight + in.frame2Height; // the top of the work area
    const int S = in.showPopup ? 0 : in.txtCurrentHeight;

    int paneHeight = in.findPaneHeight;
    if (!in.findPaneShown) {
        out.Picture1 = {2, A - 100, W - 3, H - A + 100 - S};
        if (!in.showPopup) {
            out.txtCurrentPlaced = true;
            out.txtCurrent = {20, H - in.txtCurrentHeight - 10, Wo, in.txtCurrentHeight};
        }
    } else {
        const int P = in.findPaneWidth;
        out.paneLaidOut = true;
        out.Frame1 = {2, A - 125, P, H - A + 120};
        paneHeight = out.Frame1.height;
        out.cmdClose = {P - kCmdCloseWidth - 80, paneHeight - kCmdCloseHeight - 80, kCmdCloseWidth,
                        kCmdCloseHeight};
        out.Picture1 = {out.Frame1.left + P + 40, A - 8, W - out.Frame1.left - P - 40, H - A + 8 - S};
        const int statusLeft = in.optionsShown ? kTxtFindLeft : 20 + kCmdUpSize + 60;
        out.lblFindStatus = {statusLeft, out.cmdClose.top, out.cmdClose.left - 60 - statusLeft,
                             kCmdCloseHeight};

        const int findTop = kLblFindTop + kLblFindHeight + 20;
        const int findWidth = P - kCmdFindWidth - 250;
        out.txtFind = {kTxtFindLeft, findTop, findWidth, kTxtFindHeight};
        out.txtFindIn = {kTxtFindLeft, kTxtFindInTop, findWidth, kTxtFindInHeight};

        const int listTop = kTxtFindInTop + kTxtFindInHeight + 40;
        const int listHeight =
            in.optionsShown
                ? paneHeight - kTxtFindInTop - kTxtFindInHeight - kCmdCloseHeight - kFrmOptionsHeight - 90
                : paneHeight - kTxtFindInTop - kTxtFindInHeight - kCmdCloseHeight - 140;
        out.LstFind = {kLstFindLeft, listTop, findWidth + kCmdFindWidth, listHeight};

        // The Find button first, so that the Stop button beside it follows its new place.
        out.cmdFind = {kTxtFindLeft + findWidth + 10, findTop, kCmdFindWidth, kCmdFindHeight};
        out.cmdStopSearch = {out.cmdFind.left + kCmdFindWidth - kCmdStopSearchWidth + 80, findTop,
                             kCmdStopSearchWidth, kCmdStopSearchHeight};

        out.filenameColumnWidth =
            findFilenameColumnWidth(out.LstFind.width, in.folderColumnWidth + in.sizeColumnWidth);

        out.frmOptions = {kFrmOptionsLeft, out.LstFind.top + out.LstFind.height - 40, out.LstFind.width + 20,
                          kFrmOptionsHeight};

        out.imgSplitter = {P + 2, A - 16, kSplitterWidth, paneHeight};
        out.picSplitterHeight = std::max(paneHeight, 0);

        const int boxWidth = out.frmOptions.width - kTxtGTLeft - 50;
        out.txtGT = {kTxtGTLeft, kTxtGTTop, boxWidth, kTxtGTHeight};
        out.txtLT = {kTxtGTLeft, kTxtLTTop, boxWidth, kTxtGTHeight};
        out.cmdX = {out.frmOptions.width - kCmdXSize - 20, kCmdXTop, kCmdXSize, kCmdXSize};

        if (!in.showPopup) {
            out.txtCurrentPlaced = true;
            out.txtCurrent = {P + 10, H - in.txtCurrentHeight - 10, Wo - P - 10, in.txtCurrentHeight};
        }
    }

    out.cmdUp = {20, paneHeight - kCmdUpSize - 20, kCmdUpSize, kCmdUpSize};
    // The details list lies where the 3D view is and also covers the status line's strip.
    out.ListView1 = {out.Picture1.left, out.Picture1.top, out.Picture1.width, out.Picture1.height + S};

    // The device follows the view's size, unless a folder is loading.
    if (in.deviceReady && !in.loading) {
        if (W < 10) {
            out.device = DeviceAction::SetOuterWidth;
            out.deviceOuterSize = static_cast<int>(std::lround(10 * in.twipsPerPixelX));
        } else if (H < 10) {
            out.device = DeviceAction::SetOuterHeight;
            out.deviceOuterSize = static_cast<int>(std::lround(10 * in.twipsPerPixelY));
        } else {
            out.device = DeviceAction::Resize;
            out.timerEnabled = true;
        }
    }

    for (TwipRect* r :
         {&out.Frame2, &out.Picture1, &out.ListView1, &out.txtCurrent, &out.cmdUp, &out.Frame1, &out.cmdClose,
          &out.lblFindStatus, &out.txtFind, &out.txtFindIn, &out.cmdFind, &out.cmdStopSearch, &out.LstFind,
          &out.frmOptions, &out.txtGT, &out.txtLT, &out.cmdX, &out.imgSplitter})
        *r = nonNegative(*r);
    out.adrListWidth = std::max(out.adrListWidth, 0);
    out.progWidth = std::max(out.progWidth, 0);
    out.filenameColumnWidth = std::max(out.filenameColumnWidth, 0);
    return out;
}

int findFilenameColumnWidth(int listWidth, int otherColumnsWidth) {
    return otherColumnsWidth < listWidth ? listWidth - otherColumnsWidth : design::kFilenameColumnWidth;
}

QRect placeOnScreen(const QRect& stored, const std::vector<QRect>& screens) {
    if (screens.empty())
        return stored;
    const QRect* screen = &screens.front();
    qint64 shownBest = 0;
    for (const QRect& s : screens) {
        const QRect shown = s.intersected(stored);
        const qint64 area = shown.isEmpty() ? 0 : qint64(shown.width()) * shown.height();
        if (area > shownBest) {
            shownBest = area;
            screen = &s;
        }
    }
    if (screen->isEmpty())
        return stored;
    const QSize size = stored.size().boundedTo(screen->size()).expandedTo(QSize(1, 1));
    const int left =
        std::clamp(stored.left(), screen->left(), screen->left() + screen->width() - size.width());
    const int top = std::clamp(stored.top(), screen->top(), screen->top() + screen->height() - size.height());
    return QRect(QPoint(left, top), size);
}

SplitterRelease releaseSplitter(int releaseLeft, int clientWidth) {
    SplitterRelease out;
    int r = std::max(releaseLeft, 0);
    out.imgSplitterLeft = r;
    out.hidePane = r < 500;
    if (r > clientWidth - 800)
        r = clientWidth - 800;
    out.findPaneWidth = std::max(r + 25, 25);
    return out;
}

} // namespace ketra
