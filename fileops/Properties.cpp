#include "fileops/Properties.h"

#include "fileops/PosixPath.h"
#include "treescan.h"
#include "units/Thousands.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>

#include <array>
#include <cmath>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ketra {

namespace {

QDateTime timeOf(const struct timespec& t) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

QString ownerName(uid_t uid) {
    struct passwd entry, *found = nullptr;
    std::array<char, 16384> buffer;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    struct group entry, *found = nullptr;
    std::array<char, 16384> buffer;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

// The MIME type in words: a regular file's from its name and first bytes (opened without
// blocking, and read only when it is still a regular file), anything else's from its kind.
QString typeOf(int folder, const char* entry, const QString& name, const struct stat& st) {
    const QMimeDatabase db;
    QMimeType mime;
    if (S_ISREG(st.st_mode)) {
        QFile file;
        struct stat opened;
        const int fd = ::openat(folder, entry, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            mime = db.mimeTypeForFileNameAndData(name, &file);
        else {
            if (fd >= 0)
                ::close(fd);
            mime = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        }
    } else {
        const char* kind = S_ISDIR(st.st_mode)    ? "inode/directory"
                           : S_ISFIFO(st.st_mode) ? "inode/fifo"
                           : S_ISCHR(st.st_mode)  ? "inode/chardevice"
                           : S_ISBLK(st.st_mode)  ? "inode/blockdevice"
                                                  : "inode/socket";
        mime = db.mimeTypeForName(QLatin1String(kind));
    }
    return QStringLiteral("%1 (%2)").arg(mime.comment(), mime.name());
}

} // namespace

QString ByteText(double bytes) {
    const auto whole = static_cast<std::int64_t>(std::llround(std::max(bytes, 0.0)));
    if (whole == 1)
        return QStringLiteral("1 byte");
    QString text = GroupThousands(QString::number(whole)) + QStringLiteral(" bytes");
    static constexpr std::array<const char*, 5> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    double scaled = static_cast<double>(whole);
    int unit = -1;
    while (scaled >= 1024 && unit + 1 < static_cast<int>(kUnits.size())) {
        scaled /= 1024;
        ++unit;
    }
    if (unit >= 0)
        text += QStringLiteral(" (%1 %2)").arg(scaled, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
    return text;
}

QString PermissionText(unsigned mode) {
    QString text;
    for (int bit = 8; bit >= 0; --bit)
        text += (mode >> bit) & 1u ? QLatin1Char("xwr"[bit % 3]) : QLatin1Char('-');
    return text + QStringLiteral(" (%1)").arg(mode & 0777u, 3, 8, QLatin1Char('0'));
}

FileProperties ReadFileProperties(const QByteArray& given) {
    FileProperties p;
    p.path = AbsolutePath(given);
    const QByteArray folderPath = FolderOf(p.path);
    const QByteArray name = NameOf(p.path);
    p.name = QString::fromUtf8(name);
    p.folder = QString::fromUtf8(folderPath);
    const UniqueFd folder(OpenFolder(folderPath));
    const char* entry = name.isEmpty() ? "." : name.constData(); // "/" itself
    struct stat st;
    if (!folder.ok() || ::fstatat(folder.get(), entry, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return p;
    p.exists = true;
    p.isLink = S_ISLNK(st.st_mode);
    if (p.isLink) {
        QByteArray target(static_cast<qsizetype>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        const ssize_t n =
            ::readlinkat(folder.get(), entry, target.data(), static_cast<std::size_t>(target.size()));
        target.truncate(n > 0 ? n : 0);
        const QByteArray absolute = target.startsWith('/') ? target : folderPath + '/' + target;
        p.linkTarget = QDir::cleanPath(QString::fromUtf8(absolute));
        if (::fstatat(folder.get(), entry, &st, 0) != 0) {
            p.brokenLink = true;
            p.type = QStringLiteral("broken link");
            return p;
        }
    }
    // The rest describes what a link leads to: what opening the item shows.
    p.isFolder = S_ISDIR(st.st_mode);
    p.type = typeOf(folder.get(), entry, p.name, st);
    p.size = p.isFolder ? 0 : static_cast<std::int64_t>(st.st_size);
    p.modified = timeOf(st.st_mtim);
    p.accessed = timeOf(st.st_atim);
    p.owner = ownerName(st.st_uid);
    p.group = groupName(st.st_gid);
    p.permissions = PermissionText(static_cast<unsigned>(st.st_mode));
    return p;
}

std::optional<FolderTotals> MeasureFolder(const QByteArray& folder, bool includeFolders, int fit,
                                          const FolderReader::Progress& progress) {
    std::array<char, 4096> buffer{};
    FolderReader reader(buffer);
    IncludeFolderSize(1);
    const bool read = reader.open(folder) >= 0;
    bool done = read && reader.measure(fit, progress);
    if (done && FolderReader::verifying()) // a first answer from the cache: the exact one follows
        done = reader.measure(fit, progress);
    std::optional<FolderTotals> totals;
    if (done)
        totals =
            FolderTotals{GetTotalSize(), FolderReader::totalFileCount(), FolderReader::totalFolderCount()};
    IncludeFolderSize(includeFolders ? 1 : 0);
    return totals;
}

} // namespace ketra
