#include "datafile/DataEntries.h"

#include "folders/RegularFile.h"
#include "scene/D3DUtil.h"

#include <QFile>
#include <QImageReader>

namespace ketra {

namespace {

// The picture at `path`, when it is a regular file holding a picture small enough for a texture.
platform::TexturePtr readTexture(const QByteArray& path) {
    RegularFile file(path);
    if (!file.isOpen())
        return nullptr;
    QFile device;
    if (!device.open(file.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return nullptr;
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxDataTextureSide || size.height() > kMaxDataTextureSide)
        return nullptr;
    QImage image;
    if (!reader.read(&image))
        return nullptr;
    return std::make_shared<platform::Texture>(std::move(image));
}

} // namespace

DataTextures LoadDataTableTextures(const DataTable& table, const QString& mediaFolder) {
    DataTextures textures;
    for (const DataCell& cell : table.cells) {
        if (cell.texture.isEmpty() || textures.contains(cell.texture))
            continue;
        const QByteArray name = QFile::encodeName(cell.texture);
        QList<QByteArray> places;
        if (name.startsWith('/')) {
            places << name;
        } else {
            if (!table.folder.isEmpty())
                places << table.folder + (table.folder.endsWith('/') ? "" : "/") + name;
            if (!mediaFolder.isEmpty())
                places << QFile::encodeName(mediaFolder) +
                              (mediaFolder.endsWith(QLatin1Char('/')) ? "" : "/") + name;
        }
        platform::TexturePtr texture;
        for (const QByteArray& place : places)
            if ((texture = readTexture(place)))
                break;
        textures.insert(cell.texture, texture);
    }
    return textures;
}

void AddDataTableEntries(GraphModel& model, const DataTable& table, const DataTextures& textures,
                         bool logscale) {
    model.reserve(model.count() + static_cast<int>(table.cells.size()));
    QHash<QString, std::uint32_t> numbers; // of the textures, in the model
    for (auto it = textures.cbegin(); it != textures.cend(); ++it)
        numbers.insert(it.key(), model.addTexture(it.value()));
    for (const DataCell& cell : table.cells) {
        const double value = DataCellValue(cell.text);
        const auto colour =
            static_cast<std::uint32_t>(ColorValueToLong(DataCellColour(cell.row, cell.column)));
        model.AddEntry(DataCellLabel(cell), cell.row - 1, value, cell.column - 1, value, colour, 0, QString(),
                       2, logscale);
        if (!cell.texture.isEmpty())
            model.entries().back().TextureNumber = numbers.value(cell.texture);
    }
}

} // namespace ketra
