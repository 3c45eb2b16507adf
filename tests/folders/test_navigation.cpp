// Moving between folders: the enter idiom, back and forward, the parent folder, refresh and the
// address box.
#include "../app/form_fixture.h"
#include "folders/Paths.h"

#include "graph/GraphModel.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

QAction* action(GraphForm& form, const char* name) {
    auto* a = form.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

} // namespace

TEST(Paths, ParentAndJoinUseOneSlash) {
    const std::pair<const char*, const char*> parents[] = {
        {"/home/user/data", "/home/user"}, {"/home", "/"}, {"/", "/"}, {"/a/b/", "/a"}, {"name", "name"}};
    for (const auto& [path, parent] : parents)
        EXPECT_EQ(ketra::parentFolder(QString::fromLatin1(path)), QString::fromLatin1(parent)) << path;
    EXPECT_EQ(ketra::joinPath("/", "etc"), QStringLiteral("/etc"));
    EXPECT_EQ(ketra::joinPath("/usr", "lib"), QStringLiteral("/usr/lib"));
    EXPECT_EQ(ketra::joinPath("/usr/", "lib"), QStringLiteral("/usr/lib"));
}

TEST_F(FormTest, BackAndForwardWalkTheEnteredFolders) {
    const QString a = makeFolder("h/a");
    const QString b = makeFolder("h/a/b");
    auto form = startWindow();
    GraphForm& f = *form;
    const QString own = f.m_currentFolder;
    QAction* back = action(f, "tlbBack");
    QAction* next = action(f, "tlbNext");

    f.enterFolder(a);
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_TRUE(back->isEnabled());
    EXPECT_FALSE(next->isEnabled());
    f.enterFolder(b);
    EXPECT_EQ(f.m_currentFolder, b);

    back->trigger();
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(back->isEnabled());
    // Position 0 holds the folder recorded at start-up (the one of the last run, here the own folder).
    back->trigger();
    EXPECT_EQ(f.m_currentFolder, own);
    EXPECT_FALSE(back->isEnabled());
    next->trigger();
    EXPECT_EQ(f.m_currentFolder, a);
    next->trigger();
    EXPECT_EQ(f.m_currentFolder, b);
    EXPECT_FALSE(next->isEnabled());

    // Going somewhere new drops the forward part.
    back->trigger();
    f.enterFolder(b);
    EXPECT_FALSE(next->isEnabled());
}

TEST_F(FormTest, ParentFolderAndRefresh) {
    const QString a = makeFolder("p/a");
    const QString b = makeFolder("p/a/b");
    makeFile("p/a/b/f", 100);
    auto form = startWindow();
    GraphForm& f = *form;
    f.enterFolder(b);
    action(f, "tlbUp")->trigger();
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_EQ(f.findChild<QComboBox*>("adrList")->currentText(), a);
    action(f, "tlbBack")->trigger();
    EXPECT_EQ(f.m_currentFolder, b);

    // The root has no parent: nothing happens.
    f.openAddress(QStringLiteral("/"));
    ASSERT_EQ(f.m_currentFolder, QStringLiteral("/"));
    action(f, "MENU_UP")->trigger();
    EXPECT_EQ(f.m_currentFolder, QStringLiteral("/"));

    // Refresh reads the folder again: a file added meanwhile appears.
    f.openAddress(a);
    ASSERT_EQ(f.model().count(), 1);
    makeFile("p/a/new.txt", 5);
    action(f, "tlbRefresh")->trigger();
    EXPECT_EQ(f.m_currentFolder, a);
    EXPECT_EQ(f.model().count(), 2);
}

TEST_F(FormTest, AddressBoxListsEachShownFolderOnce) {
    const QString a = makeFolder("list/a");
    const QString b = makeFolder("list/b");
    auto form = startWindow();
    GraphForm& f = *form;
    auto* adr = f.findChild<QComboBox*>("adrList");
    const QString own = f.m_currentFolder;
    f.openAddress(a);
    f.openAddress(b);
    f.openAddress(own);
    f.openAddress(a);
    QStringList items;
    for (int i = 0; i < adr->count(); ++i)
        items << adr->itemText(i);
    EXPECT_EQ(items, (QStringList{own, a, b}));

    // Picking an item of the drop-down shows it; no history entry is added.
    const bool backBefore = action(f, "tlbBack")->isEnabled();
    emit adr->activated(2);
    EXPECT_EQ(f.m_currentFolder, b);
    EXPECT_EQ(action(f, "tlbBack")->isEnabled(), backBefore);
}

TEST_F(FormTest, TypedAddressesAreTidiedAndEnterShowsThem) {
    const QString a = makeFolder("typed/a");
    const QString sub = makeFolder("typed/a/sub");
    auto form = startWindow();
    GraphForm& f = *form;
    auto* adr = f.findChild<QComboBox*>("adrList");
    f.show();
    f.openAddress(a + QStringLiteral("/../a/"));
    EXPECT_EQ(f.m_currentFolder, a);
    // Relative to the folder shown, typed and confirmed with Enter.
    adr->lineEdit()->setFocus();
    adr->setEditText(QStringLiteral("sub"));
    QTest::keyClick(adr, Qt::Key_Return);
    EXPECT_EQ(f.m_currentFolder, sub);
    f.openAddress(QStringLiteral("~"));
    EXPECT_EQ(f.m_currentFolder, QDir::homePath());
}
