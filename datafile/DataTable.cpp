#include "datafile/DataTable.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

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
    switch (status) {
    case Status::Ok:
        return {};
    case Status::NotFound:
        return QStringLiteral("Unable to find ") + path;
    case Status::Unreadable:
        return QStringLiteral("Unable to read ") + path;
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

DataTableResult ParseDataTable(const QByteArray& bytes, DataTable& table) {
    table = DataTable{};
    DataTableResult result;
    const QString text = QString::fromUtf8(bytes);
    std::vector<ColumnHead> heads;
    bool dataBegun = false;
    int lineNumber = 0;
    qsizetype at = 0;
    const qsizetype size = text.size();
    while (at < size) {
        qsizetype end = at;
        while (end < size && text[end] != QLatin1Char('\n') && text[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = trimBlanks(QStringView(text).mid(at, end - at));
        // CR LF ends one line, not two.
        at = end +
             (end + 1 < size && text[end] == QLatin1Char('\r') && text[end + 1] == QLatin1Char('\n') ? 2 : 1);
        ++lineNumber;

        if (line.isEmpty() || line[0] == QLatin1Char(';') || line[0] == QLatin1Char('#'))
            continue;
        const QList<QStringView> cells = line.split(QLatin1Char(','));
        if (cells.size() < 2) {
            result.status = DataTableResult::Status::TooFewCells;
            result.line = lineNumber;
            return result;
        }
        const int count = static_cast<int>(cells.size());
        table.gridColumn = count;

        if (!dataBegun && !IsNumericText(cells[1])) {
            heads.assign(static_cast<std::size_t>(count), ColumnHead{});
            for (int j = 1; j < count; ++j) {
                const QStringView cell = trimBlanks(cells[j]);
                ColumnHead& head = heads[static_cast<std::size_t>(j)];
                head.header = cell.toString();
                // Searched without upper-casing, so positions stay those of the text as written.
                const qsizetype p = cell.indexOf(kDirective, 0, Qt::CaseInsensitive);
                if (p >= 0) {
                    head.texture = cell.mid(p + kDirective.size()).toString();
                    if (p > 0)
                        head.header = cell.left(p).toString();
                }
            }
            continue;
        }

        dataBegun = true;
        ++table.gridRow;
        const QString rowHeader = trimBlanks(cells[0]).toString();
        for (int j = 1; j < count; ++j) {
            DataCell cell;
            cell.row = table.gridRow;
            cell.column = j;
            cell.text = cells[j].toString();
            cell.rowHeader = rowHeader;
            if (static_cast<std::size_t>(j) < heads.size()) {
                cell.columnHeader = heads[static_cast<std::size_t>(j)].header;
                cell.texture = heads[static_cast<std::size_t>(j)].texture;
            }
            table.cells.push_back(std::move(cell));
        }
    }
    return result;
}

DataTableResult ReadDataTable(const QString& path, DataTable& table) {
    DataTableResult result;
    result.path = path;
    if (!QFileInfo(path).isFile()) {
        result.status = DataTableResult::Status::NotFound;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = DataTableResult::Status::Unreadable;
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = DataTableResult::Status::Unreadable;
        return result;
    }
    result = ParseDataTable(bytes, table);
    result.path = path;
    return result;
}

} // namespace ketra
