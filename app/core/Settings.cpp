#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool UserSettingsDiffer(const SettingsValues& a, const SettingsValues& b) {
    // The changes mode is not stored: turning it on changes no setting.
    Options first = a.options, second = b.options;
    first.m_showChanges = second.m_showChanges = false;
    return first != second || a.details != b.details || a.chkCaseValue != b.chkCaseValue;
}

namespace {

// What reading a file without blocking gave: its bytes (none for a missing file), or why there
// are none.
struct FileBytes {
    QByteArray bytes;
    QString failure; // empty when read or missing
};

// Reads `path` when it is a regular file of at most `limit` bytes. It is opened without blocking
// (O_NONBLOCK: a pipe or device in its place is refused, never waited on) and checked on the
// descriptor that is read.
FileBytes readRegularFile(const QString& path, qint64 limit) {
    FileBytes out;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            out.failure = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.failure = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        out.failure = QStringLiteral("it is not a regular file");
    } else {
        // One byte past the limit tells a file that grew beyond it since fstat.
        out.bytes.resize(static_cast<qsizetype>(std::min<qint64>(st.st_size, limit) + 1));
        qsizetype got = 0;
        while (got < out.bytes.size()) {
            const ssize_t n = ::read(fd, out.bytes.data() + got, static_cast<size_t>(out.bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                out.failure = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        out.bytes.truncate(got);
        if (out.failure.isEmpty() && (st.st_size > limit || got > limit))
            out.failure = QStringLiteral("it is larger than %1 KiB").arg(limit / 1024);
    }
    ::close(fd);
    if (!out.failure.isEmpty())
        out.bytes.clear();
    return out;
}

QString userSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ketra/Ketra.ini");
}

} // namespace

Settings::Settings() : Settings(userSettingsFile()) {}

Settings::Settings(const QString& iniPath) : m_path(iniPath) {
    load();
}

Settings::~Settings() = default;

void Settings::load() {
    // QSettings reads its file when it is made, and waits on a pipe: it only ever sees a copy of
    // what was read here, in a folder of this store's own.
    const QString copy = m_copyIn.isValid() ? m_copyIn.filePath(QStringLiteral("Ketra.ini")) : QString();
    const FileBytes file = readRegularFile(m_path, kMaxFileBytes);
    QString failure = file.failure;
    if (failure.isEmpty() && !file.bytes.isEmpty()) {
        QFile out(copy);
        if (copy.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size())
            failure = QStringLiteral("no temporary copy could be made");
    }
    m_store = std::make_unique<QSettings>(copy, QSettings::IniFormat);
    if (failure.isEmpty() && m_store->status() == QSettings::FormatError)
        failure = QStringLiteral("it is not in the INI format");
    if (!failure.isEmpty()) {
        // Every key reads as its default: a store of nothing (what a write adds goes there).
        m_store = std::make_unique<QSettings>(m_copyIn.filePath(QStringLiteral("Defaults.ini")),
                                              QSettings::IniFormat);
        m_unreadable = true;
        m_error = QStringLiteral("The settings file \"%1\" could not be read: %2.").arg(m_path, failure);
    }
}

QString Settings::fileName() const {
    return m_path;
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

    auto fail = [this](const QString& why) {
        m_error = QStringLiteral("The settings file \"%1\" could not be written: %2.").arg(m_path, why);
        return false;
    };
    QFile copy(s.fileName());
    if (s.status() != QSettings::NoError || !copy.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("no temporary copy could be made"));
    const QByteArray text = copy.readAll();
    // Only a regular file is replaced; what stands in its place otherwise is left alone.
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail(QStringLiteral("it is not a regular file"));
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return fail(out.errorString());
    m_error.clear();
    return true;
}

} // namespace ketra
