// What a click on the find pane's "Go" asks for: the size bounds read from their boxes, and
// whether a search starts at all.
//
// A size text is read digit by digit: "1Kb" is 1000 bytes, "10Kb" 10000, "2M" 2000000 and "1.5k"
// 15000 (the point is skipped: the digits and the thousands are simply strung together).
// Thousands are decimal; k never means 1024.
#pragma once

#include <QString>

namespace ketra {

// The byte count of a size text: its digits in order, each "k" or "K" standing for "000" and each
// "m" or "M" for "000000", every other character skipped ("k" alone, or "Kb", is 0). -1 when the
// text gives no digit and no unit at all (the empty text, "bytes").
double ParseSizeText(const QString& text);

// The find pane's boxes as the user left them.
struct FindInput {
    QString name;         // part of the file name
    QString text;         // text inside the file
    bool lowerOn = false; // "Filesize  >=" checked
    QString lowerText;    // its size box
    bool upperOn = false; // "Filesize  <=" checked
    QString upperText;    // its size box
};

struct FindPlan {
    enum class Outcome {
        Search,         // start the search with the bounds below
        BadSize,        // a checked size box gives no size: nothing happens, silently
        ReversedBounds, // both bounds on and the upper one below the lower: the user is told
        NothingToFind,  // no name, no text and no bound: nothing happens, silently
    };
    Outcome outcome = Outcome::Search;
    double lower = -1; // bytes; -1 for no bound (also for an unchecked box holding a number)
    double upper = -1;
};

// Reads the bounds (the lower one first), then checks their order (equal bounds are accepted),
// then that there is something to look for.
FindPlan PlanFind(const FindInput& input);

// The message for reversed bounds, e.g. "10Kb should be less than 1Kb".
QString ReversedBoundsMessage(const QString& lowerText, const QString& upperText);

// What the find pane's status line says when a search has ended: "No files found", "1 file
// found", "1,234 files found", followed by " (stopped)" when Stop ended it.
QString FoundText(long long count, bool stopped);

} // namespace ketra
