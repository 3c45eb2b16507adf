// Acting on what the window shows, through the window: the details list (header, clicks, keys),
// the item commands with the real trash in a temporary data folder, the picture button and
// viewer, the view following the disk, and starting in the details view.
#include "form_fixture.h"

#include "fileops/PictureWindow.h"
#include "fileops/PropertiesDialog.h"
#include "folders/ItemPath.h"
#include "folders/Paths.h"
#include "graph/GraphModel.h"
#include "search/SearchSession.h"

#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QToolBar>
#include <QTreeView>

#include "hostile_pictures.h"
#include "watchdog.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class DetailsTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8()); // the trash
        dir = makeFolder(QStringLiteral("list"));
        makeFile(QStringLiteral("list/docs/inner.bin"), 5120);
        makeFile(QStringLiteral("list/b.dat"), 300);
        makeFile(QStringLiteral("list/c.dat"), 20);
        makeFile(QStringLiteral("list/empty.txt"), 0);
        ketra::SetOpenUrlHook([this](const QUrl& url) {
            opened << url.toLocalFile();
            return true;
        });
        form = startWindow();
        ASSERT_TRUE(form);
        form->openAddress(dir);
        settleWindows();
        action(*form, "mnuViewDetails")->trigger();
        settleWindows();
    }
    void TearDown() override {
        ketra::SetOpenUrlHook(nullptr);
        form.reset();
        FormTest::TearDown();
    }

    QTreeView* list() const { return form->ListView1; }
    QStringList column(int c) const {
        QStringList texts;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            texts << list()->model()->index(row, c).data().toString();
        return texts;
    }
    QModelIndex indexOf(const QString& name) const {
        return list()->model()->index(static_cast<int>(column(0).indexOf(name)), 0);
    }
    void click(const QString& name, Qt::MouseButton button = Qt::LeftButton) {
        settleWindows();
        ASSERT_TRUE(indexOf(name).isValid()) << qPrintable(name);
        QTest::mouseClick(list()->viewport(), button, {}, list()->visualRect(indexOf(name)).center());
        settleWindows();
    }
    // A right click on the row, and the menu it pops up closed again.
    void select(const QString& name) {
        click(name, Qt::RightButton);
        settleWindows();
        ASSERT_TRUE(form->MENU_CONTEXT->isVisible());
        QTest::keyClick(form->MENU_CONTEXT, Qt::Key_Escape);
        settleWindows();
    }
    void clickHeader(int section) {
        QHeaderView* h = list()->header();
        QTest::mouseClick(
            h->viewport(), Qt::LeftButton, {},
            QPoint(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2));
        settleWindows();
    }
    static void waitPastDoubleClick() { QTest::qWait(QApplication::doubleClickInterval() + 150); }

    // The names in `folder`, counted by the system (Qt's listing leaves out names that are not
    // UTF-8).
    static int entriesIn(const QString& folder) {
        DIR* d = ::opendir(QFile::encodeName(folder).constData());
        int n = 0;
        for (const dirent* e; d && (e = ::readdir(d));)
            n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
        if (d)
            ::closedir(d);
        return n;
    }

    QString dir;
    QStringList opened;
    std::unique_ptr<GraphFormProbe> form;
};

} // namespace

TEST_F(DetailsTest, TheListShowsTheFolderSortsByItsHeaderAndEntersFolders) {
    EXPECT_TRUE(list()->isVisible());
    EXPECT_TRUE(form->Picture1->isHidden());
    EXPECT_TRUE(action(*form, "mnuViewDetails")->isChecked());
    EXPECT_FALSE(action(*form, "mnuView3D")->isChecked());
    EXPECT_EQ(column(0), QStringList({"docs", "b.dat", "c.dat", "empty.txt"}));
    EXPECT_EQ(column(1), QStringList({"folder", "300", "20", "0"}));
    EXPECT_EQ(indexOf("docs").data(Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 250));
    EXPECT_FALSE(indexOf("b.dat").data(Qt::ForegroundRole).isValid());

    // The same column flips the direction and the Ascending mark; another keeps the direction;
    // the Arrange marks stay.
    struct Step {
        int section;
        int key;
        bool ascending;
        QStringList names;
    };
    const Step steps[] = {
        {1, 2, true, {"docs", "empty.txt", "c.dat", "b.dat"}},
        {1, 2, false, {"docs", "b.dat", "c.dat", "empty.txt"}},
        {0, 0, false, {"docs", "empty.txt", "c.dat", "b.dat"}},
        {2, 3, false, {}},
        {0, 0, false, {"docs", "empty.txt", "c.dat", "b.dat"}},
        {0, 0, true, {"docs", "b.dat", "c.dat", "empty.txt"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.section);
        clickHeader(s.section);
        EXPECT_EQ(form->m_sortKey, s.key);
        EXPECT_EQ(action(*form, "mnuViewAscending")->isChecked(), s.ascending);
        EXPECT_TRUE(action(*form, "mnuViewName")->isChecked());
        if (!s.names.isEmpty()) {
            EXPECT_EQ(column(0), s.names);
        }
    }
    action(*form, "tlbIncFolders")->trigger();
    settleWindows();
    EXPECT_EQ(column(1).first(), QStringLiteral("5,120"));

    // A folder is entered; folders seen here do not join the address list.
    const int listed = form->adrList->count();
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(indexOf("docs")).center());
    settleWindows();
    EXPECT_EQ(form->m_currentFolder, dir + QStringLiteral("/docs"));
    EXPECT_EQ(column(0), QStringList({"inner.bin"}));
    EXPECT_EQ(form->adrList->count(), listed);
    EXPECT_TRUE(form->tlbBack->isEnabled());
    waitPastDoubleClick();
    EXPECT_FALSE(form->MENU_CONTEXT->isVisible());

    action(*form, "mnuView3D")->trigger();
    settleWindows();
    EXPECT_TRUE(form->Picture1->isVisible());
    EXPECT_TRUE(list()->isHidden());
    EXPECT_FALSE(action(*form, "mnuViewDetails")->isChecked());
}

TEST_F(DetailsTest, ClicksPopTheMenuUpAndItsCommandsActOnTheRow) {
    // Below the last row nothing is selected and nothing happens.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(20, list()->viewport()->height() - 5));
    settleWindows();
    waitPastDoubleClick();
    EXPECT_FALSE(form->MENU_CONTEXT->isVisible());
    EXPECT_EQ(form->m_selectedEntry, 0);
    EXPECT_FALSE(form->tlbDelete->isEnabled());

    // A click pops the item's menu up once no second click came; the folder command for folders.
    click("docs");
    settleWindows();
    TRY_VERIFY(form->MENU_CONTEXT->isVisible());
    EXPECT_TRUE(form->mnuFolderOpen->isVisible());
    EXPECT_TRUE(form->tlbDelete->isEnabled());
    QTest::mouseClick(form->MENU_CONTEXT, Qt::LeftButton, {},
                      form->MENU_CONTEXT->actionGeometry(form->mnuFolderOpen).center());
    EXPECT_EQ(opened, QStringList({dir + QStringLiteral("/docs")}));

    // The right button pops it up at once; Open opens a file and leaves the view.
    click("b.dat", Qt::RightButton);
    settleWindows();
    EXPECT_TRUE(form->MENU_CONTEXT->isVisible());
    EXPECT_FALSE(form->mnuFolderOpen->isVisible());
    QTest::keyClick(form->MENU_CONTEXT, Qt::Key_O);
    settleWindows();
    EXPECT_EQ(opened.last(), dir + QStringLiteral("/b.dat"));
    EXPECT_EQ(form->m_currentFolder, dir);

    // A double-click opens a file, and pops no menu up.
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(indexOf("c.dat")).center());
    settleWindows();
    EXPECT_EQ(opened.last(), dir + QStringLiteral("/c.dat"));
    waitPastDoubleClick();
    EXPECT_FALSE(form->MENU_CONTEXT->isVisible());

    // The properties of a folder, with its total and counts from the scanner.
    click("docs", Qt::RightButton);
    settleWindows();
    QTest::keyClick(form->MENU_CONTEXT, Qt::Key_F);
    settleWindows();
    auto* dialog = form->findChild<ketra::PropertiesDialog*>(QStringLiteral("frmProperties"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->value("lblFolder"), dir);
    EXPECT_EQ(dialog->value("lblSize"), QStringLiteral("5,120 bytes (5.0 KiB)"));
    EXPECT_EQ(dialog->value("lblContents"), QStringLiteral("1 file, 0 folders"));
    EXPECT_FALSE(form->busy());
    EXPECT_EQ(opened.size(), 3);
}

TEST_F(DetailsTest, DeleteAsksThenMovesToTheTrashOrSaysWhyNot) {
    struct Step {
        const char* name;
        Qt::Key key;
        QMessageBox::StandardButton answer;
        const char* dataHome; // blocked: a file stands where the trash folder would be made
        bool moved;
        const char* lastMessage;
    };
    makeFile(QStringLiteral("blocked/Trash"), 1);
    const Step steps[] = {
        {"b.dat", Qt::Key_Delete, QMessageBox::No, "data", false, "Move \"b.dat\" to the trash?"},
        {"b.dat", Qt::Key_Delete, QMessageBox::Yes, "data", true, "Move \"b.dat\" to the trash?"},
        {"c.dat", Qt::Key_Backspace, QMessageBox::Yes, "tree/blocked", false,
         "\"c.dat\" was not moved to the trash: no trash folder could be made"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        qputenv("XDG_DATA_HOME", m_home.filePath(QLatin1String(s.dataHome)).toUtf8());
        select(s.name);
        const auto boxes = answerMessageBoxes([&] { QTest::keyClick(list(), s.key); }, {}, s.answer);
        ASSERT_FALSE(boxes.empty());
        EXPECT_TRUE(boxes.back().text.startsWith(QLatin1String(s.lastMessage)))
            << qPrintable(boxes.back().text);
        const QString path = dir + QLatin1Char('/') + QLatin1String(s.name);
        EXPECT_EQ(QFileInfo::exists(path), !s.moved);
        EXPECT_EQ(column(0).contains(QLatin1String(s.name)), !s.moved);
        if (s.moved) {
            EXPECT_TRUE(QFileInfo::exists(m_home.filePath(QStringLiteral("data/Trash/files/")) + s.name));
        }
    }
    // With no row selected the keys ask nothing.
    list()->clearSelection();
    EXPECT_TRUE(answerMessageBoxes([&] { QTest::keyClick(list(), Qt::Key_Delete); }).empty());
}

// A name that holds another item than the list read is not trashed without asking again.
TEST_F(DetailsTest, DeleteOfAReplacedItemAsksAgain) {
    const QByteArray item = QFile::encodeName(dir + QStringLiteral("/b.dat"));
    struct stat listed;
    ASSERT_EQ(::lstat(item.constData(), &listed), 0);
    const QString newcomer = makeFile(QStringLiteral("list/newcomer"), 7);
    ASSERT_EQ(::rename(QFile::encodeName(newcomer).constData(), item.constData()), 0);
    int status = -1;
    const auto boxes = answerMessageBoxes(
        [&] {
            status = form->DoFileOperation(3, item, {}, ketra::FileId{listed.st_dev, listed.st_ino});
        },
        {}, QMessageBox::Yes);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].text.contains(QLatin1String("changed since the list was read")))
        << qPrintable(boxes[1].text);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(QFileInfo(m_home.filePath(QStringLiteral("data/Trash/files/b.dat"))).size(), 7);
}

TEST_F(DetailsTest, ThePictureButtonAndTheViewerFollowTheSelection) {
    const QString pics = makeFolder(QStringLiteral("pics"));
    makeFolder(QStringLiteral("pics/album"));
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(Qt::red);
    ASSERT_TRUE(photo.save(pics + QStringLiteral("/photo.jpeg"), "JPG"));
    ASSERT_TRUE(photo.save(pics + QStringLiteral("/PHOTO.JPG"), "JPG"));
    ASSERT_TRUE(QImage(80, 20, QImage::Format_RGB32).save(pics + QStringLiteral("/wide.png")));
    makeFile(QStringLiteral("pics/notes.txt"), 10);
    makeFile(QStringLiteral("pics/broken.png"), 64);
    form->openAddress(pics);
    settleWindows();

    struct Step {
        const char* name;
        bool enabled;
        const char* remembered;
    };
    constexpr Step steps[] = {{"photo.jpeg", true, "photo.jpeg"},
                              {"notes.txt", false, "photo.jpeg"},
                              {"PHOTO.JPG", false, "photo.jpeg"},
                              {"photo.jpeg", true, "photo.jpeg"},
                              {"album", true, "photo.jpeg"}};
    for (const Step& s : steps) {
        select(s.name);
        EXPECT_EQ(form->tlbShowImage->isEnabled(), s.enabled) << s.name;
        EXPECT_EQ(form->m_imagePath, QFile::encodeName(pics + QLatin1Char('/') + QLatin1String(s.remembered)))
            << s.name;
    }

    QTest::mouseClick(form->Toolbar1->widgetForAction(form->tlbShowImage), Qt::LeftButton);
    settleWindows();
    ASSERT_TRUE(form->frmPic);
    ketra::PictureWindow* viewer = form->frmPic;
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Image Viewer"));
    TRY_VERIFY(!viewer->loading());
    EXPECT_EQ(viewer->img->picture().size(), QSize(40, 30));

    // While it is open it follows the pictures chosen; a picture it can't read is said so; other
    // items leave what it shows.
    select("wide.png");
    TRY_VERIFY(!viewer->loading());
    EXPECT_EQ(viewer->img->picture().size(), QSize(80, 20));
    select("broken.png");
    TRY_VERIFY(!viewer->loading());
    EXPECT_TRUE(viewer->img->picture().isNull());
    EXPECT_TRUE(viewer->img->message().startsWith(QStringLiteral("\"broken.png\" can't be shown")))
        << qPrintable(viewer->img->message());
    select("notes.txt");
    EXPECT_EQ(viewer->path(), QFile::encodeName(pics + QStringLiteral("/broken.png")));

    QTest::mouseClick(viewer->cmdClose, Qt::LeftButton);
    settleWindows();
    TRY_VERIFY(!form->frmPic);
}

// Pictures never hold the window: a named pipe with a picture's name, two pictures that claim
// 20,000 x 20,000 pixels chosen one right after the other, and closing the viewer while one is
// decoded all return at once, and the picture chosen last is the one said.
TEST_F(DetailsTest, PicturesNeverHoldTheWindow) {
    const QString pics = makeFolder(QStringLiteral("hostile"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pics + QStringLiteral("/pipe.png")).constData(), 0600), 0);
    for (const char* name : {"a.png", "b.png"}) {
        QFile file(pics + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(PngClaiming(20000, 20000));
    }
    action(*form, "mnuOptionsSystem")->trigger(); // a named pipe is listed with the system files
    settleWindows(); // the shown folder is read again first
    form->openAddress(pics);
    settleWindows();
    TRY_VERIFY(column(0).contains(QStringLiteral("pipe.png")));
    Watchdog watchdog("choosing hostile pictures");
    auto says = [&](const char* name) {
        return QStringLiteral("\"%1\" can't be shown").arg(QLatin1String(name));
    };

    select("a.png");
    QTest::mouseClick(form->Toolbar1->widgetForAction(form->tlbShowImage), Qt::LeftButton);
    settleWindows();
    QPointer<ketra::PictureWindow> viewer = form->frmPic.data();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->img->message(), QStringLiteral("Loading..."));
    select("b.png");
    TRY_VERIFY(!viewer->loading());
    EXPECT_TRUE(viewer->img->message().startsWith(says("b.png"))) << qPrintable(viewer->img->message());

    select("pipe.png");
    TRY_VERIFY(!viewer->loading());
    EXPECT_EQ(viewer->img->message(), says("pipe.png") + ": it is a named pipe, not a regular file.");

    select("a.png");
    ASSERT_TRUE(viewer->loading());
    QTest::mouseClick(viewer->cmdClose, Qt::LeftButton);
    settleWindows();
    TRY_VERIFY(!viewer);
}

TEST_F(DetailsTest, TheViewFollowsTheDiskKeepingSortAndSelection) {
    clickHeader(1); // by size
    select("b.dat");
    auto run = [](const QString& command) {
        return QProcess::execute(QStringLiteral("sh"), {"-c", command});
    };
    ASSERT_EQ(run(QStringLiteral("head -c 100 /dev/zero > '%1/new.dat'").arg(dir)), 0);
    TRY_VERIFY_WITH_TIMEOUT(column(0).contains(QStringLiteral("new.dat")), 10000);
    EXPECT_EQ(column(0), QStringList({"docs", "empty.txt", "c.dat", "new.dat", "b.dat"}));
    EXPECT_EQ(form->model().entry(form->m_selectedEntry).Name, QStringLiteral("b.dat"));
    EXPECT_EQ(list()->selectionModel()->selectedRows().value(0), indexOf("b.dat"));

    // The 3D view too.
    action(*form, "mnuView3D")->trigger();
    settleWindows();
    ASSERT_EQ(form->model().count(), 5);
    ASSERT_EQ(run(QStringLiteral("rm '%1/c.dat'").arg(dir)), 0);
    TRY_COMPARE_WITH_TIMEOUT(form->model().count(), 4, 10000);

    // Another folder takes the shown one's name (in one step): it is read.
    const QByteArray shown = QFile::encodeName(dir), other = QFile::encodeName(makeFolder("other"));
    makeFile("other/fresh", 1);
    ASSERT_EQ(::renameat2(AT_FDCWD, other.constData(), AT_FDCWD, shown.constData(), RENAME_EXCHANGE), 0);
    TRY_COMPARE_WITH_TIMEOUT(form->model().count(), 1, 10000);
    EXPECT_EQ(form->m_currentFolder, shown);
    // Removed, it gives way to its parent, with a notice that needs no click; the parent is
    // watched in its turn.
    ASSERT_TRUE(QDir(dir).removeRecursively());
    TRY_COMPARE_WITH_TIMEOUT(form->m_currentFolder, ketra::parentFolder(shown), 10000);
    EXPECT_TRUE(form->prog->isVisible());
    EXPECT_EQ(form->prog->text(),
              QStringLiteral("\"%1\" is no longer there; its parent folder is shown").arg(dir));
    makeFile("later", 1);
    TRY_VERIFY_WITH_TIMEOUT(ketra::EntryNamed(form->model().entries(), "later") > 0, 10000);
}

// Awkward names, and names that are not text, reach the very item shown through every action
// that needs no desktop service. Each name is a folder holding a file of the same name; the last
// two differ only in their invalid byte and look alike on screen.
TEST_F(DetailsTest, EveryActionReachesTheItemOfAnAwkwardName) {
    const QByteArray names[] = {"bad\xff.txt", "new\nline", "tab\there",
                                "-leading",    "100%41",    QByteArray(251, 'n') + ".txt",
                                "twin\xfe",    "twin\xfd"};
    const QByteArray root = QFile::encodeName(makeFolder(QStringLiteral("awkward")));
    for (const QByteArray& name : names) {
        ASSERT_EQ(::mkdir((root + '/' + name).constData(), 0755), 0);
        const int fd = ::open((root + '/' + name + '/' + name).constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(fd, "needle!", 7), 7);
        ::close(fd);
    }
    GraphFormProbe& f = *form;
    auto rowOf = [&](const QByteArray& name) {
        const QModelIndex row = list()->model()->index(ketra::EntryNamed(f.model().entries(), name) - 1, 0);
        list()->scrollTo(row);
        return list()->visualRect(row).center();
    };
    f.openAddress(root);
    settleWindows();
    action(f, "mnuEditFind")->trigger();
    settleWindows();
    QTest::keyClicks(f.txtFindIn, QStringLiteral("needle"));
    QTest::mouseClick(f.cmdFind, Qt::LeftButton);
    settleWindows();
    TRY_VERIFY_WITH_TIMEOUT(!f.m_search->running(), 30000);
    const ketra::SearchResultsModel& found = f.m_search->results();
    ASSERT_EQ(found.rowCount(), static_cast<int>(std::size(names)));

    int trashed = 0;
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toHex().toStdString());
        const QByteArray folder = root + '/' + name;
        // A double-click on its find result shows its folder with it selected.
        int result = 0;
        while (result < found.rowCount() && found.at(result).folder != folder)
            ++result;
        ASSERT_LT(result, found.rowCount());
        f.LstFind->scrollTo(found.index(result, 0));
        // Near the name's start: the column fits the longest name and may be wider than the pane.
        const QRect cell = f.LstFind->visualRect(found.index(result, 0));
        const QPoint at(std::max(cell.left(), 0) + 8, cell.center().y());
        QTest::mouseClick(f.LstFind->viewport(), Qt::LeftButton, {}, at);
        settleWindows();
        QTest::mouseDClick(f.LstFind->viewport(), Qt::LeftButton, {}, at);
        settleWindows();
        EXPECT_EQ(f.m_currentFolder, folder);
        ASSERT_GT(f.m_selectedEntry, 0);
        EXPECT_EQ(f.model().entry(f.m_selectedEntry).NameBytes, name);

        // Entered from its row; then given as the program's argument, the file's folder is shown
        // with the file selected.
        f.openAddress(root);
        settleWindows();
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, rowOf(name));
        settleWindows();
        EXPECT_EQ(f.m_currentFolder, folder);
        f.openAddress(root);
        settleWindows();
        f.openArgument(folder + '/' + name);
        settleWindows();
        EXPECT_EQ(f.m_currentFolder, folder);
        ASSERT_EQ(f.m_selectedEntry, 1);

        // Its properties, then the trash: the file itself goes, and nothing else.
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, rowOf(name));
        settleWindows();
        QTest::keyClick(f.MENU_CONTEXT, Qt::Key_F);
        settleWindows();
        auto* dialog = f.findChild<ketra::PropertiesDialog*>(QStringLiteral("frmProperties"));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->value("lblSize"), QStringLiteral("7 bytes"));
        delete dialog;
        const auto boxes =
            answerMessageBoxes([&] { QTest::keyClick(list(), Qt::Key_Delete); }, {}, QMessageBox::Yes);
        ASSERT_EQ(boxes.size(), 1u);
        struct stat st {};
        EXPECT_NE(::lstat((folder + '/' + name).constData(), &st), 0);
        ++trashed; // under its own name, or one cut short to fit beside its info file's name
        EXPECT_EQ(entriesIn(m_home.filePath(QStringLiteral("data/Trash/files"))), trashed);
        EXPECT_EQ(f.model().count(), 0);
    }

    // Both twins join the address box's list, alike on screen: the one picked there is shown. The
    // folder shown last comes back as the history's first entry at the next start.
    action(f, "mnuView3D")->trigger();
    settleWindows();
    f.openAddress(root + "/twin\xfe");
    settleWindows();
    f.openAddress(root + "/twin\xfd");
    settleWindows();
    const int picked = f.adrList->findData(root + "/twin\xfe");
    ASSERT_GE(picked, 0);
    QTest::mouseClick(f.adrList, Qt::LeftButton, {}, QPoint(f.adrList->width() - 5, f.adrList->height() / 2));
    settleWindows();
    QAbstractItemView* popup = f.adrList->view();
    TRY_VERIFY(popup->isVisible());
    waitPastDoubleClick(); // the list takes no click that may be the end of the one that opened it
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                      popup->visualRect(popup->model()->index(picked, 0)).center());
    settleWindows();
    EXPECT_EQ(f.m_currentFolder, root + "/twin\xfe");
    f.close();
    form = startWindow();
    form->enterFolder(root);
    settleWindows();
    action(*form, "tlbBack")->trigger();
    settleWindows();
    EXPECT_EQ(form->m_currentFolder, root + "/twin\xfe");
}

TEST_F(FormTest, StoredDetailsViewStartsInTheList) {
    store().setValue(QStringLiteral("Settings/details"), QStringLiteral("True"));
    auto form = startWindow();
    EXPECT_TRUE(form->ListView1->isVisible());
    EXPECT_TRUE(form->Picture1->isHidden());
    EXPECT_TRUE(action(*form, "mnuViewDetails")->isChecked());
    EXPECT_EQ(form->ListView1->model()->rowCount(), form->model().count());
    EXPECT_GT(form->model().count(), 0);
    EXPECT_EQ(form->m_currentFolder, GraphForm::programFolder());
}
