#include "core/Settings.h"

#include <QSettings>
#include <QStringList>

#include <cmath>

namespace ketra {

namespace {

const QString kGroup = QStringLiteral("Settings");
constexpr double kPlacementLimit = 10'000'000; // twips, about 7,000 inches

using K = SettingKey::Kind;

const SettingKey* findKey(const QString& name) {
    for (const SettingKey& k : Settings::keys()) {
        if (name == QLatin1String(k.name))
            return &k;
    }
    return nullptr;
}

QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The number text of a placement value: whole twips.
QString numberText(double value) {
    return QString::number(std::llround(value));
}

} // namespace

const std::vector<SettingKey>& Settings::keys() {
    static const std::vector<SettingKey> table = {
        {"MainLeft", K::Number, false, "1000"},          {"MainTop", K::Number, false, "1000"},
        {"MainWidth", K::Number, false, "11000"},        {"MainHeight", K::Number, false, "8000"},
        {"m_includeFolders", K::Boolean, true, "True"},  {"m_showStats", K::Boolean, true, "False"},
        {"m_showHidden", K::Boolean, true, "True"},      {"m_showText", K::Boolean, true, "False"},
        {"m_showPopup", K::Boolean, true, "False"},      {"m_treeview", K::Boolean, false, "False"},
        {"m_bShowShortcuts", K::Boolean, true, "False"}, {"m_logscale", K::Boolean, true, "True"},
        {"m_showSystem", K::Boolean, true, "True"},      {"chkCaseValue", K::Integer, false, "1"},
        {"current_folder", K::Text, false, ""},          {"m_bShowBase", K::Boolean, false, "True"},
        {"details", K::Boolean, false, "False"},         {"m_autoupdate", K::Boolean, false, "True"},
    };
    return table;
}

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Ketra"),
                                          QStringLiteral("Ketra"))) {}

Settings::Settings(const QString& iniPath)
    : m_store(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

Settings::~Settings() = default;

QString Settings::fileName() const {
    return m_store->fileName();
}

std::optional<bool> Settings::parseBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const long long n = t.toLongLong(&isNumber);
    if (isNumber)
        return n != 0;
    return std::nullopt;
}

namespace {

// The raw text of a key in the group, or nothing when the key is missing. A value that the INI
// reader split at commas (a hand-edited list) is joined again.
std::optional<QString> rawText(const QSettings& store, const QString& key) {
    const QString path = kGroup + QLatin1Char('/') + key;
    if (!store.contains(path))
        return std::nullopt;
    const QVariant v = store.value(path);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

} // namespace

bool Settings::storedBool(const QString& key) const {
    const SettingKey* k = findKey(key);
    const bool fallback = k && QLatin1String(k->storedDefault) == QLatin1String("True");
    const std::optional<QString> text = rawText(*m_store, key);
    if (!text)
        return fallback;
    return parseBool(*text).value_or(fallback);
}

double Settings::storedNumber(const QString& key) const {
    const SettingKey* k = findKey(key);
    const double fallback = k ? QString::fromLatin1(k->storedDefault).toDouble() : 0;
    const std::optional<QString> text = rawText(*m_store, key);
    if (!text)
        return fallback;
    bool ok = false;
    const double value = text->trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > kPlacementLimit)
        return fallback;
    return value;
}

int Settings::storedInteger(const QString& key) const {
    const std::optional<QString> text = rawText(*m_store, key);
    if (!text)
        return 1;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok);
    return (ok && (value == 0 || value == 1)) ? value : 1;
}

QString Settings::storedText(const QString& key, const QString& fallback) const {
    return rawText(*m_store, key).value_or(fallback);
}

QString Settings::folderText(const QByteArray& folder) {
    const QString text = QString::fromUtf8(folder);
    if (text.toUtf8() == folder && !text.startsWith(QLatin1String("file:")))
        return text; // as earlier versions wrote it, and read by them
    return QStringLiteral("file://") + QString::fromLatin1(folder.toPercentEncoding("/"));
}

QByteArray Settings::folderFromText(const QString& text) {
    if (text.startsWith(QLatin1String("file://")))
        return QByteArray::fromPercentEncoding(text.mid(7).toUtf8());
    return text.toUtf8();
}

SettingsValues Settings::read(const QByteArray& programFolder) const {
    SettingsValues v;
    v.MainLeft = storedNumber(QStringLiteral("MainLeft"));
    v.MainTop = storedNumber(QStringLiteral("MainTop"));
    v.MainWidth = storedNumber(QStringLiteral("MainWidth"));
    v.MainHeight = storedNumber(QStringLiteral("MainHeight"));
    v.options.m_treeview = storedBool(QStringLiteral("m_treeview"));
    v.options.m_autoupdate = storedBool(QStringLiteral("m_autoupdate"));
    v.details = storedBool(QStringLiteral("details"));
    v.options.m_includeFolders = !storedBool(QStringLiteral("m_includeFolders"));
    v.options.m_logscale = !storedBool(QStringLiteral("m_logscale"));
    v.options.m_showStats = !storedBool(QStringLiteral("m_showStats"));
    v.options.m_showHidden = !storedBool(QStringLiteral("m_showHidden"));
    v.options.m_showText = !storedBool(QStringLiteral("m_showText"));
    v.options.m_showPopup = !storedBool(QStringLiteral("m_showPopup"));
    v.options.m_bShowShortcuts = !storedBool(QStringLiteral("m_bShowShortcuts"));
    v.options.m_showSystem = !storedBool(QStringLiteral("m_showSystem"));
    v.chkCaseValue = storedInteger(QStringLiteral("chkCaseValue"));
    const std::optional<QString> folder = rawText(*m_store, QStringLiteral("current_folder"));
    v.current_folder = folder ? folderFromText(*folder) : programFolder;
    v.options.m_bShowBase = storedBool(QStringLiteral("m_bShowBase"));
    return v;
}

bool Settings::write(const SettingsValues& v) {
    QSettings& s = *m_store;
    s.beginGroup(kGroup);
    s.setValue(QStringLiteral("MainLeft"), numberText(v.MainLeft));
    s.setValue(QStringLiteral("MainTop"), numberText(v.MainTop));
    s.setValue(QStringLiteral("MainWidth"), numberText(v.MainWidth));
    s.setValue(QStringLiteral("MainHeight"), numberText(v.MainHeight));
    s.setValue(QStringLiteral("m_includeFolders"), boolText(!v.options.m_includeFolders));
    s.setValue(QStringLiteral("m_showStats"), boolText(!v.options.m_showStats));
    s.setValue(QStringLiteral("m_showHidden"), boolText(!v.options.m_showHidden));
    s.setValue(QStringLiteral("m_showText"), boolText(!v.options.m_showText));
    s.setValue(QStringLiteral("m_showPopup"), boolText(!v.options.m_showPopup));
    s.setValue(QStringLiteral("m_treeview"), boolText(v.options.m_treeview));
    s.setValue(QStringLiteral("m_bShowShortcuts"), boolText(!v.options.m_bShowShortcuts));
    s.setValue(QStringLiteral("m_logscale"), boolText(!v.options.m_logscale));
    s.setValue(QStringLiteral("m_showSystem"), boolText(!v.options.m_showSystem));
    s.setValue(QStringLiteral("chkCaseValue"), QString::number(v.chkCaseValue));
    s.setValue(QStringLiteral("current_folder"), folderText(v.current_folder));
    s.setValue(QStringLiteral("m_bShowBase"), boolText(v.options.m_bShowBase));
    s.setValue(QStringLiteral("details"), boolText(v.details));
    s.setValue(QStringLiteral("m_autoupdate"), boolText(v.options.m_autoupdate));
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

} // namespace ketra
