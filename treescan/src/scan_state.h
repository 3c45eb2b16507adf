// The scanner's state behind the C interface, visible to white-box tests.
#pragma once

#include "cache.h"

#include <cstdint>
#include <string>

namespace treescan {

// What the last folder-size pass did (owner thread).
struct PassFigures {
    std::uint32_t foldersRead = 0;      // read from disk
    std::uint32_t foldersFromCache = 0; // confirmed unchanged by a stat
    std::uint32_t unreadable = 0;       // could not be read, skipped
};
PassFigures lastPassFigures();

// The folder last set, as SetFolder was given it (empty before the first).
const std::string& listedFolder();

// The cache's key for a folder: its real path (links resolved), else its normalised path.
std::string cacheKey(const std::string& path);

// The folder cache (owner thread, no pass running).
FolderCache& folderCache();

// An absolute path with "." and ".." resolved and no doubled or trailing "/" ("/" stays "/");
// relative paths are taken from the working folder. No links are resolved.
std::string normalisePath(const std::string& path);

} // namespace treescan
