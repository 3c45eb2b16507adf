// Builds folder trees for the scanner's tests in a fresh temporary folder, removed afterwards.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace fixture {

inline void check(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A temporary folder that everyone may enter (so an unprivileged child can read it) and that is
// removed with everything in it, unreadable folders included, when it goes out of scope.
class TempTree {
public:
    TempTree() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/treescan-test-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
        m_root = pattern;
        check(::chmod(m_root.c_str(), 0755) == 0, "chmod root");
    }
    ~TempTree() {
        std::error_code ec;
        // Make everything writable and enterable again before removing it.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_root, std::filesystem::directory_options::skip_permission_denied, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0755);
        }
        ::chmod(m_root.c_str(), 0755);
        fixAll(m_root);
        std::filesystem::remove_all(m_root, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& rel) const { return rel.empty() ? m_root : m_root + "/" + rel; }

    // Creates the folder and its parents.
    std::string dir(const std::string& rel) {
        std::filesystem::create_directories(path(rel));
        return path(rel);
    }
    // Creates a file of `size` bytes (filled with 'x'), making its folder first.
    std::string file(const std::string& rel, std::uint64_t size = 0) {
        return text(rel, std::string(size, 'x'));
    }
    // Creates a file holding `content`.
    std::string text(const std::string& rel, const std::string& content) {
        auto p = path(rel);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        check(fd >= 0, "open " + p);
        std::size_t done = 0;
        while (done < content.size()) {
            ssize_t n = ::write(fd, content.data() + done, content.size() - done);
            check(n > 0, "write " + p);
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return p;
    }
    // A sparse file: apparent size `size`, hardly any disk use.
    std::string sparse(const std::string& rel, std::uint64_t size) {
        auto p = file(rel);
        check(::truncate(p.c_str(), static_cast<off_t>(size)) == 0, "truncate " + p);
        return p;
    }
    std::string symlink(const std::string& target, const std::string& rel) {
        auto p = path(rel);
        check(::symlink(target.c_str(), p.c_str()) == 0, "symlink " + p);
        return p;
    }
    std::string hardlink(const std::string& existingRel, const std::string& rel) {
        auto p = path(rel);
        check(::link(path(existingRel).c_str(), p.c_str()) == 0, "link " + p);
        return p;
    }
    std::string fifo(const std::string& rel) {
        auto p = path(rel);
        check(::mkfifo(p.c_str(), 0644) == 0, "mkfifo " + p);
        return p;
    }
    void chmod(const std::string& rel, mode_t mode) {
        check(::chmod(path(rel).c_str(), mode) == 0, "chmod " + rel);
    }
    // Sets the modification time (seconds since the epoch).
    void mtime(const std::string& rel, std::int64_t seconds) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
        check(::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0, "utimensat " + rel);
    }

private:
    static void fixAll(const std::string& dirPath) {
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(dirPath, ec)) {
            if (e.is_directory(ec) && !e.is_symlink(ec)) {
                ::chmod(e.path().c_str(), 0755);
                fixAll(e.path());
            }
        }
    }
    std::string m_root;
};

// Runs `body` in a child process that has dropped to uid/gid 65534 (nobody), when this process
// is root; returns the child's exit status (the value `body` returned), or -1 when the child
// died. Call it only while the library is idle (no scan or search running).
inline int runAsNobody(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        }
        int rc = 99;
        try {
            rc = body();
        } catch (...) {
            rc = 98;
        }
        std::fflush(nullptr);
        ::_exit(rc);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace fixture
