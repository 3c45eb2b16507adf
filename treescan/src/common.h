// Internals shared by the scanner and the search: options, the current-folder slot, text
// output into caller buffers, and a raw directory reader.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace treescan {

// A file's modification time as one number for the folder cache: ns since the epoch, wrapping
// (never overflowing) past the year 2262. It tells a change, not a date.
inline std::int64_t mtimeKey(const struct stat& st) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                                     static_cast<std::uint64_t>(st.st_mtim.tv_nsec));
}

// Options set through the C interface. Read by workers, so every field is atomic.
struct Options {
    std::atomic<int> sortKey{0}; // TREESCAN_SORT_*
    std::atomic<bool> ascending{true};
    std::atomic<bool> folderSize{false};
    std::atomic<bool> hidden{false};
    std::atomic<bool> system{false};
    std::atomic<bool> ignoreCase{false};
    std::atomic<double> minSize{-1}; // FileGTE; negative = no bound
    std::atomic<double> maxSize{-1}; // FileLTE; negative = no bound
};
Options& options();

// The folder that GetCurrentFolder reports. Set on the owner thread by NextTree / NextFind when
// they return 1.
void setCurrentFolder(std::string_view path);

// The errno of the last SetFolder or FindStr that failed, 0 after one that succeeded
// (GetFolderError). Owner thread.
void setFolderError(int error);
int folderError();

// Writes `text` into buffer[0..max), cut at `max` bytes but never inside a UTF-8 sequence.
// Returns the count written. A null buffer or max <= 0 writes nothing.
int32_t writeText(std::string_view text, char* buffer, int32_t max);

// Shortens `path` to at most `max` bytes by keeping its end behind "...": the result starts
// at a "/" where one is near, e.g. ".../deep/folder". Returns the path unchanged when it fits.
std::string shortenPath(std::string_view path, int32_t max);

// Opens the folder `path` (O_RDONLY | O_DIRECTORY | O_CLOEXEC); a symbolic link as its last
// part is followed only when `follow`. Paths longer than the kernel takes at once (PATH_MAX)
// are opened one part at a time. Returns the descriptor, or -1 with errno set.
int openFolderPath(const std::string& path, bool follow);

// The wait before each entry a DirReader gives (SlowDownScans), in microseconds.
std::atomic<std::int32_t>& entryDelay();

// Stop hooks that ResetFileTree calls (any thread): the scanner's, the search's and the export's.
void stopScan() noexcept;
void stopSearch() noexcept;
void stopExport() noexcept;

// The size of the buffer every DirReader reads into.
inline constexpr std::size_t kDirReadBuffer = 64 * 1024;

// Reads the entries of an open directory with getdents64, into a caller-supplied buffer,
// skipping "." and "..". Borrowed fd; not thread-safe (one reader per fd).
class DirReader {
public:
    struct Entry {
        const char* name; // NUL-terminated, valid until the next call to next()
        std::size_t nameLength;
        unsigned char type; // DT_* (DT_UNKNOWN on file systems that do not fill it in)
        std::uint64_t inode;
    };

    DirReader(int fd, char* buffer, std::size_t capacity) : m_fd(fd), m_buf(buffer), m_cap(capacity) {}

    // Next entry; false at the end or on an error (see error()). The folder ends only where
    // getdents64 returns nothing: a read comes back short whenever a signal is pending.
    bool next(Entry& entry);
    int error() const { return m_error; } // errno of a failed read, else 0

private:
    int m_fd;
    char* m_buf;
    std::size_t m_cap;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    int m_error = 0;
};

} // namespace treescan
