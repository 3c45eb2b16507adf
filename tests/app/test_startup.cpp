// Start-up, the settings store and shutdown, through real windows.
#include "form_fixture.h"
#include "folders/Paths.h"

#include "scene/D3DUtil.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>

#include <cmath>

namespace {

QAction* action(GraphForm& form, const char* name) {
    auto* a = form.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

void expectNear(int actual, int expected, const char* what) {
    EXPECT_LE(std::abs(actual - expected), 1) << what << ": " << actual << " vs " << expected;
}

} // namespace

TEST_F(FormTest, FirstRunShowsTheDefaults) {
    auto form = startWindow();
    GraphForm& f = *form;

    // Placement: (1000, 1000) twips, 11000 x 8000 twips outside.
    const QRect outer = f.frameGeometry();
    expectNear(outer.left(), f.twipsToPixelsX(1000), "left");
    expectNear(outer.top(), f.twipsToPixelsY(1000), "top");
    expectNear(outer.width(), f.twipsToPixelsX(11000), "width");
    expectNear(outer.height(), f.twipsToPixelsY(8000), "height");

    struct Option {
        const char* name;
        bool live;
        bool expected;
        const char* action;
    };
    const Option options[] = {
        {"m_logscale", f.m_options.m_logscale, false, "mnuLog"},
        {"m_includeFolders", f.m_options.m_includeFolders, false, "tlbIncFolders"},
        {"m_showHidden", f.m_options.m_showHidden, false, "mnuOptionsHidden"},
        {"m_showSystem", f.m_options.m_showSystem, false, "mnuOptionsSystem"},
        {"m_showStats", f.m_options.m_showStats, true, "tlbStats"},
        {"m_showText", f.m_options.m_showText, true, "mnuOptionsImages"},
        {"m_showPopup", f.m_options.m_showPopup, true, "mnuOptionsPopup"},
        {"m_bShowShortcuts", f.m_options.m_bShowShortcuts, true, "mnuShortcuts"},
        {"m_bShowBase", f.m_options.m_bShowBase, true, "MENU_BASE"},
        {"m_autoRotate", f.m_autoRotate, false, "MENU_ROTATE"},
    };
    for (const Option& o : options) {
        EXPECT_EQ(o.live, o.expected) << o.name;
        EXPECT_EQ(action(f, o.action)->isChecked(), o.expected) << o.action;
    }
    EXPECT_TRUE(action(f, "tlbBase")->isChecked());
    EXPECT_FALSE(action(f, "tlbRotate")->isChecked());
    EXPECT_FALSE(f.m_options.m_treeview);
    EXPECT_TRUE(f.m_options.m_autoupdate);
    EXPECT_TRUE(action(f, "mnuView3D")->isChecked());
    EXPECT_FALSE(action(f, "mnuViewDetails")->isChecked());
    EXPECT_TRUE(action(f, "mnuViewName")->isChecked());
    EXPECT_TRUE(action(f, "mnuViewAscending")->isChecked());
    EXPECT_TRUE(f.findChild<QCheckBox*>("chkCase")->isChecked());
    // Pop-up text on: the status line is hidden.
    EXPECT_TRUE(f.findChild<QLabel*>("txtCurrent")->isHidden());

    // The program's own folder is shown, first in the address list; no way back or forward yet.
    const QString own = GraphForm::programFolder();
    EXPECT_EQ(f.m_currentFolder, own);
    auto* adr = f.findChild<QComboBox*>("adrList");
    EXPECT_EQ(adr->currentText(), own);
    ASSERT_GE(adr->count(), 1);
    EXPECT_EQ(adr->itemText(0), own);
    EXPECT_FALSE(action(f, "tlbBack")->isEnabled());
    EXPECT_FALSE(action(f, "tlbNext")->isEnabled());
    EXPECT_TRUE(f.m_deviceReady);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(g_mediaFolder, ketra::joinPath(own, QStringLiteral("media")));

    // The list columns set up at start-up.
    auto headers = [&f](const char* list) {
        auto* tree = f.findChild<QTreeWidget*>(QString::fromLatin1(list));
        QStringList out;
        for (int i = 0; i < tree->columnCount(); ++i)
            out << tree->headerItem()->text(i);
        return out;
    };
    EXPECT_EQ(headers("ListView1"), (QStringList{"Filename", "Size", "Modified"}));
    EXPECT_EQ(headers("LstFind"), (QStringList{"Filename", "Folder", "Size"}));
}

TEST_F(FormTest, AWindowThatNeverStartedWritesNothing) {
    {
        GraphForm form;
        form.show();
        form.close();
    }
    EXPECT_TRUE(store().allKeys().isEmpty());
}

TEST_F(FormTest, ClosingWritesEveryKeyWithTheInvertedOnesInverted) {
    startWindow()->close();
    QSettings s = store();
    s.beginGroup(QStringLiteral("Settings"));
    // Stored values of a first run's options: the inverted keys hold the opposite of the live option.
    const std::pair<const char*, const char*> expected[] = {
        {"m_includeFolders", "True"},  {"m_logscale", "True"},   {"m_showStats", "False"},
        {"m_showHidden", "True"},      {"m_showText", "False"},  {"m_showPopup", "False"},
        {"m_bShowShortcuts", "False"}, {"m_showSystem", "True"}, {"m_treeview", "False"},
        {"m_bShowBase", "True"},       {"m_autoupdate", "True"}, {"details", "False"},
        {"chkCaseValue", "1"},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(s.value(QString::fromLatin1(key)).toString(), QString::fromLatin1(value)) << key;
    EXPECT_EQ(s.value("current_folder").toString(), GraphForm::programFolder());
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        EXPECT_TRUE(s.contains(QString::fromLatin1(key))) << key;
    EXPECT_EQ(s.allKeys().size(), 18);
}

// Each option turned from its default survives any number of restarts.
TEST_F(FormTest, EveryPersistentOptionSurvivesRestarts) {
    struct Case {
        const char* command;
        bool ketra::Options::*flag;
    };
    const Case cases[] = {
        {"tlbIncFolders", &ketra::Options::m_includeFolders}, {"mnuLog", &ketra::Options::m_logscale},
        {"tlbStats", &ketra::Options::m_showStats},           {"mnuOptionsHidden", &ketra::Options::m_showHidden},
        {"mnuOptionsImages", &ketra::Options::m_showText},    {"mnuOptionsPopup", &ketra::Options::m_showPopup},
        {"mnuShortcuts", &ketra::Options::m_bShowShortcuts},  {"mnuOptionsSystem", &ketra::Options::m_showSystem},
        {"MENU_BASE", &ketra::Options::m_bShowBase},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        store().clear();
        bool changed = false;
        {
            auto form = startWindow();
            changed = !(form->m_options.*c.flag);
            action(*form, c.command)->trigger();
            ASSERT_EQ(form->m_options.*c.flag, changed);
            form->close();
        }
        for (int restart = 0; restart < 2; ++restart) {
            auto form = startWindow();
            EXPECT_EQ(form->m_options.*c.flag, changed) << "restart " << restart;
            EXPECT_EQ(action(*form, c.command)->isChecked(), changed) << "restart " << restart;
            form->close();
        }
    }
}

TEST_F(FormTest, IgnoreCaseAndPlacementSurviveARestart) {
    {
        auto form = startWindow();
        form->findChild<QCheckBox*>("chkCase")->setChecked(false);
        form->move(form->twipsToPixelsX(1500), form->twipsToPixelsY(1200));
        form->resize(form->twipsToPixelsX(9000), form->twipsToPixelsY(7000));
        QCoreApplication::processEvents();
        form->close();
    }
    EXPECT_EQ(store().value("Settings/chkCaseValue").toString(), QStringLiteral("0"));
    auto form = startWindow();
    EXPECT_FALSE(form->findChild<QCheckBox*>("chkCase")->isChecked());
    expectNear(form->frameGeometry().left(), form->twipsToPixelsX(1500), "left");
    expectNear(form->frameGeometry().top(), form->twipsToPixelsY(1200), "top");
    expectNear(form->frameGeometry().width(), form->twipsToPixelsX(9000), "width");
    expectNear(form->frameGeometry().height(), form->twipsToPixelsY(7000), "height");
}

TEST_F(FormTest, FileExitKeepsTheSettingsOfTheLastCloseButSavesTheFolderCache) {
    startWindow()->close(); // a normal close: the defaults are stored
    const QString before = store().value("Settings/m_logscale").toString();
    ASSERT_EQ(before, QStringLiteral("True"));
    QDir(cacheFolder()).removeRecursively();
    {
        auto form = startWindow();
        action(*form, "mnuLog")->trigger();
        ASSERT_TRUE(form->m_options.m_logscale);
        action(*form, "mnuFileExit")->trigger();
        form->close(); // whatever happens to the window afterwards writes nothing either
    }
    EXPECT_EQ(store().value("Settings/m_logscale").toString(), before);
    EXPECT_FALSE(startWindow()->m_options.m_logscale);
    // The scanner's folder cache was stored on the way out.
    EXPECT_FALSE(QDir(cacheFolder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(FormTest, UnreadableStoredValuesGiveTheDefaults) {
    {
        QSettings s = store();
        s.beginGroup(QStringLiteral("Settings"));
        s.setValue("m_logscale", "maybe");
        s.setValue("m_showStats", "TRUE"); // booleans are read case-insensitively: stats off
        s.setValue("MainWidth", "wide");
        s.setValue("chkCaseValue", "x");
    }
    auto form = startWindow();
    EXPECT_FALSE(form->m_options.m_logscale);
    EXPECT_FALSE(form->m_options.m_showStats);
    expectNear(form->frameGeometry().width(), form->twipsToPixelsX(11000), "width");
    EXPECT_TRUE(form->findChild<QCheckBox*>("chkCase")->isChecked());
}
