// The layout rule as the widgets show it: the view area, the find pane, the status line, the
// minimum size and the splitter.
#include "form_fixture.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include <cmath>

namespace {

// Widget positions are converted from twips one by one, so each may be a pixel off.
void expectNear(int actual, int expected, const char* what, int slack = 1) {
    EXPECT_LE(std::abs(actual - expected), slack) << what << ": " << actual << " vs " << expected;
}

QRect inWindow(QWidget* w, GraphForm& form) {
    return QRect(w->mapTo(&form, QPoint(0, 0)), w->size());
}

} // namespace

TEST_F(FormTest, ViewFillsTheWorkAreaWithoutTheFindPane) {
    auto form = startWindow();
    GraphForm& f = *form;
    QWidget* view = f.findChild<QWidget*>("Picture1");
    QWidget* central = f.centralWidget();
    EXPECT_TRUE(f.findChild<QFrame*>("Frame1")->isHidden());
    const QRect v = view->geometry();
    expectNear(v.left(), 0, "view left");
    expectNear(v.right() + 1, central->width(), "view right", 2);
    expectNear(v.bottom() + 1, central->height(), "view bottom", 2);
    // The address bar lies between the toolbar and the view.
    const QRect bar = inWindow(f.findChild<QFrame*>("Frame2"), f);
    EXPECT_LE(bar.top(), inWindow(view, f).top());
    EXPECT_GE(inWindow(view, f).top(), bar.bottom() - f.twipsToPixelsY(100) - 1);
    // The details list takes the view's place exactly.
    EXPECT_EQ(f.findChild<QTreeWidget*>("ListView1")->geometry(), v);
}

TEST_F(FormTest, FindPaneTakesItsWidthFromTheView) {
    auto form = startWindow();
    GraphForm& f = *form;
    QWidget* view = f.findChild<QWidget*>("Picture1");
    const int fullWidth = view->width();
    f.findChild<QAction*>("mnuEditFind")->trigger();
    auto* pane = f.findChild<QFrame*>("Frame1");
    ASSERT_TRUE(pane->isVisible());
    EXPECT_TRUE(f.findChild<QAction*>("tlbFind")->isChecked());
    expectNear(pane->width(), f.twipsToPixelsX(2355), "pane width");
    expectNear(view->x(), f.twipsToPixelsX(2 + 2355 + 40), "view left");
    expectNear(view->x() + view->width(), f.centralWidget()->width(), "view right", 2);
    EXPECT_LT(view->width(), fullWidth);
    // The pane's own controls follow its width.
    auto* results = f.findChild<QWidget*>("LstFind");
    EXPECT_GT(results->width(), 0);
    EXPECT_LE(results->x() + results->width(), pane->width());
    auto* close = f.findChild<QWidget*>("cmdClose");
    expectNear(close->x() + close->width(), pane->width() - f.twipsToPixelsX(80), "Close right");

    f.findChild<QWidget*>("cmdClose")->metaObject()->invokeMethod(close, "click");
    EXPECT_TRUE(pane->isHidden());
    EXPECT_FALSE(f.findChild<QAction*>("mnuEditFind")->isChecked());
    expectNear(view->width(), fullWidth, "view width again");
}

TEST_F(FormTest, StatusLineTakesItsStripWhenPopupTextIsOff) {
    auto form = startWindow();
    GraphForm& f = *form;
    QWidget* view = f.findChild<QWidget*>("Picture1");
    auto* status = f.findChild<QLabel*>("txtCurrent");
    const int tall = view->height();
    f.findChild<QAction*>("mnuOptionsPopup")->trigger();
    ASSERT_TRUE(status->isVisible());
    expectNear(view->height(), tall - status->height(), "view height", 2);
    EXPECT_LE(view->geometry().bottom(), status->geometry().top() + 1);
    // The details list also covers the status line's strip.
    expectNear(f.findChild<QTreeWidget*>("ListView1")->height(), tall, "list height", 2);
    f.findChild<QAction*>("mnuOptionsPopup")->trigger();
    expectNear(view->height(), tall, "view height again");
}

TEST_F(FormTest, WindowNeverGetsSmallerThanTheMinimum) {
    auto form = startWindow();
    form->resize(80, 60);
    QCoreApplication::processEvents();
    EXPECT_GE(form->frameGeometry().width(), form->twipsToPixelsX(5000) - 1);
    EXPECT_GE(form->frameGeometry().height(), form->twipsToPixelsY(5000) - 1);
}

TEST_F(FormTest, SplitterSetsThePaneWidthAndHidesANarrowPane) {
    auto form = startWindow();
    GraphForm& f = *form;
    f.findChild<QAction*>("mnuEditFind")->trigger();
    QWidget* grip = f.findChild<QWidget*>("imgSplitter");
    auto* bar = f.findChild<QFrame*>("picSplitter");
    auto* pane = f.findChild<QFrame*>("Frame1");
    ASSERT_TRUE(grip->isVisible());

    // Grabbed and dragged to 62 pixels right of the grip's edge: the pane ends there, plus the
    // grip's 2 twips beyond the pane and the bar's 25.
    const int before = pane->width();
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_TRUE(bar->isVisible());
    QMouseEvent move(QEvent::MouseMove, QPointF(62, 10), grip->mapToGlobal(QPointF(62, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grip, &move);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(62, 10));
    EXPECT_TRUE(bar->isHidden());
    expectNear(pane->width(), before + 62 + f.twipsToPixelsX(27), "pane width", 2);

    // Released near the left edge (below 500 twips): the pane is hidden, the menu keeps its check,
    // and one click on the menu shows it again.
    const QPoint left = grip->mapFrom(&f, QPoint(f.twipsToPixelsX(300), 0));
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 10));
    QMouseEvent drag(QEvent::MouseMove, QPointF(left.x(), 10), grip->mapToGlobal(QPointF(left.x(), 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grip, &drag);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(left.x(), 10));
    EXPECT_TRUE(pane->isHidden());
    EXPECT_TRUE(f.findChild<QAction*>("mnuEditFind")->isChecked());
    f.findChild<QAction*>("mnuEditFind")->trigger();
    EXPECT_TRUE(pane->isVisible());
    EXPECT_TRUE(f.findChild<QAction*>("mnuEditFind")->isChecked());
}

// A resize while a folder loads lays the controls out but leaves the render timer off; the load
// turns it on again when it ends.
TEST_F(FormTest, ResizeDuringALoadLeavesTheRenderTimerOff) {
    const QString dir = makeFolder("resize");
    makeFile("resize/a", 1);
    auto form = startWindow();
    GraphForm& f = *form;
    auto* timer = f.findChild<QTimer*>("Timer1");
    ASSERT_TRUE(timer->isActive());
    QWidget* view = f.findChild<QWidget*>("Picture1");
    bool timerDuringLoad = true;
    int viewWidthDuringLoad = 0;
    const int wider = f.width() + 80;
    QTimer::singleShot(0, &f, [&] {
        f.resize(wider, f.height());
        QCoreApplication::processEvents();
        f.Form_Resize();
        timerDuringLoad = timer->isActive();
        viewWidthDuringLoad = view->width();
    });
    f.openAddress(dir);
    EXPECT_FALSE(timerDuringLoad);
    expectNear(viewWidthDuringLoad, f.centralWidget()->width(), "view width during the load", 2);
    EXPECT_EQ(f.m_currentFolder, dir);
    EXPECT_TRUE(timer->isActive());
}
