// Helpers of the scanner's tests: reading a listing and running a folder-size pass through the
// C interface.
#pragma once

#include "fixture.h"
#include "treescan.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace scantest {

struct Item {
    std::string name;
    int attribs = 0;
    double size = 0;
    std::string time;
};

inline std::string fileName(int32_t i) {
    std::string name(static_cast<std::size_t>(GetFileLength(i)), '\0');
    name.resize(static_cast<std::size_t>(GetFile(i, name.data(), static_cast<int32_t>(name.size()))));
    return name;
}

// The items of the folder last set.
inline std::vector<Item> items() {
    std::vector<Item> out;
    for (int32_t i = 0; i < GetFileCount(); ++i) {
        char when[64];
        int32_t n = GetTime(i, when, sizeof when);
        out.push_back(
            Item{fileName(i), GetAttribs(i), GetSize(i), std::string(when, static_cast<std::size_t>(n))});
    }
    return out;
}

inline std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Item& item : items())
        out.push_back(item.name);
    return out;
}

// Options back to a known state: name order, ascending, everything listed, no folder sizes.
inline void defaults() {
    SortBy(TREESCAN_SORT_NAME, 1);
    IncludeHidden(1);
    IncludeSystem(1);
    IncludeFolderSize(0);
}

// Lists `path` with folder sizes on and polls until the pass ends. Returns SetFolder's result;
// `progress` receives every folder NextTree reported.
inline int32_t measure(const std::string& path, std::vector<std::string>* progress = nullptr) {
    IncludeFolderSize(1);
    WaitForTree(0);
    int32_t n = SetFolder(path.c_str());
    if (n < 0)
        return n;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        int32_t r = NextTree();
        if (r == 0)
            break;
        if (r == 1 && progress != nullptr) {
            std::string folder(static_cast<std::size_t>(GetCurrentFolderLength()), '\0');
            folder.resize(static_cast<std::size_t>(
                GetCurrentFolder(folder.data(), static_cast<int32_t>(folder.size()))));
            progress->push_back(folder);
        }
        if (r == 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the folder-size pass did not end";
            break;
        }
    }
    return n;
}

struct Totals {
    double bytes;
    int32_t files;
    int32_t folders;
    bool operator==(const Totals&) const = default;
};

inline Totals totals() {
    return {GetTotalSize(), GetTotalFileCount(), GetTotalFolderCount()};
}

inline std::ostream& operator<<(std::ostream& os, const Totals& t) {
    return os << "{bytes " << static_cast<long long>(t.bytes) << ", files " << t.files << ", folders "
              << t.folders << "}";
}

// Points the library's cache folder at a temporary folder for the life of the object.
class CacheHome {
public:
    CacheHome() {
        const char* old = std::getenv("XDG_CACHE_HOME");
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        ::setenv("XDG_CACHE_HOME", m_home.root().c_str(), 1);
    }
    ~CacheHome() {
        if (m_had)
            ::setenv("XDG_CACHE_HOME", m_old.c_str(), 1);
        else
            ::unsetenv("XDG_CACHE_HOME");
    }
    std::string file() const { return m_home.root() + "/ketra/folders.cache"; }
    std::string folder() const { return m_home.root() + "/ketra"; }

private:
    fixture::TempTree m_home;
    bool m_had = false;
    std::string m_old;
};

} // namespace scantest
