#include "fileops/Trash.h"

#include "fileops/PosixPath.h"

#include <QCoreApplication>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace ketra {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("Trash", text);
}

// Display text of a path: invalid bytes show as U+FFFD.
QString shown(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
// Trash names leave room for ".trashinfo" and a counter within a name's 255 bytes.
constexpr qsizetype kMaxTrashName = NAME_MAX - 16;
constexpr int kMaxTries = 10000;

FileId idOf(const struct statx& sx) {
    return {static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), sx.stx_ino};
}

bool statOf(int dirFd, const char* name, struct statx& sx) {
    return ::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH),
                   STATX_BASIC_STATS, &sx) == 0;
}

// Whether the entry `sx` is the root of a mount (another file system, or a bind mount); the
// device of the folder above it decides where the kernel does not say.
bool isMountRoot(const struct statx& sx, std::uint64_t parentDevice) {
    if (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
        return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return S_ISDIR(sx.stx_mode) && idOf(sx).device != parentDevice;
}

// The folder at the top of the file system that holds the folder `real` (a path without links):
// the nearest one up that is a mount's root, or "/".
QByteArray topFolderOf(const QByteArray& real) {
    QByteArray dir = real;
    while (dir != "/") {
        struct statx sx, up;
        const QByteArray parent = FolderOf(dir);
        if (!statOf(AT_FDCWD, dir.constData(), sx) || !statOf(AT_FDCWD, parent.constData(), up) ||
            isMountRoot(sx, idOf(up).device))
            return dir;
        dir = parent;
    }
    return dir;
}

QByteArray deletionDate() {
    const std::time_t now = std::time(nullptr);
    struct tm tm {};
    char text[32] = {};
    if (localtime_r(&now, &tm) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    return QByteArray(text);
}

// `name` cut to at most kMaxTrashName bytes, not inside a UTF-8 sequence.
QByteArray trashBaseName(const QByteArray& name) {
    if (name.size() <= kMaxTrashName)
        return name;
    qsizetype cut = kMaxTrashName;
    while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.left(cut);
}

// A trash folder being prepared: its "files" and "info" open, and every folder made for it,
// removed again (when empty) unless the item went in.
class TrashFolder {
public:
    TrashFolder() = default;
    TrashFolder(const TrashFolder&) = delete;
    TrashFolder& operator=(const TrashFolder&) = delete;
    ~TrashFolder() {
        if (!m_keep)
            undo();
    }
    void keep() { m_keep = true; }
    // Closes it and removes the folders made for it.
    void undo() {
        files = UniqueFd();
        info = UniqueFd();
        const int saved = errno;
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
            ::rmdir(it->constData());
        m_made.clear();
        errno = saved;
    }

    // Opens the folder `path`, made (mode 0700) when missing; with `own`, it must be a folder of
    // this user and not a link. False with errno set when it can't be used.
    bool openOrMake(const QByteArray& path, bool own, UniqueFd& out) {
        if (::mkdir(path.constData(), 0700) == 0)
            m_made.push_back(path);
        else if (errno != EEXIST)
            return false;
        out = UniqueFd(::open(path.constData(), kFolderFlags | (own ? O_NOFOLLOW : 0)));
        struct stat st;
        if (!out.ok() || ::fstat(out.get(), &st) != 0)
            return false;
        if (own && (st.st_uid != ::getuid() || !S_ISDIR(st.st_mode))) {
            errno = EPERM;
            return false;
        }
        return true;
    }
    // Makes `path` and every missing folder above it.
    bool makePath(const QByteArray& path) {
        struct stat st;
        if (::stat(path.constData(), &st) == 0)
            return true;
        if (errno != ENOENT || (path != "/" && !makePath(FolderOf(path))))
            return false;
        UniqueFd unused;
        return openOrMake(path, false, unused);
    }
    // Opens "files" and "info" of the trash at `dir` (made when missing).
    bool open(const QByteArray& dir, bool own) {
        m_dir = dir;
        UniqueFd top;
        return openOrMake(dir, own, top) && openOrMake(dir + "/files", own, files) &&
               openOrMake(dir + "/info", own, info);
    }

    const QByteArray& dir() const { return m_dir; }
    UniqueFd files, info;

private:
    QByteArray m_dir;
    std::vector<QByteArray> m_made;
    bool m_keep = false;
};

// Where an item may go: a trash folder and the Path= its info file records.
struct Destination {
    QByteArray where;   // the home trash, or the top folder of the item's file system
    QByteArray pathKey; // the item's path as the info file records it
};

QByteArray dataHome() {
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    return qgetenv("HOME") + "/.local/share";
}

// The top-directory trash of the file system whose top folder is `top`: "$top/.Trash/$uid"
// when "$top/.Trash" is a sticky folder (not a link), else "$top/.Trash-$uid"; opened into
// `folder`.
bool openTopTrash(const QByteArray& top, TrashFolder& folder, QString& error) {
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::getuid());
    struct stat st;
    const QByteArray shared = base + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        if (folder.open(shared + '/' + uid, true))
            return true;
        folder.undo();
    }
    if (folder.open(base + "/.Trash-" + uid, true))
        return true;
    error =
        tr("the file system at \"%1\" has no trash that can be written (%2)").arg(shown(top), reason(errno));
    return false;
}

// Records the item `name` of the folder `folder` in `trash` (Path= `pathKey`) and renames it into
// "files" under a name free in both "info" and "files": the info file is created exclusively
// first and removed again when the rename fails. Fills `result` when the item moved, when it
// turned out to be another, or when the record could not be written; else returns the errno of
// the rename (0 when no free name was found).
int moveInto(TrashFolder& trash, int folder, const QByteArray& name, const QByteArray& pathKey,
             TrashResult& result) {
    const QByteArray base = trashBaseName(name);
    const QByteArray info =
        "[Trash Info]\nPath=" + TrashPathEncoding(pathKey) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int n = 1; n <= kMaxTries; ++n) {
        const QByteArray trashName = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoName = trashName + ".trashinfo";
        struct stat st;
        if (::fstatat(trash.files.get(), trashName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        const int fd = ::openat(trash.info.get(), infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        int err = fd < 0 ? errno : 0;
        if (fd >= 0) {
            const ssize_t wrote = ::write(fd, info.constData(), static_cast<std::size_t>(info.size()));
            err = wrote == info.size() ? 0 : wrote < 0 ? errno : ENOSPC;
            if (::close(fd) != 0 && err == 0)
                err = errno;
        }
        if (err != 0) {
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            result.error =
                tr("its record could not be written in \"%1\" (%2)").arg(shown(trash.dir()), reason(err));
            return err;
        }
        // Then the item itself, never over another.
        int moved =
            ::renameat2(folder, name.constData(), trash.files.get(), trashName.constData(), RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL) // a file system without RENAME_NOREPLACE
            moved = ::renameat(folder, name.constData(), trash.files.get(), trashName.constData());
        if (moved != 0) {
            err = errno;
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            if (err == EEXIST)
                continue;
            return err;
        }
        // A newcomer put in its place between the look and the rename goes back.
        struct statx after;
        if (statOf(trash.files.get(), trashName.constData(), after) && idOf(after) != result.found &&
            ::renameat2(trash.files.get(), trashName.constData(), folder, name.constData(),
                        RENAME_NOREPLACE) == 0) {
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            result.replaced = true;
            result.found = idOf(after);
            result.error = tr("it changed since the list was read");
            return 0;
        }
        trash.keep();
        result.moved = true;
        result.trashedAs = trash.dir() + "/files/" + trashName;
        return 0;
    }
    return 0;
}

} // namespace

QByteArray TrashPathEncoding(const QByteArray& bytes) {
    return bytes.toPercentEncoding("/");
}

TrashResult MoveToTrash(const QByteArray& given, const std::optional<FileId>& expected) {
    TrashResult result;
    const QByteArray path = AbsolutePath(given);
    const QByteArray folderPath = FolderOf(path);
    const QByteArray name = NameOf(path);
    if (name.isEmpty() || name == "." || name == "..") {
        result.error = tr("\"%1\" is not an item that can be moved").arg(shown(given));
        return result;
    }

    const UniqueFd folder(OpenFolder(folderPath));
    struct statx sx, folderSx;
    if (!folder.ok() || !statOf(folder.get(), name.constData(), sx)) {
        result.error = errno == ENOENT ? tr("it is no longer there") : reason(errno);
        return result;
    }
    result.found = idOf(sx);
    if (expected && *expected != result.found) {
        result.replaced = true;
        result.error = tr("it changed since the list was read");
        return result;
    }
    if (!statOf(folder.get(), "", folderSx) || isMountRoot(sx, idOf(folderSx).device)) {
        result.error = tr("it is a mount point");
        return result;
    }

    // The home trash for an item on its file system (the nearest folder of it that exists
    // tells), else the one at the top of the item's own file system; the home trash also
    // hands over to it when the rename crosses a mount (a bind mount of the same file system).
    std::vector<Destination> destinations;
    QByteArray homeTrash = dataHome() + "/Trash";
    QByteArray probe = homeTrash;
    struct statx homeSx {};
    while (!statOf(AT_FDCWD, probe.constData(), homeSx) && probe != "/")
        probe = FolderOf(probe);
    const bool homeFs = idOf(homeSx).device == result.found.device;
    if (homeFs)
        destinations.push_back({homeTrash, path});
    if (char* real = ::realpath(folderPath.constData(), nullptr)) {
        const QByteArray realFolder(real);
        std::free(real);
        const QByteArray top = topFolderOf(realFolder);
        const QByteArray inside = realFolder.mid(top == "/" ? 1 : top.size() + 1);
        destinations.push_back({top, inside.isEmpty() ? name : inside + '/' + name});
    } else if (!homeFs) {
        result.error = tr("its folder \"%1\" can't be resolved (%2)").arg(shown(folderPath), reason(errno));
        return result;
    }

    for (std::size_t i = 0; i < destinations.size(); ++i) {
        const Destination& d = destinations[i];
        const bool home = homeFs && i == 0;
        TrashFolder trash;
        if (home) {
            if (!trash.makePath(dataHome()) || !trash.open(d.where, false)) {
                result.error =
                    tr("no trash folder could be made in \"%1\" (%2)").arg(shown(dataHome()), reason(errno));
                return result;
            }
        } else if (!openTopTrash(d.where, trash, result.error)) {
            return result;
        }

        const int err = moveInto(trash, folder.get(), name, d.pathKey, result);
        if (result.moved || result.replaced || !result.error.isEmpty())
            return result;
        if (err == EXDEV && i + 1 < destinations.size())
            continue;
        if (err == EACCES || err == EPERM || err == EROFS)
            result.error = tr("the folder \"%1\" can't be changed (%2)").arg(shown(folderPath), reason(err));
        else if (err == 0)
            result.error = tr("no free name was found in \"%1\"").arg(shown(trash.dir()));
        else
            result.error = tr("it could not be moved into \"%1\" (%2)").arg(shown(trash.dir()), reason(err));
        return result;
    }
    result.error = tr("no trash takes it");
    return result;
}

} // namespace ketra
