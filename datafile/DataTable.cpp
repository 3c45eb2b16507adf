#include "datafile/DataTable.h"

#include "folders/RegularFile.h"

#include <QFile>
#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <optional>

namespace ketra {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView trimBlanks(QStringView s) {
    qsizetype from = 0, to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The header row's view of one column.
struct ColumnHead {
    QString header;
    QString texture;
};

const QLatin1String kDirective("TEXTURE:");

} // namespace

QString DataTableResult::message() const {
    const QString name = QFile::decodeName(path);
    const QLocale english(QLocale::English);
    switch (status) {
    case Status::Ok:
    case Status::Stopped:
        return {};
    case Status::NotFound:
        return QStringLiteral("Unable to find ") + name;
    case Status::NotRegular:
    case Status::Unreadable:
        return QStringLiteral("Unable to read %1: %2").arg(name, reason);
    case Status::TooLarge:
        return QStringLiteral("Unable to read %1: it holds %2 bytes, more than the %3 MiB a table may have")
            .arg(name, english.toString(size), english.toString(kMaxDataTableBytes / (1024 * 1024)));
    case Status::TooManyCells:
        return QStringLiteral("%1 has more than %2 cells, the most a table may have (line %3)")
            .arg(name, english.toString(kMaxDataTableCells))
            .arg(line);
    case Status::LongCell:
        return QStringLiteral("%1: line %2 has a cell longer than %3 characters, the most a cell may have")
            .arg(name)
            .arg(line)
            .arg(english.toString(kMaxDataCellLength));
    case Status::Encoding:
        return QStringLiteral("Unable to read %1: it holds %2, not UTF-8 or UTF-16 text").arg(name, reason);
    case Status::TooFewCells:
        return QStringLiteral(
            "Comma delimited file must have at least a header row, header column, and data");
    }
    return {};
}

bool IsNumericText(QStringView text) {
    const QStringView s = trimBlanks(text);
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && isDigit(s[i]))
        ++i, ++digits;
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        int exponentDigits = 0;
        while (i < n && isDigit(s[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == n;
}

double DataCellValue(QStringView text) {
    if (!IsNumericText(text))
        return 0;
    bool ok = false;
    const double v = trimBlanks(text).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

QString DataCellLabel(const DataCell& cell) {
    return QLatin1Char('(') + cell.rowHeader + QLatin1Char(',') + cell.columnHeader + QStringLiteral(") = ") +
           cell.text;
}

platform::ColorValue DataCellColour(int row, int column) {
    return {1.0f - static_cast<float>(row % 4 + 2) / 10.0f, 0.2f,
            1.0f - static_cast<float>(column % 8) / 10.0f, 1.0f};
}

namespace {

enum class Encoding { Utf8, Utf16LE, Utf16BE };

// The encoding of a table from its first block: a byte-order mark, else, for UTF-16 without one,
// where its NUL bytes fall (the high byte of every ASCII character, on one side of each pair).
// UTF-8 text has no NUL bytes at all. Nothing when the block is neither: `what` then says what it is.
std::optional<Encoding> detectEncoding(QByteArrayView head, QString* what) {
    if (head.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)) ||
        head.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        *what = QStringLiteral("UTF-32 text");
        return std::nullopt;
    }
    if (head.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8;
    if (head.startsWith("\xFF\xFE"))
        return Encoding::Utf16LE;
    if (head.startsWith("\xFE\xFF"))
        return Encoding::Utf16BE;
    qsizetype even = 0, odd = 0;
    for (qsizetype i = 0; i < head.size(); ++i)
        if (head[i] == '\0')
            ++(i % 2 ? odd : even);
    if (even == 0 && odd == 0)
        return Encoding::Utf8;
    // A table is mostly commas, digits and Latin letters: in UTF-16 at least a quarter of its
    // characters have a NUL byte, nearly always on the same side.
    const qsizetype quarter = head.size() / 8;
    if (odd >= quarter && even * 4 <= odd)
        return Encoding::Utf16LE;
    if (even >= quarter && odd * 4 <= even)
        return Encoding::Utf16BE;
    *what = QStringLiteral("NUL bytes (binary data or UTF-32 text)");
    return std::nullopt;
}

// Reads a table from its bytes, block by block: the encoding from the first block, then lines as
// they are complete. Every bound is checked before more is kept.
class TableReader {
public:
    explicit TableReader(DataTableResult& result) : m_result(result) {}

    // Takes the next block (`last` for the final one, which may be empty). False once the reading
    // has stopped, for an error or at the end.
    bool feed(QByteArrayView bytes, bool last) {
        m_bytes += bytes.size();
        if (m_bytes > kMaxDataTableBytes) {
            m_result.size = m_bytes;
            return stop(DataTableResult::Status::TooLarge, 0);
        }
        if (!m_decoder.isValid()) {
            QString what;
            const std::optional<Encoding> encoding = detectEncoding(bytes, &what);
            if (!encoding) {
                m_result.reason = what;
                return stop(DataTableResult::Status::Encoding, 0);
            }
            m_decoder = QStringDecoder(*encoding == Encoding::Utf8      ? QStringConverter::Utf8
                                       : *encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                                        : QStringConverter::Utf16BE);
        }
        m_pending += QString(m_decoder.decode(bytes));
        return lines(last);
    }

    DataTable table;

private:
    bool stop(DataTableResult::Status status, int line) {
        m_result.status = status;
        m_result.line = line;
        return false;
    }

    // Reads every complete line of the text held; with `last`, the rest too.
    bool lines(bool last) {
        const QStringView text(m_pending);
        const qsizetype size = text.size();
        qsizetype at = 0;
        bool going = true;
        while (going && at < size) {
            // The first line was searched up to m_searched already: a line of many blocks is
            // searched once, not once a block.
            qsizetype end = at == 0 ? m_searched : at;
            while (end < size && text[end] != QLatin1Char('\n') && text[end] != QLatin1Char('\r'))
                ++end;
            // A line is complete at its line end; a CR at the end of the text may have its LF still
            // to come.
            if (!last && (end == size || (end + 1 == size && text[end] == QLatin1Char('\r')))) {
                m_searched = end - at;
                break;
            }
            m_searched = 0;
            going = line(text.mid(at, end - at));
            // CR LF ends one line, not two.
            at = end + (end + 1 < size && text[end] == QLatin1Char('\r') && text[end + 1] == QLatin1Char('\n')
                            ? 2
                            : 1);
        }
        m_pending.remove(0, std::min(at, size));
        return going && !last;
    }

    bool line(QStringView text) {
        ++m_lineNumber;
        const QStringView line = trimBlanks(text);
        if (line.isEmpty() || line[0] == QLatin1Char(';') || line[0] == QLatin1Char('#'))
            return true;
        const qsizetype count = line.count(QLatin1Char(',')) + 1;
        if (count < 2)
            return stop(DataTableResult::Status::TooFewCells, m_lineNumber);
        // Header rows come before any value cell; each may head as many columns as the table may have.
        if (count - 1 > kMaxDataTableCells - static_cast<qsizetype>(table.cells.size()))
            return stop(DataTableResult::Status::TooManyCells, m_lineNumber);
        const QList<QStringView> cells = line.split(QLatin1Char(','));
        for (QStringView cell : cells)
            if (cell.size() > kMaxDataCellLength)
                return stop(DataTableResult::Status::LongCell, m_lineNumber);
        const int n = static_cast<int>(count);
        table.gridColumn = n;

        if (!m_dataBegun && !IsNumericText(cells[1])) {
            m_heads.assign(static_cast<std::size_t>(n), ColumnHead{});
            for (int j = 1; j < n; ++j) {
                const QStringView cell = trimBlanks(cells[j]);
                ColumnHead& head = m_heads[static_cast<std::size_t>(j)];
                head.header = cell.toString();
                // Searched without upper-casing, so positions stay those of the text as written.
                const qsizetype p = cell.indexOf(kDirective, 0, Qt::CaseInsensitive);
                if (p >= 0) {
                    head.texture = cell.mid(p + kDirective.size()).toString();
                    if (p > 0)
                        head.header = cell.left(p).toString();
                }
            }
            return true;
        }

        m_dataBegun = true;
        ++table.gridRow;
        const QString rowHeader = trimBlanks(cells[0]).toString();
        for (int j = 1; j < n; ++j) {
            DataCell cell;
            cell.row = table.gridRow;
            cell.column = j;
            cell.text = cells[j].toString();
            cell.rowHeader = rowHeader;
            if (static_cast<std::size_t>(j) < m_heads.size()) {
                cell.columnHeader = m_heads[static_cast<std::size_t>(j)].header;
                cell.texture = m_heads[static_cast<std::size_t>(j)].texture;
            }
            table.cells.push_back(std::move(cell));
        }
        return true;
    }

    DataTableResult& m_result;
    QStringDecoder m_decoder;
    QString m_pending;        // decoded text not yet read as lines
    qsizetype m_searched = 0; // m_pending's first characters known to hold no line end
    qint64 m_bytes = 0;
    std::vector<ColumnHead> m_heads;
    bool m_dataBegun = false;
    int m_lineNumber = 0;
};

// What the reader left: the table replaced on Ok and TooFewCells, else untouched.
DataTableResult finish(TableReader& reader, const DataTableResult& result, DataTable& table,
                       const QByteArray& folder) {
    using S = DataTableResult::Status;
    if (result.status == S::Ok || result.status == S::TooFewCells) {
        table = std::move(reader.table);
        table.folder = folder;
    }
    return result;
}

// The size of the blocks a file is read in; the first one decides the encoding.
constexpr qsizetype kBlock = 64 * 1024;

} // namespace

DataTableResult ParseDataTable(const QByteArray& text, DataTable& table) {
    DataTableResult result;
    TableReader reader(result);
    if (text.size() > kMaxDataTableBytes) {
        result.status = DataTableResult::Status::TooLarge;
        result.size = text.size();
        return result;
    }
    const QByteArrayView bytes(text);
    for (qsizetype at = 0;
         reader.feed(bytes.sliced(at, std::min(kBlock, bytes.size() - at)), at + kBlock >= bytes.size());)
        at += kBlock;
    return finish(reader, result, table, {});
}

DataTableResult ReadDataTable(const QByteArray& path, DataTable& table, const std::atomic<bool>* stop) {
    using S = DataTableResult::Status;
    DataTableResult result;
    result.path = path;
    RegularFile file(path);
    if (!file.isOpen()) {
        result.status = file.missing() ? S::NotFound : file.notRegular() ? S::NotRegular : S::Unreadable;
        result.reason = file.reason();
        return result;
    }
    // A sparse file of gigabytes is refused before a byte of it is read.
    if (file.size() > kMaxDataTableBytes) {
        result.status = S::TooLarge;
        result.size = file.size();
        return result;
    }
    TableReader reader(result);
    QByteArray block(kBlock, Qt::Uninitialized);
    bool going = true;
    while (going) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            result.status = S::Stopped;
            return result;
        }
        // A block is filled whole unless the file ends (a read may return less).
        qsizetype filled = 0;
        while (filled < kBlock) {
            const ssize_t n =
                ::read(file.fd(), block.data() + filled, static_cast<std::size_t>(kBlock - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                result.status = S::Unreadable;
                result.reason = QString::fromLocal8Bit(std::strerror(errno));
                return result;
            }
            if (n == 0)
                break;
            filled += n;
        }
        going = reader.feed(QByteArrayView(block).first(filled), filled < kBlock);
    }
    const qsizetype slash = path.lastIndexOf('/');
    return finish(reader, result, table,
                  slash < 0    ? QByteArray(".")
                  : slash == 0 ? QByteArray("/")
                               : path.left(slash));
}

} // namespace ketra
