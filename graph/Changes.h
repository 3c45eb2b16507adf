// The "Changes" mode of the bar graph: each folder's bar coloured by how its total compares with
// the scanner's earlier state of it, a legend over the view, and the change added to the hover
// text. Pure functions of the entries and the folder's changes, so that the snapshot and the
// tests reach them without a window.
#pragma once

#include "folders/FolderReader.h"
#include "folders/ItemRecord.h"
#include "graph/Options.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace ketra {

struct DataEntry;

// The colours of the mode (0xAARRGGBB): grown, shrunk, new, unchanged, no earlier state, and the
// files (which have no earlier state of their own).
inline constexpr std::uint32_t kChangeGrownColour = 0xFFE07820;   // orange
inline constexpr std::uint32_t kChangeShrunkColour = 0xFF2050C0;  // blue
inline constexpr std::uint32_t kChangeNewColour = 0xFF30A040;     // green
inline constexpr std::uint32_t kChangeSameColour = 0xFFF4F4F4;    // white
inline constexpr std::uint32_t kChangeUnknownColour = 0xFF8060A0; // muted violet
inline constexpr std::uint32_t kChangeFileColour = 0xFF909090;    // grey

// The colour of an item's bar in the mode: its folder's change, or the files' grey.
std::uint32_t ChangeColour(const ItemRecord& item);

// The colour a bar is built in: its type's colour, or its change's with the mode on.
std::uint32_t BarColour(const DataEntry& entry, const Options& options);

// A date as the user's locale writes it in short, without the year when it is `today`'s year
// ("2 Dec", "12/2", "02.12."; "12/2/25" in another year).
QString ShortDateText(const QDate& date, const QDate& today);

// What the hover text adds for an item: ", +1,234 bytes since 2 Dec", ", -300 bytes since ...",
// ", new since ...", ", unchanged since ..."; empty for a file or without an earlier state.
QString ChangeHoverText(const ItemRecord& item, const QDate& today);

// One line of the legend: a swatch in `colour` (none when 0) before `text`.
struct LegendLine {
    std::uint32_t colour = 0;
    QString text;
};

// The legend the view shows in the mode, top to bottom: without an earlier state a line that
// says so and how to mark one; otherwise the date of the earlier state, a line per colour and
// how many folders went away below the folder shown ("3 folders gone (1,234 bytes)").
std::vector<LegendLine> ChangeLegend(const FolderChanges& changes, bool includeFolders, const QDate& today);

// The date of a time in seconds since the epoch, in the local time zone.
QDate LocalDate(std::int64_t seconds);

} // namespace ketra
