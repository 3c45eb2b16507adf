// Keys and mouse over the 3D view: the view widget and the routing of its events, the key state
// the camera steps from, mouse drags that turn the graph, and hovering.
#include "GraphForm.h"
#include "core/Layout.h"
#include "graph/Camera.h"
#include "scene/D3DFrame.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include <cmath>

namespace {

// Modifier mask of a key or mouse event: 1 Shift, 2 Ctrl, 4 Alt.
int shiftMask(Qt::KeyboardModifiers m) {
    return (m.testFlag(Qt::ShiftModifier) ? 1 : 0) | (m.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (m.testFlag(Qt::AltModifier) ? 4 : 0);
}

// Button code: 1 left, 2 right, 4 middle (also as a mask of the buttons held).
int buttonCode(Qt::MouseButtons b) {
    return (b.testFlag(Qt::LeftButton) ? 1 : 0) | (b.testFlag(Qt::RightButton) ? 2 : 0) |
           (b.testFlag(Qt::MiddleButton) ? 4 : 0);
}

// Hands the 3D view's key, mouse and paint events to the window's Picture1 handlers.
class Picture1Events : public QObject {
public:
    Picture1Events(GraphForm* form, QWidget* view) : QObject(view), m_form(form), m_view(view) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_view)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto* e = static_cast<QKeyEvent*>(event);
            const int code = ketra::VirtualKeyFromQt(e->key());
            if (code < 0)
                return false;
            m_form->Picture1_KeyDown(code, shiftMask(e->modifiers()));
            return true;
        }
        case QEvent::KeyRelease: {
            auto* e = static_cast<QKeyEvent*>(event);
            const int code = ketra::VirtualKeyFromQt(e->key());
            if (code < 0)
                return false;
            if (!e->isAutoRepeat()) // a held key stays held through its auto-repeat
                m_form->Picture1_KeyUp(code, shiftMask(e->modifiers()));
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            const QPointF p = e->position();
            const double tx = ketra::twipsPerPixel(m_view->logicalDpiX());
            const double ty = ketra::twipsPerPixel(m_view->logicalDpiY());
            const float x = static_cast<float>(p.x() * tx), y = static_cast<float>(p.y() * ty);
            // Picking works in pixels of the device's viewport, which follows the device pixels.
            const qreal dpr = m_view->devicePixelRatioF();
            const float px = static_cast<float>(p.x() * dpr), py = static_cast<float>(p.y() * dpr);
            const int shift = shiftMask(e->modifiers());
            if (event->type() == QEvent::MouseButtonPress) {
                m_view->setFocus(Qt::MouseFocusReason);
                m_form->Picture1_MouseDown(buttonCode(e->button()), shift, x, y, px, py);
            } else if (event->type() == QEvent::MouseMove) {
                m_form->Picture1_MouseMove(buttonCode(e->buttons()), shift, x, y, px, py);
            } else {
                m_form->Picture1_MouseUp(buttonCode(e->button()), shift, x, y);
            }
            return true;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                m_form->Picture1_DblClick();
            return true;
        case QEvent::Paint:
            m_form->Form_Paint();
            return false;
        default:
            return false;
        }
    }

private:
    GraphForm* m_form;
    QWidget* m_view;
};

} // namespace

QWidget* GraphForm::createPicture1(QWidget* parent) {
    auto* view = new D3DView(parent);
    view->setObjectName(QStringLiteral("Picture1"));
    view->setMouseTracking(true);                       // hovering needs moves without a button held
    view->setContextMenuPolicy(Qt::PreventContextMenu); // the right button is handled on mouse-down
    view->installEventFilter(new Picture1Events(this, view));
    if (!m_camera)
        m_camera = std::make_shared<ketra::Camera>();
    return view;
}

void GraphForm::Picture1_KeyDown(int keyCode, int shift) {
    m_camera->KeyDown(keyCode, shift);
}

void GraphForm::Picture1_KeyUp(int keyCode, int shift) {
    Q_UNUSED(shift);
    if (keyCode == ketra::vk::Delete && m_selectedEntry != 0) {
        // Deleting the selected item; the Delete flag stays set and has no other effect.
        if (mnuContentDelete && mnuContentDelete->isEnabled())
            mnuContentDelete->trigger();
        return;
    }
    m_camera->KeyUp(keyCode);
}

void GraphForm::Picture1_MouseMove(int button, int shift, float x, float y, float pixelX, float pixelY) {
    if (!m_deviceReady || !g_device || !Timer1->isActive() || (button & 2) || busy())
        return;
    if (!m_camera->m_dragging) {
        MouseOver(button, shift, pixelX, pixelY, false);
        if (!m_options.m_showPopup)
            txtCurrent->setText(m_overlay.hoverText);
    } else {
        DragRotate(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }
    FrameMove();
    if (viewNeedsRedraw())
        DrawGraph();
}

void GraphForm::Picture1_MouseUp(int button, int shift, float x, float y) {
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(x);
    Q_UNUSED(y);
    m_camera->MouseUp();
}

void GraphForm::DragRotate(int x, int y) {
    if (!m_rootFrame || !g_device)
        return;
    // The graph turns about the screen-space axis, expressed in the root frame's own space.
    m_rootFrame->UpdateFrames();
    g_viewMatrix = g_device->getTransform(platform::TransformType::View);
    const std::optional<ketra::RootRotation> r =
        m_camera->DragRotate(x, y, g_viewMatrix, m_rootFrame->GetUpdatedMatrix());
    if (r)
        m_rootFrame->AddRotation(r->combineMode, r->axis.x, r->axis.y, r->axis.z, r->angle);
}
