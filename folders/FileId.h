// Which file a name stood for when it was read: the device and inode numbers of the entry itself
// (lstat), as the scanner lists them (GetFileId). A name that later belongs to another file or
// folder gives another identity. Zero for an entry that is no file (a table's cell).
#pragma once

#include <cstdint>

namespace ketra {

struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

} // namespace ketra
