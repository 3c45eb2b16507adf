// Controls stand where their design puts them, and the design was measured for a smaller font
// than this platform's: a caption or a box that would cut its text gets a smaller font instead
// (half a point at a time, 6 points at the least), so nothing is shown cut off.
//
// The same holds for list columns: a column widens to the widest text it shows.
#pragma once

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QWidget>

namespace ketra {

// The width `w` needs to show its caption whole (for a line edit: `sample`, the widest text it
// is meant to hold).
inline int NeededWidth(const QWidget& w, const QString& sample) {
    if (const auto* e = qobject_cast<const QLineEdit*>(&w)) {
        const int frame = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e);
        const QMargins m = e->textMargins();
        constexpr int kInnerMargin = 2; // the line edit's own space on each side of its text
        return e->fontMetrics().horizontalAdvance(sample) + 2 * (frame + kInnerMargin) + m.left() + m.right();
    }
    return w.sizeHint().width();
}

inline void FitFont(QWidget* w, const QString& sample = QString()) {
    QFont font = w->font();
    while (NeededWidth(*w, sample) > w->width() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        w->setFont(font);
    }
}

// The width a column of `view` needs to show `text` whole in its cells (the item delegate keeps
// the focus frame's margin plus one pixel free on each side; one pixel more for rounding).
inline int CellWidthFor(const QAbstractItemView& view, const QString& text) {
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    return view.fontMetrics().horizontalAdvance(text) + 2 * margin + 1;
}

} // namespace ketra
