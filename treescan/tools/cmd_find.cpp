// treescan find PATH [--name S] [--text S] [--min BYTES] [--max BYTES] [--ignore-case] [--hidden]
//                    [--count]
// Prints "<folder>/<name>\t<size>" for every file found (in the order found), or only their count.
#include "commands.h"

#include "treescan.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace treescan_cmd {

namespace {

// A byte count: decimal digits only.
bool parseBytes(const char* text, double& out) {
    if (text == nullptr || *text == 0)
        return false;
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    errno = 0;
    unsigned long long v = std::strtoull(text, nullptr, 10);
    if (errno == ERANGE)
        return false;
    out = static_cast<double>(v);
    return true;
}

int usageError(const char* what, const char* arg) {
    std::fprintf(stderr, "treescan find: %s%s%s\n", what, arg ? ": " : "", arg ? arg : "");
    std::fputs(usage, stderr);
    return kUsage;
}

// Writes the text of one result through `get`, growing the buffer when it came back full.
template <class Get> std::string_view fetch(std::vector<char>& buffer, int32_t index, Get get) {
    for (;;) {
        auto cap = static_cast<int32_t>(buffer.size());
        int32_t n = get(index, buffer.data(), cap);
        if (n < cap - 4 || buffer.size() >= (1u << 24))
            return {buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0)};
        buffer.resize(buffer.size() * 4);
    }
}

void printResults(int32_t from, int32_t to, std::vector<char>& folder, std::vector<char>& name) {
    for (int32_t i = from; i < to; ++i) {
        std::string_view dir = fetch(folder, i, GetSearchFolder);
        std::string_view file = fetch(name, i, GetSearchFile);
        putField(dir.data(), static_cast<int32_t>(dir.size()));
        if (dir.empty() || dir.back() != '/')
            std::fputc('/', stdout);
        putField(file.data(), static_cast<int32_t>(file.size()));
        std::fprintf(stdout, "\t%.0f\n", GetSearchSize(i));
    }
}

} // namespace

int find(int argc, char** argv) {
    const char* path = nullptr;
    const char* name = "";
    const char* text = "";
    const char* importFile = nullptr;
    double minSize = -1, maxSize = -1;
    bool ignoreCase = false, hidden = false, countOnly = false, optionsDone = false;

    for (int i = 0; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsDone = true;
                continue;
            }
            if (arg == "--ignore-case") {
                ignoreCase = true;
                continue;
            }
            if (arg == "--hidden") {
                hidden = true;
                continue;
            }
            if (arg == "--count") {
                countOnly = true;
                continue;
            }
            if (arg == "--name" || arg == "--text" || arg == "--min" || arg == "--max" || arg == "--import") {
                if (i + 1 >= argc)
                    return usageError("missing value after", argv[i]);
                const char* value = argv[++i];
                if (arg == "--name")
                    name = value;
                else if (arg == "--import")
                    importFile = value;
                else if (arg == "--text")
                    text = value;
                else if (!parseBytes(value, arg == "--min" ? minSize : maxSize))
                    return usageError("not a byte count", value);
                continue;
            }
            return usageError("unknown option", argv[i]);
        }
        if (path != nullptr)
            return usageError("more than one PATH", argv[i]);
        path = argv[i];
    }
    if (path == nullptr || *path == 0)
        return usageError("PATH is missing", nullptr);

    IgnoreCase(ignoreCase ? 1 : 0);
    IncludeHidden(hidden ? 1 : 0);
    IncludeSystem(hidden ? 1 : 0);
    FileGTE(minSize);
    FileLTE(maxSize);

    if (importFile != nullptr && OpenScan(importFile) < 0) {
        std::vector<char> why(4096);
        int32_t n = GetScanError(why.data(), static_cast<int32_t>(why.size()));
        std::fprintf(stderr, "treescan find: %.*s\n", n, why.data());
        return kUnreadable;
    }
    if (int32_t r = FindStr(path, name, text); r < 0) {
        if (r == -ENOTSUP)
            std::fprintf(stderr, "treescan find: a scan holds no file contents: --text needs the disk\n");
        else
            return unreadable(path);
        return kUnreadable;
    }

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    std::vector<char> folderText(4096), nameText(1024);
    int32_t shown = 0;
    for (;;) {
        int32_t r = NextFind();
        if (r == 0)
            break;
        if (r != 1) {
            WaitForProgress(1000);
            continue;
        }
        if (!countOnly) {
            int32_t total = GetSearchFileCount();
            printResults(shown, total, folderText, nameText);
            shown = total;
        }
    }
    int32_t total = GetSearchFileCount();
    if (countOnly)
        std::printf("%d\n", total);
    else
        printResults(shown, total, folderText, nameText);
    return std::fflush(stdout) == 0 ? kOk : kUnreadable;
}

} // namespace treescan_cmd
