// `treescan size` and `treescan list`: folder totals and folder listings, through the C
// interface only.
#include "commands.h"

#include "treescan.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <time.h>
#include <vector>

namespace treescan_cmd {

namespace {

int usageError(const char* what) {
    std::fprintf(stderr, "treescan: %s\n%s", what, usage);
    return kUsage;
}

// Waits until the folder-size pass has ended, sleeping while nothing is new.
void waitForSizes() {
    for (int32_t r; (r = NextTree()) != 0;)
        if (r == 2)
            WaitForProgress(1000);
}

} // namespace

int size(int argc, char** argv) {
    bool cache = false, quick = false;
    const char* path = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cache") == 0)
            cache = true;
        else if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (argv[i][0] == '-' && argv[i][1] != '\0' && path == nullptr &&
                 std::strcmp(argv[i], "--") != 0)
            return usageError("unknown option");
        else if (std::strcmp(argv[i], "--") == 0 && i + 1 < argc && path == nullptr)
            path = argv[++i];
        else if (path == nullptr)
            path = argv[i];
        else
            return usageError("one PATH only");
    }
    if (path == nullptr)
        return usageError("PATH missing");

    IncludeHidden(1);
    IncludeSystem(1);
    IncludeFolderSize(1);
    if (cache) {
        LoadFolderList(path);
        // The exact total reads every folder anyway: a first answer from the cache would only
        // be a pass more before it. The cache is still loaded, so that it is stored whole.
        if (!quick)
            InvalidateFolder(path);
    }
    WaitForTree(0);
    if (SetFolder(path) < 0)
        return unreadable(path);
    waitForSizes();
    // A first answer taken partly from the cache may be stale: unless asked for the quick one,
    // wait for the full pass that runs behind it.
    if (!quick && GetPassState() == TREESCAN_PASS_CACHED)
        waitForSizes();
    std::printf("%.0f\t%d\t%d\t%s\n", GetTotalSize(), GetTotalFileCount(), GetTotalFolderCount(), path);
    const int32_t state = GetPassState();
    if (state == TREESCAN_PASS_INCOMPLETE) {
        std::fprintf(stderr, "treescan: ran out of file descriptors: the totals are short\n");
        return kUnreadable;
    }
    if (cache && state == TREESCAN_PASS_VERIFIED && SaveFolderList(path) < 0)
        std::fprintf(stderr, "treescan: could not store the folder cache\n");
    return std::fflush(stdout) == 0 ? kOk : kUnreadable;
}

int list(int argc, char** argv) {
    int key = TREESCAN_SORT_NAME;
    bool ascending = true, sizes = false, hidden = false, system = false;
    const char* path = nullptr;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--sort") == 0) {
            if (++i >= argc)
                return usageError("--sort needs name, type, size or date");
            static const char* const keys[] = {"name", "type", "size", "date"};
            key = -1;
            for (int k = 0; k < 4; ++k)
                if (std::strcmp(argv[i], keys[k]) == 0)
                    key = k;
            if (key < 0)
                return usageError("--sort needs name, type, size or date");
        } else if (std::strcmp(a, "--desc") == 0) {
            ascending = false;
        } else if (std::strcmp(a, "--sizes") == 0) {
            sizes = true;
        } else if (std::strcmp(a, "--hidden") == 0) {
            hidden = true;
        } else if (std::strcmp(a, "--system") == 0) {
            system = true;
        } else if (std::strcmp(a, "--") == 0 && i + 1 < argc && path == nullptr) {
            path = argv[++i];
        } else if (a[0] == '-' && a[1] != '\0') {
            return usageError("unknown option");
        } else if (path == nullptr) {
            path = a;
        } else {
            return usageError("one PATH only");
        }
    }
    if (path == nullptr)
        return usageError("PATH missing");

    SortBy(key, ascending ? 1 : 0);
    IncludeHidden(hidden ? 1 : 0);
    IncludeSystem(system ? 1 : 0);
    IncludeFolderSize(sizes ? 1 : 0);
    WaitForTree(0);
    int32_t n = SetFolder(path);
    if (n < 0)
        return unreadable(path);
    if (sizes) {
        waitForSizes();
        ResortFolder(); // by the folders' totals
    }
    std::vector<char> name;
    char when[64];
    for (int32_t i = 0; i < n; ++i) {
        name.resize(static_cast<std::size_t>(GetFileLength(i)) + 1);
        int32_t len = GetFile(i, name.data(), static_cast<int32_t>(name.size()));
        int32_t wlen = GetTime(i, when, static_cast<int32_t>(sizeof when));
        std::printf("%d\t%.0f\t%.*s\t", GetAttribs(i), GetSize(i), wlen, when);
        putField(name.data(), len);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? kOk : kUnreadable;
}

} // namespace treescan_cmd
