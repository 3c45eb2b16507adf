// What the scanner lists and in which order, set in one go: the window's options as the scanner's
// calls take them. The scanner keeps them for the whole program until they are set again.
#pragma once

#include "treescan.h"

namespace ketra {

struct ScanOptions {
    bool folderSizes = false; // folders are measured (their totals become their sizes)
    bool hidden = false;      // hidden files are listed
    bool system = false;      // system files are listed
    int sortKey = TREESCAN_SORT_NAME;
    bool ascending = true;
};

// Gives the scanner `options` (from the window's thread: the scanner takes calls from one thread).
void ApplyScanOptions(const ScanOptions& options);

} // namespace ketra
