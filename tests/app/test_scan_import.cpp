// A scan of another machine in the window: what it shows, what it refuses, and a file that is no
// scan. The scan is of a tree made here, so a command that acted on a local path would be seen.
#include "fileops/FileDrag.h"
#include "fileops/Shell.h"
#include "folders/ItemPath.h"
#include "form_fixture.h"
#include "graph/GraphModel.h"
#include "search/SearchSession.h"
#include "treescan.h"

#include <QMimeData>
#include <QTreeView>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ScanImportTest : public FormTest {};

bool exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

void writeFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    EXPECT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    ::close(fd);
}

} // namespace

TEST_F(ScanImportTest, AScanIsBrowsedButNothingActsOnLocalFiles) {
    const QByteArray root = QFile::encodeName(makeFolder(QStringLiteral("scanned/sub")).chopped(4));
    const std::vector<std::pair<QByteArray, int>> files = {
        {"plain.bin", 1000}, {"bad\xff.txt", 300}, {"new\nline.dat", 200}, {"sub/inner.bin", 5000}};
    for (const auto& [name, bytes] : files)
        writeFile(root + '/' + name, QByteArray(bytes, 'x'));
    const QByteArray scan = QFile::encodeName(m_home.filePath(QStringLiteral("scan.json")));
    const int fd = ::open(scan.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(ExportScan(root.constData(), fd), 0);
    ::close(fd);
    int opened = 0;
    ketra::SetOpenUrlHook([&](const QUrl&) { return ++opened > 0; });

    auto form = startWindow();
    GraphFormProbe& f = *form;
    f.whenIdle([&f, scan] { f.importScan(scan); }); // as --import does: after the first folder
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.m_currentFolder == root && !f.busy(); }, 60000));
    EXPECT_TRUE(
        f.windowTitle().startsWith(QStringLiteral("Ketra - ") + QFile::decodeName(root) + " (scan of "))
        << qPrintable(f.windowTitle());
    std::vector<QByteArray> names;
    for (const ketra::DataEntry& e : f.model().entries())
        names.push_back(e.NameBytes);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QByteArray>{"bad\xff.txt", "new\nline.dat", "plain.bin", "sub"}));
    EXPECT_EQ(f.m_overlay.statistics.totalBytes, f.m_options.m_includeFolders ? 6500 : 1500);

    const QString why = QStringLiteral("Not available: this is a scan of another machine");
    for (const char* name :
         {"mnuContentOpen", "mnuContentDelete", "mnuContentproperties", "tlbDelete", "mnuViewMarkEarlier"}) {
        EXPECT_FALSE(action(f, name)->isEnabled()) << name;
        EXPECT_EQ(action(f, name)->toolTip(), why) << name;
    }
    EXPECT_FALSE(f.txtFindIn->isEnabled());
    EXPECT_EQ(f.txtFindIn->toolTip(), why);

    // The Delete key on a file selected in the 3D view, then in the details list, and a double-click
    // on a file's row: nothing asked, opened or moved.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f, 30000));
    for (int attempt = 0; attempt < 60 && !f.isActiveWindow(); ++attempt) {
        f.activateWindow();
        (void)QTest::qWaitFor([&] { return f.isActiveWindow(); }, 500);
    }
    ASSERT_TRUE(f.isActiveWindow());
    const auto boxes = answerMessageBoxes([&] {
        f.Picture1->setFocus();
        f.m_selectedEntry = ketra::EntryNamed(f.model().entries(), "plain.bin");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        action(f, "mnuViewDetails")->trigger();
        settleWindows();
        f.ListView1->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        const QModelIndex row = f.ListView1->model()->index(f.model().count() - 1, 0);
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {},
                           f.ListView1->visualRect(row).center());
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(opened, 0);
    for (const auto& [name, bytes] : files)
        EXPECT_TRUE(exists(root + '/' + name)) << name.constData();
    EXPECT_EQ(f.prog->text(), why);
    // Nor does the selected row, dragged out, carry a file of this machine.
    EXPECT_EQ(std::unique_ptr<QMimeData>(static_cast<ketra::FileDragView*>(f.ListView1)->dragData()),
              nullptr);

    // The find pane searches the scan by name (Ctrl+F, a name, Enter).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    settleWindows();
    ASSERT_EQ(QApplication::focusWidget(), f.txtFind);
    QTest::keyClicks(f.txtFind, "inner");
    QTest::keyClick(f.txtFind, Qt::Key_Return);
    TRY_VERIFY_WITH_TIMEOUT(!f.m_search->running(), 30000);
    ASSERT_EQ(f.LstFind->model()->rowCount(), 1);
    EXPECT_EQ(f.LstFind->model()->index(0, 0).data().toString(), QStringLiteral("inner.bin"));
    EXPECT_EQ(f.LstFind->model()->index(0, 1).data().toString(), QFile::decodeName(root + "/sub"));

    // A file cut short: its reason in a message, and the scan shown before stays.
    QFile whole(QFile::decodeName(scan));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray cut = scan + ".cut";
    writeFile(cut, whole.readAll().chopped(40));
    const auto refused = answerMessageBoxes([&] { f.importScan(cut); });
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].text.startsWith(QFile::decodeName(cut) + ':')) << qPrintable(refused[0].text);
    EXPECT_EQ(f.m_currentFolder, root);
    EXPECT_EQ(f.model().count(), 4);
    EXPECT_TRUE(f.windowTitle().contains(QStringLiteral("(scan of ")));

    // A folder of this machine typed into the address box: the disk again, and everything back.
    typeAddress(f, m_home.path());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Ketra"));
    EXPECT_EQ(GetScanTime(), -1);
    EXPECT_TRUE(action(f, "mnuContentproperties")->isEnabled());
    EXPECT_TRUE(f.txtFindIn->isEnabled());
    ketra::SetOpenUrlHook(nullptr);
    for (const auto& [name, bytes] : files) // names Qt can't remove
        ::unlink((root + '/' + name).constData());
}
