#include "cache_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace treescan {

namespace {

bool makeFolders(const std::string& path) {
    // Each missing level in turn, like mkdir -p.
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the temporaries "<prefix><pid>" in `folder` that a process killed while saving left
// behind (its pid no longer runs).
void removeStaleTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (!name.starts_with(prefix))
            continue;
        char* end = nullptr;
        long pid = std::strtol(e->d_name + prefix.size(), &end, 10);
        if (pid > 0 && *end == '\0' && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

// Reads on from `fd` until `out` holds `size` bytes or the file ends. False on a short read.
bool readUpTo(int fd, std::string& out, std::size_t size) {
    std::size_t done = out.size();
    out.resize(size);
    while (done < size) {
        ssize_t n = ::read(fd, out.data() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return done == size;
}

} // namespace

std::string cacheFilePath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/')
            return {};
        base = std::string(home) + "/.cache";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/ketra/folders.cache";
}

bool readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes, std::size_t headBytes,
                   bool (*accept)(std::string_view head, std::uint64_t size)) {
    // O_NONBLOCK: a FIFO put in the file's place must not hang the caller (it is refused below).
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= maxBytes;
    const auto size = ok ? static_cast<std::size_t>(st.st_size) : 0;
    out.clear();
    if (ok && accept != nullptr)
        ok = readUpTo(fd, out, std::min(headBytes, size)) && accept(out, size);
    if (ok)
        readUpTo(fd, out, size); // a file that shrank meanwhile is short, and its checksum tells
    ::close(fd);
    return ok;
}

bool writeFileAtomically(const std::string& path, const std::string& data) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (!makeFolders(folder))
        return false;
    removeStaleTemporaries(folder, path.substr(slash + 1) + ".tmp.");
    // An unnamed file, given a name only once it is whole: a kill while it is written leaves
    // nothing behind. File systems without O_TMPFILE get a named temporary at once.
    std::string temp = path + ".tmp." + std::to_string(::getpid());
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool unnamed = fd >= 0;
    if (!unnamed)
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    // No fsync: the file is a cache. After a crash it is either the old file or the new one
    // whole, or a torn one that its header's size and checksum refuse, which only costs a full
    // pass; waiting for the disk would slow every save for that.
    bool ok = writeAll(fd, data);
    if (ok && unnamed) {
        ::unlink(temp.c_str());
        std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = err;
    }
    return ok;
}

} // namespace treescan
