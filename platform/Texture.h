// Textures: an image kept on the CPU (QImage, RGBA) and uploaded by the Device on demand.
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

namespace platform {

struct GpuTexture; // defined by the Device

class Texture {
public:
    explicit Texture(QImage image);
    const QImage& image() const { return m_image; }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }

    mutable std::shared_ptr<GpuTexture> gpu;

private:
    QImage m_image;
};

using TexturePtr = std::shared_ptr<Texture>;

// Loads a texture from a picture file. Returns null when the file can't be read or decoded;
// `error`, if given, then receives the reason.
TexturePtr CreateTextureFromFile(const QString& path, QString* error = nullptr);

} // namespace platform
