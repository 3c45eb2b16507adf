// Where the folder cache is stored, and how it is read and written.
#pragma once

#include <cstddef>
#include <string>

namespace treescan {

// $XDG_CACHE_HOME/ketra/folders.cache when XDG_CACHE_HOME is an absolute path, else
// ~/.cache/ketra/folders.cache. Empty when no home folder is known.
std::string cacheFilePath();

// Reads a whole file of at most `maxBytes` bytes. False when missing, unreadable or too big.
bool readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

// Writes `data` to `path` so that a reader sees either the old file or the whole new one: an
// unnamed file in its folder, written and flushed to disk, named and renamed over it. The folder
// is created (mode 0700) when missing; temporaries of saves that were killed are removed.
bool writeFileAtomically(const std::string& path, const std::string& data);

} // namespace treescan
