#include "search_content.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace treescan {

namespace {
// Smaller files are read whole, holes and all: a few pages of zeros cost less than the lseeks.
constexpr off_t kSparseFrom = 16 * 1024;
} // namespace

ContentReader::ContentReader(std::size_t blockSize) : m_block(blockSize > 0 ? blockSize : kDefaultBlock) {}

bool ContentReader::contains(int fd, const struct stat& st, const Pattern& pattern,
                             const std::atomic<bool>& stop) {
    if (pattern.empty())
        return true;
    const off_t size = st.st_size;
    if (size < static_cast<off_t>(pattern.size()))
        return false;
    const std::size_t need = m_block + pattern.size() - 1;
    if (m_capacity < need) {
        m_buffer = std::make_unique<unsigned char[]>(need);
        m_capacity = need;
    }
    // A file with fewer blocks on disk than its size has holes: visit its data extents only.
    // (A file that merely looks sparse, e.g. compressed, just costs a few more lseek calls.)
    const bool sparse = size > kSparseFrom && st.st_blocks * 512 < size;
    if (!sparse)
        return scanRange(fd, 0, size, pattern, stop);
    // Without this the kernel reads ahead past the end of each run of data into the hole after
    // it, and fills the page cache with pages of zeros that push real data out.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    off_t at = 0;
    while (at < size) {
        off_t data = lseek(fd, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                return false;                              // no data after `at`
            return scanRange(fd, at, size, pattern, stop); // SEEK_DATA unsupported: read it all
        }
        if (data >= size)
            return false;
        off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0 || hole > size)
            hole = size;
        if (scanRange(fd, data, hole, pattern, stop))
            return true;
        if (stop.load(std::memory_order_relaxed))
            return false;
        at = hole;
    }
    return false;
}

bool ContentReader::scanRange(int fd, off_t from, off_t to, const Pattern& pattern,
                              const std::atomic<bool>& stop) {
    unsigned char* buf = m_buffer.get();
    const std::size_t overlap = pattern.size() - 1;
    std::size_t kept = 0; // bytes carried over from the end of the previous block
    off_t at = from;
    while (at < to) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        std::size_t want = m_block;
        if (static_cast<off_t>(want) > to - at)
            want = static_cast<std::size_t>(to - at);
        ssize_t got = pread(fd, buf + kept, want, at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return false; // the file shrank
        std::size_t total = kept + static_cast<std::size_t>(got);
        if (pattern.foundIn(buf, total))
            return true;
        at += got;
        kept = total < overlap ? total : overlap;
        std::memmove(buf, buf + total - kept, kept);
    }
    return false;
}

} // namespace treescan
