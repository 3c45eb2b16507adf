// Twips (1/1440 inch): the unit the window's design and its layout rules are reasoned in. Windows
// convert to pixels at the edge with the screen's logical DPI (twips per pixel = 1440 / DPI, 15 at
// 96 DPI).
#pragma once

namespace ketra {

// Twips per pixel at a logical DPI (15 at 96 DPI). A DPI of 0 or below counts as 96.
double twipsPerPixel(double logicalDpi);
// Whole pixels for a length in twips (rounded to nearest).
int twipsToPixels(double twips, double logicalDpi);
double pixelsToTwips(double pixels, double logicalDpi);

} // namespace ketra
