// Reading folders into graph entries through the real window and the real scanner.
#include "../app/form_fixture.h"

#include "colours/ExtColours.h"
#include "graph/GraphModel.h"
#include "treescan.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace {

QAction* action(GraphForm& form, const char* name) {
    auto* a = form.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

// The window is idle again: no progress line, no Stop, the label reads "Address", no hourglass.
void expectIdle(GraphForm& form) {
    EXPECT_TRUE(form.findChild<QLineEdit*>("prog")->isHidden());
    EXPECT_TRUE(form.findChild<QPushButton*>("cmdStop")->isHidden());
    EXPECT_EQ(form.findChild<QLabel*>("adrLabel")->text(), QStringLiteral("Address"));
    EXPECT_TRUE(form.findChild<QComboBox*>("adrList")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form.m_loading);
    EXPECT_FALSE(form.m_stopSearch);
}

} // namespace

TEST_F(FormTest, LoadingCountsFilesFoldersAndBytes) {
    const QString dir = makeFolder("stats");
    makeFile("stats/a.txt", 10);
    makeFile("stats/b.PDF", 20);
    makeFile("stats/c", 30);
    makeFile("stats/.hid", 5);
    makeFile("stats/sub1/x", 100);
    makeFile("stats/sub1/y", 200);
    makeFile("stats/sub2/deep/z", 1000);
    auto form = startWindow();
    GraphForm& f = *form;
    f.openAddress(dir);
    expectIdle(f);
    ASSERT_EQ(f.m_currentFolder, dir);

    // Folder sizes off: folders stand as 500-byte bars and add nothing to the total.
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 3);
    EXPECT_EQ(f.m_overlay.statistics.folderCount, 2);
    EXPECT_DOUBLE_EQ(f.m_overlay.statistics.totalBytes, 60);
    EXPECT_EQ(f.m_overlay.statistics.totalFileCount, 0);
    EXPECT_EQ(f.m_overlay.statistics.totalFolderCount, 0);
    const ketra::GraphModel& m = f.model();
    ASSERT_EQ(m.count(), 5);
    const QString names[] = {"sub1", "sub2", "a.txt", "b.PDF", "c"};
    for (int i = 1; i <= 5; ++i) {
        const auto& e = m.entry(i);
        EXPECT_EQ(e.Name, names[i - 1]);
        const bool folder = i <= 2;
        EXPECT_EQ((e.Attributes & TREESCAN_FOLDER) != 0, folder) << i;
        EXPECT_EQ(e.Colour, folder ? getcol("folder") : getcol(e.Name)) << i;
        EXPECT_EQ(e.Level, 2);
        EXPECT_EQ(e.Modified.size(), 19) << qPrintable(e.Modified);
    }
    EXPECT_DOUBLE_EQ(m.entry(1).Size, 500);
    EXPECT_DOUBLE_EQ(m.entry(4).Size, 20);

    // Folder sizes on: the folders' totals count, and the scanner's totals are kept.
    action(f, "tlbIncFolders")->trigger();
    expectIdle(f);
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 3);
    EXPECT_EQ(f.m_overlay.statistics.folderCount, 2);
    EXPECT_GE(f.model().entry(1).Size, 300);
    EXPECT_GE(f.model().entry(2).Size, 1000);
    EXPECT_DOUBLE_EQ(f.m_overlay.statistics.totalBytes, 60 + f.model().entry(1).Size + f.model().entry(2).Size);
    EXPECT_EQ(f.m_overlay.statistics.totalFolderCount, 3); // sub1, sub2, deep
    EXPECT_EQ(f.m_overlay.statistics.totalFileCount, GetTotalFileCount());
    EXPECT_GE(f.m_overlay.statistics.totalFileCount, 3);
}

// The grid is square-ish: rows of round(sqrt(n) - 1) + 1 items.
TEST_F(FormTest, LoadingLaysItemsOutOnTheGrid) {
    struct Case {
        int items;
        int rows;
        int columns;
    };
    const Case cases[] = {{0, 0, 0}, {1, 1, 1}, {10, 4, 3}, {16, 4, 4}};
    auto form = startWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        const QString folder = QStringLiteral("grid%1").arg(c.items);
        const QString dir = makeFolder(folder);
        for (int i = 0; i < c.items; ++i)
            makeFile(QStringLiteral("%1/f%2").arg(folder).arg(i, 2, 10, QLatin1Char('0')), i + 1);
        form->openAddress(dir);
        ASSERT_EQ(form->m_currentFolder, dir);
        const ketra::GraphModel& m = form->model();
        ASSERT_EQ(m.count(), c.items);
        int maxRow = -1, maxColumn = -1;
        for (int i = 1; i <= m.count(); ++i) {
            const auto& e = m.entry(i);
            // Consecutive items advance along the column, then the row.
            EXPECT_EQ(e.Row, (i - 1) / c.columns) << i;
            EXPECT_EQ(e.Column, (i - 1) % c.columns) << i;
            maxRow = std::max(maxRow, static_cast<int>(e.Row));
            maxColumn = std::max(maxColumn, static_cast<int>(e.Column));
        }
        EXPECT_EQ(maxRow + 1, c.rows);
        EXPECT_EQ(maxColumn + 1, c.columns);
        EXPECT_EQ(form->m_overlay.statistics.fileCount, c.items);
        EXPECT_EQ(form->m_overlay.statistics.folderCount, 0);
    }
}

TEST_F(FormTest, AFolderThatCannotBeReadIsReportedAndTheAddressComesBack) {
    auto form = startWindow();
    GraphForm& f = *form;
    const QString shown = f.m_currentFolder;
    const int entries = f.model().count();
    const QString missing = m_home.filePath(QStringLiteral("no/such/folder"));
    const auto boxes = answerMessageBoxes([&] { f.openAddress(missing); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ketra"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Folder \"%1\" not found").arg(missing));
    EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), shown);
    EXPECT_EQ(f.m_currentFolder, shown);
    EXPECT_EQ(f.model().count(), entries);
    expectIdle(f);
    // A failed folder is not added to the address list.
    EXPECT_LT(f.findChild<QComboBox*>("adrList")->findText(missing), 0);
}

TEST_F(FormTest, StopAbandonsTheLoadAndTheAddressComesBack) {
    // Enough folders that measuring them is still going on when Stop arrives.
    const QString dir = makeFolder("big");
    for (int i = 0; i < 60; ++i)
        for (int j = 0; j < 20; ++j)
            makeFile(QStringLiteral("big/d%1/e%2/f").arg(i).arg(j), 1);
    for (bool folderSizes : {false, true}) {
        SCOPED_TRACE(folderSizes);
        auto form = startWindow();
        GraphForm& f = *form;
        if (folderSizes)
            action(f, "tlbIncFolders")->trigger();
        const QString shown = f.m_currentFolder;
        const int entries = f.model().count();
        bool stopVisible = false;
        // The first time the load lets events run, Stop is pressed.
        QTimer::singleShot(0, &f, [&] {
            auto* stop = f.findChild<QPushButton*>("cmdStop");
            stopVisible = stop->isVisible() && f.findChild<QLineEdit*>("prog")->isVisible() &&
                          f.findChild<QLabel*>("adrLabel")->text() == QStringLiteral("Searching:");
            stop->click();
        });
        f.openAddress(dir);
        EXPECT_TRUE(stopVisible);
        EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), shown);
        EXPECT_EQ(f.m_currentFolder, shown);
        EXPECT_EQ(f.model().count(), entries);
        expectIdle(f);
        if (folderSizes) {
            // Stop pressed once the progress line names a folder being measured.
            QTimer watch;
            watch.setInterval(0);
            bool sawProgress = false;
            QObject::connect(&watch, &QTimer::timeout, &f, [&] {
                if (!f.findChild<QLineEdit*>("prog")->text().isEmpty()) {
                    sawProgress = true;
                    watch.stop();
                    f.findChild<QPushButton*>("cmdStop")->click();
                }
            });
            watch.start();
            f.openAddress(dir);
            watch.stop();
            EXPECT_TRUE(sawProgress);
            EXPECT_EQ(f.m_currentFolder, shown);
            EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), shown);
            EXPECT_EQ(f.model().count(), entries);
            expectIdle(f);
        }
        // The scanner is ready for the next load.
        f.openAddress(dir);
        EXPECT_EQ(f.m_currentFolder, dir);
        EXPECT_EQ(f.m_overlay.statistics.folderCount, 60);
        if (folderSizes) {
            EXPECT_EQ(f.m_overlay.statistics.totalFolderCount, 60 * 21);
        }
    }
}

// A reload (an option change, Refresh) that fails or is stopped leaves the address on the folder
// still shown, and the next Enter reloads it.
TEST_F(FormTest, AStoppedReloadKeepsTheAddressOfTheFolderShown) {
    const QString dir = makeFolder("reload");
    makeFile("reload/a", 10);
    auto form = startWindow();
    GraphForm& f = *form;
    f.openAddress(dir);
    ASSERT_EQ(f.m_currentFolder, dir);
    QTimer::singleShot(0, &f, [&] { f.findChild<QPushButton*>("cmdStop")->click(); });
    action(f, "mnuLog")->trigger();
    EXPECT_TRUE(f.m_options.m_logscale);
    EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), dir);
    expectIdle(f);
    f.openAddress(dir);
    EXPECT_EQ(f.m_currentFolder, dir);
    ASSERT_EQ(f.model().count(), 1);
    EXPECT_NEAR(f.model().entry(1).Value, std::log(10.0), 1e-9); // loaded on the log scale

    // The folder vanishes; Refresh reports it and still shows where the graph is from.
    QDir(dir).removeRecursively();
    const auto boxes = answerMessageBoxes([&] { action(f, "tlbRefresh")->trigger(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), dir);
}

TEST_F(FormTest, NavigationWhileLoadingIsIgnored) {
    const QString a = makeFolder("nav/a");
    const QString b = makeFolder("nav/b");
    makeFile("nav/a/one", 1);
    auto form = startWindow();
    GraphForm& f = *form;
    QTimer::singleShot(0, &f, [&] {
        ASSERT_TRUE(f.m_loading);
        f.openAddress(b);
        f.enterFolder(b);
        f.GoBack();
        f.MENU_UP_Click();
        f.MENU_REFRESH_Click();
    });
    f.openAddress(a);
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), a);
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 1);
    expectIdle(f);
}

TEST_F(FormTest, AnOptionChangedWhileLoadingIsAppliedAfterwards) {
    const QString a = makeFolder("late");
    makeFile("late/.seen-later", 1);
    auto form = startWindow();
    GraphForm& f = *form;
    QTimer::singleShot(0, &f, [&] { action(f, "mnuOptionsHidden")->trigger(); });
    f.openAddress(a);
    EXPECT_TRUE(f.m_options.m_showHidden);
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_EQ(f.m_overlay.statistics.fileCount, 1);
}

TEST_F(FormTest, ClosingDuringALoadStopsItThenCloses) {
    const QString dir = makeFolder("closing");
    makeFile("closing/x", 1);
    auto form = startWindow();
    GraphForm& f = *form;
    const QString shown = f.m_currentFolder;
    QTimer::singleShot(0, &f, [&] { f.close(); });
    f.openAddress(dir);
    EXPECT_TRUE(f.isVisible()); // the close waits for the load to unwind
    for (int i = 0; i < 20 && f.isVisible(); ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(store().value("Settings/current_folder").toString(), shown);
}
