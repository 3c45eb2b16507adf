// Where the folder cache is stored, and how it is read and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace treescan {

// $XDG_CACHE_HOME/ketra/folders.cache when XDG_CACHE_HOME is an absolute path, else
// ~/.cache/ketra/folders.cache. Empty when no home folder is known.
std::string cacheFilePath();

// Reads a whole regular file of at most `maxBytes` bytes whose first `headBytes` bytes (of the
// file's size) `accept` takes; the rest is read only then. False when missing, unreadable,
// too big or refused.
bool readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes, std::size_t headBytes = 0,
                   bool (*accept)(std::string_view head, std::uint64_t size) = nullptr);

// Writes `data` to `path` so that a reader sees either the old file or the whole new one: an
// unnamed file in its folder, written whole, named and renamed over it. Not flushed to disk: a
// crash may leave a torn file, which a reader must be able to refuse (the cache's checksum does).
// The folder is created (mode 0700) when missing; temporaries of saves that were killed are
// removed. False, with errno saying why, when it could not be written: `path` is then as it was.
bool writeFileAtomically(const std::string& path, const std::string& data);

// The stored forms (the folder cache and its history) hold numbers in the byte order of the
// machine that wrote them; kByteOrder tells a file from a machine of the other order.
inline constexpr std::uint32_t kByteOrder = 0x01020304u;

template <typename T> void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A name a folder entry can have: not empty, "." or "..", and without "/" or NUL.
inline bool validName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace treescan
