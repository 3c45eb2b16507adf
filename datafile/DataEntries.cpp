#include "datafile/DataEntries.h"

#include "scene/D3DUtil.h"

#include <QHash>

namespace ketra {

void AddDataTableEntries(GraphModel& model, const DataTable& table, bool logscale) {
    model.reserve(model.count() + static_cast<int>(table.cells.size()));
    // Each texture is looked up once, however many cells its column has.
    QHash<QString, platform::TexturePtr> textures;
    for (const DataCell& cell : table.cells) {
        const double value = DataCellValue(cell.text);
        const auto colour =
            static_cast<std::uint32_t>(ColorValueToLong(DataCellColour(cell.row, cell.column)));
        model.AddEntry(DataCellLabel(cell), cell.row - 1, value, cell.column - 1, value, colour, 0, QString(),
                       2, logscale);
        if (cell.texture.isEmpty())
            continue;
        auto found = textures.find(cell.texture);
        if (found == textures.end())
            found = textures.insert(cell.texture, LoadTexture(g_device, cell.texture));
        model.entries().back().Texture = found.value();
    }
}

} // namespace ketra
