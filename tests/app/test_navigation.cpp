// Moving between folders and loading them, through the window: the address box, back and forward,
// the parent folder, refresh, the progress line and Stop, failures, and requests that arrive while
// a folder loads. Reading a folder itself is the folder reader's test.
#include "form_fixture.h"
#include "treescan.h"

#include "graph/GraphModel.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The window is idle again: no progress line, no Stop, the label reads "Address", no hourglass.
void expectIdle(const GraphFormProbe& form) {
    EXPECT_TRUE(form.prog->isHidden());
    EXPECT_TRUE(form.cmdStop->isHidden());
    EXPECT_EQ(form.adrLabel->text(), QStringLiteral("Address"));
    EXPECT_TRUE(form.adrList->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form.busy());
}

QStringList addressItems(const GraphFormProbe& form) {
    QStringList items;
    for (int i = 0; i < form.adrList->count(); ++i)
        items << form.adrList->itemText(i);
    return items;
}

} // namespace

TEST_F(FormTest, EnterInTheAddressBoxShowsTheFolderTyped) {
    const QString a = makeFolder("typed/a");
    const QString sub = makeFolder("typed/a/sub");
    const QString fresh = makeFolder("typed/fresh");
    auto form = startWindow();
    GraphFormProbe& f = *form;
    const QString own = f.m_currentFolder;

    // A folder the address list does not hold yet, a path to be tidied, one relative to the folder
    // shown, the home folder.
    const std::pair<QString, QString> typed[] = {{fresh, fresh},
                                                 {a + QStringLiteral("/../a/"), a},
                                                 {QStringLiteral("sub"), sub},
                                                 {"~", QDir::homePath()}};
    for (const auto& [text, shown] : typed) {
        typeAddress(f, text);
        EXPECT_EQ(f.m_currentFolder, shown) << qPrintable(text);
        EXPECT_EQ(f.adrList->currentText(), shown);
        EXPECT_EQ(QApplication::focusWidget(), f.Picture1); // the keys go to the view now
    }
    EXPECT_EQ(addressItems(f), (QStringList{own, fresh, a, sub, QDir::homePath()}));
    EXPECT_FALSE(action(f, "tlbBack")->isEnabled()); // typed addresses add no history entry

    // A listed folder typed without Enter is not shown when the box loses the focus.
    QLineEdit* edit = f.adrList->lineEdit();
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, edit->rect().center());
    settleWindows();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    settleWindows();
    QTest::keyClicks(QApplication::focusWidget(), fresh);
    QTest::mouseClick(f.Picture1, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, QDir::homePath());

    // Down in the box picks the next folder of the list.
    f.openAddress(a);
    settleWindows();
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, edit->rect().center());
    settleWindows();
    const int at = f.adrList->currentIndex();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, f.adrList->itemText(at + 1));
}

TEST_F(FormTest, BackForwardParentAndRefresh) {
    const QString a = makeFolder("h/a");
    const QString b = makeFolder("h/a/b");
    auto form = startWindow();
    GraphFormProbe& f = *form;
    const QString own = f.m_currentFolder;
    QAction* back = action(f, "tlbBack");
    QAction* next = action(f, "tlbNext");

    // Each step: the command, then the folder shown and whether back and forward lead anywhere.
    // Position 0 holds the folder recorded at start-up (the one of the last run: the own folder).
    struct Step {
        std::function<void()> go;
        QString shown;
        bool back, next;
    };
    const Step steps[] = {
        {[&] { f.enterFolder(a.toUtf8()); }, a, true, false},
        {[&] { f.enterFolder(b.toUtf8()); }, b, true, false},
        {[&] { back->trigger(); }, a, true, true},
        {[&] { back->trigger(); }, own, false, true},
        {[&] { next->trigger(); }, a, true, true},
        {[&] { next->trigger(); }, b, true, false},
        {[&] { back->trigger(); }, a, true, true},
        {[&] { f.enterFolder(b.toUtf8()); }, b, true, false}, // somewhere new drops the forward part
        {[&] { action(f, "tlbUp")->trigger(); }, a, true, false},
        {[&] { back->trigger(); }, b, true, true},
    };
    for (const Step& s : steps) {
        s.go();
        settleWindows();
        EXPECT_EQ(f.m_currentFolder, s.shown);
        EXPECT_EQ(f.adrList->currentText(), s.shown);
        EXPECT_EQ(back->isEnabled(), s.back) << qPrintable(s.shown);
        EXPECT_EQ(next->isEnabled(), s.next) << qPrintable(s.shown);
    }
    EXPECT_EQ(addressItems(f), (QStringList{own, a, b}));

    // The root has no parent: nothing happens.
    f.openAddress(QStringLiteral("/"));
    settleWindows();
    action(f, "MENU_UP")->trigger();
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, QStringLiteral("/"));

    // Refresh reads the folder again: a file added meanwhile appears.
    f.openAddress(b);
    settleWindows();
    ASSERT_EQ(f.model().count(), 0);
    makeFile("h/a/b/new.txt", 5);
    action(f, "tlbRefresh")->trigger();
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, b);
    EXPECT_EQ(f.model().count(), 1);
}

// The load puts the folder's items into the graph with the statistics; folder sizes add the
// measured sizes and the scanner's totals.
TEST_F(FormTest, AFolderIsReadIntoTheGraphWithItsStatistics) {
    const QString dir = makeFolder("stats");
    makeFile("stats/a.txt", 10);
    makeFile("stats/.hid", 5);
    makeFile("stats/sub/x", 100);
    makeFile("stats/sub/deep/y", 1000);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    f.openAddress(dir);
    settleWindows();
    expectIdle(f);
    const ketra::FolderStatistics& s = f.m_overlay.statistics;
    ASSERT_EQ(f.model().count(), 2);
    EXPECT_EQ(f.model().entry(1).Name, QStringLiteral("sub"));
    EXPECT_DOUBLE_EQ(f.model().entry(1).Size, 500);
    EXPECT_EQ(s, (ketra::FolderStatistics{10, 1, 1, 0, 0}));

    action(f, "tlbIncFolders")->trigger();
    settleWindows();
    EXPECT_DOUBLE_EQ(f.model().entry(1).Size, 1100);
    EXPECT_EQ(s, (ketra::FolderStatistics{1110, 1, 1, 4, 2})); // the totals count hidden files too
}

TEST_F(FormTest, AFolderThatCannotBeReadIsReportedAndTheAddressComesBack) {
    const QString dir = makeFolder("gone");
    makeFile("gone/a", 10);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    f.openAddress(dir);
    settleWindows();
    const QString missing = m_home.filePath(QStringLiteral("no/such/folder"));
    auto boxes = answerMessageBoxes([&] { f.openAddress(missing); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ketra"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Folder \"%1\" not found").arg(missing));
    EXPECT_EQ(f.adrList->currentText(), dir);
    EXPECT_EQ(f.m_currentFolder, dir);
    EXPECT_EQ(f.model().count(), 1);
    EXPECT_LT(f.adrList->findText(missing), 0); // a failed folder is not added to the list
    expectIdle(f);

    // A reload stopped at once keeps the address of the folder shown; the next Enter reloads it,
    // here on the log scale the stopped reload asked for.
    QTimer::singleShot(0, &f, [&] { QTest::mouseClick(f.cmdStop, Qt::LeftButton); });
    action(f, "mnuLog")->trigger();
    settleWindows();
    EXPECT_EQ(f.adrList->currentText(), dir);
    expectIdle(f);
    f.openAddress(dir);
    settleWindows();
    EXPECT_NEAR(f.model().entry(1).Value, std::log(10.0), 1e-9);

    // The folder vanishes; Refresh reports it and still shows where the graph is from.
    QDir(dir).removeRecursively();
    boxes = answerMessageBoxes([&] { action(f, "tlbRefresh")->trigger(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(f.adrList->currentText(), dir);
}

TEST_F(FormTest, StopAbandonsMeasuringAndTheAddressComesBack) {
    // Enough folders that measuring them is still going on when Stop arrives.
    const QString dir = makeFolder("big");
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 20; ++j)
            makeFile(QStringLiteral("big/d%1/e%2/f").arg(i).arg(j), 1);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    action(f, "tlbIncFolders")->trigger();
    settleWindows();
    const QString shown = f.m_currentFolder;
    const int entries = f.model().count();
    // Stop is pressed once the progress line names a folder being measured.
    bool searching = false;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, &f, [&] {
        if (!f.prog->text().isEmpty()) {
            searching = f.cmdStop->isVisible() && f.prog->isVisible() &&
                        f.adrLabel->text() == QStringLiteral("Searching:");
            watch.stop();
            QTest::mouseClick(f.cmdStop, Qt::LeftButton);
        }
    });
    watch.start();
    SlowDownScans(2000); // Stop arrives while measuring
    f.openAddress(dir);
    settleWindows();
    SlowDownScans(0);
    watch.stop();
    EXPECT_TRUE(searching);
    EXPECT_EQ(f.adrList->currentText(), shown);
    EXPECT_EQ(f.m_currentFolder, shown);
    EXPECT_EQ(f.model().count(), entries);
    expectIdle(f);
    // The scanner is ready for the next load, which is whole.
    f.openAddress(dir);
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, dir);
    EXPECT_EQ(f.m_overlay.statistics.totalFolderCount, 40 * 21);
}

// Navigation asked for while a folder loads is ignored; an option changed meanwhile is applied
// once the load has finished; closing meanwhile stops the load, then closes.
TEST_F(FormTest, RequestsWhileLoading) {
    const QString a = makeFolder("nav/a");
    const QString b = makeFolder("nav/b");
    makeFile("nav/a/one", 1);
    makeFile("nav/b/.seen-later", 1);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    SlowDownScans(50000); // the requests come while the load is under way
    QTimer::singleShot(0, &f, [&] {
        ASSERT_TRUE(f.busy());
        f.openAddress(b);
        f.enterFolder(b.toUtf8());
        f.GoBack();
        f.MENU_UP_Click();
        f.MENU_REFRESH_Click();
    });
    f.openAddress(a);
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_EQ(f.adrList->currentText(), a);
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 1);
    expectIdle(f);

    QTimer::singleShot(0, &f, [&] { action(f, "mnuOptionsHidden")->trigger(); });
    f.openAddress(b);
    settleWindows();
    EXPECT_TRUE(f.m_options.m_showHidden);
    EXPECT_EQ(f.m_currentFolder, b);
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 1);

    // Closing waits for the load to unwind, then closes; the folder stored is the one shown.
    QTimer::singleShot(0, &f, [&] { f.close(); });
    f.openAddress(a);
    EXPECT_TRUE(f.isVisible());
    TRY_VERIFY(!f.isVisible());
    EXPECT_EQ(store().value("Settings/current_folder").toString(), b);
    SlowDownScans(0);
}

// Folder sizes that came partly from the scanner's cache are shown at once; the full pass right
// behind them puts the exact sizes in place: a file that grew in place, its folder's time left
// alone, shows in its folder's bar. Sorted by size, folders stand in the order of their totals,
// and move when the exact totals arrive: in the grid, the details list and the tree view.
TEST_F(FormTest, CachedFolderSizesGiveWayToExactOnes) {
    const QString dir = makeFolder("cached");
    makeFile("cached/sub/x", 100);
    makeFile("cached/mid/y", 1000);
    makeFile("cached/a.txt", 10);
    const QString elsewhere = makeFolder("elsewhere");
    const auto age = [&](const QString& folder) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {1500000000, 0}}; // long settled
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
    };
    age(dir + QStringLiteral("/sub"));
    auto form = startWindow();
    GraphFormProbe& f = *form;
    const auto names = [&] {
        QStringList out;
        for (const ketra::DataEntry& e : f.model().entries())
            out << e.Name;
        return out;
    };
    action(f, "tlbIncFolders")->trigger();
    settleWindows();
    action(f, "mnuViewSize")->trigger();
    settleWindows();
    typeAddress(f, dir);
    EXPECT_EQ(names(), (QStringList{"sub", "mid", "a.txt"}));
    EXPECT_DOUBLE_EQ(f.model().entry(1).Size, 100);
    typeAddress(f, elsewhere);
    makeFile("cached/sub/x", 5000);
    age(dir + QStringLiteral("/sub"));
    typeAddress(f, dir);
    TRY_COMPARE_WITH_TIMEOUT(f.model().entry(2).Size, 5000.0, 20000);
    EXPECT_EQ(names(), (QStringList{"mid", "sub", "a.txt"}));
    EXPECT_EQ(f.m_overlay.statistics.totalBytes, 6010);
    action(f, "mnuViewDetails")->trigger();
    settleWindows();
    EXPECT_EQ(f.ListView1->model()->index(0, 0).data().toString(), QStringLiteral("mid"));
    action(f, "mnuViewTree3D")->trigger();
    settleWindows();
    EXPECT_EQ(names(), (QStringList{dir, "mid", "sub", "a.txt"}));
}
