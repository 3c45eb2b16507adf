// One graph entry: a file or sub-folder of the folder shown (or a table's cell), as the 3D view
// sees it: the item as the folder side knows it (name, size, date, attributes, identity) and the
// view's state beside it. A plain record; the grid layout (GraphModel::ScaleEntries) fills in its
// scene position and height, and the scene code gives it its frame.
#pragma once

#include "folders/ItemRecord.h"

#include <cstdint>
#include <memory>

class CD3DFrame;

namespace ketra {

struct DataEntry : ItemRecord {
    float X = 0;      // scene X of the bar's centre line (ScaleEntries)
    float Height = 0; // bar height in scene units (ScaleEntries)
    float Z = 0;      // scene Z of the bar's centre line (ScaleEntries)
    // The grid row and column (0-based; they drive X and Z) are whole numbers, exact as singles
    // up to 16,777,216; a million items pay 4 bytes less for each.
    float Row = 0;
    float Column = 0;
    std::uint32_t Colour = 0; // bar colour, packed 0xAARRGGBB
    std::int16_t Level = 0;   // tree depth: 1 the folder itself (tree view), 2 its items, 3+ deeper
    // The texture drawn on a file's bar (a plotted table's column), as the model numbers its
    // textures (GraphModel::texture); 0 for none. Few entries have one, and a pointer in every
    // entry took 16 bytes an item.
    std::uint32_t TextureNumber = 0;
    double Value = 0; // height value: the size in bytes, or its natural logarithm on the log scale
    std::shared_ptr<CD3DFrame> Frame; // the bar's frame, once the scene is built
};

} // namespace ketra
