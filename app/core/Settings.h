// The options and the window placement that persist from run to run: eighteen keys in the group
// "Settings" of the per-user settings store of organisation and application "Ketra" (an INI file
// in the user's config folder).
//
// Booleans are written "True" or "False" and read in any case (a whole number reads as false when
// 0 and true otherwise); a value that does not convert gives the key's default. Eight options are
// stored inverted (the store holds the opposite of the live option): m_includeFolders, m_logscale,
// m_showStats, m_showHidden, m_showText, m_showPopup, m_bShowShortcuts and m_showSystem. Their
// defaults are stored values, so a missing key gives the live default of a first run.
#pragma once

#include "graph/Options.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QSettings;

namespace ketra {

// The live values of every key (inverted keys already turned back). The defaults are what a first
// run shows.
struct SettingsValues {
    // Window placement in twips: outer left, top, width and height.
    double MainLeft = 1000;
    double MainTop = 1000;
    double MainWidth = 11000;
    double MainHeight = 8000;
    bool details = false;      // the Details view is checked
    int chkCaseValue = 1;      // the find pane's "Ignore Case": 1 checked, 0 not
    QByteArray current_folder; // its bytes; default: the program's own folder
    Options options;

    friend bool operator==(const SettingsValues&, const SettingsValues&) = default;
};

// One settings key: its name, what it holds and what a missing key reads as.
struct SettingKey {
    enum class Kind { Number, Boolean, Integer, Text };
    const char* name;
    Kind kind;
    bool inverted;             // the store holds the opposite of the live option
    const char* storedDefault; // as text; empty for current_folder (the program's own folder)
};

class Settings {
public:
    // The user's settings store.
    Settings();
    // A settings store in the INI file `iniPath` (tests, portable set-ups).
    explicit Settings(const QString& iniPath);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The eighteen keys, in the order shutdown writes them after the window placement.
    static const std::vector<SettingKey>& keys();

    // Reads every key. `programFolder` is the default of "current_folder".
    SettingsValues read(const QByteArray& programFolder) const;
    // Writes every key (shutdown). Returns false when the store could not be written.
    bool write(const SettingsValues& values);

    // The stored value of a boolean key, as it is in the store (not turned back for inverted
    // keys); the key's stored default when it is missing or does not convert. Start-up sets an
    // option's field to this and then runs the option's command, which negates it.
    bool storedBool(const QString& key) const;
    // A number key (window placement, twips). A value that is not a finite number, or lies beyond
    // +-10,000,000 twips, gives the default.
    double storedNumber(const QString& key) const;
    // "chkCaseValue": 0 or 1; anything else gives 1.
    int storedInteger(const QString& key) const;
    // A text key; `fallback` when it is missing.
    QString storedText(const QString& key, const QString& fallback) const;

    // The store's file (for messages and tests).
    QString fileName() const;

    // How "current_folder" is stored: as text when its bytes are UTF-8 (as earlier versions
    // wrote it), otherwise as a file URL ("file:///home/u/dir%E9"), so that a folder whose name
    // is not UTF-8 comes back byte for byte.
    static QString folderText(const QByteArray& folder);
    static QByteArray folderFromText(const QString& text);

    // How the store reads a boolean's text: "True"/"False" in any case, or a whole number.
    // Empty when the text does not convert.
    static std::optional<bool> parseBool(const QString& text);

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace ketra
