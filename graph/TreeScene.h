// The 3D tree view's scene: the folder as one node, its items as a wall of nodes beside it, and
// the items of each folder opened below it as the next wall, one wall per level along +X.
//
// Levels stand 5 units apart: the folder's node at X = -5, its items at X = 0, the next level at
// X = 5 and so on. Within a level, nodes rise in columns along +Y from y = -1.5 in steps of 2.5,
// R to a column, and each further column stands 2.5 further along +Z. R, the wall height, is
// round(sqrt(n - 1) - 1) for the n entries of all levels together. The count of a column is
// carried from one level to the next, so a new level's first column holds fewer nodes when the
// last column of the level before was not full.
//
// Folders are spheres a bar's width across, files unit cubes, both in their entries' colours;
// with names shown each node has its blue 3D label beside it (the folder's own label, its full
// path, below and behind its node).
#pragma once

#include "graph/BarScene.h"

#include <vector>

namespace ketra {

// Where one entry's node stands and where its label starts.
struct TreeNodePlace {
    platform::Vector3 node;
    platform::Vector3 label;
};

// The nodes' places for `entries` in order (level 1 first, then each level after the one before).
std::vector<TreeNodePlace> LayoutTree(const std::vector<DataEntry>& entries);

// The wall height R for `count` entries of all levels (-1 for a single entry: one column).
int TreeWallHeight(int count);

// A node's label text: the name itself up to 120 characters, the first 7 and "..." beyond.
QString TreeLabelText(const QString& name);

// Builds the tree scene of `model`'s entries: the root with the start tilt, an empty base frame
// (the tree has no plate), and below the bars frame per entry i (1-based) a node frame named "i"
// and, with the option m_showText, a label frame named "i" with its text in `labelFont`. Each
// entry's Frame becomes its node frame. An empty model gives an empty scene.
BarScene BuildTreeScene(GraphModel& model, const Options& options, const QFont& labelFont,
                        float barWidth = 1.0f, float barDepth = 1.0f);

} // namespace ketra
