#include "common.h"

#include "treescan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace treescan {

Options& options() {
    static Options opts;
    return opts;
}

namespace {
int g_folderError = 0;
std::mutex g_currentMutex;
std::string g_currentFolder;

std::string currentFolder() {
    std::lock_guard lock(g_currentMutex);
    return g_currentFolder;
}

// Length of the longest prefix of `text` of at most `max` bytes that does not end inside a
// UTF-8 sequence. Bytes that are not valid UTF-8 count as single characters.
std::size_t utf8Cut(std::string_view text, std::size_t max) {
    if (text.size() <= max)
        return text.size();
    std::size_t cut = max;
    // Step back over continuation bytes (10xxxxxx) to the lead byte of the sequence that
    // straddles the cut, then check whether that sequence is complete within the cut.
    std::size_t lead = cut;
    while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80 && cut - lead < 4)
        --lead;
    if (lead == cut)
        return cut; // text[cut] starts a new character
    auto c = static_cast<unsigned char>(text[lead]);
    std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return lead + need <= cut ? cut : lead;
}
} // namespace

void setFolderError(int error) {
    g_folderError = error;
}

int folderError() {
    return g_folderError;
}

void setCurrentFolder(std::string_view path) {
    std::lock_guard lock(g_currentMutex);
    g_currentFolder.assign(path);
}

int32_t writeText(std::string_view text, char* buffer, int32_t max) {
    if (buffer == nullptr || max <= 0)
        return 0;
    std::size_t n = utf8Cut(text, static_cast<std::size_t>(max));
    std::memcpy(buffer, text.data(), n);
    return static_cast<int32_t>(n);
}

std::string shortenPath(std::string_view path, int32_t max) {
    if (max <= 0)
        return {};
    if (path.size() <= static_cast<std::size_t>(max))
        return std::string(path);
    static constexpr std::string_view dots = "...";
    if (max <= static_cast<int32_t>(dots.size()))
        return std::string(dots.substr(0, static_cast<std::size_t>(max)));
    std::size_t keep = static_cast<std::size_t>(max) - dots.size();
    std::size_t start = path.size() - keep;
    // Start at the next "/" so the tail reads as whole names, unless that would drop everything.
    std::size_t slash = path.find('/', start);
    if (slash != std::string_view::npos && slash + 1 < path.size())
        start = slash;
    // Never start inside a UTF-8 sequence.
    while (start < path.size() && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80)
        ++start;
    std::string out(dots);
    out.append(path.substr(start));
    return out;
}

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

int openFolderPath(const std::string& path, bool follow) {
    const int last = follow ? 0 : O_NOFOLLOW;
    int fd = ::open(path.c_str(), kDirFlags | last);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    int at = ::open(path.front() == '/' ? "/" : ".", kDirFlags);
    std::size_t pos = 0;
    while (at >= 0) {
        pos = path.find_first_not_of('/', pos);
        if (pos == std::string::npos)
            return at;
        std::size_t end = std::min(path.find('/', pos), path.size());
        bool isLast = path.find_first_not_of('/', end) == std::string::npos;
        std::string part = path.substr(pos, end - pos);
        int next = ::openat(at, part.c_str(), kDirFlags | (isLast ? last : 0));
        int saved = errno;
        ::close(at);
        errno = saved;
        at = next;
        pos = end;
    }
    return -1;
}

std::atomic<std::int32_t>& entryDelay() {
    static std::atomic<std::int32_t> us{0};
    return us;
}

bool DirReader::next(Entry& entry) {
    if (const std::int32_t us = entryDelay().load(std::memory_order_relaxed); us > 0)
        ::usleep(static_cast<useconds_t>(us));
    for (;;) {
        if (m_pos >= m_len) {
            long n = syscall(SYS_getdents64, m_fd, m_buf, m_cap);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_error = errno;
                return false;
            }
            if (n == 0)
                return false;
            m_len = static_cast<std::size_t>(n);
            m_pos = 0;
        }
        // struct linux_dirent64 { u64 d_ino; s64 d_off; u16 d_reclen; u8 d_type; char d_name[]; }
        const char* rec = m_buf + m_pos;
        unsigned short reclen;
        std::memcpy(&reclen, rec + 16, sizeof reclen);
        m_pos += reclen;
        const char* name = rec + 19;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        std::memcpy(&entry.inode, rec, sizeof entry.inode);
        entry.type = static_cast<unsigned char>(rec[18]);
        entry.name = name;
        entry.nameLength = std::strlen(name);
        return true;
    }
}

} // namespace treescan

using treescan::options;

extern "C" {

void SortBy(int32_t key, int32_t ascending) {
    if (key < TREESCAN_SORT_NAME || key > TREESCAN_SORT_CHANGE)
        key = TREESCAN_SORT_NAME;
    options().sortKey = key;
    options().ascending = ascending != 0;
}
void IncludeFolderSize(int32_t flag) {
    options().folderSize = flag != 0;
}
void IncludeHidden(int32_t flag) {
    options().hidden = flag != 0;
}
void IncludeSystem(int32_t flag) {
    options().system = flag != 0;
}
void IgnoreCase(int32_t flag) {
    options().ignoreCase = flag != 0;
}
void FileGTE(double bytes) {
    options().minSize = bytes < 0 ? -1.0 : bytes;
}
void FileLTE(double bytes) {
    options().maxSize = bytes < 0 ? -1.0 : bytes;
}

int32_t GetCurrentFolder(char* buffer, int32_t max) {
    if (buffer == nullptr || max <= 0)
        return 0;
    return treescan::writeText(treescan::shortenPath(treescan::currentFolder(), max), buffer, max);
}

int32_t GetCurrentFolderLength(void) {
    return static_cast<int32_t>(treescan::currentFolder().size());
}

void SlowDownScans(int32_t microseconds) {
    treescan::entryDelay().store(std::max<int32_t>(0, microseconds));
}

void ResetFileTree(void) {
    treescan::stopScan();
    treescan::stopSearch();
    treescan::stopExport();
}

} // extern "C"
