// Moving an item to the freedesktop trash. Nothing is ever deleted for good here.
#pragma once

#include <QString>

namespace ketra {

struct TrashResult {
    bool moved = false;
    QString trashedAs; // where the item now lies in the trash (moved only)
    QString error;     // why it was not moved, in words (not moved only)
};

// Moves `path` (a file, a folder with everything in it, or a symbolic link itself) to the trash
// of its file system: the home trash ("Trash" in the user's data folder, ~/.local/share, made
// when missing) or "<mount>/.Trash-<uid>" on another file system. When no trash takes it, the
// item stays where it was and `error` says why.
TrashResult MoveToTrash(const QString& path);

} // namespace ketra
