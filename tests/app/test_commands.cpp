// The window's controls, menus and toolbar, and the option commands.
#include "form_fixture.h"

#include "graph/GraphModel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QToolBar>

namespace {

QAction* action(GraphForm& form, const char* name) {
    auto* a = form.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

} // namespace

TEST_F(FormTest, EveryControlMenuItemAndButtonCarriesItsName) {
    GraphForm form;
    const char* widgets[] = {
        "Toolbar1",      "cmdStop",    "Frame2",      "adrLabel",    "adrList",   "prog",       "Frame1",
        "lblFind",       "txtFind",    "cmdFind",     "Label1",      "txtFindIn", "frmOptions", "chkCase",
        "chkGT",         "txtGT",      "chkLT",       "txtLT",       "cmdX",      "cmdUp",      "LstFind",
        "cmdStopSearch", "cmdClose",   "imgSplitter", "picSplitter", "Picture1",  "ListView1",  "txtCurrent",
        "Command1",      "MENU_POPUP", "MENU_CONTEXT"};
    for (const char* name : widgets)
        EXPECT_NE(form.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_NE(form.findChild<QObject*>("Timer1"), nullptr);

    const char* actions[] = {"mnuFileExit",
                             "mnuEditFind",
                             "mnuView3D",
                             "mnuViewTree3D",
                             "mnuViewDetails",
                             "mnuViewName",
                             "mnuViewSize",
                             "mnuViewType",
                             "mnuViewDate",
                             "mnuViewAscending",
                             "mnuOptionsHidden",
                             "mnuOptionsSystem",
                             "mnuOptionsImages",
                             "mnuOptionsPopup",
                             "mnuBarCols",
                             "mnuShortcuts",
                             "mnuLog",
                             "mnuHelpHelp",
                             "mnuAbout",
                             "MENU_UP",
                             "MENU_REFRESH",
                             "MENU_RESET",
                             "MENU_ROTATE",
                             "MENU_BASE",
                             "MENU_LOAD",
                             "mnuContentOpen",
                             "mnuFolderOpen",
                             "mnuContentDelete",
                             "mnuContentproperties"};
    for (const char* name : actions)
        EXPECT_NE(form.findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;

    // The data-file command is in the view's menu but never visible.
    auto* popup = form.findChild<QMenu*>("MENU_POPUP");
    EXPECT_TRUE(popup->actions().contains(action(form, "MENU_LOAD")));
    EXPECT_FALSE(action(form, "MENU_LOAD")->isVisible());
    EXPECT_EQ(action(form, "mnuFolderOpen")->text(), QStringLiteral("Open Folder in File Manager"));
    EXPECT_EQ(form.findChild<QLabel*>("lblFind")->text(), QStringLiteral("Find filenames containing:"));
    EXPECT_EQ(form.findChild<QWidget*>("chkGT")->property("text").toString(), QStringLiteral("Filesize  >="));
}

TEST_F(FormTest, ToolbarButtonsComeInOrderWithTheirTips) {
    GraphForm form;
    const std::pair<const char*, const char*> buttons[] = {
        {"tlbBack", "Previous Folder"},
        {"tlbNext", "Next Folder"},
        {"tlbUp", "Parent Folder"},
        {"", ""},
        {"tlbFind", "Find Files"},
        {"tlbRotate", "Auto Rotate"},
        {"tlbReset", "Reset View"},
        {"tlbBase", "Show Base"},
        {"", ""},
        {"tlbIncFolders", "Include Folder Sizes"},
        {"tlbStats", "Show folder statistics"},
        {"tlbRefresh", "Refresh this folder"},
        {"tlbDelete", "Remove File or Folder"},
        {"", ""},
        {"tlbShowImage", nullptr},
    };
    const QList<QAction*> onBar = form.findChild<QToolBar*>("Toolbar1")->actions();
    ASSERT_EQ(onBar.size(), static_cast<qsizetype>(std::size(buttons)));
    for (std::size_t i = 0; i < std::size(buttons); ++i) {
        const auto& [key, tip] = buttons[i];
        QAction* a = onBar.at(static_cast<qsizetype>(i));
        SCOPED_TRACE(i + 1);
        if (*key == '\0') {
            EXPECT_TRUE(a->isSeparator());
            continue;
        }
        EXPECT_EQ(a->objectName(), QString::fromLatin1(key));
        if (tip) {
            EXPECT_EQ(a->toolTip(), QString::fromLatin1(tip));
        }
        EXPECT_FALSE(a->icon().isNull()) << key;
    }
    for (const char* pressed : {"tlbFind", "tlbRotate", "tlbBase", "tlbIncFolders", "tlbStats"})
        EXPECT_TRUE(action(form, pressed)->isCheckable()) << pressed;
}

// Options that only change what is drawn never reload; the others reload the folder shown.
TEST_F(FormTest, OptionCommandsReloadOnlyWhenThePictureDependsOnThem) {
    const QString dir = makeFolder("opts");
    makeFile("opts/a.txt", 1);
    makeFile("opts/.hidden", 2);
    auto form = startWindow();
    form->openAddress(dir);
    ASSERT_EQ(form->m_currentFolder, dir);
    ASSERT_EQ(form->m_overlay.statistics.fileCount, 1);

    // Hidden files: the scanner is told, and each toggle reloads.
    action(*form, "mnuOptionsHidden")->trigger();
    EXPECT_TRUE(action(*form, "mnuOptionsHidden")->isChecked());
    EXPECT_EQ(form->m_overlay.statistics.fileCount, 2);
    action(*form, "mnuOptionsHidden")->trigger();
    EXPECT_EQ(form->m_overlay.statistics.fileCount, 1);

    // A file appears; the commands that must not reload leave the counts alone.
    makeFile("opts/b.txt", 3);
    for (const char* command : {"mnuShortcuts", "tlbStats", "tlbBase", "MENU_BASE", "MENU_ROTATE"}) {
        action(*form, command)->trigger();
        EXPECT_EQ(form->m_overlay.statistics.fileCount, 1) << command;
    }
    EXPECT_FALSE(form->m_options.m_bShowShortcuts);
    EXPECT_FALSE(form->m_options.m_showStats);
    EXPECT_TRUE(form->m_options.m_bShowBase); // turned off and on again
    EXPECT_TRUE(action(*form, "tlbBase")->isChecked());
    EXPECT_TRUE(form->m_autoRotate);
    EXPECT_TRUE(action(*form, "tlbRotate")->isChecked());

    // Pop-up text changes the layout, not the folder.
    action(*form, "mnuOptionsPopup")->trigger();
    EXPECT_FALSE(form->m_options.m_showPopup);
    EXPECT_TRUE(form->findChild<QLabel*>("txtCurrent")->isVisible());
    EXPECT_EQ(form->m_overlay.statistics.fileCount, 1);
    action(*form, "mnuOptionsPopup")->trigger();
    EXPECT_TRUE(form->findChild<QLabel*>("txtCurrent")->isHidden());

    // Log scale reloads: the new file is seen.
    action(*form, "mnuLog")->trigger();
    EXPECT_TRUE(form->m_options.m_logscale);
    EXPECT_EQ(form->m_overlay.statistics.fileCount, 2);
}

TEST_F(FormTest, SortCommandsKeepOneKeyCheckedAndFlipTheDirection) {
    const QString dir = makeFolder("sort");
    makeFile("sort/b.txt", 1);
    makeFile("sort/a.txt", 30);
    makeFile("sort/c.txt", 20);
    auto form = startWindow();
    form->openAddress(dir);
    auto names = [&form] {
        QStringList out;
        for (int i = 1; i <= form->model().count(); ++i)
            out << form->model().entry(i).Name;
        return out;
    };
    EXPECT_EQ(names(), (QStringList{"a.txt", "b.txt", "c.txt"}));
    action(*form, "mnuViewSize")->trigger();
    EXPECT_EQ(names(), (QStringList{"b.txt", "c.txt", "a.txt"}));
    for (const char* other : {"mnuViewName", "mnuViewType", "mnuViewDate"})
        EXPECT_FALSE(action(*form, other)->isChecked()) << other;
    EXPECT_TRUE(action(*form, "mnuViewSize")->isChecked());
    action(*form, "mnuViewAscending")->trigger();
    EXPECT_FALSE(action(*form, "mnuViewAscending")->isChecked());
    EXPECT_EQ(names(), (QStringList{"a.txt", "c.txt", "b.txt"}));
    action(*form, "mnuViewName")->trigger();
    EXPECT_EQ(names(), (QStringList{"c.txt", "b.txt", "a.txt"}));
    EXPECT_FALSE(action(*form, "mnuViewSize")->isChecked());
}
