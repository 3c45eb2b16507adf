#include "folders/FolderReader.h"

#include "folders/Paths.h"
#include "treescan.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <limits>

namespace ketra {

namespace {

std::int32_t capacityOf(std::span<char> buffer) {
    return static_cast<std::int32_t>(
        std::min<std::size_t>(buffer.size(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

QString FolderReader::text(std::int32_t length) const {
    return QString::fromUtf8(m_buffer.data(), std::clamp<std::int32_t>(length, 0, capacityOf(m_buffer)));
}

std::int32_t FolderReader::open(const QByteArray& folder) {
    WaitForTree(0);
    if (folder.contains('\0')) { // no system call takes it: it would name another folder
        m_error = EINVAL;
        return -1;
    }
    const std::int32_t n = SetFolder(folder.constData());
    m_error = n < 0 ? GetFolderError() : 0;
    return n < 0 ? -1 : n;
}

QString FolderErrorText(const QByteArray& folder, int error) {
    const QString shown = displayText(folder);
    if (error == 0 || error == ENOENT)
        return QCoreApplication::translate("FolderReader", "Folder \"%1\" not found").arg(shown);
    return QCoreApplication::translate("FolderReader", "Folder \"%1\" can't be read: %2")
        .arg(shown, QString::fromLocal8Bit(std::strerror(error)));
}

bool FolderReader::measure(int fit, const Progress& progress) {
    const std::int32_t max = std::clamp(fit, 1, capacityOf(m_buffer));
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        const std::int32_t r = NextTree();
        if (r == 0)
            return true;
        if (r == 1) {
            quiet.restart();
            if (progress && !progress(text(GetCurrentFolder(m_buffer.data(), max))))
                return false;
            continue;
        }
        // Nothing new yet: sleep until there is, or until the caller is due to hear of it.
        WaitForProgress(std::max<int>(0, kQuietMs - static_cast<int>(quiet.elapsed())));
        if (progress && quiet.elapsed() >= kQuietMs) {
            quiet.restart();
            if (!progress(QString()))
                return false;
        }
    }
}

FolderItem FolderReader::item(std::int32_t index) {
    const std::int32_t capacity = capacityOf(m_buffer);
    FolderItem it;
    const QByteArrayView time(m_buffer.data(),
                              std::clamp(GetTime(index, m_buffer.data(), capacity), 0, capacity));
    if (time != m_lastTimeBytes || m_lastTime.isNull()) {
        m_lastTimeBytes = time.toByteArray();
        m_lastTime = QString::fromUtf8(time);
    }
    it.modified = m_lastTime;
    it.name = QByteArray(m_buffer.data(), std::clamp(GetFile(index, m_buffer.data(), capacity), 0, capacity));
    it.attributes = GetAttribs(index);
    it.size = GetSize(index);
    GetFileId(index, &it.id.device, &it.id.inode);
    if ((it.attributes & kFolderAttribute) != 0) {
        double earlier = 0;
        std::int64_t when = 0;
        const std::int32_t change = GetChange(index, &earlier, &when);
        if (change != TREESCAN_CHANGE_UNKNOWN) {
            it.earlier = change == TREESCAN_CHANGE_NEW ? ItemRecord::kNotThereEarlier : earlier;
            it.earlierTime = static_cast<std::uint32_t>(std::clamp<std::int64_t>(when, 0, UINT32_MAX));
        }
    }
    return it;
}

FolderChanges FolderReader::changes() {
    FolderChanges c;
    double earlier = 0;
    c.known = GetFolderChange(&earlier, &c.earlierTime) != TREESCAN_CHANGE_UNKNOWN;
    c.removedCount = GetRemovedFolders(&c.removedBytes);
    return c;
}

std::int32_t FolderReader::sortByTotals() {
    return ResortFolder();
}

bool FolderReader::verifying() {
    return GetPassState() == TREESCAN_PASS_CACHED;
}

bool FolderReader::verifiedNow() {
    return verifying() && NextTree() == 1;
}

int FolderReader::progressDescriptor() {
    return GetProgressDescriptor();
}

std::int64_t FolderReader::totalFileCount() {
    return GetTotalFileCount();
}

std::int64_t FolderReader::totalFolderCount() {
    return GetTotalFolderCount();
}

} // namespace ketra
