#include "colours/ExtColours.h"

#include "folders/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

ExtColourTable g_extColours;

std::uint32_t getcol(const QString& name) {
    return g_extColours.colourFor(name);
}

void ExtColourTable::setRecords(std::vector<ExtColour> records) {
    m_records = std::move(records);
    m_firstIndex.clear();
    m_firstIndex.reserve(static_cast<qsizetype>(m_records.size()));
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (!m_firstIndex.contains(m_records[i].Ext)) // the first record of a key wins
            m_firstIndex.insert(m_records[i].Ext, static_cast<int>(i + 1));
    }
}

int ExtColourTable::find(const QString& key) const {
    return m_firstIndex.value(key, 0);
}

QString ExtColourTable::typeKey(const QString& name) {
    if (name == QLatin1String("folder"))
        return QStringLiteral("folder");
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QStringLiteral("none");
    return name.mid(dot + 1).toLower();
}

namespace {

// A channel as the colour value keeps it (channel / 255 in single precision), packed back to a
// byte (x 255, rounded to nearest, ties to even). Channels outside 0..255 are clamped first: they
// would otherwise spill into the neighbouring bytes of the packed colour.
std::uint32_t channelByte(int channel) {
    const float unit = static_cast<float>(std::clamp(channel, 0, 255) / 255.0);
    return static_cast<std::uint32_t>(std::nearbyint(static_cast<double>(unit) * 255.0));
}

} // namespace

std::uint32_t ExtColourTable::colourFor(const QString& name) const {
    const int index = find(typeKey(name));
    if (index == 0)
        return 0xFFFFFFFFu;
    const ExtColour& r = record(index);
    return 0xFF000000u | channelByte(r.Red) << 16 | channelByte(r.Green) << 8 | channelByte(r.Blue);
}

// ---- the colour file ----

QString ExtColourLoadResult::message() const {
    using S = Status;
    const QString where = path.isEmpty() ? QStringLiteral("ext.txt") : path;
    const QString read = QStringLiteral("; %1 of %2 colour types read").arg(recordsRead).arg(declaredCount);
    switch (status) {
    case S::Ok:
        return QStringLiteral("%1: %2 colour types read").arg(where).arg(recordsRead);
    case S::NotFound:
        return QStringLiteral("no colour file (ext.txt) found; every bar is white");
    case S::Unreadable:
        return QStringLiteral("%1: the colour file can't be read%2; every bar is white")
            .arg(where, reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
    case S::BadCount:
        return QStringLiteral("%1: line 1 does not hold a record count from 0 to %2; every bar is white")
            .arg(where)
            .arg(kMaxExtColourCount);
    case S::Truncated:
        return QStringLiteral("%1: the file ends at line %2, inside the colour types").arg(where).arg(line) +
               read;
    case S::BadNumber:
        return QStringLiteral("%1: line %2 is not a whole number").arg(where).arg(line) + read;
    }
    return {};
}

QString userExtColourPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ketra/ext.txt");
}

QStringList shippedExtColourPaths() {
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/ext.txt"),
            QDir::cleanPath(dir + QStringLiteral("/../share/ketra/ext.txt"))};
}

namespace {

// Reads the colour file line by line; tells the line number of the line returned last.
class LineReader {
public:
    explicit LineReader(QFile& file) : m_file(file) {}

    // The next line without its line ending (LF, or CR LF), or nothing at the end of the file.
    std::optional<QByteArray> next() {
        if (m_file.atEnd())
            return std::nullopt;
        QByteArray line = m_file.readLine();
        if (line.isEmpty() && m_file.atEnd())
            return std::nullopt;
        ++m_lineNumber;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (m_lineNumber == 1 && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        return line;
    }
    int lineNumber() const { return m_lineNumber; }

private:
    QFile& m_file;
    int m_lineNumber = 0;
};

// A whole number with optional blanks around it and an optional sign, within [lo, hi].
std::optional<int> parseWhole(const QByteArray& text, long long lo, long long hi) {
    const QByteArray t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    long long value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > hi - lo + 1) // far outside the range already: stop before it can overflow
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < lo || value > hi)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

ExtColourLoadResult ReadExtColourFile(const QString& path, ExtColourTable& table) {
    using S = ExtColourLoadResult::Status;
    ExtColourLoadResult result;
    result.path = path;
    std::vector<ExtColour> records;
    auto finish = [&](S status, int line) {
        result.status = status;
        result.line = line;
        result.recordsRead = static_cast<int>(records.size());
        table.setRecords(std::move(records));
        return result;
    };

    // Only a regular file is read, opened without blocking: a named pipe in its place would hang
    // the start-up.
    ketra::RegularFile opened(QFile::encodeName(path));
    if (!opened.isOpen()) {
        result.reason = opened.reason();
        return finish(opened.missing() ? S::NotFound : S::Unreadable, 0);
    }
    if (opened.size() > kMaxExtColourFileBytes) {
        result.reason = QStringLiteral("it holds %1 bytes, more than the %2 MiB a colour file may have")
                            .arg(opened.size())
                            .arg(kMaxExtColourFileBytes / (1024 * 1024));
        return finish(S::Unreadable, 0);
    }
    QFile file;
    if (!file.open(opened.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return finish(S::Unreadable, 0);

    LineReader lines(file);
    const std::optional<QByteArray> countLine = lines.next();
    const std::optional<int> count = countLine ? parseWhole(*countLine, 0, kMaxExtColourCount) : std::nullopt;
    if (!count)
        return finish(S::BadCount, 1);
    result.declaredCount = *count;
    records.reserve(static_cast<std::size_t>(std::min(*count, 1024)));

    for (int i = 0; i < *count; ++i) {
        const std::optional<QByteArray> key = lines.next();
        if (!key)
            return finish(S::Truncated, lines.lineNumber() + 1);
        ExtColour record;
        record.Ext = QString::fromUtf8(*key);
        for (int* channel : {&record.Red, &record.Green, &record.Blue}) {
            const std::optional<QByteArray> text = lines.next();
            if (!text)
                return finish(S::Truncated, lines.lineNumber() + 1);
            const std::optional<int> value = parseWhole(*text, std::numeric_limits<std::int16_t>::min(),
                                                        std::numeric_limits<std::int16_t>::max());
            if (!value)
                return finish(S::BadNumber, lines.lineNumber());
            *channel = *value;
        }
        records.push_back(std::move(record));
    }
    return finish(S::Ok, 0);
}

ExtColourLoadResult LoadExtColours(ExtColourTable& table, const QStringList& candidates) {
    for (const QString& path : candidates) {
        if (!path.isEmpty() && QFileInfo::exists(path))
            return ReadExtColourFile(path, table);
    }
    table.clear();
    return {};
}

ExtColourLoadResult LoadExtColours() {
    const ExtColourLoadResult result =
        LoadExtColours(g_extColours, QStringList{userExtColourPath()} + shippedExtColourPaths());
    if (!result.ok())
        qWarning("%s", qPrintable(result.message()));
    return result;
}

namespace {

// A number as the colour file holds it: a blank (or the minus sign), the digits, a blank.
QByteArray framedNumber(int value) {
    return (value < 0 ? QByteArray("-") : QByteArray(" ")) +
           QByteArray::number(std::abs(static_cast<long long>(value))) + ' ';
}

} // namespace

ExtColourSaveResult SaveExtColours(const ExtColourTable& table, const QString& path) {
    ExtColourSaveResult result;
    result.path = path;
    for (const ExtColour& r : table.records()) {
        if (r.Ext.contains(QLatin1Char('\n')) || r.Ext.contains(QLatin1Char('\r'))) {
            result.error = QStringLiteral("The colour type \"%1\" holds a line break and can't be saved.")
                               .arg(r.Ext.simplified());
            return result;
        }
    }
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        result.error = QStringLiteral("Can't create the folder %1.").arg(info.absolutePath());
        return result;
    }

    QByteArray text;
    const QByteArray eol("\r\n");
    text += framedNumber(table.count()) + eol;
    for (const ExtColour& r : table.records()) {
        text += r.Ext.toUtf8() + eol;
        text += framedNumber(r.Red) + eol;
        text += framedNumber(r.Green) + eol;
        text += framedNumber(r.Blue) + eol;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        result.error = QStringLiteral("Can't write %1: %2").arg(path, file.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

ExtColourSaveResult SaveExtColours() {
    return SaveExtColours(g_extColours, userExtColourPath());
}
