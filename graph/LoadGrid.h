// How a folder load places its items on the grid and turns each into an entry: the grid counters,
// the folder-colour and 500-byte rules, and the folder statistics that the overlay shows.
//
// Items fill the grid row by row: a row holds side + 1 items, side = round(sqrt(n) - 1) for n
// items, so 10 items fill rows 0 to 3 with columns 0 to 2, 16 items make a 4 x 4 square, one item
// sits alone at row 0, column 0, and an empty folder has side -1.
#pragma once

#include "colours/ExtColours.h"
#include "graph/GraphModel.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ketra {

// The grid counters of a load.
class GridCursor {
public:
    // Before the first item: column -1, row counter 1.
    explicit GridCursor(std::int64_t itemCount) : m_side(sideFor(itemCount)) {}

    // round(sqrt(n) - 1): the last column index of each row (-1 for an empty folder).
    static int sideFor(std::int64_t itemCount);

    // Moves to the next item's cell: one column on, or column 0 of the next row past the side.
    void advance() {
        if (++m_column > m_side) {
            m_column = 0;
            ++m_row;
        }
    }
    int side() const { return m_side; }
    // The row counter (m_gridRow), counting from 1; the entry's row is row() - 1.
    int row() const { return m_row; }
    // The entry's column (m_gridColumn), counting from 0.
    int column() const { return m_column; }

private:
    int m_side;
    int m_row = 1;
    int m_column = -1;
};

// The statistics of one load: what the builder added, and the scanner's totals of everything
// below the folder, which the load sets when folder sizes are on.
struct FolderStatistics {
    double totalBytes = 0; // bytes of the files, and of the folders when folder sizes are on
    std::int64_t fileCount = 0;
    std::int64_t folderCount = 0;
    std::int64_t totalFileCount = 0;
    std::int64_t totalFolderCount = 0;

    friend bool operator==(const FolderStatistics&, const FolderStatistics&) = default;
};

// Turns a folder's items, in the scanner's order, into entries of a GraphModel. Folders take the
// "folder" colour and, without folder sizes, stand as 500 bytes (which the total does not count);
// files take the colour of their type.
class FolderEntryBuilder {
public:
    FolderEntryBuilder(GraphModel& model, const ExtColourTable& colours, std::int64_t itemCount,
                       bool includeFolders, bool logscale, std::int16_t level);

    // The tree view's first entry, the folder itself (its full path is its name): level 1, row 1,
    // column 1, 100 bytes.
    void addFolderItself(const QByteArray& folder);
    // The next item of the folder: `name` is the scanner's bytes, shown decoded.
    void addItem(const QByteArray& name, std::int32_t attributes, double size, const QString& modified,
                 FileId id = {});

    const FolderStatistics& statistics() const { return m_stats; }
    const GridCursor& grid() const { return m_grid; }
    std::uint32_t folderColour() const { return m_folderColour; }

private:
    GraphModel& m_model;
    const ExtColourTable& m_colours;
    GridCursor m_grid;
    FolderStatistics m_stats;
    std::uint32_t m_folderColour;
    bool m_includeFolders;
    bool m_logscale;
    std::int16_t m_level;
    // A file's colour by the bytes after the last dot of its name, as far as met: the colour of a
    // name with a dot depends on them alone, and a folder has few of them. At most
    // kSuffixesKept are kept (a folder of numbered suffixes has as many as files).
    struct SuffixHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, std::uint32_t, SuffixHash, std::equal_to<>> m_suffixColours;
    static constexpr std::size_t kSuffixesKept = 1024;
    std::uint32_t fileColour(const QByteArray& name, const QString& shown);
};

} // namespace ketra
