// Opening a file named from outside (a picture, a table, the colour file) for reading, without
// ever waiting on it: only a regular file is opened. A named pipe would block the open (and every
// read) until a writer comes, a device may never end; both are refused with a reason instead.
//
// Header only, with no Qt beyond QByteArray and QString, so that readers of every layer (colours,
// datafile, fileops) use the same rule.
#pragma once

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ketra {

// A descriptor open for reading on a regular file; closed with the object unless released.
class RegularFile {
public:
    // Opens `path` (its bytes, as the file system has them). A path that is not a regular file is
    // never opened for reading: it is looked at first, then opened with O_NONBLOCK (a pipe put in
    // its place meanwhile does not block the open) and looked at again through the descriptor.
    explicit RegularFile(const QByteArray& path) {
        struct stat st {};
        if (::stat(path.constData(), &st) != 0) {
            fail(errno);
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            refuse(st.st_mode);
            return;
        }
        do
            m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
            fail(errno);
        else if (!S_ISREG(st.st_mode))
            refuse(st.st_mode);
        else
            m_size = st.st_size;
    }
    ~RegularFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Hands the descriptor over (to a QFile opened on it, say); the object no longer closes it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // The file's size in bytes when it was opened.
    qint64 size() const { return m_size; }

    // Why the file was not opened: ENOENT when there is nothing of that name, 0 when something is
    // there that is not a regular file, else the error of the call that failed.
    int error() const { return m_error; }
    bool missing() const { return m_error == ENOENT || m_error == ENOTDIR; }
    bool notRegular() const { return !isOpen() && m_error == 0; }
    // The reason in words, to follow "can't be read: " ("it is a named pipe, not a regular file",
    // "Permission denied").
    const QString& reason() const { return m_reason; }

private:
    void fail(int error) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_error = error;
        m_reason = QString::fromLocal8Bit(std::strerror(error));
    }
    void refuse(mode_t mode) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_error = 0;
        const char* what = S_ISDIR(mode)                    ? "a folder"
                           : S_ISFIFO(mode)                 ? "a named pipe"
                           : S_ISSOCK(mode)                 ? "a socket"
                           : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                            : "a special file";
        m_reason = QStringLiteral("it is %1, not a regular file").arg(QLatin1String(what));
    }

    int m_fd = -1;
    qint64 m_size = 0;
    int m_error = 0;
    QString m_reason;
};

} // namespace ketra
