#include "Texture.h"

#include <QFileInfo>
#include <QImageReader>

namespace platform {

Texture::Texture(QImage image)
    : m_image(image.format() == QImage::Format_RGBA8888 ? std::move(image)
                                                        : image.convertToFormat(QImage::Format_RGBA8888)) {}

TexturePtr CreateTextureFromFile(const QString& path, QString* error) {
    auto fail = [error](const QString& why) -> TexturePtr {
        if (error)
            *error = why;
        return nullptr;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name"));
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("%1: no such file").arg(path));
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return fail(QStringLiteral("%1: %2").arg(path, reader.errorString()));
    return std::make_shared<Texture>(std::move(image));
}

} // namespace platform
