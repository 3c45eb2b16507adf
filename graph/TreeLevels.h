// The folders of the tree view's levels: which folder's items each level of the tree shows, and
// the full path of an item of any level.
//
// Level 1 is the tree's root folder itself (its entry's name is its full path), level 2 holds the
// root's items, and level L + 1 the items of the folder opened at level L. There is no limit to
// the depth: a tree opened 100 folders down keeps every level's folder.
#pragma once

#include "graph/DataEntry.h"
#include "graph/GraphModel.h"

#include <QByteArray>

#include <vector>

namespace ketra {

class TreeLevelFolders {
public:
    // A fresh tree of `root`: levels 1 and 2 only.
    void reset(const QByteArray& root);
    // The folder at `path`, an item of level `level` (2 or deeper), is opened: its items become
    // level `level` + 1, and every deeper level is forgotten.
    void open(int level, const QByteArray& path);
    // The folder whose items have level `level` (the root's for level 2); empty when none is known.
    QByteArray folderOf(int level) const;
    QByteArray root() const { return folderOf(2); }

    // The full path of `entry`: for level 1 its name (the root's full path), otherwise the folder
    // of its level, "/", and its name (the bytes of both). Empty when its level's folder is not
    // known.
    QByteArray itemPath(const DataEntry& entry) const;

private:
    std::vector<QByteArray> m_folders; // slot k: the folder whose items have level k + 1
};

// Removes every entry deeper than `level` from `model`, keeping the others in order.
void DropDeeperLevels(GraphModel& model, int level);

} // namespace ketra
