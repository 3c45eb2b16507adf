#include "widgets/Controls.h"

#include "units/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ketra {

namespace {

template <class Control, class... Args> Control* named(QWidget* parent, const char* name, Args&&... args) {
    auto* c = new Control(std::forward<Args>(args)..., parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

// What assistive technology calls a control: its caption without the access key's mark.
QString spokenCaption(const QString& caption) {
    return QString(caption).remove(QLatin1Char('&'));
}

} // namespace

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = named<QPushButton>(parent, name, caption);
    b->setAccessibleName(spokenCaption(caption));
    return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption) {
    return named<QLabel>(parent, name, caption);
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text) {
    return named<QLineEdit>(parent, name, text);
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption) {
    auto* c = named<QCheckBox>(parent, name, caption);
    c->setAccessibleName(spokenCaption(caption));
    return c;
}

int twipsToPixelsX(const QWidget& w, double twips) {
    return twipsToPixels(twips, w.logicalDpiX());
}

int twipsToPixelsY(const QWidget& w, double twips) {
    return twipsToPixels(twips, w.logicalDpiY());
}

double pixelsToTwipsX(const QWidget& w, int pixels) {
    return pixelsToTwips(pixels, w.logicalDpiX());
}

double pixelsToTwipsY(const QWidget& w, int pixels) {
    return pixelsToTwips(pixels, w.logicalDpiY());
}

void placeInTwips(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(twipsToPixelsX(*w, left), twipsToPixelsY(*w, top), twipsToPixelsX(*w, width),
                   twipsToPixelsY(*w, height));
}

} // namespace ketra
