// The window's layout: the layout rule (in twips, app/core) applied to the widgets, and the find
// pane's splitter.
//
// The rule measures from the top of the window's client area below the menu bar, where the toolbar
// starts; the other controls live in the central widget, which starts below the toolbar, so their
// tops are shifted up by the toolbar's height when they are placed.
#include "GraphForm.h"

#include "core/Layout.h"
#include "widgets/Controls.h"

#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <cmath>

int GraphForm::twipsToPixelsX(double twips) const {
    return ketra::twipsToPixelsX(*this, twips);
}

int GraphForm::twipsToPixelsY(double twips) const {
    return ketra::twipsToPixelsY(*this, twips);
}

double GraphForm::pixelsToTwipsX(int pixels) const {
    return ketra::pixelsToTwipsX(*this, pixels);
}

double GraphForm::pixelsToTwipsY(int pixels) const {
    return ketra::pixelsToTwipsY(*this, pixels);
}

namespace {

int toTwips(double v) {
    return static_cast<int>(std::lround(v));
}

} // namespace

void GraphForm::Form_Resize() {
    if (!m_central || !Toolbar1)
        return; // still being built

    // Pixels of the client area above the central widget: the toolbar (T).
    const int clientTop =
        menuWidget() && menuWidget()->isVisible() ? menuWidget()->geometry().bottom() + 1 : 0;
    const int toolbarPx = m_central->y() - clientTop;
    const QRect outer = frameGeometry();

    ketra::LayoutInput in;
    in.clientWidth = toTwips(pixelsToTwipsX(width()));
    in.clientHeight = toTwips(pixelsToTwipsY(height() - clientTop));
    in.outerWidth = toTwips(pixelsToTwipsX(outer.width()));
    in.outerHeight = toTwips(pixelsToTwipsY(outer.height()));
    in.toolbarHeight = toTwips(pixelsToTwipsY(toolbarPx));
    in.frame2Height = toTwips(pixelsToTwipsY(Frame2->height()));
    in.cmdStopWidth = toTwips(pixelsToTwipsX(cmdStop->width()));
    in.txtCurrentHeight = toTwips(pixelsToTwipsY(txtCurrent->height()));
    in.minimized = isMinimized();
    in.findPaneShown = !Frame1->isHidden();
    in.findPaneWidth = toTwips(m_findPaneWidth);
    in.findPaneHeight = toTwips(pixelsToTwipsY(Frame1->height()));
    in.optionsShown = !frmOptions->isHidden();
    in.showPopup = m_options.m_showPopup;
    if (LstFind->header()->count() >= 3) {
        in.folderColumnWidth = toTwips(pixelsToTwipsX(LstFind->columnWidth(1)));
        in.sizeColumnWidth = toTwips(pixelsToTwipsX(LstFind->columnWidth(2)));
    }
    in.deviceReady = m_deviceReady;
    in.loading = m_loading;
    in.twipsPerPixelX = ketra::twipsPerPixel(logicalDpiX());
    in.twipsPerPixelY = ketra::twipsPerPixel(logicalDpiY());

    const ketra::LayoutResult r = ketra::layoutMainWindow(in);
    setRenderTimer(false);
    if (!r.laidOut)
        return;

    // Minimum size: the outer size grows to the minimum in the offending direction.
    const QSize frameMargins = outer.size() - size();
    if (r.minimumOuterWidth || r.minimumOuterHeight) {
        const int w =
            r.minimumOuterWidth ? twipsToPixelsX(*r.minimumOuterWidth) - frameMargins.width() : width();
        const int h =
            r.minimumOuterHeight ? twipsToPixelsY(*r.minimumOuterHeight) - frameMargins.height() : height();
        if (QSize(w, h) != size()) {
            resize(w, h); // lays the window out again
            return;
        }
        // The window can't grow (the window system keeps it as it is): laid out at this size.
    }

    // A rectangle of the rule in a widget's parent: edges converted one by one, so that adjoining
    // controls stay adjoining. `dy` shifts from client to central-widget coordinates.
    auto rect = [this](const ketra::TwipRect& t, int dy = 0) {
        const int x0 = twipsToPixelsX(t.left), x1 = twipsToPixelsX(t.left + t.width);
        const int y0 = twipsToPixelsY(t.top), y1 = twipsToPixelsY(t.top + t.height);
        return QRect(x0, y0 - dy, std::max(0, x1 - x0), std::max(0, y1 - y0));
    };
    auto width = [this](int left, int w) {
        return std::max(0, twipsToPixelsX(left + w) - twipsToPixelsX(left));
    };

    // Address bar. The Stop button sits in the toolbar, at the window's right end.
    Frame2->setGeometry(rect(r.Frame2, toolbarPx));
    const int adrLeft = ketra::design::kAdrListLeft;
    adrList->resize(width(adrLeft, r.adrListWidth), adrList->height());
    prog->resize(width(adrLeft, r.progWidth), adrList->height());
    cmdStop->resize(cmdStop->sizeHint());
    cmdStop->move(twipsToPixelsX(r.cmdStopLeft) - Toolbar1->x(),
                  (Toolbar1->height() - cmdStop->height()) / 2);

    // View area.
    Picture1->setGeometry(rect(r.Picture1, toolbarPx));
    ListView1->setGeometry(rect(r.ListView1, toolbarPx));
    if (r.txtCurrentPlaced)
        txtCurrent->setGeometry(rect(r.txtCurrent, toolbarPx));
    cmdUp->setGeometry(rect(r.cmdUp));

    // Find pane and splitter.
    if (r.paneLaidOut) {
        Frame1->setGeometry(rect(r.Frame1, toolbarPx));
        cmdClose->setGeometry(rect(r.cmdClose));
        lblFindStatus->setGeometry(rect(r.lblFindStatus));
        txtFind->setGeometry(rect(r.txtFind));
        txtFindIn->setGeometry(rect(r.txtFindIn));
        cmdFind->setGeometry(rect(r.cmdFind));
        cmdStopSearch->setGeometry(rect(r.cmdStopSearch));
        LstFind->setGeometry(rect(r.LstFind));
        if (LstFind->header()->count() >= 1) // no narrower than its widest name
            LstFind->setColumnWidth(0, std::max(twipsToPixelsX(r.filenameColumnWidth), m_findFit[0]));
        frmOptions->setGeometry(rect(r.frmOptions));
        txtGT->setGeometry(rect(r.txtGT));
        txtLT->setGeometry(rect(r.txtLT));
        cmdX->setGeometry(rect(r.cmdX));
        imgSplitter->setGeometry(rect(r.imgSplitter, toolbarPx));
        picSplitter->resize(picSplitter->width(), twipsToPixelsY(r.picSplitterHeight));
        imgSplitter->show();
        imgSplitter->stackUnder(Picture1); // where the grip overlaps the view, the view gets the mouse
    } else {
        imgSplitter->hide();
    }

    // The device follows the view's size.
    switch (r.device) {
    case ketra::DeviceAction::None:
        break;
    case ketra::DeviceAction::SetOuterWidth:
        resize(twipsToPixelsX(r.deviceOuterSize) - frameMargins.width(), height());
        break;
    case ketra::DeviceAction::SetOuterHeight:
        resize(this->width(), twipsToPixelsY(r.deviceOuterSize) - frameMargins.height());
        break;
    case ketra::DeviceAction::Resize:
        ResizeDevice();
        break;
    }
    setRenderTimer(r.timerEnabled);
}

// ---- Splitter ----------------------------------------------------------------------------------

void GraphForm::imgSplitter_MouseDown(int x) {
    Q_UNUSED(x);
    m_splitterDragging = true;
    const double gripLeft = pixelsToTwipsX(imgSplitter->x());
    picSplitter->move(twipsToPixelsX(ketra::splitterBarLeftOnDown(toTwips(gripLeft))), imgSplitter->y());
    picSplitter->show();
    picSplitter->raise();
}

void GraphForm::imgSplitter_MouseMove(int x) {
    const int gripLeft = toTwips(pixelsToTwipsX(imgSplitter->x()));
    picSplitter->move(twipsToPixelsX(ketra::splitterBarLeftOnMove(gripLeft, toTwips(pixelsToTwipsX(x)))),
                      imgSplitter->y());
}

void GraphForm::imgSplitter_MouseUp() {
    m_splitterDragging = false;
    const int released = toTwips(pixelsToTwipsX(picSplitter->x()));
    const ketra::SplitterRelease r = ketra::releaseSplitter(released, toTwips(pixelsToTwipsX(width())));
    imgSplitter->move(twipsToPixelsX(r.imgSplitterLeft), imgSplitter->y());
    picSplitter->hide();
    if (r.hidePane)
        Frame1->hide(); // the Find command keeps its check mark: one click shows the pane again
    m_findPaneWidth = r.findPaneWidth;
    Form_Resize();
}
