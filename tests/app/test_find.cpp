// The find pane through the window: searching by name and by size bounds, the results while the
// search runs, the reversed-bounds message, going to a result, Stop, a search replaced by the
// next one, and a search that goes on with the pane hidden.
#include "form_fixture.h"

#include "graph/GraphModel.h"
#include "scene/D3DMesh.h"
#include "search/SearchSession.h"
#include "treescan.h"
#include "widgets/FitText.h"

#include <QBrush>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QToolBar>
#include <QTreeView>
#include <QWindow>

#include <unistd.h>

namespace {

// Clicks into `box` and types `text` over what it holds.
void typeInto(QLineEdit* box, const QString& text) {
    QTest::mouseClick(box, Qt::LeftButton);
    settleWindows();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    settleWindows();
    QTest::keyClick(box, Qt::Key_Delete);
    settleWindows();
    QTest::keyClicks(box, text);
}

void waitForSearch(const GraphFormProbe& f) {
    TRY_VERIFY_WITH_TIMEOUT(!f.m_search->running(), 30000);
}

// The results as "name<TAB>folder below `root`<TAB>size", sorted.
QStringList rows(const GraphFormProbe& f, const QString& root) {
    const QAbstractItemModel* m = f.LstFind->model();
    QStringList out;
    for (int i = 0; i < m->rowCount(); ++i)
        out << m->index(i, 0).data().toString() + '\t' +
                   QDir(root).relativeFilePath(m->index(i, 1).data().toString()) + '\t' +
                   m->index(i, 2).data().toString();
    out.sort();
    return out;
}

// What a person's double-click on a result delivers to the list.
void doubleClickResult(GraphFormProbe& f, const QString& name) {
    const QAbstractItemModel* m = f.LstFind->model();
    for (int i = 0; i < m->rowCount(); ++i) {
        if (m->index(i, 0).data().toString() != name)
            continue;
        const QPoint at = f.LstFind->visualRect(m->index(i, 0)).center();
        QTest::mouseClick(f.LstFind->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        settleWindows();
        QTest::mouseDClick(f.LstFind->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        settleWindows();
        return;
    }
    ADD_FAILURE() << "no result " << qPrintable(name);
}

int redEntries(const GraphFormProbe& f) {
    int red = 0;
    for (int i = 1; i <= f.model().count(); ++i) {
        const ketra::DataEntry& e = f.model().entry(i);
        const platform::ColorValue c = e.Frame->GetChildMesh(0)->GetMaterialOverride().diffuse;
        red += c.r == 1 && c.g == 0 && c.b == 0;
    }
    return red;
}

} // namespace

TEST_F(FormTest, FindPaneSearchesAndGoesToAResult) {
    const QString root = makeFolder("find");
    makeFile("find/a/needle.txt", 5000);
    makeFile("find/a/b/needle.log", 12);
    makeFile("find/c/haystack.dat", 5000);
    makeFile("find/c/small.dat", 4999);
    makeFile("find/c/large.dat", 5001);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    typeAddress(f, root);

    // Ctrl+F shows the pane with the focus in the name box; Enter there searches.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    settleWindows();
    ASSERT_TRUE(f.Frame1->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), f.txtFind);
    for (const QWidget* caption :
         std::initializer_list<const QWidget*>{f.lblFind, f.Label1, f.chkCase, f.chkGT, f.chkLT})
        EXPECT_LE(caption->sizeHint().width(), caption->width())
            << caption->objectName().toStdString(); // not cut
    QTest::keyClicks(f.txtFind, "needle");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    EXPECT_TRUE(f.cmdStopSearch->isVisible());
    EXPECT_EQ(f.adrLabel->text(), QStringLiteral("Searching:"));
    waitForSearch(f);
    EXPECT_EQ(rows(f, root), (QStringList{"needle.log\ta/b\t12", "needle.txt\ta\t5000"}));
    EXPECT_TRUE(f.cmdStopSearch->isHidden());
    EXPECT_TRUE(f.prog->isHidden());
    EXPECT_EQ(f.adrLabel->text(), QStringLiteral("Address:"));
    EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);

    // Reversed bounds are refused with a message, and the list stays.
    QTest::mouseClick(f.chkGT, Qt::LeftButton);
    settleWindows();
    EXPECT_EQ(QApplication::focusWidget(), f.txtGT);
    typeInto(f.txtGT, "10Kb");
    QTest::mouseClick(f.chkLT, Qt::LeftButton);
    settleWindows();
    typeInto(f.txtLT, "1Kb");
    typeInto(f.txtFind, "");
    auto boxes = answerMessageBoxes([&] { QTest::mouseClick(f.cmdFind, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ketra"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("10Kb should be less than 1Kb"));
    EXPECT_EQ(f.LstFind->model()->rowCount(), 2);

    // Both bounds 5k take the files of exactly 5,000 bytes.
    typeInto(f.txtGT, "5k");
    typeInto(f.txtLT, "5k");
    QTest::mouseClick(f.cmdFind, Qt::LeftButton);
    settleWindows();
    waitForSearch(f);
    EXPECT_EQ(rows(f, root), (QStringList{"haystack.dat\tc\t5000", "needle.txt\ta\t5000"}));

    // A double-click on a result shows its folder (recorded in the history), and its bar is the
    // item selected, in red.
    doubleClickResult(f, "haystack.dat");
    EXPECT_EQ(f.m_currentFolder, root + "/c");
    ASSERT_GT(f.m_selectedEntry, 0);
    EXPECT_EQ(f.model().entry(f.m_selectedEntry).Name, QStringLiteral("haystack.dat"));
    EXPECT_EQ(redEntries(f), 1);
    EXPECT_TRUE(action(f, "tlbBack")->isEnabled());
    EXPECT_EQ(f.LstFind->toolTip(), root + "/c/haystack.dat");

    // A result deleted since: its folder is shown, and nothing is selected or red.
    QFile::remove(root + "/a/needle.txt");
    doubleClickResult(f, "needle.txt");
    EXPECT_EQ(f.m_currentFolder, root + "/a");
    EXPECT_EQ(f.m_selectedEntry, 0);
    EXPECT_EQ(redEntries(f), 0);
}

TEST_F(FormTest, StopANewSearchAndAHiddenPane) {
    const QString root = makeFolder("many");
    for (int d = 0; d < 30; ++d)
        for (int i = 0; i < 40; ++i)
            makeFile(QStringLiteral("many/d%1/hit%2.txt").arg(d).arg(i), 1);
    makeFile("many/d3/other.bin", 1);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    typeAddress(f, root);
    QTest::mouseClick(f.Toolbar1->widgetForAction(action(f, "tlbFind")), Qt::LeftButton);
    settleWindows();
    ASSERT_TRUE(f.Frame1->isVisible());

    // A search started while one runs replaces it.
    typeInto(f.txtFind, "hit");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    typeInto(f.txtFind, "other");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    waitForSearch(f);
    EXPECT_EQ(rows(f, root), QStringList{"other.bin\td3\t1"});

    // Stop once the scanner has found files: every file it found until it stopped is listed.
    typeInto(f.txtFind, "hit");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    for (int i = 0; i < 100000 && GetSearchFileCount() == 0; ++i)
        QThread::usleep(100);
    QTest::mouseClick(f.cmdStopSearch, Qt::LeftButton);
    settleWindows();
    waitForSearch(f);
    EXPECT_EQ(f.LstFind->model()->rowCount(), GetSearchFileCount());
    EXPECT_GT(f.LstFind->model()->rowCount(), 0);
    EXPECT_TRUE(f.lblFindStatus->text().endsWith(QStringLiteral(" found (stopped)")));

    // Closing the pane leaves the search running to its end.
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    QTest::mouseClick(f.cmdClose, Qt::LeftButton);
    settleWindows();
    EXPECT_TRUE(f.Frame1->isHidden());
    waitForSearch(f);
    EXPECT_EQ(f.LstFind->model()->rowCount(), 1200);

    // "x" folds the options away, "^" brings them back.
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    QTest::mouseClick(f.cmdX, Qt::LeftButton);
    settleWindows();
    EXPECT_TRUE(f.frmOptions->isHidden());
    EXPECT_TRUE(f.cmdUp->isVisible());
    QTest::mouseClick(f.cmdUp, Qt::LeftButton);
    settleWindows();
    EXPECT_TRUE(f.frmOptions->isVisible());
    EXPECT_TRUE(f.cmdUp->isHidden());
}

// In the details view the result's row is marked (bold, dark red, current) until the next result's.
TEST_F(FormTest, AResultShownInTheDetailsListMarksItsRow) {
    const QString root = makeFolder("rows");
    for (const char* name : {"alpha.txt", "beta.txt", "gamma.txt"})
        makeFile(QStringLiteral("rows/d/") + name, 1);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    typeAddress(f, root);
    action(f, "mnuViewDetails")->trigger();
    settleWindows();
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    typeInto(f.txtFind, ".txt");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    settleWindows();
    waitForSearch(f);

    // Row `r` (the rows are alphabetical here) as (bold, colour, current); no colour: the list's own.
    const auto look = [&](int r) {
        const QModelIndex row = f.ListView1->model()->index(r, 0);
        const QVariant colour = row.data(Qt::ForegroundRole);
        return std::tuple{row.data(Qt::FontRole).value<QFont>().bold(),
                          colour.isValid() ? colour.value<QBrush>().color() : QColor(),
                          f.ListView1->currentIndex() == row};
    };
    doubleClickResult(f, "gamma.txt");
    EXPECT_EQ(look(2), std::tuple(true, QColor(200, 0, 0), true));
    doubleClickResult(f, "alpha.txt");
    EXPECT_EQ(look(0), std::tuple(true, QColor(200, 0, 0), true));
    EXPECT_EQ(look(2), std::tuple(false, QColor(), false));
}

// A double-click on Go (its second click lands on Stop, which covers Go while a search runs) runs
// one search to its end; the status then says how many files were found, and every column shows
// its widest text whole, a 13-digit size too, as the details list's size column does.
TEST_F(FormTest, ADoubleClickOnGoRunsOneSearchAndTheColumnsFitTheirTexts) {
    const QString root = makeFolder("dbl");
    for (int i = 0; i < 600; ++i)
        makeFile(QStringLiteral("dbl/d%1/hit%2.txt").arg(i / 20).arg(i), 1);
    const QString huge = makeFile("dbl/a folder with a rather long name/hit of 1.2 TB.bin", 0);
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), 1234567890123), 0); // sparse
    auto form = startWindow();
    GraphFormProbe& f = *form;
    typeAddress(f, root);
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    typeInto(f.txtFind, "hit");
    QTest::mouseDClick(f.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                       f.cmdFind->mapTo(&f, f.cmdFind->rect().center()));
    waitForSearch(f);
    const QAbstractItemModel* m = f.LstFind->model();
    EXPECT_EQ(m->rowCount(), 601);
    EXPECT_EQ(f.lblFindStatus->text(), QStringLiteral("601 files found"));
    for (int cell = 0; cell < m->rowCount() * 3; ++cell) // every cell shown whole
        ASSERT_LE(ketra::CellWidthFor(*f.LstFind, m->index(cell / 3, cell % 3).data().toString()),
                  f.LstFind->columnWidth(cell % 3));

    typeAddress(f, QFileInfo(huge).path());
    action(f, "mnuViewDetails")->trigger();
    settleWindows();
    EXPECT_LE(ketra::CellWidthFor(*f.ListView1, "1,234,567,890,123"), f.ListView1->columnWidth(1));
}
