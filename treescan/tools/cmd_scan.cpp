// `treescan size` and `treescan list`: folder totals and folder listings, through the C
// interface only.
#include "commands.h"

#include "treescan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>
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

// Writes a scan of `path` to `file` ("-": standard output). A file is written beside its place and
// renamed over it only when whole, so a failed export leaves what was there.
int exportScan(const char* file, const char* path) {
    const bool toStdout = std::strcmp(file, "-") == 0;
    std::string temp = std::string(file) + ".tmp." + std::to_string(::getpid());
    int fd = toStdout ? 1 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "treescan: could not write the scan to %s: %s\n", file, std::strerror(errno));
        return kUnreadable;
    }
    int32_t r = ExportScan(path, fd);
    if (!toStdout) {
        if (::close(fd) != 0 && r == 0)
            r = -errno;
        if (r == 0 && ::rename(temp.c_str(), file) != 0)
            r = -errno;
        if (r != 0)
            ::unlink(temp.c_str());
    }
    if (r != 0) {
        std::fprintf(stderr, "treescan: could not export \"%s\" to %s: %s\n", path, file, std::strerror(-r));
        return kUnreadable;
    }
    return kOk;
}

// Opens the scan in `file` in the disk's place; false (with a message) when it can't be read.
bool openScanFile(const char* file) {
    if (OpenScan(file) >= 0)
        return true;
    std::vector<char> why(4096);
    int32_t n = GetScanError(why.data(), static_cast<int32_t>(why.size()));
    std::fprintf(stderr, "treescan: %.*s\n", n, why.data());
    return false;
}

// The path to show of an open scan when none is given: its root.
std::string scanRoot() {
    std::vector<char> root(1 << 17);
    return {root.data(),
            static_cast<std::size_t>(GetScanRoot(root.data(), static_cast<int32_t>(root.size())))};
}

int sizeOfImport(const char* file, const char* path) {
    if (!openScanFile(file))
        return kUnreadable;
    const std::string where = path != nullptr ? path : scanRoot();
    IncludeHidden(1);
    IncludeSystem(1);
    IncludeFolderSize(1);
    if (SetFolder(where.c_str()) < 0) {
        std::fprintf(stderr, "treescan: no folder \"%s\" in the scan %s\n", where.c_str(), file);
        return kUnreadable;
    }
    std::printf("%.0f\t%d\t%d\t%s\n", GetTotalSize(), GetTotalFileCount(), GetTotalFolderCount(),
                where.c_str());
    return std::fflush(stdout) == 0 ? kOk : kUnreadable;
}

// The folders below `path` whose totals changed since their earlier state, biggest change first:
// <state>\t<earlier bytes>\t<new bytes>\t<time of the earlier state>\t<folder>.
int printChanges(const char* path) {
    const int32_t n = ListChanges(path);
    if (n < 0) {
        std::fprintf(stderr,
                     "treescan: no earlier state of \"%s\" yet: set one with `treescan size --cache --mark "
                     "PATH`, or measure it again 12 hours after the first time\n",
                     path);
        return kOk;
    }
    static const char* const states[] = {"unknown", "same", "grown", "shrunk", "new", "removed"};
    std::vector<char> folder(4096);
    for (int32_t i = 0; i < n; ++i) {
        double earlier = 0, now = 0;
        int64_t when = 0;
        const int32_t state = GetChangedSizes(i, &earlier, &now, &when);
        int32_t len;
        while ((len = GetChangedFolder(i, folder.data(), static_cast<int32_t>(folder.size()))) >=
               static_cast<int32_t>(folder.size()) - 4)
            folder.resize(folder.size() * 4);
        char stamp[32] = "";
        const time_t t = static_cast<time_t>(when);
        struct tm local;
        if (localtime_r(&t, &local) != nullptr)
            strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::printf("%s\t%.0f\t%.0f\t%s\t", states[state >= 0 && state <= 5 ? state : 0], earlier, now,
                    stamp);
        putField(folder.data(), len);
        std::fputc('\n', stdout);
    }
    return kOk;
}

} // namespace

int size(int argc, char** argv) {
    bool cache = false, quick = false, mark = false, changes = false;
    const char* path = nullptr;
    const char* exportFile = nullptr;
    const char* importFile = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cache") == 0)
            cache = true;
        else if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--mark") == 0)
            mark = true;
        else if (std::strcmp(argv[i], "--changes") == 0)
            changes = true;
        else if (std::strcmp(argv[i], "--export") == 0 || std::strcmp(argv[i], "--import") == 0) {
            if (i + 1 >= argc)
                return usageError(argv[i][2] == 'e' ? "--export needs a FILE" : "--import needs a FILE");
            (argv[i][2] == 'e' ? exportFile : importFile) = argv[i + 1];
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0' && path == nullptr &&
                   std::strcmp(argv[i], "--") != 0)
            return usageError("unknown option");
        else if (std::strcmp(argv[i], "--") == 0 && i + 1 < argc && path == nullptr)
            path = argv[++i];
        else if (path == nullptr)
            path = argv[i];
        else
            return usageError("one PATH only");
    }
    if (importFile != nullptr && (exportFile || cache || quick || mark || changes))
        return usageError(
            "--import reads a scan: --cache, --quick, --mark, --changes and --export need the disk");
    if (exportFile != nullptr && (cache || quick || mark || changes))
        return usageError(
            "--export writes a scan of the disk as it is: no --cache, --quick, --mark or --changes");
    if (mark && changes)
        return usageError("--mark or --changes, not both");
    if (importFile != nullptr)
        return sizeOfImport(importFile, path);
    if (path == nullptr)
        return usageError("PATH missing");
    if (exportFile != nullptr)
        return exportScan(exportFile, path);
    cache = cache || mark || changes;

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
    if (!changes)
        std::printf("%.0f\t%d\t%d\t%s\n", GetTotalSize(), GetTotalFileCount(), GetTotalFolderCount(), path);
    const int32_t state = GetPassState();
    if (state == TREESCAN_PASS_INCOMPLETE) {
        std::fprintf(stderr, "treescan: ran out of file descriptors: the totals are short\n");
        return kUnreadable;
    }
    if (mark && MarkEarlierState(path) < 0)
        std::fprintf(stderr, "treescan: could not mark \"%s\": no exact pass of it is known\n", path);
    if (cache && state == TREESCAN_PASS_VERIFIED) {
        // A full disk or a read-only cache folder costs only what this run learnt.
        if (int32_t saved = SaveFolderList(path); saved < 0)
            std::fprintf(stderr,
                         "treescan: could not store the folder cache: %s (the one stored before is kept)\n",
                         std::strerror(-saved));
    }
    if (changes)
        printChanges(path);
    return std::fflush(stdout) == 0 ? kOk : kUnreadable;
}

int list(int argc, char** argv) {
    int key = TREESCAN_SORT_NAME;
    bool ascending = true, sizes = false, hidden = false, system = false;
    const char* path = nullptr;
    const char* importFile = nullptr;
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
        } else if (std::strcmp(a, "--import") == 0) {
            if (++i >= argc)
                return usageError("--import needs a FILE");
            importFile = argv[i];
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
    std::string root;
    if (importFile != nullptr) {
        if (!openScanFile(importFile))
            return kUnreadable;
        if (path == nullptr)
            path = (root = scanRoot()).c_str();
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
