// The window applies the layout rule (the rule itself is tested in twips without a window): the view
// area, the find pane, the status line, the splitter, the minimum size and the render timer.
#include "form_fixture.h"
#include "treescan.h"

#include "platform/Math.h"

#include <QFrame>
#include <QLabel>
#include <QTreeView>

#include <cmath>
#include <cstring>

namespace {

// Widget positions are converted from twips one by one, so each may be a pixel or two off.
void expectNear(int actual, int expected, const char* what, int slack = 2) {
    EXPECT_LE(std::abs(actual - expected), slack) << what << ": " << actual << " vs " << expected;
}

// A drag of the splitter's grip from its left edge to `toX` (pixels of the grip).
void dragSplitter(QWidget* grip, int toX) {
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(toX, 10), grip->mapToGlobal(QPointF(toX, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grip, &move);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(toX, 10));
}

} // namespace

TEST_F(FormTest, TheWindowPlacesItsControlsByTheLayoutRule) {
    auto form = startWindow();
    GraphFormProbe& f = *form;
    QWidget* view = f.Picture1;
    QWidget* central = f.centralWidget();
    auto* list = control<QTreeView>(f, "ListView1");
    auto* pane = control<QFrame>(f, "Frame1");

    // Without the find pane the view fills the work area below the address bar; the details list
    // lies exactly where the view is.
    ASSERT_TRUE(pane->isHidden());
    expectNear(view->x(), 0, "view left");
    expectNear(view->geometry().right() + 1, central->width(), "view right");
    expectNear(view->geometry().bottom() + 1, central->height(), "view bottom");
    expectNear(view->mapTo(&f, QPoint()).y(), f.Frame2->mapTo(&f, QPoint()).y() + f.Frame2->height(),
               "view top");
    EXPECT_EQ(list->geometry(), view->geometry());
    const int fullWidth = view->width(), tall = view->height();

    // Pop-up text off: the status line takes a strip under the view; the list still covers it.
    action(f, "mnuOptionsPopup")->trigger();
    settleWindows();
    auto* status = control<QLabel>(f, "txtCurrent");
    ASSERT_TRUE(status->isVisible());
    expectNear(view->height(), tall - status->height(), "view height");
    EXPECT_LE(view->geometry().bottom(), status->geometry().top() + 1);
    expectNear(list->height(), tall, "list height");
    action(f, "mnuOptionsPopup")->trigger();
    settleWindows();
    expectNear(view->height(), tall, "view height again");

    // The find pane takes its width from the view; its controls follow its width.
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    ASSERT_TRUE(pane->isVisible());
    expectNear(pane->width(), f.twipsToPixelsX(2355), "pane width");
    expectNear(view->x(), f.twipsToPixelsX(2 + 2355 + 40), "view left");
    expectNear(view->x() + view->width(), central->width(), "view right");
    auto* close = control<QWidget>(f, "cmdClose");
    expectNear(close->x() + close->width(), pane->width() - f.twipsToPixelsX(80), "Close right");
    auto* results = control<QWidget>(f, "LstFind");
    EXPECT_LE(results->x() + results->width(), pane->width());

    // The splitter dragged 62 pixels right: the pane ends there (plus the grip's 2 twips beyond
    // the pane and the bar's 25). Released near the left edge: the pane hides, the menu keeps its
    // check, and one click on the menu shows it again.
    QWidget* grip = control<QWidget>(f, "imgSplitter");
    const int before = pane->width();
    dragSplitter(grip, 62);
    EXPECT_TRUE(control<QFrame>(f, "picSplitter")->isHidden());
    expectNear(pane->width(), before + 62 + f.twipsToPixelsX(27), "pane width after the drag");
    dragSplitter(grip, grip->mapFrom(&f, QPoint(f.twipsToPixelsX(300), 0)).x());
    EXPECT_TRUE(pane->isHidden());
    EXPECT_TRUE(action(f, "mnuEditFind")->isChecked());
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    EXPECT_TRUE(pane->isVisible());
    QTest::mouseClick(close, Qt::LeftButton);
    settleWindows();
    EXPECT_TRUE(pane->isHidden());
    EXPECT_FALSE(action(f, "mnuEditFind")->isChecked());
    expectNear(view->width(), fullWidth, "view width without the pane");

    // Made as small as it goes, the window keeps the minimum size, lays itself out and the view
    // stays alive: the render timer runs, and a held key turns the graph.
    f.resize(80, 60);
    QCoreApplication::processEvents();
    expectNear(f.frameGeometry().width(), f.twipsToPixelsX(5000), "minimum width", 1);
    expectNear(f.frameGeometry().height(), f.twipsToPixelsY(5000), "minimum height", 1);
    expectNear(view->geometry().right() + 1, central->width(), "view right at the minimum");
    EXPECT_TRUE(f.Timer1->isActive());
    const platform::Matrix start = f.m_rootFrame->GetMatrix();
    QTest::keyPress(view, Qt::Key_Y);
    TRY_VERIFY(std::memcmp(&start, &f.m_rootFrame->GetMatrix(), sizeof start) != 0);
    QTest::keyRelease(view, Qt::Key_Y);
}

// A resize while a folder loads lays the controls out but leaves the render timer off; the load
// turns it on again when it ends.
TEST_F(FormTest, ResizeDuringALoadLeavesTheRenderTimerOff) {
    const QString dir = makeFolder("resize");
    for (int i = 0; i < 40; ++i) // some 2 s of listing: the resize's layout and drawing take far less
        makeFile(QStringLiteral("resize/f%1").arg(i), 1);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    ASSERT_TRUE(f.Timer1->isActive());
    SlowDownScans(50000); // the resize comes while the load is under way
    bool timerDuringLoad = true;
    QTimer::singleShot(0, &f, [&] {
        f.resize(f.width() + 80, f.height());
        QCoreApplication::processEvents();
        EXPECT_TRUE(f.busy()) << "the load ended before the resize was handled";
        timerDuringLoad = f.Timer1->isActive();
        expectNear(f.Picture1->width(), f.centralWidget()->width(), "view width during the load");
    });
    f.openAddress(dir);
    settleWindows();
    SlowDownScans(0);
    EXPECT_FALSE(timerDuringLoad);
    EXPECT_EQ(f.m_currentFolder, dir);
    EXPECT_TRUE(f.Timer1->isActive());
}
