// The options and the window placement that persist from run to run: eighteen keys in the group
// "Settings" of the per-user settings store of organisation and application "Ketra" (an INI file
// in the user's config folder).
//
// The file is read once, when the store is made: only a regular file, opened without blocking (a
// pipe or a device in its place is never waited on), of at most kMaxFileBytes. A file that can't
// be read, or is not in the INI format, gives every key's default and is left as it is: writing
// it over is the caller's choice (see unreadable()). QSettings works on a private copy of what
// was read; writing replaces the file as a whole (a new file renamed into its place), and never
// writes into anything but a regular file.
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
#include <QTemporaryDir>

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

// The options a person sets (menus, toolbar, the view, "Ignore Case") differ between `a` and
// `b`; the window's placement and the folder shown are not counted.
bool UserSettingsDiffer(const SettingsValues& a, const SettingsValues& b);

class Settings {
public:
    // The largest settings file read: far more than the eighteen keys take.
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    // The user's settings store: "Ketra/Ketra.ini" in the user's config folder.
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
    // Writes every key (shutdown), keeping the other groups and keys of a file that was read.
    // Returns false when the file could not be written (error() says why).
    bool write(const SettingsValues& values);

    // The file is there but could not be read (not a regular file, too big, unreadable, or not
    // in the INI format): every key reads as its default.
    bool unreadable() const { return m_unreadable; }
    // Why the file could not be read or written last, as a sentence naming the file; empty when
    // nothing failed.
    QString error() const { return m_error; }

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
    // Reads the file into the private copy (the constructor).
    void load();

    QString m_path;         // the settings file
    QTemporaryDir m_copyIn; // holds the private copy QSettings works on
    std::unique_ptr<QSettings> m_store;
    bool m_unreadable = false;
    QString m_error;
};

} // namespace ketra
