// Overlay text: queued by platform::Font during the scene and drawn over the finished 3D picture
// when the scene ends. Qt's raster painter paints the texts into one texture, a row each, and a
// quad per text blends its row over the picture. The texture is painted again only when the texts
// or the target change, so a frame whose texts stay (most of them) only draws the quads. Painting
// through Qt's OpenGL paint engine instead would build that engine's programs on the first frame,
// tens of milliseconds on a software rasteriser.
#include "DeviceGl.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;

// A quad from gl_VertexID (a strip of 4): `uRect` is its left, top, right and bottom in clip space,
// `uTexRect` the same edges in the texture. The texture holds premultiplied colour.
constexpr char kOverlayVertexShader[] = R"(
uniform vec4 uRect;
uniform vec4 uTexRect;
out vec2 vTexCoord;
void main() {
    vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));
    vTexCoord = mix(uTexRect.xy, uTexRect.zw, corner);
    gl_Position = vec4(mix(uRect.xy, uRect.zw, corner), 0.0, 1.0);
}
)";

constexpr char kOverlayFragmentShader[] = R"(
in vec2 vTexCoord;
uniform sampler2D uTexture;
out vec4 fragColor;
void main() {
    fragColor = texture(uTexture, vTexCoord);
}
)";

} // namespace

void Device::queueOverlayText(std::unique_ptr<OverlayText> text) {
    if (text)
        m_state->pendingText.push_back(std::move(*text));
}

const std::vector<Device::OverlayText>& Device::overlayTexts() const {
    return m_state->lastText;
}

void Device::paintOverlay() {
    Gl& gl = *m_gl;
    Gl::Overlay& o = gl.overlay;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    const std::vector<OverlayText>& texts = m_state->lastText;
    // Text is placed in layout pixels, pixelRatio() target pixels each (glyphs are made at that
    // size, not magnified); a render target made smaller scales it along.
    double sx = m_state->pixelRatio, sy = m_state->pixelRatio;
    if (gl.madeForWidth > 0 && gl.madeForHeight > 0 &&
        (gl.fboWidth != gl.madeForWidth || gl.fboHeight != gl.madeForHeight)) {
        sx *= double(gl.fboWidth) / gl.madeForWidth;
        sy *= double(gl.fboHeight) / gl.madeForHeight;
    }
    if (!o.program) {
        o.program =
            LinkShaderProgram(*f, "#version 330 core\n", kOverlayVertexShader, kOverlayFragmentShader);
        if (!o.program)
            return;
        o.rect = f->glGetUniformLocation(o.program, "uRect");
        o.texRect = f->glGetUniformLocation(o.program, "uTexRect");
        o.sampler = f->glGetUniformLocation(o.program, "uTexture");
        f->glGenVertexArrays(1, &o.vao);
        f->glGenTextures(1, &o.texture);
    }

    if (o.textureWidth == 0 || o.texts != texts || o.sx != sx || o.sy != sy || o.fboWidth != gl.fboWidth ||
        o.fboHeight != gl.fboHeight) {
        // Each text's place on the target: its box by the font's metrics, scaled, with room for
        // glyphs that reach past their advance and for the antialiased fringe.
        const QRect target(0, 0, gl.fboWidth, gl.fboHeight);
        const int margin = static_cast<int>(std::ceil(3 * std::max(sx, sy)));
        o.places.clear();
        int width = 1, height = 0;
        for (const OverlayText& t : texts) {
            const QRectF box =
                QFontMetricsF(t.font).boundingRect(QRectF(t.left, t.top, 100000, 100000), kTextFlags, t.text);
            const QRect scaled = QRectF(box.left() * sx, box.top() * sy, box.width() * sx, box.height() * sy)
                                     .toAlignedRect()
                                     .adjusted(-margin, -margin, margin, margin)
                                     .intersected(target);
            o.places.emplace_back(scaled, height);
            width = std::max(width, scaled.width());
            height += scaled.height();
        }
        height = std::max(height, 1);
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing);
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const OverlayText& t = texts[i];
                const auto& [place, row] = o.places[i];
                if (place.isEmpty())
                    continue;
                painter.resetTransform(); // the clip is in the image's pixels
                painter.setClipRect(QRect(0, row, place.width(), place.height()));
                // Each text starts on a whole target pixel: at a fractional scale (1.5) a start
                // between pixels puts the glyphs a pixel lower.
                painter.translate(std::round(t.left * sx) - place.left(),
                                  row + std::round(t.top * sy) - place.top());
                painter.scale(sx, sy);
                painter.setFont(t.font);
                painter.setPen(QColor::fromRgba(t.argb));
                painter.drawText(QRect(0, 0, 100000, 100000), kTextFlags, t.text);
            }
        }
        // 32-bit 0xAARRGGBB words are what OpenGL calls BGRA bytes with an 8_8_8_8_REV packing.
        f->glActiveTexture(GL_TEXTURE0);
        f->glBindTexture(GL_TEXTURE_2D, o.texture);
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        f->glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerLine() / 4));
        if (width != o.textureWidth || height != o.textureHeight) {
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            f->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA,
                            GL_UNSIGNED_INT_8_8_8_8_REV, image.constBits());
            o.textureWidth = width;
            o.textureHeight = height;
        } else {
            f->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                               image.constBits());
        }
        f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        o.texts = texts;
        o.sx = sx;
        o.sy = sy;
        o.fboWidth = gl.fboWidth;
        o.fboHeight = gl.fboHeight;
    }

    // The quads blend premultiplied colour over the picture, with nothing of the scene's state.
    bindTarget();
    f->glViewport(0, 0, gl.fboWidth, gl.fboHeight);
    f->glDisable(GL_CULL_FACE);
    f->glDisable(GL_DEPTH_TEST);
    f->glDisable(GL_SCISSOR_TEST);
    f->glEnable(GL_BLEND);
    f->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    f->glUseProgram(o.program);
    f->glUniform1i(o.sampler, 0);
    f->glActiveTexture(GL_TEXTURE0);
    f->glBindTexture(GL_TEXTURE_2D, o.texture);
    f->glBindVertexArray(o.vao);
    const float w = static_cast<float>(gl.fboWidth), h = static_cast<float>(gl.fboHeight);
    const float tw = static_cast<float>(o.textureWidth), th = static_cast<float>(o.textureHeight);
    for (const auto& [place, row] : o.places) {
        if (place.isEmpty())
            continue;
        // Target rows run top-down here and bottom-up in clip space.
        f->glUniform4f(o.rect, 2 * place.left() / w - 1, 1 - 2 * place.top() / h,
                       2 * (place.left() + place.width()) / w - 1,
                       1 - 2 * (place.top() + place.height()) / h);
        f->glUniform4f(o.texRect, 0, row / th, place.width() / tw, (row + place.height()) / th);
        f->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    gl.valid = false;
    gl.boundVao = 0;
}

} // namespace platform
