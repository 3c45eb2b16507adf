#include "fileops/PosixPath.h"

#include <QList>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace ketra {

namespace {
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
} // namespace

UniqueFd::~UniqueFd() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray AbsolutePath(const QByteArray& path) {
    QByteArray out = path;
    if (!out.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        out = QByteArray(cwd ? cwd : "") + '/' + out;
        std::free(cwd);
    }
    while (out.size() > 1 && out.endsWith('/'))
        out.chop(1);
    return out;
}

QByteArray FolderOf(const QByteArray& absolute) {
    const qsizetype slash = absolute.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : absolute.left(slash);
}

QByteArray NameOf(const QByteArray& absolute) {
    return absolute.mid(absolute.lastIndexOf('/') + 1);
}

int OpenFolder(const QByteArray& path) {
    int fd = ::open(path.constData(), kFolderFlags);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    fd = ::open(path.startsWith('/') ? "/" : ".", kFolderFlags);
    for (const QByteArray& part : path.split('/')) {
        if (fd < 0 || part.isEmpty())
            continue;
        const int next = ::openat(fd, part.constData(), kFolderFlags);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

} // namespace ketra
