// The settings store, on a temporary INI file: every key's default, how it is written and read
// back, and what a value that does not convert gives.
#include "../support/fifo_watchdog.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

using ketra::Options;
using ketra::Settings;
using ketra::SettingsValues;

class SettingsStore : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini() const { return dir.filePath("Ketra.ini"); }
    SettingsValues read() const { return Settings(ini()).read("/p"); }
    void writeRaw(const QString& key, const QString& value) {
        QSettings(ini(), QSettings::IniFormat).setValue("Settings/" + key, value);
    }
    QString readRaw(const QString& key) const {
        return QSettings(ini(), QSettings::IniFormat).value("Settings/" + key).toString();
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

// Each boolean option: its key, whether the store holds its opposite, and its first-run value.
struct BoolKey {
    const char* key;
    bool Options::*field;
    bool inverted;
    bool firstRun;
};
// clang-format off
constexpr BoolKey kBoolKeys[] = {
    {"m_includeFolders", &Options::m_includeFolders, true, false}, {"m_logscale", &Options::m_logscale, true, false},
    {"m_showStats", &Options::m_showStats, true, true}, {"m_showHidden", &Options::m_showHidden, true, false},
    {"m_showText", &Options::m_showText, true, true}, {"m_showPopup", &Options::m_showPopup, true, true},
    {"m_bShowShortcuts", &Options::m_bShowShortcuts, true, true}, {"m_showSystem", &Options::m_showSystem, true, false},
    {"m_treeview", &Options::m_treeview, false, false}, {"m_bShowBase", &Options::m_bShowBase, false, true},
    {"m_autoupdate", &Options::m_autoupdate, false, true}};
// clang-format on

class BoolSetting : public SettingsStore, public ::testing::WithParamInterface<BoolKey> {};

TEST_P(BoolSetting, DefaultsWritesAndReadsBack) {
    const BoolKey& k = GetParam();
    EXPECT_EQ(read().options.*k.field, k.firstRun);
    // Turned from its default: stored as the opposite where the key is inverted, and it survives
    // restarts.
    SettingsValues live = read();
    live.options.*k.field = !k.firstRun;
    for (int restart = 0; restart < 2; ++restart) {
        ASSERT_TRUE(Settings(ini()).write(live));
        EXPECT_EQ(read(), live) << restart;
    }
    EXPECT_EQ(readRaw(k.key), (k.firstRun == k.inverted) ? "True" : "False");
    // Read in any case, or as a whole number; what does not convert gives the default.
    const std::pair<const char*, int> texts[] = {{"TRUE", 1}, {"tRuE", 1}, {" false ", 0},
                                                 {"-1", 1},   {"0", 0},    {"yes", -1},
                                                 {"", -1},    {"Tru", -1}, {"1.5e", -1}};
    for (const auto& [text, stored] : texts) {
        writeRaw(k.key, text);
        const bool live = stored < 0 ? k.firstRun : (stored == 1) != k.inverted;
        EXPECT_EQ(read().options.*k.field, live) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, BoolSetting, ::testing::ValuesIn(kBoolKeys),
                         [](const auto& info) { return std::string(info.param.key); });

TEST_F(SettingsStore, AFirstRunReadsTheDefaultsAndWritesNothing) {
    SettingsValues expected;
    expected.current_folder = "/opt/ketra/bin";
    EXPECT_EQ(Settings(ini()).read("/opt/ketra/bin"), expected); // 1000, 1000, 11000 x 8000, case ignored
    EXPECT_FALSE(QFile::exists(ini()));
}

TEST_F(SettingsStore, EighteenKeysAreWrittenAndReadBack) {
    SettingsValues v;
    v.MainLeft = -300;
    v.MainTop = 0;
    v.MainWidth = 9000.4; // whole twips are kept
    v.details = true;
    v.chkCaseValue = 0;
    v.current_folder = "/home/u/a, b [c]/\xC3\xA9t\xE9/x=y;z%41\n\t-"; // not UTF-8 throughout
    ASSERT_TRUE(Settings(ini()).write(v));
    const QStringList written = QSettings(ini(), QSettings::IniFormat).allKeys();
    EXPECT_EQ(written.size(), 18);
    for (const auto& k : Settings::keys())
        EXPECT_TRUE(written.contains(QStringLiteral("Settings/") + k.name)) << k.name;
    EXPECT_EQ(readRaw("MainWidth"), "9000");
    EXPECT_EQ(readRaw("details"), "True");
    EXPECT_EQ(readRaw("chkCaseValue"), "0");
    v.MainWidth = 9000;
    EXPECT_EQ(read(), v);

    // A folder in UTF-8 is written as text, as earlier versions wrote it; their text reads as it
    // stands.
    v.current_folder = "/srv/\xC3\xA9t\xC3\xA9/new\nline";
    ASSERT_TRUE(Settings(ini()).write(v));
    EXPECT_EQ(readRaw("current_folder"), QString::fromUtf8(v.current_folder));
    EXPECT_EQ(read(), v);
    writeRaw("current_folder", "/home/u/100%41 done");
    EXPECT_EQ(read().current_folder, "/home/u/100%41 done");
}

TEST_F(SettingsStore, NumbersThatDoNotConvertGiveTheDefault) {
    struct Case {
        const char* key;
        const char* text;
        double value;
    };
    constexpr Case cases[] = {
        {"MainWidth", "wide", 11000},   {"MainWidth", "", 11000},      {"MainWidth", "nan", 11000},
        {"MainWidth", "inf", 11000},    {"MainWidth", "1e300", 11000}, {"MainTop", "-20000000", 1000},
        {"MainLeft", " 2500 ", 2500},   {"chkCaseValue", "2", 1},      {"chkCaseValue", "-1", 1},
        {"chkCaseValue", "checked", 1}, {"chkCaseValue", "0", 0}};
    for (const Case& c : cases) {
        writeRaw(c.key, c.text);
        const SettingsValues v = read();
        const double got = QLatin1String(c.key) == QLatin1String("MainWidth")  ? v.MainWidth
                           : QLatin1String(c.key) == QLatin1String("MainTop")  ? v.MainTop
                           : QLatin1String(c.key) == QLatin1String("MainLeft") ? v.MainLeft
                                                                               : v.chkCaseValue;
        EXPECT_EQ(got, c.value) << c.key << " = " << c.text;
        writeRaw(c.key, QString::number(c.value)); // the next case starts from a good value
    }
}

// A file that can't be read gives the defaults, says why with its name, and is left as it is:
// nothing waits on a pipe, and only a regular file is ever written over.
TEST_F(SettingsStore, AFileThatCannotBeReadGivesTheDefaultsAndIsKept) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
        const char* reason;
        bool replaceable; // a write (asked for) puts a settings file in its place
    };
    const Case cases[] = {
        {"a pipe", [](const QString& p) { ASSERT_EQ(::mkfifo(QFile::encodeName(p).constData(), 0600), 0); },
         "it is not a regular file", false},
        {"a folder", [](const QString& p) { ASSERT_TRUE(QDir().mkpath(p)); }, "it is not a regular file",
         false},
        {"a syntax error", [](const QString& p) { writeFile(p, "[Settings\nMainWidth=300\n"); },
         "it is not in the INI format", true},
        {"too big",
         [](const QString& p) { writeFile(p, "[Settings]\nMainWidth=300\n;" + QByteArray(70000, 'x')); },
         "it is larger than 64 KiB", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(QString::fromLatin1(c.what) + ".ini");
        c.make(path);
        FifoWatchdog watchdog(path);
        Settings settings(path);
        EXPECT_TRUE(settings.unreadable());
        EXPECT_EQ(settings.read("/p").MainWidth, 11000);
        EXPECT_EQ(settings.error(),
                  QString("The settings file \"%1\" could not be read: %2.").arg(path, c.reason));
        EXPECT_EQ(settings.write(SettingsValues()), c.replaceable) << qPrintable(settings.error());
        EXPECT_FALSE(watchdog.fired());
        EXPECT_EQ(Settings(path).unreadable(), !c.replaceable);
        EXPECT_EQ(settings.error().endsWith("could not be written: it is not a regular file."),
                  !c.replaceable);
    }
}

TEST_F(SettingsStore, WritingKeepsWhatElseTheFileHolds) {
    writeFile(ini(), "[Other]\nkey=kept\n[Settings]\nMainWidth=300\nunknown=kept too\n");
    ASSERT_TRUE(Settings(ini()).write(read()));
    EXPECT_EQ(QSettings(ini(), QSettings::IniFormat).value("Other/key").toString(), "kept");
    EXPECT_EQ(readRaw("unknown"), "kept too");
    EXPECT_EQ(read().MainWidth, 300);
}

} // namespace
