#include "Font.h"

#include "Device.h"

#include <QFontMetrics>
#include <QRect>

namespace platform {

namespace {
// Text is laid out as the overlay painter draws it: from the top-left corner, unclipped.
QRect textBounds(const QFont& font, const QString& text) {
    return QFontMetrics(font).boundingRect(QRect(0, 0, 100000, 100000),
                                           Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}
} // namespace

Font::Font(std::shared_ptr<Device> device, const QFont& font) : m_device(std::move(device)), m_font(font) {}

int Font::drawText(const QString& text, int left, int top, std::uint32_t argb) {
    if (m_device) {
        auto item = std::make_unique<Device::OverlayText>();
        item->font = m_font;
        item->text = text;
        item->left = left;
        item->top = top;
        item->argb = argb;
        m_device->queueOverlayText(std::move(item));
    }
    return textHeight(text);
}

int Font::textWidth(const QString& text) const {
    return text.isEmpty() ? 0 : textBounds(m_font, text).width();
}

int Font::textHeight(const QString& text) const {
    return text.isEmpty() ? 0 : textBounds(m_font, text).height();
}

} // namespace platform
