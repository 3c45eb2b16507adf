// Overlay text: queued by platform::Font during the scene and painted with QPainter over the
// finished 3D picture when the scene ends.
#include "DeviceGl.h"

#include <QOpenGLPaintDevice>
#include <QPainter>

namespace platform {

void Device::queueOverlayText(std::unique_ptr<OverlayText> text) {
    if (text)
        m_state->pendingText.push_back(std::move(*text));
}

const std::vector<Device::OverlayText>& Device::overlayTexts() const {
    return m_state->lastText;
}

void Device::paintOverlay() {
    Gl& gl = *m_gl;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    bindTarget();
    // The painter expects OpenGL's defaults: with face culling or depth testing on, its quads
    // silently vanish.
    f->glBindVertexArray(0);
    f->glUseProgram(0);
    f->glDisable(GL_CULL_FACE);
    f->glDisable(GL_DEPTH_TEST);
    f->glDepthMask(GL_TRUE);
    f->glDisable(GL_BLEND);
    f->glDepthRange(0.0, 1.0);
    if (gl.glClipControl)
        gl.glClipControl(GL_LOWER_LEFT, 0x935E /* GL_NEGATIVE_ONE_TO_ONE */);
    f->glViewport(0, 0, gl.fboWidth, gl.fboHeight);
    {
        QOpenGLPaintDevice device(QSize(gl.fboWidth, gl.fboHeight));
        QPainter painter(&device);
        painter.setRenderHint(QPainter::TextAntialiasing);
        // Text is placed in layout pixels, pixelRatio() target pixels each (glyphs are made at
        // that size, not magnified); a render target made smaller scales it along.
        double sx = m_state->pixelRatio, sy = m_state->pixelRatio;
        if (gl.madeForWidth > 0 && gl.madeForHeight > 0 &&
            (gl.fboWidth != gl.madeForWidth || gl.fboHeight != gl.madeForHeight)) {
            sx *= double(gl.fboWidth) / gl.madeForWidth;
            sy *= double(gl.fboHeight) / gl.madeForHeight;
        }
        if (sx != 1 || sy != 1)
            painter.scale(sx, sy);
        for (const OverlayText& t : m_state->lastText) {
            painter.setFont(t.font);
            painter.setPen(QColor::fromRgba(t.argb));
            painter.drawText(QRect(t.left, t.top, 100000, 100000),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, t.text);
        }
    }
    gl.valid = false;
    gl.boundVao = 0;
}

} // namespace platform
