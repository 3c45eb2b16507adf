// Overlay fonts: text drawn over the finished 3D frame at a pixel position, in an ARGB colour,
// left/top anchored and not clipped.
#pragma once

#include <QFont>
#include <QString>

#include <cstdint>
#include <memory>

namespace platform {

class Device;

class Font {
public:
    Font(std::shared_ptr<Device> device, const QFont& font);

    const QFont& font() const { return m_font; }
    // Queues `text` (may hold line breaks) at (left, top) in layout pixels of the render target
    // (Device::pixelRatio() target pixels each); it is drawn when the device ends the scene.
    // Returns the height of the text in layout pixels.
    int drawText(const QString& text, int left, int top, std::uint32_t argb);
    // Width and height the text would take, in layout pixels.
    int textWidth(const QString& text) const;
    int textHeight(const QString& text) const;

private:
    std::shared_ptr<Device> m_device;
    QFont m_font;
};

using FontPtr = std::shared_ptr<Font>;

} // namespace platform
