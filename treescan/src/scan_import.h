// A scan read from a file in the JSON export format of ncdu and gdu, served in the disk's place.
#pragma once

#include "scan_list.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace treescan {

inline constexpr std::int64_t kNoTime = INT64_MIN; // a ListedItem time the scan does not give

// What a file may hold, at most: past these a scan is refused, and the message says which.
inline constexpr std::uint64_t kMaxScanFile = std::uint64_t{2} << 30; // 2 GiB
inline constexpr std::uint32_t kMaxScanEntries = 20'000'000;
inline constexpr std::uint32_t kMaxScanDepth = 16'384; // levels of folders
inline constexpr std::uint32_t kMaxScanName = 4'096;   // bytes of one name (the root's, a path: 65,535)

// One entry, 32 bytes. Entries are kept in the file's order, which is depth first: everything
// below a folder follows it, up to its `end`.
struct ScanEntry {
    enum Kind : std::uint8_t { folder, file, symlink, other };
    enum Flag : std::uint8_t { readError = 1, excluded = 2 };
    std::uint64_t size; // apparent size in bytes ("asize")
    std::int64_t mtime; // seconds since the epoch, or kNoTime
    std::uint32_t nameOffset;
    std::uint32_t end;  // folders: one past the last entry below; others: own index + 1
    std::uint32_t link; // hard-linked file: the same number for every name of one file; else ~0
    std::uint16_t nameLength;
    Kind kind;
    std::uint8_t flags;
};
static_assert(sizeof(ScanEntry) == 32, "a scan entry is 32 bytes");

struct ScanTree {
    std::vector<ScanEntry> entries; // entries[0] is the root folder, named by its path
    std::string names;
    std::uint32_t links = 0; // distinct hard-linked files
    std::string program;     // "ncdu 1.18"
    std::int64_t timestamp = 0;

    std::string_view name(std::uint32_t i) const {
        return std::string_view(names).substr(entries[i].nameOffset, entries[i].nameLength);
    }
};

// Reads a scan from `file` (a regular file; opened without blocking). False, with `error` naming
// the file, the reason and the byte where it was found, when it is not a sound scan or passes a
// limit above.
bool readScan(const std::string& file, ScanTree& out, std::string& error);
// The same over bytes in memory (the fuzz target's way in); `label` stands for the file name.
bool parseScan(std::string_view data, std::string_view label, ScanTree& out, std::string& error);

// The scan open in the disk's place (owner thread), or nullptr.
std::shared_ptr<const ScanTree> openedScan();

// The folder at `path` in `scan` (the root's path, then names): its index, or ~0 when there is
// no such folder.
std::uint32_t findScanFolder(const ScanTree& scan, std::string_view path);

struct ScanTotals {
    std::uint64_t bytes = 0, files = 0, folders = 0;
};
// Lists folder `path` of the open scan as SetFolder lists a folder on disk (the options'
// hidden, system and order apply; folder totals when `folderSizes`). Returns the item count, or
// -1 when the scan has no such folder.
std::int32_t listScanFolder(const std::string& path, bool folderSizes, std::vector<ListedItem>& items,
                            ScanTotals& totals);

} // namespace treescan
