// The graph's entries and the bar layout: a square-ish grid of bars centred on the origin, 2.5
// units between bar centres, the tallest bar 6 units high (3 on the log scale), standing on a base
// plate that covers the grid.
//
// The folder load appends one entry per item (AddEntry), then ScaleEntries computes the maxima, the
// scale factors, the base plate's size and every entry's position and height. The scene is built
// from the result; an entry's 1-based index is its identity there (its frames are named with it).
#pragma once

#include "graph/DataEntry.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class Texture;
}

namespace ketra {

// The base plate's box: width along X, height along Y before the plate is laid flat, depth.
struct BasePlateSize {
    float width = 0;
    float height = 0;
    float depth = 0;
    friend bool operator==(const BasePlateSize&, const BasePlateSize&) = default;
};

class GraphModel {
public:
    // ---- the entries ----

    // Replaces the entries by an empty list (the start of every folder load that does not append).
    void clear() {
        m_entries.clear();
        m_textures.clear();
    }
    int count() const { return static_cast<int>(m_entries.size()); }
    bool empty() const { return m_entries.empty(); }
    // Makes room for `count` entries in all (a load knows its item count up front).
    void reserve(int count) { m_entries.reserve(static_cast<std::size_t>(std::max(count, 0))); }
    // Entry `index`, 1-based (1 to count()).
    DataEntry& entry(int index) { return m_entries.at(static_cast<std::size_t>(index - 1)); }
    const DataEntry& entry(int index) const { return m_entries.at(static_cast<std::size_t>(index - 1)); }
    const std::vector<DataEntry>& entries() const { return m_entries; }
    std::vector<DataEntry>& entries() { return m_entries; }

    // The textures of the entries (DataEntry::TextureNumber): addTexture gives `texture` its
    // number (0 for a null one); texture is an entry's, null when it has none.
    std::uint32_t addTexture(std::shared_ptr<platform::Texture> texture);
    const std::shared_ptr<platform::Texture>& texture(const DataEntry& e) const;

    // The name of the frames of entry `index`: the index in decimal. The texts of names up to
    // 9,999,999 are kept for the life of the process in one table (16 bytes a name, made as they
    // are first asked for) and a name refers to its text there, with no allocation of its own: a
    // folder of a million items took 48 bytes an item for its bars' names.
    static QString frameName(int index);
    // The entry a frame name stands for: a numeric name, rounded to a whole number, is a 1-based
    // index. 0 when the name is not numeric or names no entry of the list.
    int indexFromFrameName(const QString& name) const;

    // Appends one entry. Value is stored as its natural logarithm when `logscale` is on and the
    // value is above 0; otherwise unchanged (0 and below are never logged). A value or size that is
    // not finite is taken as 0. Callers pass the item's byte count as both value and size, and a
    // grid place (row and column: whole numbers) kept as singles.
    void AddEntry(const QString& name, double row, double value, double column, double size,
                  std::uint32_t colour, std::int32_t attributes, const QString& modified, std::int16_t level,
                  bool logscale);

    // Computes the maxima of Row, Value, Column and Size, the four scale factors (in double, so that
    // values beyond the range of a single keep every other bar's height) and the base
    // plate, and sets every entry's X, Height, Z:
    //   X = (Row - maxRow / 2) x 2.5,  Z = (Column - maxColumn / 2) x 2.5,
    //   Height = heightScale x Value / 2 with heightScale = 12 / maxValue (1 when maxValue is 0),
    //            halved on the log scale,
    // and the size scale, 12 / maxSize (maxSize taken as 1 when it is 0).
    // Returns the base plate, (maxRow + 1) x 2.5 by (maxColumn + 1) x 2.5 by 0.1. With no entries
    // nothing changes (maxima, scale factors, plate and entries stay as they were) and the result
    // is empty.
    std::optional<BasePlateSize> ScaleEntries(bool logscale);

    // ---- what ScaleEntries computed (read by the scene code) ----
    double m_maxRow = 0;
    double m_maxValue = 0;
    double m_maxColumn = 0;
    double m_maxSize = 0;
    float m_rowSpacing = 0;                   // distance between rows, along X
    double m_heightScale = 0;                 // scene units per unit of Value
    float m_columnSpacing = 0;                // distance between columns, along Z
    double m_sizeScale = 0;                   // scene units per byte of Size
    std::optional<BasePlateSize> m_basePlate; // none until the first ScaleEntries with entries

private:
    std::vector<DataEntry> m_entries;                           // load order; entry i is m_entries[i - 1]
    std::vector<std::shared_ptr<platform::Texture>> m_textures; // texture number k is m_textures[k - 1]
};

} // namespace ketra
