// The window among the desktop's programs: rows dragged out as files to a second window, folders
// and files dropped on the window from one, the controls' accessible names and the Tab order.
#include "form_fixture.h"

#include "fileops/Properties.h"
#include "fileops/PropertiesDialog.h"
#include "folders/ItemPath.h"
#include "search/SearchSession.h"

#include <QDrag>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A second program's window: a drop of anything is taken and what it carried kept; a press and a
// move past the drag distance drag `offer` out of it.
class OtherWindow : public QWidget {
public:
    OtherWindow() {
        setGeometry(900, 700, 300, 200);
        setAcceptDrops(true);
        show();
    }
    QByteArray dropped, offer;
    Qt::DropAction result = Qt::IgnoreAction;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override { e->acceptProposedAction(); }
    void dropEvent(QDropEvent* e) override {
        dropped = e->mimeData()->data(QStringLiteral("text/uri-list"));
        e->acceptProposedAction();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!e->buttons() || offer.isEmpty())
            return;
        auto* drag = new QDrag(this);
        drag->setMimeData(new QMimeData);
        drag->mimeData()->setData(QStringLiteral("text/uri-list"), offer);
        result = drag->exec(Qt::CopyAction);
    }
};

// A hand's drag: press at `from` in `source`, move, then `by` pixels across (past the drag distance
// the drag starts and runs its own loop), move onto `to` in `target` and release there.
void drag(QWidget* source, QPoint from, int by, QWidget* target, QPoint to) {
    QTest::mousePress(source, Qt::LeftButton, {}, from);
    QTimer::singleShot(0, target, [=] {
        QTest::mouseMove(target, to);
        QTest::mouseRelease(target, Qt::LeftButton, {}, to);
    });
    QTest::mouseMove(source, from + QPoint(1, 0));
    QTest::mouseMove(source, from + QPoint(by, 0));
}

class DesktopTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        dir = QFile::encodeName(makeFolder(QStringLiteral("desk")));
        ASSERT_EQ(dir.toPercentEncoding("/"), dir); // the URLs below are spelled out
        for (const QByteArray& name : {QByteArray("caf\xe9 1.txt"), QByteArray("b.txt")})
            ::close(::open(dir + '/' + name, O_CREAT | O_WRONLY, 0644));
        ::mkdir(dir + "/sub\xff", 0755);
        form = startWindow();
        form->openAddress(dir);
        settleWindows();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    }
    void TearDown() override {
        form.reset();
        ::unlink(dir + "/caf\xe9 1.txt"); // a name the temporary folder can't remove
        ::rmdir(dir + "/sub\xff");
        FormTest::TearDown();
    }
    QByteArray dir;
    std::unique_ptr<GraphFormProbe> form;
    OtherWindow other;
};

TEST_F(DesktopTest, RowsDragOutAsFileUrlsFromTheirBytes) {
    action(*form, "mnuViewDetails")->trigger();
    settleWindows();
    QTreeView* list = form->ListView1;
    const int cafe = ketra::EntryNamed(form->model().entries(), "caf\xe9 1.txt") - 1;
    ASSERT_GE(cafe, 0);
    const QPoint row = list->visualRect(list->model()->index(cafe, 0)).center();
    const QPoint otherRow = list->visualRect(list->model()->index(cafe == 0 ? 1 : 0, 0)).center();
    const int far = QApplication::startDragDistance() + 2;
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, otherRow); // a click that slips: no drag
    QTest::mouseMove(list->viewport(), otherRow + QPoint(1, 0));
    QTest::mouseMove(list->viewport(), otherRow + QPoint(far - 3, 0));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, otherRow + QPoint(far - 3, 0));
    TRY_VERIFY(QApplication::activePopupWidget()); // the click's menu
    QApplication::activePopupWidget()->close();
    EXPECT_TRUE(other.dropped.isEmpty());
    drag(list->viewport(), row, far, &other, {150, 100});
    EXPECT_EQ(other.dropped, "file://" + dir + "/caf%E9%201.txt\r\n");

    action(*form, "mnuEditFind")->trigger();
    QTest::keyClicks(form->txtFind, QStringLiteral(".txt"));
    QTest::mouseClick(form->cmdFind, Qt::LeftButton);
    TRY_VERIFY_WITH_TIMEOUT(!form->m_search->running() && form->LstFind->model()->rowCount() == 2, 30000);
    QTreeView* found = form->LstFind;
    const QPoint first = found->visualRect(found->model()->index(0, 0)).center();
    QTest::mouseClick(found->viewport(), Qt::LeftButton, {}, first);
    QTest::keyClick(found, Qt::Key_Down, Qt::ShiftModifier);
    drag(found->viewport(), first, far, &other, {150, 100});
    EXPECT_EQ(other.dropped.count("\r\n"), 2) << other.dropped.constData();
    EXPECT_TRUE(other.dropped.contains("file://" + dir + "/b.txt\r\n"));
}

TEST_F(DesktopTest, DroppedFolderOrFileIsShownOtherUrlsRefused) {
    const QByteArray url = "file://" + dir;
    struct Case {
        QByteArray offer, shown, selected;
        bool onAddress;
    };
    const Case cases[] = {
        {url + "/sub%FF\r\n", dir + "/sub\xff", "", false},
        {url + "/b.txt\r\n", dir, "b.txt", true},
        {url + "/b.txt\r\n" + url + "/sub%FF\r\n", dir + "/sub\xff", "", false},
        {"http://example.com/sub\r\n", dir, "", false},
        {"file://elsewhere" + dir + "/sub%FF\r\n", dir, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offer.constData());
        form->openAddress(dir);
        settleWindows();
        other.offer = c.offer;
        QWidget* onto = c.onAddress ? static_cast<QWidget*>(form->adrList->lineEdit()) : form->Picture1;
        drag(&other, {20, 20}, QApplication::startDragDistance() + 2, onto, onto->rect().center());
        settleWindows();
        EXPECT_EQ(other.result, c.shown == dir && c.selected.isEmpty() ? Qt::IgnoreAction : Qt::CopyAction);
        EXPECT_EQ(form->m_currentFolder, c.shown);
        EXPECT_EQ(form->m_selectedEntry, ketra::EntryNamed(form->model().entries(), c.selected));
    }
}

// Focusable controls that assistive technology would find no name for.
QStringList unnamed(const QWidget* top) {
    QStringList out;
    QList<const QWidget*> named;
    for (const QLabel* label : top->findChildren<QLabel*>())
        named.append(label->buddy());
    for (QWidget* w : top->findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus && !w->focusProxy() && w->accessibleName().isEmpty() &&
            !named.contains(w))
            out << w->objectName() + QLatin1Char('(') + w->metaObject()->className() + QLatin1Char(')');
    return out;
}

TEST_F(DesktopTest, EveryControlHasAName) {
    action(*form, "mnuBarCols")->trigger();
    ASSERT_NE(form->findChild<QDialog*>(QStringLiteral("frmbarCols")), nullptr); // a child: walked too
    const ketra::PropertiesDialog properties(ketra::ReadFileProperties(dir + "/b.txt"), nullptr);
    EXPECT_EQ(unnamed(form.get()).join(' ').toStdString(), "");
    EXPECT_EQ(unnamed(&properties).join(' ').toStdString(), "");
}

TEST_F(DesktopTest, TabWalksTheWindowInTheOrderSeen) {
    action(*form, "mnuEditFind")->trigger();
    const QStringList pane = {"txtFind", "cmdFind", "txtFindIn", "LstFind", "chkCase",
                              "cmdX",    "chkGT",   "chkLT",     "cmdClose"};
    for (const char* view : {"Picture1", "ListView1"}) {
        typeAddress(*form, QFile::decodeName(dir));
        QTest::mouseClick(form->adrList->lineEdit(), Qt::LeftButton);
        QStringList seen;
        for (int i = 0; i < 20 && (seen.isEmpty() || seen.last() != QLatin1String("adrList")); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QWidget* focus = QApplication::focusWidget();
            seen << (focus->parentWidget() == form->adrList ? form->adrList : focus)->objectName();
        }
        EXPECT_EQ(seen, QStringList{view} + pane + QStringList{"adrList"});
        action(*form, "mnuViewDetails")->trigger();
        settleWindows();
    }
}

} // namespace
