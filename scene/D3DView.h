// The 3D view of the main window (Picture1): the window the device renders for.
//
// It is a plain widget until a device is attached, so it can be created and shown on a system
// without OpenGL (a shown QOpenGLWidget crashes there). Attaching a device places an OpenGL child
// widget inside it that shows the device's picture; the child ignores the mouse and takes no focus,
// so mouse and key events arrive at the D3DView itself.
//
// The device first renders on a context of its own; once the child's context exists the device
// moves onto it. When the child's context is re-created (e.g. the view moved to another top-level
// window), the device is lost and reports "device not reset" until it is reset onto the new one.
#pragma once

#include "platform/Device.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <memory>

class QOpenGLWidget;

class D3DView : public QWidget {
    Q_OBJECT
public:
    explicit D3DView(QWidget* parent = nullptr);
    ~D3DView() override;

    // Shows `device`'s picture from now on (null detaches). The view does not keep the device alive.
    void setDevice(const std::shared_ptr<platform::Device>& device);
    std::shared_ptr<platform::Device> device() const { return m_device.lock(); }

    // The client area in device pixels: the size of the device's render target.
    QSize pixelSize() const;
    // The OpenGL child widget (null before a device was attached).
    QOpenGLWidget* glWidget() const;
    // Whether the device now renders on the child widget's context.
    bool deviceOnView() const;

    // Shown where no picture is available yet.
    void setBackground(const QColor& c) { m_background = c; }

    // What assistive technology hears of the view: the role of a canvas, the name "3D view" (or
    // the widget's accessible name) and, as value and description, the selected item as the
    // window's status line shows it ("name (1,234 bytes)"; empty with none). A new text is
    // announced (value and description changed); setting the same text again announces nothing.
    void setSelectionText(const QString& text);
    const QString& selectionText() const { return m_selectionText; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Surface;
    friend class Surface;
    void contextCreated();

    std::weak_ptr<platform::Device> m_device;
    QPointer<Surface> m_surface;
    QColor m_background{0x80, 0xB0, 0xE0};
    QString m_selectionText;
};
