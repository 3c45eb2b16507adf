// Looks for a pattern inside one regular file, block by block.
#pragma once

#include "search_match.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

namespace treescan {

// One per worker thread: it owns the read buffer.
class ContentReader {
public:
    static constexpr std::size_t kDefaultBlock = 256 * 1024;

    explicit ContentReader(std::size_t blockSize = kDefaultBlock);

    // True when the open regular file `fd` (whose fstat is `st`) contains `pattern`. Reads the
    // bytes up to st.st_size, each block together with the pattern's length - 1 bytes before it,
    // so a match that straddles two blocks is found; stops at the first match. Holes of sparse
    // files hold only NUL bytes and are skipped: a match can't lie in or across one, because a
    // pattern never contains NUL (C strings). A read error ends the file as "not found".
    // `stop` is checked before every block.
    bool contains(int fd, const struct stat& st, const Pattern& pattern, const std::atomic<bool>& stop);

private:
    // Scans [from, to) as one run of bytes.
    bool scanRange(int fd, off_t from, off_t to, const Pattern& pattern, const std::atomic<bool>& stop);

    std::size_t m_block;
    std::size_t m_capacity = 0;
    std::unique_ptr<unsigned char[]> m_buffer;
};

} // namespace treescan
