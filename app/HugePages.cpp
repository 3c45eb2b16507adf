#include "HugePages.h"

#include <gnu/libc-version.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ketra {

namespace {

// Huge pages for the heap; and blocks of up to 32 MiB taken from the heap, which keeps up to
// 128 MiB of freed memory, rather than mapped and unmapped each time: the software rasteriser
// takes and frees large blocks on every frame, and a new huge page is cleared whole when first
// touched.
constexpr const char* kTunable = "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432:"
                                 "glibc.malloc.trim_threshold=134217728";
constexpr const char* kMarker = "KETRA_HUGEPAGES_RESTARTED";

std::string readSmallFile(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "re")) {
        char buffer[256];
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    return text;
}

} // namespace

bool ShouldRestartForHugePages(const char* tunables, bool restarted, std::string_view thpMode,
                               std::string_view glibcVersion) {
    if (restarted || (tunables && *tunables))
        return false;
    if (thpMode.find("[madvise]") == std::string_view::npos)
        return false;
    // "2.36" and the like: the tunable came with 2.35.
    int major = 0, minor = 0;
    const std::string version(glibcVersion);
    if (std::sscanf(version.c_str(), "%d.%d", &major, &minor) != 2)
        return false;
    return major > 2 || (major == 2 && minor >= 35);
}

void StartWithHugePages(char** argv) {
    if (std::getenv(kMarker)) {
        unsetenv(kMarker);
        if (const char* t = std::getenv("GLIBC_TUNABLES"); t && std::strcmp(t, kTunable) == 0)
            unsetenv("GLIBC_TUNABLES");
        return;
    }
    if (!ShouldRestartForHugePages(std::getenv("GLIBC_TUNABLES"), false,
                                   readSmallFile("/sys/kernel/mm/transparent_hugepage/enabled"),
                                   gnu_get_libc_version()))
        return;
    setenv("GLIBC_TUNABLES", kTunable, 1);
    setenv(kMarker, "1", 1);
    execv("/proc/self/exe", argv);
    // Not started again (no /proc, say): go on as we are.
    unsetenv("GLIBC_TUNABLES");
    unsetenv(kMarker);
}

} // namespace ketra
