// Plotting a comma-delimited table through the window: File > Open Data File... and its shortcut,
// the dialog answered with the keyboard, the messages (for tables refused too), and what a failed
// load keeps.
#include "form_fixture.h"

#include "graph/GraphModel.h"
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <QFileDialog>
#include <QImage>
#include <QMenuBar>
#include <QTreeView>

#include <sys/stat.h>

namespace {

// Runs `open` (which brings up the data-file dialog), types `typed` into the dialog and presses
// Enter (Escape when `typed` is empty), and closes every message that follows with OK until the
// table is read. Returns the messages' texts.
QStringList answerDataFileDialog(GraphFormProbe& form, const std::function<void()>& open,
                                 const QString& typed) {
    QStringList messages;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            // Keys go to the dialog once it has the focus.
            QWidget* focus = QApplication::focusWidget();
            if (dialog->objectName() != QLatin1String("dlgDataFile") || !focus ||
                !dialog->isAncestorOf(focus))
                return;
            if (typed.isEmpty()) {
                QTest::keyClick(focus, Qt::Key_Escape);
                return;
            }
            QTest::keyClicks(focus, typed);
            QTest::keyClick(focus, Qt::Key_Return);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start();
    open();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !form.loading() && !QApplication::activeModalWidget(); }, 30000));
    poll.stop();
    return messages;
}

QStringList entryNames(const GraphFormProbe& form) {
    QStringList names;
    for (int i = 1; i <= form.model().count(); ++i)
        names << form.model().entry(i).Name;
    return names;
}

} // namespace

TEST_F(FormTest, OpenDataFilePlotsTheTableAndAFailedLoadKeepsTheGraph) {
    const QString folder = makeFolder("tables");
    auto writeFile = [&](const char* name, const QByteArray& text) {
        QFile f(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    writeFile("sales.csv", "; sales\nRegion,North,South TEXTURE:brick.bmp\n1999,10,20\n2000,15,\n");
    writeFile("bad.csv", "Region,North\n2001,1\nTotal\n");
    writeFile("cells.csv", "r" + QByteArray(",1").repeated(100001));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe.csv")).constData(), 0600), 0);
    QImage brick(8, 8, QImage::Format_RGB32);
    brick.fill(Qt::darkRed);
    ASSERT_TRUE(brick.save(folder + QStringLiteral("/brick.bmp")));

    auto form = startWindow();
    GraphFormProbe& f = *form;
    // The dialog starts in the media folder, where the texture is found too.
    SetMediaFolder(folder);
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.m_rootFrame->AddRotation(1, 0, 1, 0, 0.5f);
    const platform::Matrix turned = f.m_rootFrame->GetMatrix();

    // File > Open Data File... with the mouse; the name typed without its extension.
    QMenuBar* bar = f.menuBar();
    QMenu* file = control<QMenu>(f, "mnuFile");
    const QStringList messages = answerDataFileDialog(
        f,
        [&] {
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                              bar->actionGeometry(file->menuAction()).center());
            ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
            QTest::mouseClick(file, Qt::LeftButton, Qt::NoModifier,
                              file->actionGeometry(action(f, "mnuFileOpenData")).center());
        },
        QStringLiteral("sales"));
    EXPECT_TRUE(messages.isEmpty()) << qPrintable(messages.join('\n'));
    const QStringList plotted{"(1999,North) = 10", "(1999,South ) = 20", "(2000,North) = 15",
                              "(2000,South ) = "};
    ASSERT_EQ(entryNames(f), plotted);
    EXPECT_EQ(f.m_gridColumn, 3);
    EXPECT_EQ(f.m_gridRow, 2);
    const ketra::DataEntry& south = f.model().entry(2);
    EXPECT_EQ(south.Row, 0);
    EXPECT_EQ(south.Column, 1);
    ASSERT_TRUE(south.Frame);
    EXPECT_NE(south.Frame->GetChildMesh(0)->GetMaterialTexture(0), nullptr);
    EXPECT_EQ(f.model().entry(1).Frame->GetChildMesh(0)->GetMaterialTexture(0), nullptr);
    EXPECT_EQ(std::memcmp(f.m_rootFrame->GetMatrix().m, turned.m, sizeof turned.m), 0); // still turned
    EXPECT_TRUE(f.Timer1->isActive());

    // Ctrl+O: a line without a comma, a missing file, a named pipe, too many cells, and Escape each
    // leave the table shown.
    const std::pair<QString, QString> failures[] = {
        {"bad.csv", "Comma delimited file must have at least a header row, header column, and data"},
        {"missing", "Unable to find " + folder + "/missing.csv"},
        {"pipe", "Unable to read " + folder + "/pipe.csv: it is a named pipe, not a regular file"},
        {"cells", folder + "/cells.csv has more than 100,000 cells, the most a table may have (line 1)"},
        {"", ""},
    };
    for (const auto& [typed, message] : failures) {
        SCOPED_TRACE(qPrintable(typed));
        const QStringList seen = answerDataFileDialog(
            f,
            [&] {
                // Without a window manager the window is not given the focus back: it is clicked.
                f.activateWindow();
                ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus ? focus : &f, Qt::Key_O, Qt::ControlModifier);
            },
            typed);
        EXPECT_EQ(seen, message.isEmpty() ? QStringList() : QStringList{message});
        EXPECT_EQ(entryNames(f), plotted);
        EXPECT_EQ(f.m_gridColumn, 3);
        EXPECT_EQ(f.m_gridRow, 2);
        ASSERT_TRUE(f.model().entry(2).Frame);
        EXPECT_TRUE(f.Timer1->isActive());
    }
}

// A table is a bar graph: plotted from the tree view or the details list, it is shown in the 3D
// view, and the list holds none of the folder's rows the table replaced.
TEST_F(FormTest, ATableIsPlottedAsBarsWhateverTheViewWas) {
    const QString folder = makeFolder("views");
    makeFile("views/sub/a.txt", 10);
    makeFile("views/b.txt", 20);
    QFile table(folder + QStringLiteral("/t.csv"));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write("Region,North\n1999,10\n");
    table.close();
    auto form = startWindow();
    GraphFormProbe& f = *form;
    typeAddress(f, folder);
    for (const char* view : {"mnuViewTree3D", "mnuViewDetails"}) {
        SCOPED_TRACE(view);
        action(f, view)->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.loading(); }, 30000));
        ASSERT_GT(f.model().count(), 1);
        f.openDataFile(QFile::encodeName(table.fileName()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.loading(); }, 30000));
        EXPECT_EQ(entryNames(f), QStringList{"(1999,North) = 10"});
        EXPECT_TRUE(action(f, "mnuView3D")->isChecked());
        EXPECT_FALSE(action(f, view)->isChecked());
        EXPECT_FALSE(f.m_options.m_treeview);
        EXPECT_TRUE(f.Picture1->isVisible());
        EXPECT_TRUE(f.ListView1->isHidden());
        EXPECT_EQ(f.ListView1->model()->rowCount(), 0);
    }
}
