// Huge pages for the heap. A large scene touches a few hundred megabytes in its first frame (its
// meshes, and the software rasteriser's copies of them), and where the kernel hands out huge pages
// only on request each 4 KiB page costs a fault of its own: on a virtual machine that was most of
// the time to the first picture. glibc asks for huge pages when its "glibc.malloc.hugetlb" tunable
// is set, which it reads when the program starts; so the program starts itself once more with it
// (and with the heap kept for large blocks, see HugePages.cpp).
#pragma once

#include <string_view>

namespace ketra {

// Whether to start again with the tunable set: not when the user set tunables of their own (they
// win), nor when this start is already the second (`restarted`), nor where the kernel gives huge
// pages always or never (`thpMode` is the text of /sys/kernel/mm/transparent_hugepage/enabled,
// the mode in brackets), nor on a glibc older than 2.35, which has no such tunable.
bool ShouldRestartForHugePages(const char* tunables, bool restarted, std::string_view thpMode,
                               std::string_view glibcVersion);

// At the start of main: starts the program again (same arguments) with the tunable when
// ShouldRestartForHugePages says so; returns when it does not, or when the new start fails. In the
// second start, takes the tunable and its marker out of the environment again, so that programs
// started from Ketra (a file opened with xdg-open) do not inherit them.
void StartWithHugePages(char** argv);

} // namespace ketra
