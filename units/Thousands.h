// Counts as the user reads them: the digits grouped in threes with commas ("1,234,567"). Every
// size and count the program shows in words goes through here.
#pragma once

#include <QString>

namespace ketra {

// `digits` (an optional leading '-', then decimal digits, as QString::number writes a whole
// number) with a comma before every third digit from the right: "-1234567" gives "-1,234,567".
QString GroupThousands(QString digits);

// A byte count with comma thousands separators and no decimals, rounded to the nearest whole
// number (halves away from zero); every digit of the double, also beyond a 64-bit integer.
QString FormatThousands(double value);

} // namespace ketra
