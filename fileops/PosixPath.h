// Paths as the file system names them (bytes), for the POSIX calls of the file operations.
#pragma once

#include <QByteArray>

#include <utility>

namespace ketra {

// An open descriptor, closed with the object.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

// `path` made absolute from the working folder, without a trailing "/" ("/" stays "/"). No
// links are resolved and "." and ".." stay as they are.
QByteArray AbsolutePath(const QByteArray& path);

// The folder part and the name of an absolute path: "/a/b" gives "/a" and "b", "/b" gives "/"
// and "b", "/" gives "/" and "".
QByteArray FolderOf(const QByteArray& absolute);
QByteArray NameOf(const QByteArray& absolute);

// Opens the folder `path` (following links) for the *at calls (O_PATH: a folder that may be
// searched but not read opens too); a path longer than the kernel takes at once is opened one
// part at a time. Returns the descriptor, or -1 with errno set.
int OpenFolder(const QByteArray& path);

} // namespace ketra
