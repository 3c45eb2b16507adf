// The 3D view of a shown main window under Xvfb: clicking, hovering, the menus of the right
// button, double-clicking, keys, the overlay and the render loop's idle ticks.
#include "../app/form_fixture.h"
#include "graph/Camera.h"
#include "graph/GraphModel.h"
#include "graph/OverlayText.h"
#include "graph/BarFrame.h"
#include "graph/LabelMaker.h"
#include "platform/Math.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QToolBar>

#include <cmath>

namespace {

class ViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        folder = makeFolder(QStringLiteral("bars"));
        makeFolder(QStringLiteral("bars/docs"));        // 500 bytes high without folder sizes
        makeFile(QStringLiteral("bars/big.dat"), 3000); // the tallest bar, 6 units
        makeFile(QStringLiteral("bars/low.dat"), 1500);
        makeFile(QStringLiteral("bars/mid.dat"), 2000);
        form = startWindow();
        ASSERT_TRUE(form);
        form->resize(900, 700);
        if (form->m_options.m_showText)
            form->mnuOptionsImages_Click(); // no labels: a click on a bar hits the bar
        form->enterFolder(folder);
        ASSERT_EQ(form->m_currentFolder, folder);
        ASSERT_EQ(form->model().count(), 4);
        QTRY_VERIFY(form->view3D()->deviceOnView());
        form->DrawGraph();
    }

    void TearDown() override {
        ketra::SetOpenUrlHook(nullptr);
        form.reset();
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
    // Where entry k's bar stands: the centre of its top.
    QPoint barTop(int k) const {
        const ketra::DataEntry& e = form->model().entry(k);
        return seen({e.X, e.Height * 0.98f, e.Z});
    }

    platform::ColorValue barColour(int k) const {
        return form->model().entry(k).Frame->GetChildMesh(0)->GetMaterialOverride().diffuse;
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
        QTest::mouseDClick(view(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, at);
    }

    QString folder;
    std::unique_ptr<GraphForm> form;
};

bool isRed(const platform::ColorValue& c) {
    return c.r == 1 && c.g == 0 && c.b == 0 && c.a == 1;
}

bool sameColour(const platform::ColorValue& a, std::uint32_t argb) {
    const platform::ColorValue b = LongToColorValue(static_cast<std::int32_t>(argb));
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

bool overlayHas(const QString& text) {
    for (const auto& t : g_device->overlayTexts())
        if (t.text == text)
            return true;
    return false;
}

} // namespace

TEST_F(ViewTest, ClickingABarSelectsItAndTurnsItRedAndTheNextRestoresIt) {
    const int big = indexOf("big.dat"), mid = indexOf("mid.dat");
    ASSERT_TRUE(big && mid);
    ASSERT_FALSE(form->tlbDelete->isEnabled());

    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop(big));
    EXPECT_EQ(form->m_selectedEntry, big);
    EXPECT_TRUE(isRed(barColour(big)));
    EXPECT_TRUE(form->tlbDelete->isEnabled());

    // The picture shows it red.
    form->DrawGraph();
    const QImage image = g_device->grabFramebuffer();
    const QPoint p = barTop(big) * form->view3D()->devicePixelRatioF();
    const QRgb px = image.pixel(p.x(), p.y() + 3);
    EXPECT_GT(qRed(px), 100) << std::hex << px;
    EXPECT_LT(qGreen(px), 40) << std::hex << px;
    EXPECT_LT(qBlue(px), 40) << std::hex << px;

    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, barTop(mid));
    EXPECT_EQ(form->m_selectedEntry, mid);
    EXPECT_TRUE(isRed(barColour(mid)));
    EXPECT_TRUE(sameColour(barColour(big), form->model().entry(big).Colour));
}

TEST_F(ViewTest, HoveringShowsNameAndSizeAndTheOverlayDrawsIt) {
    const int big = indexOf("big.dat"), docs = indexOf("docs");
    const QPoint at = barTop(big);
    hover(at);
    EXPECT_EQ(form->m_overlay.hoverText, QStringLiteral("big.dat (3,000 bytes)"));
    EXPECT_TRUE(form->m_overlay.hoverShown);
    EXPECT_EQ(form->m_selectedEntry, big);
    EXPECT_FALSE(isRed(barColour(big))); // hovering does not highlight
    const QPoint expected = ketra::HoverTextPosition(at.x(), at.y());
    EXPECT_EQ(form->m_overlay.hoverPosition.x(), expected.x());
    EXPECT_EQ(form->m_overlay.hoverPosition.y(), expected.y());

    form->DrawGraph();
    bool drawn = false;
    for (const auto& t : g_device->overlayTexts())
        drawn |= t.text == form->m_overlay.hoverText && t.left == expected.x() && t.top == expected.y() &&
                 t.argb == 0xFF000000;
    EXPECT_TRUE(drawn);

    // A folder without folder sizes shows its name alone.
    hover(barTop(docs));
    EXPECT_EQ(form->m_overlay.hoverText, QStringLiteral("docs"));

    // With the pop-up text off the status label shows it instead.
    form->mnuOptionsPopup_Click();
    hover(barTop(big));
    EXPECT_EQ(form->txtCurrent->text(), QStringLiteral("big.dat (3,000 bytes)"));
}

TEST_F(ViewTest, ThePlateIsNeverPicked) {
    ASSERT_TRUE(form->m_options.m_bShowBase);
    const int before = form->m_selectedEntry;
    const QPoint onPlate = seen({0, 0.05f, -2.4f}); // the plate's front edge, between the bars
    // The point is on the plate: a pick that sees the plate finds it there.
    {
        form->m_baseFrame->Enabled = true;
        form->m_barsFrame->Enabled = true;
        CD3DPick pick;
        const qreal dpr = form->view3D()->devicePixelRatioF();
        pick.ViewportPick(form->m_rootFrame, onPlate.x() * dpr, onPlate.y() * dpr);
        ASSERT_GE(pick.FindNearest(), 0);
        EXPECT_EQ(pick.GetFrame(pick.FindNearest()), form->m_baseFrame);
    }
    hover(barTop(indexOf("big.dat")));
    ASSERT_TRUE(form->m_overlay.hoverShown);
    hover(onPlate);
    EXPECT_FALSE(form->m_overlay.hoverShown);
    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, onPlate);
    EXPECT_EQ(form->m_selectedEntry, indexOf("big.dat")); // the hover selected it; the plate changed nothing
    EXPECT_NE(before, -1);
    EXPECT_TRUE(form->MENU_POPUP->isVisible());
    form->MENU_POPUP->hide();
}

TEST_F(ViewTest, RightButtonShowsTheItemsMenuWithFolderOpenOnlyForFolders) {
    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, barTop(indexOf("docs")));
    EXPECT_TRUE(form->MENU_CONTEXT->isVisible());
    EXPECT_TRUE(form->mnuFolderOpen->isVisible());
    form->MENU_CONTEXT->hide();
    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, barTop(indexOf("big.dat")));
    EXPECT_TRUE(form->MENU_CONTEXT->isVisible());
    EXPECT_FALSE(form->mnuFolderOpen->isVisible());
    EXPECT_FALSE(form->m_camera->m_dragging); // the right button does not drag
    form->MENU_CONTEXT->hide();
}

TEST_F(ViewTest, DoubleClickingAFileOpensItAndAFolderIsEntered) {
    QList<QUrl> opened;
    ketra::SetOpenUrlHook([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    doubleClick(barTop(indexOf("mid.dat")));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(folder + QStringLiteral("/mid.dat")));

    doubleClick(barTop(indexOf("docs")));
    EXPECT_EQ(form->m_currentFolder, folder + QStringLiteral("/docs"));
    EXPECT_EQ(form->adrList->currentText(), folder + QStringLiteral("/docs"));
    EXPECT_TRUE(form->tlbBack->isEnabled()); // the folder went on the history
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(ViewTest, AFileOpensFromTheFolderShownEvenWhileTheAddressIsBeingEdited) {
    QList<QUrl> opened;
    ketra::SetOpenUrlHook([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    form->adrList->setEditText(QStringLiteral("/somewhere/else")); // typed, Enter not pressed
    doubleClick(barTop(indexOf("big.dat")));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toLocalFile(), folder + QStringLiteral("/big.dat"));
}

TEST_F(ViewTest, AFolderNameWithBracketsIsEnteredWhole) {
    // Shown without its size, the folder's hover text is its bare name: the path comes from the
    // entry, not from cutting the text at its last bracket.
    makeFolder(QStringLiteral("bars/old (2)"));
    form->reloadFolder();
    form->DrawGraph();
    const int k = indexOf("old (2)");
    ASSERT_NE(k, 0);
    doubleClick(barTop(k));
    EXPECT_EQ(form->m_currentFolder, folder + QStringLiteral("/old (2)"));
}

TEST_F(ViewTest, KeysAreHeldUntilReleasedAndAutoRepeatReleasesAreIgnored) {
    QTest::keyPress(view(), Qt::Key_X);
    EXPECT_TRUE(form->m_camera->keyHeld(ketra::vk::X));
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(view(), &repeat);
    EXPECT_TRUE(form->m_camera->keyHeld(ketra::vk::X));
    QTest::keyRelease(view(), Qt::Key_X);
    EXPECT_FALSE(form->m_camera->keyHeld(ketra::vk::X));

    QTest::keyPress(view(), Qt::Key_Z, Qt::ShiftModifier);
    EXPECT_EQ(form->m_camera->m_shiftState, 1);
    QTest::keyRelease(view(), Qt::Key_Z, Qt::ShiftModifier);

    // Holding Y turns the graph; R puts it back to the start pose.
    const platform::Matrix start = form->m_rootFrame->GetMatrix();
    QTest::keyPress(view(), Qt::Key_Y);
    QTest::qWait(100);
    QTest::keyRelease(view(), Qt::Key_Y);
    EXPECT_NE(std::memcmp(&start, &form->m_rootFrame->GetMatrix(), sizeof start), 0);
    QTest::keyPress(view(), Qt::Key_R);
    QTest::qWait(50);
    QTest::keyRelease(view(), Qt::Key_R);
    const platform::Matrix tilt = platform::MatrixRotationAxis({1, -1, 0}, 12566.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(form->m_rootFrame->GetMatrix()(r, c), tilt(r, c), 1e-5f);
}

TEST_F(ViewTest, StatisticsAndKeyHelpAreDrawnOverThePicture) {
    ASSERT_TRUE(form->m_options.m_showStats && form->m_options.m_bShowShortcuts);
    form->DrawGraph();
    EXPECT_TRUE(overlayHas(QStringLiteral("Size: 6,500 bytes")));
    EXPECT_TRUE(overlayHas(QStringLiteral("Files: 3")));
    EXPECT_TRUE(overlayHas(QStringLiteral("Folders: 1")));
    EXPECT_TRUE(overlayHas(QStringLiteral("Include Folder size: F")));
    for (const auto& t : g_device->overlayTexts()) {
        if (t.text == QLatin1String("Files: 3")) {
            EXPECT_EQ(t.left, 5);
            EXPECT_EQ(t.top, 16);
            EXPECT_EQ(t.argb, 0xFF444444u);
        }
        // Key help lines fit in the picture.
        if (t.text == QLatin1String("Include Folder size: F")) {
            EXPECT_LE(t.left + QFontMetrics(t.font).horizontalAdvance(t.text), g_device->targetWidth());
        }
    }
    form->ToggleStats();
    form->DrawGraph();
    EXPECT_FALSE(overlayHas(QStringLiteral("Files: 3")));
}

TEST_F(ViewTest, AnIdleViewSkipsDrawingAndAChangeRedraws) {
    ASSERT_FALSE(form->m_autoRotate);
    ASSERT_TRUE(form->Timer1->isActive());
    QTest::qWait(200); // settle: the first ticks place the camera
    const QImage shown = g_device->grabFramebuffer();
    const std::uint64_t drawn = form->m_framesDrawn, skipped = form->m_ticksSkipped;
    QTest::qWait(300);
    EXPECT_EQ(form->m_framesDrawn, drawn);
    EXPECT_GE(form->m_ticksSkipped - skipped, 5u);
    // What is on screen is what a full redraw gives.
    form->DrawGraph();
    EXPECT_EQ(g_device->grabFramebuffer(), shown);

    // A change the window makes without drawing (the key help) is drawn by the next tick.
    const std::uint64_t before = form->m_framesDrawn;
    form->mnuShortcuts_Click();
    QTRY_VERIFY(form->m_framesDrawn > before);
    EXPECT_FALSE(overlayHas(QStringLiteral("Reset: R")));

    // Auto-rotation draws every tick.
    form->MENU_ROTATE_Click();
    const std::uint64_t rotating = form->m_framesDrawn;
    QTest::qWait(300);
    EXPECT_GE(form->m_framesDrawn - rotating, 5u);
    form->MENU_ROTATE_Click();

    // A single W press glides the camera, then it comes to rest and drawing stops.
    QTest::keyClick(view(), Qt::Key_W);
    QTRY_VERIFY_WITH_TIMEOUT(form->m_camera->m_velocity.z == 0, 10000);
    QTest::qWait(50);
    const std::uint64_t rested = form->m_framesDrawn;
    QTest::qWait(200);
    EXPECT_EQ(form->m_framesDrawn, rested);
}
