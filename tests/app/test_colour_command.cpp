// Options > "3D Bar colors" through the window: one dialog at a time, and "Apply" colours the bars
// at once and keeps the colours in the user's own colour file.
#include "form_fixture.h"

#include "colours/BarColoursDialog.h"
#include "graph/GraphModel.h"

#include <QPushButton>

TEST_F(FormTest, AppliedColoursReachTheBarsAndTheUsersFile) {
    const QString dir = makeFolder("colours");
    makeFile("colours/x.txt", 10);
    auto form = startWindow();
    GraphFormProbe& f = *form;
    f.openAddress(dir);
    settleWindows();

    action(f, "mnuBarCols")->trigger();
    settleWindows();
    auto* dialog = f.findChild<frmbarCols*>(QStringLiteral("frmbarCols"));
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    action(f, "mnuBarCols")->trigger(); // brings the same dialog to the front
    EXPECT_EQ(f.findChildren<frmbarCols*>().size(), 1);

    QTest::mouseClick(dialog->cmdAdd, Qt::LeftButton);
    settleWindows();
    QTest::keyClicks(dialog->txtExt, "txt");
    for (auto [box, value] : {std::pair{dialog->red, "10"}, {dialog->green, "20"}, {dialog->blue, "30"}}) {
        box->selectAll();
        QTest::keyClicks(box, value);
    }
    QTest::mouseClick(dialog->cmdOk, Qt::LeftButton);
    settleWindows();
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    settleWindows();
    EXPECT_EQ(f.model().entry(1).Colour, 0xFF0A141Eu);
    EXPECT_TRUE(QFile::exists(configFolder() + "/Ketra/ext.txt"));
    QTest::mouseClick(dialog->cmdClose, Qt::LeftButton);
    settleWindows();
    TRY_VERIFY(f.findChildren<frmbarCols*>().isEmpty()); // closed is gone
}
