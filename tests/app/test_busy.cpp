// What the window does with actions taken while a folder load is under way: each acts once or is
// refused, and the window ends idle, showing one folder, the address and the entries agreeing.
#include "form_fixture.h"

#include "graph/GraphModel.h"
#include "treescan.h"

#include <QPushButton>
#include "gtest_qtest.h"

namespace {

struct Row {
    const char* name;
    std::function<void(GraphFormProbe&)> act;
    bool endsOnOld; // the load was stopped: the folder shown before stays
};

// A row is named by its action (also in the test's name ctest shows).
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

QWidget* focused(GraphFormProbe& f) {
    QWidget* w = QApplication::focusWidget();
    return w ? w : &f;
}

class BusyTest : public FormTest, public ::testing::WithParamInterface<Row> {};

TEST_P(BusyTest, ActionDuringALoad) {
    const QByteArray a = makeFolder("busy/a").toUtf8();
    const QByteArray b = makeFolder("busy/b").toUtf8();
    makeFile("busy/a/keep.txt", 10);
    for (int i = 0; i < 200; ++i)
        makeFile(QStringLiteral("busy/b/f%1").arg(i), i);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f, 30000));
    f.enterFolder(a);
    settleWindows();
    ASSERT_EQ(f.m_currentFolder, a);
    f.Picture1->setFocus();

    SlowDownScans(2000); // 200 entries: some 0.4 s of listing
    f.enterFolder(b);
    ASSERT_TRUE(f.busy());
    GetParam().act(f);
    SlowDownScans(0);
    settleWindows();
    if (QString(GetParam().name) == "close") {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, 30000)) << "the close was carried out";
        EXPECT_EQ(store().value("Settings/current_folder").toString().toUtf8(), a);
        return;
    }
    const QByteArray shown = GetParam().endsOnOld ? a : b;
    EXPECT_FALSE(f.busy());
    EXPECT_EQ(f.m_currentFolder, shown);
    EXPECT_EQ(f.addressPath(), shown);
    EXPECT_EQ(f.model().count(), GetParam().endsOnOld ? 1 : 200);
    EXPECT_TRUE(f.cmdStop->isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(a) + "/keep.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Load, BusyTest,
    ::testing::Values(Row{"click",
                          [](GraphFormProbe& f) {
                              QTest::mouseClick(f.Picture1, Qt::LeftButton, {}, f.Picture1->rect().center());
                          },
                          false},
                      Row{"key", [](GraphFormProbe& f) { QTest::keyClick(focused(f), Qt::Key_Backspace); }, false},
                      Row{"enter",
                          [](GraphFormProbe& f) {
                              f.adrList->setEditText(QStringLiteral("/"));
                              QTest::keyClick(focused(f), Qt::Key_Return);
                          },
                          false},
                      Row{"stop", [](GraphFormProbe& f) { QTest::mouseClick(f.cmdStop, Qt::LeftButton); }, true},
                      Row{"back", [](GraphFormProbe& f) { action(f, "tlbBack")->trigger(); }, false},
                      Row{"reload", [](GraphFormProbe& f) { QTest::keyClick(focused(f), Qt::Key_F5); }, false},
                      Row{"delete", [](GraphFormProbe& f) { QTest::keyClick(focused(f), Qt::Key_Delete); }, false},
                      Row{"close", [](GraphFormProbe& f) { f.close(); }, true}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
