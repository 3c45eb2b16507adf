// The option and sort commands: which reload the folder, which only change what is drawn.
#include "form_fixture.h"

#include "graph/GraphModel.h"

#include <QLabel>

#include <cmath>

// Options that only change what is drawn never reload; the others reload the folder shown.
TEST_F(FormTest, OptionCommandsReloadOnlyWhenThePictureDependsOnThem) {
    const QString dir = makeFolder("opts");
    makeFile("opts/a.txt", 1);
    makeFile("opts/.hidden", 2);
    auto form = startWindow();
    form->openAddress(dir);
    settleWindows();
    ASSERT_EQ(form->m_currentFolder, dir);
    auto files = [&form] { return form->m_overlay.statistics.fileCount; };
    ASSERT_EQ(files(), 1);

    // Hidden files: the scanner is told, and each toggle reloads.
    action(*form, "mnuOptionsHidden")->trigger();
    settleWindows();
    EXPECT_TRUE(action(*form, "mnuOptionsHidden")->isChecked());
    EXPECT_EQ(files(), 2);
    action(*form, "mnuOptionsHidden")->trigger();
    settleWindows();
    EXPECT_EQ(files(), 1);

    // A file appears; the commands that must not reload leave the counts alone.
    makeFile("opts/b.txt", 3);
    for (const char* command :
         {"mnuShortcuts", "tlbStats", "tlbBase", "MENU_BASE", "MENU_ROTATE", "mnuOptionsPopup"}) {
        action(*form, command)->trigger();
        settleWindows();
        EXPECT_EQ(files(), 1) << command;
    }
    const ketra::Options& o = form->m_options;
    EXPECT_FALSE(o.m_bShowShortcuts);
    EXPECT_FALSE(o.m_showStats);
    EXPECT_TRUE(o.m_bShowBase); // turned off and on again
    EXPECT_TRUE(action(*form, "tlbBase")->isChecked());
    EXPECT_TRUE(form->m_autoRotate);
    EXPECT_TRUE(action(*form, "tlbRotate")->isChecked());
    // Pop-up text off: the status line shows.
    EXPECT_FALSE(o.m_showPopup);
    EXPECT_TRUE(control<QLabel>(*form, "txtCurrent")->isVisible());

    // System files and the log scale reload: the new file is seen.
    action(*form, "mnuOptionsSystem")->trigger();
    settleWindows();
    EXPECT_TRUE(o.m_showSystem);
    EXPECT_EQ(files(), 2);
    action(*form, "mnuLog")->trigger();
    settleWindows();
    EXPECT_TRUE(o.m_logscale);
    EXPECT_NEAR(form->model().entry(1).Value, std::log(1.0), 1e-9); // a.txt, 1 byte: ln 1
}

TEST_F(FormTest, SortCommandsKeepOneKeyCheckedAndFlipTheDirection) {
    const QString dir = makeFolder("sort");
    makeFile("sort/b.txt", 1);
    makeFile("sort/a.dat", 30);
    makeFile("sort/c.bin", 20);
    auto form = startWindow();
    form->openAddress(dir);
    settleWindows();
    struct Step {
        const char* command;
        const char* checked; // the one sort key checked afterwards
        bool ascending;
        QStringList names;
    };
    const Step steps[] = {
        {"mnuViewSize", "mnuViewSize", true, {"b.txt", "c.bin", "a.dat"}},
        {"mnuViewAscending", "mnuViewSize", false, {"a.dat", "c.bin", "b.txt"}},
        {"mnuViewType", "mnuViewType", false, {"b.txt", "a.dat", "c.bin"}},
        {"mnuViewName", "mnuViewName", false, {"c.bin", "b.txt", "a.dat"}},
        {"mnuViewAscending", "mnuViewName", true, {"a.dat", "b.txt", "c.bin"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        action(*form, s.command)->trigger();
        settleWindows();
        QStringList names;
        for (int i = 1; i <= form->model().count(); ++i)
            names << form->model().entry(i).Name;
        EXPECT_EQ(names, s.names);
        for (const char* key : {"mnuViewName", "mnuViewType", "mnuViewSize", "mnuViewDate"})
            EXPECT_EQ(action(*form, key)->isChecked(), qstrcmp(key, s.checked) == 0) << key;
        EXPECT_EQ(action(*form, "mnuViewAscending")->isChecked(), s.ascending);
    }
}
