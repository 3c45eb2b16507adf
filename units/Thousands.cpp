#include "units/Thousands.h"

#include <cmath>

namespace ketra {

QString GroupThousands(QString digits) {
    const qsizetype first = digits.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = digits.size() - 3; i > first; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

QString FormatThousands(double value) {
    const double whole = std::round(value); // halves away from zero
    const QString digits = QString::number(std::abs(whole), 'f', 0);
    return whole < 0 ? QLatin1Char('-') + GroupThousands(digits) : GroupThousands(digits);
}

} // namespace ketra
