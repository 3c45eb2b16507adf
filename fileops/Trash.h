// Moving an item to the freedesktop trash. Nothing is ever deleted for good here.
#pragma once

#include "folders/FileId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace ketra {

struct TrashResult {
    bool moved = false;
    // Not moved because the name now stands for another file or folder than the one expected;
    // `found` is the one it stands for now.
    bool replaced = false;
    FileId found;
    QByteArray trashedAs; // where the item now lies in the trash ("files/" of it; moved only)
    QString error;        // why it was not moved, in words (not moved only)
};

// Moves the item at `path` (bytes, as the file system names it: a file, a folder with
// everything in it, or a symbolic link itself, dangling or not) to the trash of its file
// system, in the freedesktop trash layout that file managers restore from:
//   - the home trash ("Trash" in $XDG_DATA_HOME, else ~/.local/share; made when missing) for
//     an item on the same file system, with the absolute path in the info file;
//   - else the trash at the top of the item's file system: "$top/.Trash/$uid" when "$top/.Trash"
//     is a folder with the sticky bit and not a link, else "$top/.Trash-$uid", with the path
//     relative to $top.
// The info file ("info/NAME.trashinfo", Path= percent-encoded from the bytes, DeletionDate=) is
// created exclusively before the item is renamed into "files/NAME", and removed when the rename
// fails. With `expected`, an item that is not that one (another device or inode) is left alone
// and reported as `replaced`. When no trash takes the item (a mount point, a file system
// without a trash that can be written), it stays where it was, every folder made for the trash
// is removed again, and `error` says why.
TrashResult MoveToTrash(const QByteArray& path, const std::optional<FileId>& expected = std::nullopt);

// The bytes of a name or path as the trash's info file writes them: every byte but the letters,
// digits, "-", ".", "_", "~" and "/" as "%XX".
QByteArray TrashPathEncoding(const QByteArray& bytes);

} // namespace ketra
