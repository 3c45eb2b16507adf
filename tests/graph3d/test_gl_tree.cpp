// The 3D tree view of a shown window under Xvfb: switching to it, folder nodes opened in place by
// double-clicks, the root node, the paths of items at every level, a tree many levels deep, and
// back to the bar graph.
#include "../app/form_fixture.h"
#include "folders/ItemPath.h"
#include "graph/GraphModel.h"
#include "platform/Math.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <cmath>

#include <sys/stat.h>

namespace {

class TreeViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        root = makeFolder("t");
        makeFile("t/a/a1.txt", 10);
        makeFile("t/b/b1.txt", 10);
        makeFile("t/b/b2.txt", 10);
        makeFile("t/top.txt", 10);
        form = startWindow();
        ASSERT_TRUE(form);
        form->resize(900, 700);
        if (form->m_options.m_showText)
            action(*form, "mnuOptionsImages")->trigger(); // a click on a node hits the node
        action(*form, "mnuViewTree3D")->trigger();
        settleWindows();
        form->openAddress(root);
        settleWindows();
        TRY_VERIFY(form->view3D()->deviceOnView());
    }
    void TearDown() override {
        form.reset();
        FormTest::TearDown();
    }

    // The entries as "level:name".
    QStringList entries() const {
        QStringList out;
        for (const ketra::DataEntry& e : form->model().entries())
            out << QString::number(e.Level) + ':' + e.Name;
        return out;
    }
    int indexOf(const QString& name) const {
        for (int i = form->model().count(); i >= 1; --i) // the deepest level first
            if (form->model().entry(i).Name == name)
                return i;
        return 0;
    }
    // Where node `name` (or entry `index`) is seen in the view (logical pixels).
    QPoint node(const QString& name) const { return node(indexOf(name)); }
    QPoint node(int index) const {
        form->DrawGraph();
        const platform::Vector3 s = platform::Vec3Project(
            form->model().entry(index).Frame->GetPosition(), g_device->getViewport(),
            g_device->getTransform(platform::TransformType::Projection),
            g_device->getTransform(platform::TransformType::View), form->m_rootFrame->GetUpdatedMatrix());
        const qreal dpr = form->view3D()->devicePixelRatioF();
        return QPoint(static_cast<int>(std::floor(s.x / dpr)), static_cast<int>(std::floor(s.y / dpr)));
    }
    void click(const QString& name) { QTest::mouseClick(form->Picture1, Qt::LeftButton, {}, node(name)); }
    void doubleClick(const QString& name) { doubleClick(indexOf(name)); }
    void doubleClick(int index) {
        const QPoint at = node(index);
        QTest::mouseClick(form->Picture1, Qt::LeftButton, {}, at);
        settleWindows();
        QTest::mouseDClick(form->Picture1, Qt::LeftButton, {}, at);
        settleWindows();
        QTest::mouseRelease(form->Picture1, Qt::LeftButton, {}, at);
    }

    QString root;
    std::unique_ptr<GraphFormProbe> form;
};

} // namespace

TEST_F(TreeViewTest, FolderNodesOpenInPlaceAndItemsKeepTheirPaths) {
    GraphFormProbe& f = *form;
    EXPECT_TRUE(action(f, "mnuViewTree3D")->isChecked());
    EXPECT_FALSE(action(f, "mnuView3D")->isChecked());
    EXPECT_EQ(entries(), (QStringList{"1:" + root, "2:a", "2:b", "2:top.txt"}));

    doubleClick("a");
    EXPECT_EQ(entries(), (QStringList{"1:" + root, "2:a", "2:b", "2:top.txt", "3:a1.txt"}));
    EXPECT_EQ(f.adrList->currentText(), root); // the address box keeps naming the root
    EXPECT_TRUE(action(f, "tlbBack")->isEnabled());

    // Another level-2 folder replaces the level-3 wall; so does the same one opened again.
    for (const char* folder : {"b", "b"}) {
        doubleClick(folder);
        EXPECT_EQ(entries(), (QStringList{"1:" + root, "2:a", "2:b", "2:top.txt", "3:b1.txt", "3:b2.txt"}));
    }

    // Paths at levels 1, 2 and 3; the root node only selects itself.
    const std::pair<QString, QString> paths[] = {
        {root, root}, {"top.txt", root + "/top.txt"}, {"b2.txt", root + "/b/b2.txt"}};
    for (const auto& [name, path] : paths) {
        click(name);
        settleWindows();
        EXPECT_EQ(f.ItemPath(), path);
    }
    doubleClick(root);
    EXPECT_EQ(f.m_selectedEntry, 1);
    EXPECT_EQ(entries().size(), 6);

    // View > 3D: the root folder as a bar graph.
    action(f, "mnuView3D")->trigger();
    settleWindows();
    EXPECT_EQ(entries(), (QStringList{"2:a", "2:b", "2:top.txt"}));
    EXPECT_FALSE(action(f, "mnuViewTree3D")->isChecked());
}

TEST_F(TreeViewTest, ATreeOpensAsDeepAsTheDiskGoes) {
    QString chain = "t/deep";
    for (int level = 3; level <= 27; ++level)
        chain += QStringLiteral("/l%1").arg(level);
    makeFile(chain + "/leaf.txt", 10);
    GraphFormProbe& f = *form;
    action(f, "tlbRefresh")->trigger();
    settleWindows();
    // Each level's one folder opened in turn, from "deep" at level 2 down to level 27 (far out of
    // the camera's sight, so the handler the double-click runs is called).
    QString name = "deep";
    for (int level = 2; level <= 27; ++level) {
        f.expandTreeFolder(indexOf(name));
        settleWindows();
        name = QStringLiteral("l%1").arg(level + 1);
    }
    ASSERT_EQ(entries().last(), QStringLiteral("28:leaf.txt"));
    f.m_selectedEntry = f.model().count();
    EXPECT_EQ(f.ItemPath(), m_home.filePath("tree/" + chain + "/leaf.txt"));
    f.m_selectedEntry = indexOf("l4");
    EXPECT_EQ(f.ItemPath(), root + "/deep/l3/l4");
}

// Folders whose names are not text open in place, each the one double-clicked, though two of them
// look alike.
TEST_F(TreeViewTest, FoldersOfNamesThatAreNotTextOpenInPlace) {
    const QByteArray rootBytes = QFile::encodeName(root);
    for (const char* path : {"/tw\xfe", "/tw\xfe/in-fe", "/tw\xfd", "/tw\xfd/in-fd"})
        ASSERT_EQ(::mkdir((rootBytes + path).constData(), 0755), 0);
    GraphFormProbe& f = *form;
    action(f, "tlbRefresh")->trigger();
    settleWindows();
    for (const char* name : {"tw\xfe", "tw\xfd"}) {
        doubleClick(ketra::EntryNamed(f.model().entries(), name));
        ASSERT_EQ(f.model().entries().back().Level, 3);
        EXPECT_EQ(f.model().entries().back().Name, QStringLiteral("in-") + QByteArray(name).right(1).toHex());
        f.m_selectedEntry = f.model().count();
        EXPECT_EQ(f.ItemPath(), rootBytes + '/' + name + "/in-" + QByteArray(name).right(1).toHex());
    }
}
