// Making the controls of a window by their design: each has its objectName (what the tests and
// the settings find it by), and is placed by its design rectangle in twips, converted with the
// logical DPI of the screen the widget is on.
#pragma once

#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ketra {

// Controls owned by `parent`, named `name`. A button or a check box is known to assistive
// technology by its caption (without the access key's "&") until given another accessible name.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption);
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption);
QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text = {});
QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption);

// Twips and whole pixels at `w`'s logical DPI, across (X) and down (Y).
int twipsToPixelsX(const QWidget& w, double twips);
int twipsToPixelsY(const QWidget& w, double twips);
double pixelsToTwipsX(const QWidget& w, int pixels);
double pixelsToTwipsY(const QWidget& w, int pixels);

// Puts `w` at its design rectangle (twips) within its parent.
void placeInTwips(QWidget* w, double left, double top, double width, double height);

} // namespace ketra
