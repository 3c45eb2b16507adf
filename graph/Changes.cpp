#include "graph/Changes.h"

#include "folders/DetailsModel.h"
#include "graph/DataEntry.h"
#include "units/Thousands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace ketra {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("Changes", text);
}

} // namespace

std::uint32_t ChangeColour(const ItemRecord& item) {
    if (!item.isFolder())
        return kChangeFileColour;
    switch (item.change()) {
    case ItemChange::Grown:
        return kChangeGrownColour;
    case ItemChange::Shrunk:
        return kChangeShrunkColour;
    case ItemChange::New:
        return kChangeNewColour;
    case ItemChange::Same:
        return kChangeSameColour;
    case ItemChange::Unknown:
        break;
    }
    return kChangeUnknownColour;
}

std::uint32_t BarColour(const DataEntry& entry, const Options& options) {
    return options.m_showChanges ? ChangeColour(entry) : entry.Colour;
}

QDate LocalDate(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).date();
}

QString ShortDateText(const QDate& date, const QDate& today) {
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype first = format.indexOf(QLatin1Char('y'));
    if (date.year() == today.year() && first >= 0) {
        // The year goes with the separator that joins it to the rest ("d/M/yy" -> "d/M").
        qsizetype last = first;
        while (last + 1 < format.size() && format[last + 1] == QLatin1Char('y'))
            ++last;
        const auto isField = [](QChar c) { return c.isLetter(); };
        qsizetype from = first, to = last + 1;
        if (to < format.size()) {
            while (to < format.size() && !isField(format[to]))
                ++to;
        } else {
            while (from > 0 && !isField(format[from - 1]))
                --from;
        }
        format.remove(from, to - from);
    }
    return locale.toString(date, format);
}

QString ChangeHoverText(const ItemRecord& item, const QDate& today) {
    const QString since = ShortDateText(LocalDate(item.EarlierTime), today);
    switch (item.change()) {
    case ItemChange::Grown:
    case ItemChange::Shrunk:
        return tr(", %1 bytes since %2").arg(SignedThousands(item.changeBytes()), since);
    case ItemChange::New:
        return tr(", new since %1").arg(since);
    case ItemChange::Same:
        return tr(", unchanged since %1").arg(since);
    case ItemChange::Unknown:
        break;
    }
    return {};
}

std::vector<LegendLine> ChangeLegend(const FolderChanges& changes, bool includeFolders, const QDate& today) {
    if (!includeFolders)
        return {{0, tr("Changes need folder sizes: F turns them on")}};
    if (!changes.known)
        return {{0, tr("No earlier state: mark one with View > Mark Sizes as Earlier State")}};
    const QString gone = changes.removedCount == 1
                             ? tr("1 folder gone (%1 bytes)").arg(FormatThousands(changes.removedBytes))
                             : tr("%1 folders gone (%2 bytes)")
                                   .arg(changes.removedCount)
                                   .arg(FormatThousands(changes.removedBytes));
    return {
        {0, tr("Changes since %1:").arg(ShortDateText(LocalDate(changes.earlierTime), today))},
        {kChangeGrownColour, tr("grown")},
        {kChangeShrunkColour, tr("shrunk")},
        {kChangeNewColour, tr("new")},
        {kChangeSameColour, tr("unchanged")},
        {kChangeUnknownColour, tr("no earlier state")},
        {kChangeFileColour, tr("files")},
        {0, gone},
    };
}

} // namespace ketra
