// The 3D view of a shown main window under Xvfb: clicking, hovering, the menus of the right
// button, double-clicking, keys, the overlay, the render loop's ticks, and the picture while a
// folder loads.
#include "../app/form_fixture.h"
#include "core/Settings.h"
#include "folders/DetailsModel.h"
#include "graph/BarFrame.h"
#include "graph/Camera.h"
#include "graph/Changes.h"
#include "graph/GraphModel.h"
#include "graph/OverlayText.h"
#include "platform/Math.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"
#include "scene/ElapsedTimerClock.h"
#include "treescan.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTreeView>

#include <cmath>
#include <cstring>

namespace {

// The render loop's clock, moved by the test alone: ticks come 10 ms apart however busy the machine.
double g_clock = 0;
double testClock() {
    return g_clock;
}

class ViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        SetElapsedTimerClock(testClock);
        folder = makeFolder(QStringLiteral("bars"));
        makeFolder(QStringLiteral("bars/docs"));        // 500 bytes high without folder sizes
        makeFile(QStringLiteral("bars/big.dat"), 3000); // the tallest bar, 6 units
        makeFile(QStringLiteral("bars/low.dat"), 1500);
        makeFile(QStringLiteral("bars/mid.dat"), 2000);
        form = startWindow();
        ASSERT_TRUE(form);
        form->resize(900, 700);
        if (form->m_options.m_showText)
            action(*form, "mnuOptionsImages")->trigger(); // no labels: a click on a bar hits the bar
        settleWindows();
        form->enterFolder(folder.toUtf8());
        settleWindows();
        ASSERT_EQ(form->model().count(), 4);
        TRY_VERIFY(form->view3D()->deviceOnView());
        form->DrawGraph();
    }

    void TearDown() override {
        ketra::SetOpenUrlHook(nullptr);
        form.reset();
        SetElapsedTimerClock(nullptr);
        FormTest::TearDown();
    }

    int indexOf(const char* name) const {
        for (int i = 1; i <= form->model().count(); ++i)
            if (form->model().entry(i).Name == QLatin1String(name))
                return i;
        return 0;
    }

    // The view position (logical pixels) where a point of the graph's own space is seen.
    QPoint seen(const platform::Vector3& p) const {
        form->m_rootFrame->UpdateFrames();
        const platform::Vector3 s = platform::Vec3Project(
            p, g_device->getViewport(), g_device->getTransform(platform::TransformType::Projection),
            g_device->getTransform(platform::TransformType::View), form->m_rootFrame->GetUpdatedMatrix());
        const qreal dpr = form->view3D()->devicePixelRatioF();
        return QPoint(static_cast<int>(std::floor(s.x / dpr)), static_cast<int>(std::floor(s.y / dpr)));
    }
    // Where entry `name`'s bar stands: the centre of its top.
    QPoint barTop(const char* name) const {
        const ketra::DataEntry& e = form->model().entry(indexOf(name));
        return seen({e.X, e.Height * 0.98f, e.Z});
    }
    platform::ColorValue barColour(const char* name) const {
        return form->model().entry(indexOf(name)).Frame->GetChildMesh(0)->GetMaterialOverride().diffuse;
    }

    QWidget* view() const { return form->Picture1; }

    // A move of the mouse over the view with no button held, delivered to the view itself (the
    // real pointer may be shared with other tests on the same display).
    void hover(const QPoint& at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(view()->mapToGlobal(at)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view(), &move);
    }

    // What the window system delivers for a double-click: press, release, double-click, release.
    void doubleClick(const QPoint& at) {
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at);
        settleWindows();
        QTest::mouseDClick(view(), Qt::LeftButton, Qt::NoModifier, at);
        settleWindows();
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // `n` ticks of the render timer, 10 ms apart; returns the frames they drew.
    std::uint64_t ticks(int n) {
        const std::uint64_t before = form->m_framesDrawn;
        for (int i = 0; i < n; ++i) {
            g_clock += 0.010;
            form->Timer1_Timer();
        }
        return form->m_framesDrawn - before;
    }

    // The view, given the keyboard focus as a person gives it: a click on it (where no bar is).
    QWidget* focusedView() {
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        settleWindows();
        EXPECT_EQ(form->focusWidget(), view());
        return form->focusWidget();
    }

    QString folder;
    std::unique_ptr<GraphFormProbe> form;
};

bool isRed(const platform::ColorValue& c) {
    return c.r == 1 && c.g == 0 && c.b == 0 && c.a == 1;
}

bool overlayHas(const QString& text) {
    for (const auto& t : g_device->overlayTexts())
        if (t.text == text)
            return true;
    return false;
}

// What the screen shows of the window's view.
QImage onScreen(const GraphFormProbe& form) {
    QWidget* view = form.Picture1;
    const QPoint at = view->mapTo(&form, QPoint());
    return view->screen()->grabWindow(form.winId(), at.x(), at.y(), view->width(), view->height()).toImage();
}

// The view shows the graph's picture: its corners have the background colour.
bool hasThePicture(const QImage& shown) {
    if (shown.isNull())
        return false;
    for (const QPoint& p : {QPoint(2, shown.height() - 3), QPoint(shown.width() - 3, shown.height() - 3)})
        if ((shown.pixel(p) & 0xFFFFFF) != (ketra::kBackgroundColour & 0xFFFFFF))
            return false;
    return true;
}

void expectThePicture(const QImage& shown, const char* when) {
    ASSERT_FALSE(shown.isNull()) << when;
    for (const QPoint& p : {QPoint(2, shown.height() - 3), QPoint(shown.width() - 3, shown.height() - 3)})
        EXPECT_EQ(shown.pixel(p) & 0xFFFFFF, ketra::kBackgroundColour & 0xFFFFFF) << when;
}

} // namespace

// The overlay shows the statistics and the key help; clicking and hovering find the bar under the
// mouse.
TEST_F(ViewTest, TheOverlayAndTheBarUnderTheMouse) {
    form->DrawGraph();
    for (const char* line : {"Size: 6,500 bytes", "Files: 3", "Folders: 1", "Include Folder size: F"})
        EXPECT_TRUE(overlayHas(QString::fromLatin1(line))) << line;
    for (const auto& t : g_device->overlayTexts()) {
        if (t.text == QLatin1String("Files: 3")) {
            EXPECT_EQ(QPoint(t.left, t.top), QPoint(5, 16));
            EXPECT_EQ(t.argb, 0xFF444444u);
        }
        if (t.text == QLatin1String("Include Folder size: F")) { // key help fits in the picture
            EXPECT_LE(t.left + QFontMetrics(t.font).horizontalAdvance(t.text), g_device->targetWidth());
            EXPECT_EQ(t.argb, 0xFF444444u);
        }
    }
    action(*form, "tlbStats")->trigger();
    settleWindows();
    form->DrawGraph();
    EXPECT_FALSE(overlayHas(QStringLiteral("Files: 3")));

    ASSERT_FALSE(form->tlbDelete->isEnabled());
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop("big.dat"));
    settleWindows();
    EXPECT_EQ(form->m_selectedEntry, indexOf("big.dat"));
    EXPECT_TRUE(isRed(barColour("big.dat")));
    EXPECT_TRUE(form->tlbDelete->isEnabled());
    // The picture shows it red.
    form->DrawGraph();
    const QPoint p = barTop("big.dat") * form->view3D()->devicePixelRatioF();
    const QRgb px = g_device->grabFramebuffer().pixel(p.x(), p.y() + 3);
    EXPECT_TRUE(qRed(px) > 100 && qGreen(px) < 40 && qBlue(px) < 40) << std::hex << px;
    // The next click turns that one red and gives the first its own colour back.
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop("mid.dat"));
    settleWindows();
    EXPECT_TRUE(isRed(barColour("mid.dat")));
    const platform::ColorValue own =
        LongToColorValue(static_cast<std::int32_t>(form->model().entry(indexOf("big.dat")).Colour));
    const platform::ColorValue now = barColour("big.dat");
    EXPECT_EQ(std::memcmp(&own, &now, sizeof own), 0);

    // Hovering selects without highlighting; the hover text is drawn 20 left and 30 above the mouse.
    const QPoint at = barTop("big.dat");
    hover(at);
    EXPECT_EQ(form->m_overlay.hoverText, QStringLiteral("big.dat (3,000 bytes)"));
    EXPECT_EQ(form->m_selectedEntry, indexOf("big.dat"));
    EXPECT_FALSE(isRed(barColour("big.dat")));
    form->DrawGraph();
    bool drawn = false;
    for (const auto& t : g_device->overlayTexts())
        drawn |= t.text == form->m_overlay.hoverText &&
                 QPoint(t.left, t.top) == ketra::HoverTextPosition(at.x(), at.y()) && t.argb == 0xFF000000;
    EXPECT_TRUE(drawn);
    hover(barTop("docs")); // a folder without folder sizes: its name alone
    EXPECT_EQ(form->m_overlay.hoverText, QStringLiteral("docs"));

    // The plate is never picked: where only the plate is seen, nothing is found and the right
    // button gives the view's menu.
    const QPoint onPlate = seen({0, 0.05f, -2.4f});
    hover(onPlate);
    EXPECT_FALSE(form->m_overlay.hoverShown);
    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, onPlate);
    settleWindows();
    EXPECT_TRUE(form->MENU_POPUP->isVisible());
    form->MENU_POPUP->hide();
    // On a bar the right button gives the item's menu, with the folder command for folders only.
    for (const char* name : {"docs", "big.dat"}) {
        QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, barTop(name));
        settleWindows();
        EXPECT_TRUE(form->MENU_CONTEXT->isVisible()) << name;
        EXPECT_EQ(form->mnuFolderOpen->isVisible(), qstrcmp(name, "docs") == 0) << name;
        form->MENU_CONTEXT->hide();
    }
    EXPECT_FALSE(form->m_camera->m_dragging); // the right button does not drag

    // With the pop-up text off the status line shows the hover text instead.
    action(*form, "mnuOptionsPopup")->trigger();
    settleWindows();
    hover(barTop("low.dat"));
    EXPECT_EQ(form->txtCurrent->text(), QStringLiteral("low.dat (1,500 bytes)"));
}

// Bars of one kind, size and colour share their mesh: only the one clicked turns red, and it
// gets its look back when another is.
TEST_F(ViewTest, ARedBarLeavesTheBarsLikeItAlone) {
    makeFile(QStringLiteral("bars/twin.dat"), 3000);
    action(*form, "tlbRefresh")->trigger();
    TRY_COMPARE(form->model().count(), 5);
    settleWindows();
    form->DrawGraph();
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop("big.dat"));
    settleWindows();
    EXPECT_TRUE(isRed(barColour("big.dat")));
    EXPECT_FALSE(isRed(barColour("twin.dat")));
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop("twin.dat"));
    settleWindows();
    EXPECT_TRUE(isRed(barColour("twin.dat")));
    EXPECT_FALSE(isRed(barColour("big.dat")));
}

TEST_F(ViewTest, DoubleClickingAFileOpensItAndAFolderIsEntered) {
    QList<QUrl> opened;
    ketra::SetOpenUrlHook([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    // A file opens from the folder shown, also while another address is being typed.
    QLineEdit* edit = form->adrList->lineEdit();
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, edit->rect().center());
    settleWindows();
    QTest::keyClicks(edit, QStringLiteral("/somewhere/else"));
    doubleClick(barTop("mid.dat"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(folder + QStringLiteral("/mid.dat")));

    // A folder is entered; the hover text of the folder left behind goes (from the view and from
    // the status line of the pop-up text's off state alike).
    action(*form, "mnuOptionsPopup")->trigger();
    settleWindows();
    hover(barTop("low.dat"));
    ASSERT_FALSE(form->txtCurrent->text().isEmpty());
    action(*form, "mnuOptionsPopup")->trigger();
    settleWindows();
    doubleClick(barTop("docs"));
    EXPECT_EQ(form->m_currentFolder, folder + QStringLiteral("/docs"));
    EXPECT_EQ(form->adrList->currentText(), folder + QStringLiteral("/docs"));
    EXPECT_TRUE(form->tlbBack->isEnabled()); // the folder went on the history
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(form->m_overlay.hoverShown);
    EXPECT_TRUE(form->txtCurrent->text().isEmpty());
    ticks(1);
    EXPECT_FALSE(overlayHas(QStringLiteral("docs")));

    // A folder shown without its size has its bare name as hover text: the path comes from the
    // entry, so brackets in the name are kept.
    makeFolder(QStringLiteral("bars/old (2)"));
    form->GoBack();
    settleWindows();
    form->DrawGraph();
    doubleClick(barTop("old (2)"));
    EXPECT_EQ(form->m_currentFolder, folder + QStringLiteral("/old (2)"));
}

TEST_F(ViewTest, KeysTurnTheGraphAndTheIdleViewDrawsNothing) {
    // Keys stay held until released; auto-repeated releases are not releases.
    QTest::keyPress(view(), Qt::Key_X);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(view(), &repeat);
    EXPECT_TRUE(form->m_camera->keyHeld(ketra::vk::X));
    QTest::keyRelease(view(), Qt::Key_X);
    EXPECT_FALSE(form->m_camera->keyHeld(ketra::vk::X));
    QTest::keyPress(view(), Qt::Key_Z, Qt::ShiftModifier);
    EXPECT_EQ(form->m_camera->m_shiftState, 1);
    QTest::keyRelease(view(), Qt::Key_Z, Qt::ShiftModifier);

    // Holding Y turns the graph, drawing every tick; R puts it back to the start pose.
    const platform::Matrix start = form->m_rootFrame->GetMatrix();
    QTest::keyPress(view(), Qt::Key_Y);
    EXPECT_EQ(ticks(5), 5u);
    QTest::keyRelease(view(), Qt::Key_Y);
    EXPECT_NE(std::memcmp(&start, &form->m_rootFrame->GetMatrix(), sizeof start), 0);
    QTest::keyPress(view(), Qt::Key_R);
    ticks(1);
    QTest::keyRelease(view(), Qt::Key_R);
    const platform::Matrix tilt = ketra::Camera::StartTilt().matrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(form->m_rootFrame->GetMatrix().m[i / 4][i % 4], tilt.m[i / 4][i % 4], 1e-5f);

    // At rest, ticks draw nothing, and what is on screen is what a full redraw gives.
    ticks(3);
    const QImage shown = g_device->grabFramebuffer();
    EXPECT_EQ(ticks(20), 0u);
    form->DrawGraph();
    EXPECT_EQ(g_device->grabFramebuffer(), shown);
    // A change the window makes without drawing (the key help) is drawn by the next tick.
    action(*form, "mnuShortcuts")->trigger();
    settleWindows();
    EXPECT_EQ(ticks(1), 1u);
    EXPECT_FALSE(overlayHas(QStringLiteral("Reset: R")));
    // Auto-rotation draws every tick.
    action(*form, "tlbRotate")->trigger();
    settleWindows();
    EXPECT_EQ(ticks(10), 10u);
    action(*form, "tlbRotate")->trigger();
    settleWindows();
    // A W press glides the camera; once at rest the ticks draw nothing again.
    QTest::keyClick(view(), Qt::Key_W);
    settleWindows();
    EXPECT_EQ(ticks(1), 1u);
    for (int i = 0; i < 2000 && form->m_camera->m_velocity.z != 0; ++i)
        ticks(1);
    EXPECT_EQ(ticks(20), 0u);
}

// A key pressed and let go between two ticks acts in the next tick, once.
TEST_F(ViewTest, AKeyTappedBetweenTwoTicksActsOnce) {
    QWidget* keys = focusedView();
    ticks(1);
    QTest::keyClick(keys, Qt::Key_X);
    settleWindows();
    EXPECT_EQ(ticks(2), 1u); // one step of the turn, then nothing
    QTest::keyClick(keys, Qt::Key_R);
    settleWindows();
    EXPECT_EQ(ticks(2), 1u); // back to the start pose, once
    ASSERT_FALSE(form->m_options.m_includeFolders);
    QTest::keyClick(keys, Qt::Key_F);
    settleWindows();
    ticks(2);
    EXPECT_TRUE(form->m_options.m_includeFolders); // turned on, not on and off again
    EXPECT_TRUE(overlayHas(QStringLiteral("No Folder size: F")));
}

// On a scaled screen (the test runs also with QT_SCALE_FACTOR 2 and 1.5) the picture has the
// view's device pixels, and the overlay's letters are as many times taller as a pixel is.
TEST_F(ViewTest, TheViewDrawsAtTheScreensPixelRatio) {
    const qreal dpr = view()->devicePixelRatioF();
    form->DrawGraph();
    const QImage picture = g_device->grabFramebuffer();
    EXPECT_EQ(picture.size(), QSize(std::lround(view()->width() * dpr), std::lround(view()->height() * dpr)));
    int rows = 0; // with dark grey letters in the first statistics line's place
    for (int y = 0; y < 16 * dpr; ++y) {
        bool ink = false;
        for (int x = 0; x < 60 * dpr; ++x)
            ink |= qGray(picture.pixel(x, y)) < 120;
        rows += ink;
    }
    const QRect letters = QFontMetrics(ketra::StatusFont()).tightBoundingRect(QStringLiteral("Size: 6,500"));
    EXPECT_NEAR(rows / (dpr * letters.height()), 1.0, 0.2) << rows << " rows at " << dpr;
}

// What assistive technology reads of the view (no assistive-technology bus runs here, so Qt's
// bridge stays inactive and the announcements are not seen).
TEST_F(ViewTest, AssistiveTechnologyReadsTheSelectedItem) {
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(view());
    ASSERT_TRUE(a11y);
    EXPECT_EQ(a11y->role(), QAccessible::Canvas);
    EXPECT_EQ(a11y->text(QAccessible::Name), QStringLiteral("3D view"));
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop("big.dat"));
    settleWindows();
    const QString big = QStringLiteral("big.dat (3,000 bytes)");
    EXPECT_EQ(a11y->text(QAccessible::Value), big);
    EXPECT_EQ(a11y->text(QAccessible::Description), big);
    // A load clears the selection; the next tick says so.
    action(*form, "tlbRefresh")->trigger();
    settleWindows();
    ticks(1);
    EXPECT_EQ(a11y->text(QAccessible::Value), QString());
}

// Right after start (the view gets its own OpenGL context then), the picture shown stays on screen
// while the next folder is measured, and behind the "not found" message.
TEST_F(FormTest, ThePictureStaysWhileAFolderIsReadRightAfterStart) {
    ketra::SettingsValues sizes;
    sizes.options.m_includeFolders = true; // the load measures the sub-folders
    ASSERT_TRUE(ketra::Settings().write(sizes));
    const QString many = makeFolder(QStringLiteral("many"));
    for (int i = 0; i < 6; ++i)
        makeFile(QStringLiteral("many/d%1/e/f").arg(i), 1);
    auto form = startWindow();
    // On a busy machine the window may not be on the screen yet: nothing to grab then.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 30000));
    // Nor its first picture: the test is about a picture that stays, so there must be one.
    QImage first;
    for (int i = 0; i < 300 && !hasThePicture(first = onScreen(*form)); ++i)
        QTest::qWait(100);
    expectThePicture(first, "before the folder is opened");
    QImage measuring;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, form.get(), [&] {
        if (!form->prog->text().isEmpty()) // the last picture while measuring
            measuring = onScreen(*form);
    });
    watch.start();
    SlowDownScans(20000); // the measuring lasts long enough to be seen
    form->openAddress(many);
    settleWindows();
    SlowDownScans(0);
    watch.stop();
    ASSERT_EQ(form->m_currentFolder, many);
    expectThePicture(measuring, "while measuring");

    QImage behindMessage;
    const auto boxes = answerMessageBoxes([&] { form->openAddress(many + QStringLiteral("/nothing")); },
                                          [&] { behindMessage = onScreen(*form); });
    ASSERT_EQ(boxes.size(), 1u);
    expectThePicture(behindMessage, "behind the message");
}

// The changes mode: folder sizes on, the sizes marked, a folder grown and one removed, shown
// again; C colours the bars, the hover text says what grew, the details list sorts by it.
TEST_F(ViewTest, TheChangesModeShowsWhatGrewSinceTheMark) {
    makeFile(QStringLiteral("bars/docs/a.txt"), 100);
    makeFile(QStringLiteral("bars/old/b.txt"), 50);
    const auto exact = [this](const char* name, double bytes) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return !form->busy() && GetPassState() == TREESCAN_PASS_VERIFIED && indexOf(name) &&
                       form->model().entry(indexOf(name)).Size == bytes;
            },
            60000))
            << name;
    };
    action(*form, "tlbIncFolders")->trigger();
    settleWindows();
    exact("docs", 100);
    action(*form, "mnuViewMarkEarlier")->trigger();
    settleWindows();
    makeFile(QStringLiteral("bars/docs/a.txt"), 400);
    makeFile(QStringLiteral("bars/fresh/c.txt"), 7);
    ASSERT_TRUE(QDir(folder + QStringLiteral("/old")).removeRecursively());
    form->MENU_REFRESH_Click();
    settleWindows();
    exact("docs", 400);

    QTest::keyClick(focusedView(), Qt::Key_C);
    settleWindows();
    ticks(2);
    ASSERT_TRUE(form->m_options.m_showChanges);
    for (const auto& [name, colour] : {std::pair{"docs", ketra::kChangeGrownColour},
                                       {"fresh", ketra::kChangeNewColour},
                                       {"big.dat", ketra::kChangeFileColour}}) {
        const platform::ColorValue want = LongToColorValue(static_cast<std::int32_t>(colour));
        const platform::ColorValue now = barColour(name);
        EXPECT_EQ(std::memcmp(&want, &now, sizeof want), 0) << name;
    }
    hover(barTop("docs"));
    const QString today = ketra::ShortDateText(QDate::currentDate(), QDate::currentDate());
    EXPECT_EQ(form->m_overlay.hoverText, "docs (400 bytes), +300 bytes since " + today);
    form->DrawGraph();
    EXPECT_TRUE(overlayHas(QStringLiteral("1 folder gone (50 bytes)")));

    // The details list's "Change" column sorts the folders by their change.
    action(*form, "mnuViewDetails")->trigger();
    settleWindows();
    auto* list = form->findChild<QTreeView*>(QStringLiteral("ListView1"));
    ASSERT_FALSE(list->isColumnHidden(ketra::DetailsModel::ChangeColumn));
    QHeaderView* h = list->header();
    const int section = ketra::DetailsModel::ChangeColumn;
    QTest::mouseClick(
        h->viewport(), Qt::LeftButton, {},
        QPoint(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2));
    settleWindows();
    exact("docs", 400);
    QStringList folders;
    for (int i = 1; i <= 2; ++i)
        folders << form->model().entry(i).Name;
    EXPECT_EQ(folders.join(' '), QStringLiteral("fresh docs")); // +7 (new), then +300
    EXPECT_EQ(list->model()->index(1, section).data().toString(), QStringLiteral("+300"));
}
