#include "fileops/Properties.h"

#include "treescan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <array>
#include <cmath>

namespace ketra {

namespace {

QString grouped(std::int64_t whole) {
    QString digits = QString::number(whole);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

} // namespace

QString ByteText(double bytes) {
    const auto whole = static_cast<std::int64_t>(std::llround(std::max(bytes, 0.0)));
    if (whole == 1)
        return QStringLiteral("1 byte");
    QString text = grouped(whole) + QStringLiteral(" bytes");
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

QString PermissionText(QFileDevice::Permissions p) {
    using P = QFileDevice;
    const std::array<std::array<QFileDevice::Permission, 3>, 3> who = {{
        {P::ReadOwner, P::WriteOwner, P::ExeOwner},
        {P::ReadGroup, P::WriteGroup, P::ExeGroup},
        {P::ReadOther, P::WriteOther, P::ExeOther},
    }};
    QString text;
    int octal = 0;
    for (const auto& bits : who) {
        int digit = 0;
        for (int i = 0; i < 3; ++i) {
            const bool on = p.testFlag(bits[static_cast<std::size_t>(i)]);
            text += on ? QLatin1Char("rwx"[i]) : QLatin1Char('-');
            digit = digit * 2 + (on ? 1 : 0);
        }
        octal = octal * 8 + digit;
    }
    return text + QStringLiteral(" (%1)").arg(octal, 3, 8, QLatin1Char('0'));
}

FileProperties ReadFileProperties(const QString& path) {
    FileProperties p;
    const QFileInfo info(path);
    p.name = info.fileName();
    p.folder = QDir::cleanPath(info.absolutePath());
    p.isLink = info.isSymLink();
    p.exists = info.exists() || p.isLink;
    if (!p.exists)
        return p;
    if (p.isLink) {
        p.linkTarget = info.symLinkTarget();
        if (!info.exists()) {
            p.brokenLink = true;
            p.type = QStringLiteral("broken link");
            return p;
        }
    }
    // The rest describes what a link leads to: what opening the item shows.
    p.isFolder = info.isDir();
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    p.type = QStringLiteral("%1 (%2)").arg(mime.comment(), mime.name());
    p.size = p.isFolder ? 0 : info.size();
    p.modified = info.lastModified();
    p.accessed = info.lastRead();
    p.owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    p.group = info.group().isEmpty() ? QString::number(info.groupId()) : info.group();
    p.permissions = PermissionText(info.permissions());
    return p;
}

std::optional<FolderTotals> MeasureFolder(const QString& folder, bool includeFolders, int fit,
                                          const FolderReader::Progress& progress) {
    std::array<char, 4096> buffer{};
    FolderReader reader(buffer);
    IncludeFolderSize(1);
    const bool read = reader.open(QFile::encodeName(folder)) >= 0;
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
