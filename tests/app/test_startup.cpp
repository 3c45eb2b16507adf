// Start-up, the settings store and shutdown, through real windows. How each key is stored is the
// settings store's own test; here the window puts the stored options in place and hands them back.
#include "form_fixture.h"

#include "../support/fifo_watchdog.h"
#include "core/Settings.h"
#include "folders/Paths.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QCheckBox>
#include <QLabel>
#include <QScreen>
#include <QToolBar>

#include <cmath>

#include <sys/stat.h>

namespace {

using ketra::Options;

// Each option with the command that flips it (whose check mark or button shows it), and its value
// on a first run.
struct OptionControl {
    bool Options::*field;
    const char* command;
    bool firstRun;
};
// clang-format off
constexpr OptionControl kOptionControls[] = {
    {&Options::m_logscale, "mnuLog", false}, {&Options::m_includeFolders, "tlbIncFolders", false},
    {&Options::m_showHidden, "mnuOptionsHidden", false}, {&Options::m_showSystem, "mnuOptionsSystem", false},
    {&Options::m_showStats, "tlbStats", true}, {&Options::m_showText, "mnuOptionsImages", true},
    {&Options::m_showPopup, "mnuOptionsPopup", true}, {&Options::m_bShowShortcuts, "mnuShortcuts", true},
    {&Options::m_bShowBase, "MENU_BASE", true}, {&Options::m_treeview, "mnuViewTree3D", false}};
// clang-format on

// Every option and its mark as a first run shows them, but turned the other way where bit i of
// `turned` is set for option i.
void expectOptions(const GraphFormProbe& f, unsigned turned) {
    for (unsigned i = 0; i < std::size(kOptionControls); ++i) {
        const OptionControl& o = kOptionControls[i];
        EXPECT_EQ(f.m_options.*o.field, o.firstRun != ((turned >> i) & 1)) << o.command;
        EXPECT_EQ(action(f, o.command)->isChecked(), f.m_options.*o.field) << o.command;
    }
    EXPECT_EQ(action(f, "tlbBase")->isChecked(), f.m_options.m_bShowBase);
    EXPECT_EQ(control<QLabel>(f, "txtCurrent")->isHidden(), f.m_options.m_showPopup);
}

void expectPlacement(const GraphFormProbe& f, int left, int top, int width, int height) {
    const QRect outer = f.frameGeometry();
    const QRect expected(f.twipsToPixelsX(left), f.twipsToPixelsY(top), f.twipsToPixelsX(width),
                         f.twipsToPixelsY(height));
    EXPECT_LE((outer.topLeft() - expected.topLeft()).manhattanLength(), 2) << outer.x() << "," << outer.y();
    EXPECT_LE(std::abs(outer.width() - expected.width()) + std::abs(outer.height() - expected.height()), 2);
}

} // namespace

TEST_F(FormTest, FirstRunShowsTheDefaultsAndClosingStoresWhatIsShown) {
    auto form = startWindow();
    const GraphFormProbe& f = *form;
    expectPlacement(f, 1000, 1000, 11000, 8000);
    expectOptions(f, 0);
    EXPECT_FALSE(f.m_autoRotate);
    EXPECT_FALSE(action(f, "tlbRotate")->isChecked());
    for (const char* checked : {"mnuView3D", "mnuViewName", "mnuViewAscending"})
        EXPECT_TRUE(action(f, checked)->isChecked()) << checked;
    EXPECT_FALSE(action(f, "mnuViewDetails")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(f, "chkCase")->isChecked());
    EXPECT_FALSE(action(f, "MENU_LOAD")->isVisible());

    // The program's own folder is shown, first in the address list; no way back or forward yet.
    const QString own = GraphForm::programFolder();
    EXPECT_EQ(f.m_currentFolder, own);
    EXPECT_EQ(f.adrList->currentText(), own);
    EXPECT_EQ(f.adrList->itemText(0), own);
    EXPECT_FALSE(action(f, "tlbBack")->isEnabled());
    EXPECT_FALSE(action(f, "tlbNext")->isEnabled());
    EXPECT_TRUE(f.m_deviceReady);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(g_mediaFolder, own + QStringLiteral("/media"));

    // The toolbar's buttons in order: other commands refer to them by position.
    QStringList buttons;
    for (const QAction* a : control<QToolBar>(f, "Toolbar1")->actions())
        buttons << a->objectName();
    EXPECT_EQ(buttons,
              (QStringList{"tlbBack", "tlbNext", "tlbUp", "", "tlbFind", "tlbRotate", "tlbReset", "tlbBase",
                           "", "tlbIncFolders", "tlbStats", "tlbRefresh", "tlbDelete", "", "tlbShowImage"}));

    form->close();
    EXPECT_EQ(store().allKeys().size(), 18);
    const ketra::SettingsValues stored = ketra::Settings().read("/elsewhere");
    EXPECT_EQ(stored.options, f.m_options);
    EXPECT_EQ(stored.current_folder, own);
    EXPECT_EQ(stored.chkCaseValue, 1);
    EXPECT_NEAR(stored.MainWidth, 11000, 30);
}

// Options turned from their defaults, the find pane's case option and the placement survive
// restarts: start-up puts each option in place with its mark, and closing stores it again. Over
// four starts each option is turned in its own pattern (the bits of its place + 1), so no two
// options can stand in for each other.
TEST_F(FormTest, StoredOptionsAndPlacementSurviveRestarts) {
    ketra::SettingsValues stored;
    stored.MainLeft = 1500;
    stored.MainTop = 1200;
    stored.MainWidth = 9000;
    stored.MainHeight = 7000;
    stored.chkCaseValue = 0;
    for (unsigned bit = 0; bit < 4; ++bit) {
        SCOPED_TRACE(bit);
        unsigned turned = 0;
        for (unsigned i = 0; i < std::size(kOptionControls); ++i) {
            const bool turn = ((i + 1) >> bit) & 1;
            turned |= unsigned(turn) << i;
            stored.options.*kOptionControls[i].field = kOptionControls[i].firstRun != turn;
        }
        ASSERT_TRUE(ketra::Settings().write(stored));
        auto form = startWindow();
        expectOptions(*form, turned);
        EXPECT_FALSE(control<QCheckBox>(*form, "chkCase")->isChecked());
        expectPlacement(*form, 1500, 1200, 9000, 7000);
        form->close();
        EXPECT_EQ(ketra::Settings().read({}).options, stored.options);
    }
}

TEST_F(FormTest, AWindowThatNeverStartedWritesNothing) {
    {
        GraphFormProbe form;
        form.show();
        form.close();
    }
    EXPECT_TRUE(store().allKeys().isEmpty());
}

// File > Exit ends the program without the shutdown sequence: the settings are not written, but
// the scanner's folder cache is stored.
TEST_F(FormTest, FileExitWritesNoSettingsButSavesTheFolderCache) {
    auto form = startWindow();
    action(*form, "mnuLog")->trigger();
    settleWindows();
    ASSERT_TRUE(form->m_options.m_logscale);
    action(*form, "mnuFileExit")->trigger();
    settleWindows();
    form->close(); // whatever happens to the window afterwards writes nothing either
    EXPECT_TRUE(store().allKeys().isEmpty());
    EXPECT_FALSE(QDir(cacheFolder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    // The program would end now; the tests' process goes on (its event loops run again).
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// A stored placement larger than the screen, or out of its sight, opens on the screen there is,
// with the picture drawn at the view's size.
TEST_F(FormTest, AStoredPlacementOpensOnTheScreen) {
    for (const QRect twips : {QRect(1000, 1000, 300000, 300000), QRect(200000, -90000, 11000, 8000)}) {
        ketra::SettingsValues stored;
        std::tie(stored.MainLeft, stored.MainTop, stored.MainWidth, stored.MainHeight) =
            std::tuple(twips.x(), twips.y(), twips.width(), twips.height());
        ASSERT_TRUE(ketra::Settings().write(stored));
        auto form = startWindow();
        EXPECT_TRUE(form->screen()->availableGeometry().contains(form->frameGeometry())) << twips.x();
        EXPECT_EQ(g_device->drawnSize(), form->view3D()->pixelSize());
        TRY_VERIFY_WITH_TIMEOUT(form->m_framesDrawn > 0, 30000);
    }
}

// A settings file that can't be read is told of at start-up, the defaults are used, and the file
// is left for the user to mend, unless a setting is changed; a pipe in its place is never waited
// on nor written into.
TEST_F(FormTest, ASettingsFileThatCannotBeReadIsToldOfAndKept) {
    const QString ini = QDir(configFolder()).filePath("Ketra/Ketra.ini");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ini).path()));
    const QByteArray broken = "[Settings\nm_logscale=False\n";
    for (const auto& [pipe, change] : {std::pair{false, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(pipe ? "pipe" : change ? "changed" : "unchanged");
        QFile file(ini);
        file.remove();
        ASSERT_TRUE(pipe ? ::mkfifo(QFile::encodeName(ini).constData(), 0600) == 0
                         : file.open(QIODevice::WriteOnly) && file.write(broken) && file.flush());
        FifoWatchdog watchdog(ini);
        auto form = std::make_unique<GraphFormProbe>();
        ASSERT_TRUE(form->Form_Load());
        auto* box = form->findChild<QMessageBox*>("msgSettingsUnreadable");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().startsWith(
            QString("The settings file \"%1\" could not be read: %2.")
                .arg(ini, pipe ? "it is not a regular file" : "it is not in the INI format")));
        if (change)
            action(*form, "mnuLog")->trigger();
        box->accept();
        settleWindows();
        form->close();
        EXPECT_FALSE(watchdog.fired());
        file.close();
        if (pipe)
            EXPECT_FALSE(QFileInfo(ini).isFile());
        else
            EXPECT_EQ(change ? ketra::Settings().read(QByteArray()).options.m_logscale
                             : (file.open(QIODevice::ReadOnly) && file.readAll() == broken),
                      true);
    }
}
