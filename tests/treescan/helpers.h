// Helpers of the scanning library's tests: folder trees in a temporary folder, a child process
// that runs as an ordinary user, and the C interface read back into plain values.
#pragma once

#include "treescan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fixture {

inline void check(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A temporary folder that everyone may enter (so an unprivileged child can read it), removed
// with everything in it, unreadable folders included, when it goes out of scope.
class TempTree {
public:
    TempTree() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/treescan-test-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
        m_root = pattern;
        check(::chmod(m_root.c_str(), 0755) == 0, "chmod root");
    }
    // chmod and rm walk relative to open folders, so paths past PATH_MAX go too.
    ~TempTree() { std::system(("chmod -R u+rwX " + m_root + " && rm -rf " + m_root).c_str()); }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& rel) const { return rel.empty() ? m_root : m_root + "/" + rel; }

    std::string dir(const std::string& rel) {
        std::filesystem::create_directories(path(rel));
        return path(rel);
    }
    // A file of `size` bytes of 'x', its folders made first.
    std::string file(const std::string& rel, std::uint64_t size = 0) {
        return text(rel, std::string(size, 'x'));
    }
    std::string text(const std::string& rel, const std::string& content) {
        auto p = path(rel);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        check(fd >= 0 && ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()),
              "write " + p);
        ::close(fd);
        return p;
    }
    // Apparent size `size`, hardly any disk use.
    std::string sparse(const std::string& rel, std::uint64_t size) {
        auto p = file(rel);
        check(::truncate(p.c_str(), static_cast<off_t>(size)) == 0, "truncate " + p);
        return p;
    }
    void symlink(const std::string& target, const std::string& rel) {
        check(::symlink(target.c_str(), path(rel).c_str()) == 0, "symlink " + rel);
    }
    void hardlink(const std::string& existing, const std::string& rel) {
        check(::link(path(existing).c_str(), path(rel).c_str()) == 0, "link " + rel);
    }
    std::string fifo(const std::string& rel) {
        check(::mkfifo(path(rel).c_str(), 0644) == 0, "mkfifo " + rel);
        return path(rel);
    }
    void chmod(const std::string& rel, mode_t mode) {
        check(::chmod(path(rel).c_str(), mode) == 0, "chmod " + rel);
    }
    void mtime(const std::string& rel, std::int64_t seconds) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
        check(::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0, "utimensat " + rel);
    }

private:
    std::string m_root;
};

// Runs `body` in a child process that has dropped to uid/gid 65534 (nobody) when this process
// is root; returns what `body` returned, or -1 when the child died. Not while a search runs.
inline int runAsNobody(const std::function<int()>& body) {
    WaitForTree(0); // a full pass may still run behind a cached answer
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
        int rc = 98;
        try {
            rc = body();
        } catch (...) {
        }
        std::fflush(nullptr);
        ::_exit(rc);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class SetEnv {
public:
    SetEnv(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        m_old = old ? old : "";
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~SetEnv() { m_had ? ::setenv(m_name.c_str(), m_old.c_str(), 1) : ::unsetenv(m_name.c_str()); }

private:
    std::string m_name, m_old;
    bool m_had;
};

// Points the library's cache folder at a temporary folder.
class CacheHome {
public:
    std::string folder() const { return m_home.root() + "/ketra"; }
    std::string file() const { return folder() + "/folders.cache"; }

private:
    TempTree m_home;
    SetEnv m_env{"XDG_CACHE_HOME", m_home.root().c_str()};
};

// A FUSE file system mounted on the folder `dir` whose server never answers, as one that was
// stopped: whatever touches it waits in the kernel until release() aborts the connection.
class StalledMount {
public:
    explicit StalledMount(const std::string& dir)
        : m_dir(dir), m_fd(::open("/dev/fuse", O_RDWR | O_CLOEXEC)) {
        std::string options = "fd=" + std::to_string(m_fd) + ",rootmode=40000,user_id=0,group_id=0";
        m_mounted = m_fd >= 0 &&
                    ::mount("ketra-test", dir.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    }
    ~StalledMount() { release(); }
    bool mounted() const { return m_mounted; }
    void release() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
        m_fd = -1;
        m_mounted = false;
    }

private:
    std::string m_dir;
    int m_fd;
    bool m_mounted = false;
};

} // namespace fixture

namespace scantest {

using fixture::TempTree;

// Polls `next` (NextTree or NextFind) until it returns 0; false after five minutes (a watchdog
// for a pass that never ends, generous for a sanitizer build on a loaded machine).
template <class Next> bool pollToEnd(Next next, const std::function<void(int32_t)>& each = {}) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (int32_t r; (r = next()) != 0;) {
        if (each)
            each(r);
        if (r == 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
    return true;
}

// Text written by one of the library's text calls for index `i`.
inline std::string textOf(int32_t (*get)(int32_t, char*, int32_t), int32_t i) {
    std::vector<char> buf(1 << 16);
    return {buf.data(), static_cast<std::size_t>(get(i, buf.data(), static_cast<int32_t>(buf.size())))};
}

inline std::string currentFolder() {
    return textOf([](int32_t, char* buffer, int32_t max) { return GetCurrentFolder(buffer, max); }, 0);
}

struct Item {
    std::string name;
    int attribs;
    double size;
};

// The items of the folder last set.
inline std::vector<Item> items() {
    std::vector<Item> out;
    for (int32_t i = 0; i < GetFileCount(); ++i)
        out.push_back(Item{textOf(GetFile, i), GetAttribs(i), GetSize(i)});
    return out;
}

inline std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Item& item : items())
        out.push_back(item.name);
    return out;
}

inline double sizeOf(const std::string& name) {
    for (const Item& item : items())
        if (item.name == name)
            return item.size;
    return -1;
}

// Name order, ascending, everything listed, no folder sizes.
inline void defaults() {
    SortBy(TREESCAN_SORT_NAME, 1);
    IncludeHidden(1);
    IncludeSystem(1);
    IncludeFolderSize(0);
}

// Lists `path` with folder sizes on and polls until the pass ends; `progress` receives every
// folder that NextTree reported. Returns SetFolder's result.
inline int32_t measure(const std::string& path, std::vector<std::string>* progress = nullptr) {
    IncludeFolderSize(1);
    WaitForTree(0);
    int32_t n = SetFolder(path.c_str());
    EXPECT_TRUE(pollToEnd(NextTree, [&](int32_t r) {
        if (r == 1 && progress)
            progress->push_back(currentFolder());
    })) << "the folder-size pass did not end";
    return n;
}

struct Totals {
    double bytes;
    int32_t files, folders;
    bool operator==(const Totals&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Totals& t) {
        return os << "{" << static_cast<long long>(t.bytes) << " bytes, " << t.files << " files, "
                  << t.folders << " folders}";
    }
};

inline Totals totals() {
    return {GetTotalSize(), GetTotalFileCount(), GetTotalFolderCount()};
}

struct SearchOptions {
    bool ignoreCase = false, hidden = false;
    double min = -1, max = -1; // size bounds; negative = none
};

inline void setSearchOptions(const SearchOptions& o) {
    IgnoreCase(o.ignoreCase);
    IncludeHidden(o.hidden);
    IncludeSystem(o.hidden);
    FileGTE(o.min);
    FileLTE(o.max);
}

// Found file i as "folder/name".
inline std::string found(int32_t i) {
    return textOf(GetSearchFolder, i) + "/" + textOf(GetSearchFile, i);
}

// Runs a search to its end; returns the found files' paths below `root`, sorted, after checking
// each one's folder and size against the disk.
inline std::vector<std::string> search(const std::string& root, const std::string& name,
                                       const std::string& text, const SearchOptions& o = {}) {
    setSearchOptions(o);
    EXPECT_EQ(FindStr(root.c_str(), name.c_str(), text.c_str()), 0);
    EXPECT_TRUE(pollToEnd(NextFind)) << "the search did not end";
    std::vector<std::string> paths;
    for (int32_t i = 0; i < GetSearchFileCount(); ++i) {
        std::string full = found(i);
        struct stat st {};
        EXPECT_TRUE(::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) << full;
        EXPECT_EQ(GetSearchSize(i), static_cast<double>(st.st_size)) << full;
        EXPECT_TRUE(full.starts_with(root + "/")) << full;
        paths.push_back(full.substr(std::min(full.size(), root.size() + 1)));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace scantest
