#include "search/FindRequest.h"

#include "units/Thousands.h"

#include <limits>

namespace ketra {

double ParseSizeText(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
        else if (c == QLatin1Char('k') || c == QLatin1Char('K'))
            digits += QLatin1String("000");
        else if (c == QLatin1Char('m') || c == QLatin1Char('M'))
            digits += QLatin1String("000000");
    }
    if (digits.isEmpty())
        return -1;
    bool ok = false;
    const double bytes = digits.toDouble(&ok);
    // Only a number too large for a double fails: it bounds nothing any file could pass.
    return ok ? bytes : std::numeric_limits<double>::max();
}

FindPlan PlanFind(const FindInput& input) {
    using O = FindPlan::Outcome;
    FindPlan plan;
    if (input.lowerOn) {
        plan.lower = ParseSizeText(input.lowerText);
        if (plan.lower < 0)
            return {O::BadSize, -1, -1};
    }
    if (input.upperOn) {
        plan.upper = ParseSizeText(input.upperText);
        if (plan.upper < 0)
            return {O::BadSize, plan.lower, -1};
    }
    if (input.lowerOn && input.upperOn && plan.upper < plan.lower)
        plan.outcome = O::ReversedBounds;
    else if (input.name.isEmpty() && input.text.isEmpty() && !input.lowerOn && !input.upperOn)
        plan.outcome = O::NothingToFind;
    return plan;
}

QString ReversedBoundsMessage(const QString& lowerText, const QString& upperText) {
    return lowerText + QStringLiteral(" should be less than ") + upperText;
}

QString FoundText(long long count, bool stopped) {
    QString text;
    if (count <= 0) {
        text = QStringLiteral("No files found");
    } else if (count == 1) {
        text = QStringLiteral("1 file found");
    } else {
        text = GroupThousands(QString::number(count)) + QStringLiteral(" files found");
    }
    return stopped ? text + QStringLiteral(" (stopped)") : text;
}

} // namespace ketra
