// The settings store (on a temporary INI file) and the navigation history.
#include "folders/NavigationHistory.h"
#include "core/Settings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

using ketra::NavigationHistory;
using ketra::Settings;
using ketra::SettingsValues;

class SettingsStore : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini() const { return dir.filePath("Ketra.ini"); }
    void writeRaw(const QString& key, const QString& value) {
        QSettings raw(ini(), QSettings::IniFormat);
        raw.setValue("Settings/" + key, value);
    }
    QString readRaw(const QString& key) const {
        QSettings raw(ini(), QSettings::IniFormat);
        return raw.value("Settings/" + key).toString();
    }
};

TEST_F(SettingsStore, FirstRunGivesTheDefaults) {
    const Settings s(ini());
    const SettingsValues v = s.read("/opt/ketra/bin");
    EXPECT_EQ(v.MainLeft, 1000);
    EXPECT_EQ(v.MainTop, 1000);
    EXPECT_EQ(v.MainWidth, 11000);
    EXPECT_EQ(v.MainHeight, 8000);
    EXPECT_FALSE(v.options.m_logscale);
    EXPECT_FALSE(v.options.m_includeFolders);
    EXPECT_FALSE(v.options.m_showHidden);
    EXPECT_FALSE(v.options.m_showSystem);
    EXPECT_TRUE(v.options.m_showStats);
    EXPECT_TRUE(v.options.m_showText);
    EXPECT_TRUE(v.options.m_showPopup);
    EXPECT_TRUE(v.options.m_bShowShortcuts);
    EXPECT_TRUE(v.options.m_bShowBase);
    EXPECT_FALSE(v.options.m_treeview);
    EXPECT_FALSE(v.details);
    EXPECT_TRUE(v.options.m_autoupdate);
    EXPECT_EQ(v.chkCaseValue, 1);
    EXPECT_EQ(v.current_folder, "/opt/ketra/bin");
    // The raw stored defaults that start-up hands to the option commands.
    EXPECT_TRUE(s.storedBool("m_logscale"));
    EXPECT_FALSE(s.storedBool("m_showStats"));
    EXPECT_FALSE(QFile::exists(ini())); // reading writes nothing
}

TEST_F(SettingsStore, EighteenKeysWrittenWithInvertedOptionsInverted) {
    EXPECT_EQ(Settings::keys().size(), 18u);
    Settings s(ini());
    SettingsValues v;
    v.options.m_logscale = true; // turned on by the user
    v.current_folder = "/home/u/a, b [c]";
    ASSERT_TRUE(s.write(v));

    QSettings raw(ini(), QSettings::IniFormat);
    raw.beginGroup("Settings");
    const QStringList written = raw.childKeys();
    EXPECT_EQ(written.size(), 18);
    std::set<QString> expected;
    for (const auto& k : Settings::keys())
        expected.insert(QString::fromLatin1(k.name));
    EXPECT_EQ(std::set<QString>(written.begin(), written.end()), expected);
    raw.endGroup();

    EXPECT_EQ(readRaw("m_logscale"), "False");
    EXPECT_EQ(readRaw("m_includeFolders"), "True");
    EXPECT_EQ(readRaw("m_showStats"), "False");
    EXPECT_EQ(readRaw("m_showHidden"), "True");
    EXPECT_EQ(readRaw("m_showText"), "False");
    EXPECT_EQ(readRaw("m_showPopup"), "False");
    EXPECT_EQ(readRaw("m_bShowShortcuts"), "False");
    EXPECT_EQ(readRaw("m_showSystem"), "True");
    EXPECT_EQ(readRaw("m_bShowBase"), "True");
    EXPECT_EQ(readRaw("m_treeview"), "False");
    EXPECT_EQ(readRaw("details"), "False");
    EXPECT_EQ(readRaw("m_autoupdate"), "True");
    EXPECT_EQ(readRaw("MainWidth"), "11000");
    EXPECT_EQ(readRaw("chkCaseValue"), "1");
    EXPECT_EQ(readRaw("current_folder"), "/home/u/a, b [c]");
}

TEST_F(SettingsStore, EveryOptionSurvivesRestarts) {
    bool ketra::Options::*const options[] = {
        &ketra::Options::m_includeFolders, &ketra::Options::m_logscale,   &ketra::Options::m_showStats,
        &ketra::Options::m_showHidden,     &ketra::Options::m_showText,   &ketra::Options::m_showPopup,
        &ketra::Options::m_bShowShortcuts, &ketra::Options::m_showSystem, &ketra::Options::m_bShowBase,
        &ketra::Options::m_treeview,       &ketra::Options::m_autoupdate,      &ketra::Options::m_autoupdate};
    for (auto option : options) {
        for (bool value : {true, false}) {
            SettingsValues live = Settings(ini()).read("/p");
            live.options.*option = value;
            for (int restart = 0; restart < 3; ++restart) {
                Settings(ini()).write(live);
                EXPECT_EQ(Settings(ini()).read("/p"), live);
            }
        }
    }
}

TEST_F(SettingsStore, PlacementAndOtherValuesRoundTrip) {
    SettingsValues v;
    v.MainLeft = -300;
    v.MainTop = 0;
    v.MainWidth = 9000.4; // whole twips are kept
    v.MainHeight = 7000;
    v.chkCaseValue = 0;
    v.current_folder = QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9/x=y;z");
    Settings(ini()).write(v);
    const SettingsValues back = Settings(ini()).read("/p");
    EXPECT_EQ(back.MainLeft, -300);
    EXPECT_EQ(back.MainTop, 0);
    EXPECT_EQ(back.MainWidth, 9000);
    EXPECT_EQ(back.chkCaseValue, 0);
    EXPECT_EQ(back.current_folder, v.current_folder);
}

TEST_F(SettingsStore, BooleansReadInAnyCase) {
    const std::pair<const char*, bool> cases[] = {{"True", true},     {"TRUE", true},   {"tRuE", true},
                                                  {" false ", false}, {"FALSE", false}, {"-1", true},
                                                  {"0", false},       {"1", true}};
    for (const auto& [text, value] : cases) {
        writeRaw("m_bShowBase", text);
        EXPECT_EQ(Settings(ini()).storedBool("m_bShowBase"), value) << text;
        writeRaw("m_logscale", text); // inverted: the live option is the opposite
        EXPECT_EQ(Settings(ini()).read("/p").options.m_logscale, !value) << text;
    }
}

TEST_F(SettingsStore, ValuesThatDoNotConvertGiveTheDefault) {
    for (const char* bad : {"yes", "", "Tru", "1.5e", "on"}) {
        writeRaw("m_bShowBase", bad);
        writeRaw("m_showStats", bad);
        writeRaw("m_autoupdate", bad);
        const SettingsValues v = Settings(ini()).read("/p");
        EXPECT_TRUE(v.options.m_bShowBase) << bad;
        EXPECT_TRUE(v.options.m_showStats) << bad;
        EXPECT_TRUE(v.options.m_autoupdate) << bad;
    }
    for (const char* bad : {"wide", "", "nan", "inf", "1e300", "-20000000"}) {
        writeRaw("MainWidth", bad);
        EXPECT_EQ(Settings(ini()).read("/p").MainWidth, 11000) << bad;
    }
    for (const char* bad : {"2", "-1", "checked", ""}) {
        writeRaw("chkCaseValue", bad);
        EXPECT_EQ(Settings(ini()).read("/p").chkCaseValue, 1) << bad;
    }
    writeRaw("MainLeft", " 2500 ");
    EXPECT_EQ(Settings(ini()).read("/p").MainLeft, 2500);
}

// ---- navigation history ----

TEST(History, EmptyHistoryGoesNowhere) {
    NavigationHistory h;
    EXPECT_EQ(h.position(), -1);
    EXPECT_FALSE(h.canGoBack());
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.back(), "");
    EXPECT_EQ(h.forward(), "");
    EXPECT_EQ(h.position(), -1);
}

TEST(History, TwelfthEntryShiftsTheHistory) {
    NavigationHistory h;
    for (int i = 0; i <= 10; ++i) {
        h.PushHistory(QString("/f%1").arg(i));
        EXPECT_EQ(h.position(), i);
        EXPECT_EQ(h.top(), i);
    }
    h.PushHistory("/f11");
    EXPECT_EQ(h.position(), 6);
    EXPECT_EQ(h.top(), 6);
    EXPECT_EQ(h.current(), "/f11");
    EXPECT_FALSE(h.canGoForward());
    // Back walks over the kept entries: f10 .. f6 moved to 5 .. 1, then the start-up entry f0.
    QStringList walked;
    while (h.canGoBack())
        walked << h.back();
    EXPECT_EQ(walked, QStringList({"/f10", "/f9", "/f8", "/f7", "/f6", "/f0"}));
    EXPECT_EQ(h.position(), 0);
    // Many more entries keep shifting without leaving the history's room.
    for (int i = 0; i < 100; ++i)
        h.PushHistory(QString("/g%1").arg(i));
    EXPECT_LE(h.position(), NavigationHistory::kMaxPosition);
    EXPECT_EQ(h.current(), "/g99");
    EXPECT_EQ(h.at(0), "/f0");
}

TEST(History, BackAndForwardReachTheEnds) {
    NavigationHistory h;
    for (const char* p : {"/a", "/b", "/c"})
        h.push(p);
    EXPECT_TRUE(h.canGoBack());
    EXPECT_EQ(h.back(), "/b");
    EXPECT_EQ(h.back(), "/a");
    EXPECT_EQ(h.position(), 0);
    EXPECT_FALSE(h.canGoBack());
    EXPECT_EQ(h.back(), ""); // stays at 0
    EXPECT_EQ(h.position(), 0);
    EXPECT_EQ(h.forward(), "/b");
    EXPECT_TRUE(h.canGoForward());
    EXPECT_EQ(h.forward(), "/c");
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.position(), h.top());
}

TEST(History, RecordingAfterBackForgetsWhatLayAhead) {
    NavigationHistory h;
    for (const char* p : {"/a", "/b", "/c", "/d"})
        h.push(p);
    h.back();
    h.back();
    h.push("/x");
    EXPECT_EQ(h.position(), 2);
    EXPECT_EQ(h.top(), 2);
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.at(3), "");
    EXPECT_EQ(h.back(), "/b");
}

} // namespace
