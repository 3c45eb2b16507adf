#include "units/Twips.h"

#include <cmath>

namespace ketra {

double twipsPerPixel(double logicalDpi) {
    return 1440.0 / (logicalDpi > 0 ? logicalDpi : 96.0);
}

int twipsToPixels(double twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips / twipsPerPixel(logicalDpi)));
}

double pixelsToTwips(double pixels, double logicalDpi) {
    return pixels * twipsPerPixel(logicalDpi);
}

} // namespace ketra
