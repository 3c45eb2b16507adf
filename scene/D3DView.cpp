#include "D3DView.h"

#include "platform/GlContext.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

// The OpenGL child: shows the device's render target.
class D3DView::Surface : public QOpenGLWidget {
public:
    explicit Surface(D3DView* view) : QOpenGLWidget(view), m_view(view) {
        setFormat(platform::DeviceSurfaceFormat());
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

    // Makes this widget's context current; for the device.
    bool makeCurrentForDevice() {
        if (!context())
            return false;
        makeCurrent();
        return QOpenGLContext::currentContext() == context();
    }

protected:
    void initializeGL() override { m_view->contextCreated(); }

    void paintGL() override {
        auto device = m_view->device();
        const qreal dpr = devicePixelRatioF();
        if (device && device->context() == context()) {
            device->presentTo(defaultFramebufferObject(), static_cast<int>(std::lround(width() * dpr)),
                              static_cast<int>(std::lround(height() * dpr)));
            return;
        }
        QOpenGLFunctions* f = context()->functions();
        const QColor c = m_view->m_background;
        f->glClearColor(static_cast<float>(c.redF()), static_cast<float>(c.greenF()),
                        static_cast<float>(c.blueF()), 1.0f);
        f->glClear(GL_COLOR_BUFFER_BIT);
    }

private:
    D3DView* m_view;
};

namespace {

// The view as assistive technology sees it.
class ViewAccessible : public QAccessibleWidget {
public:
    explicit ViewAccessible(D3DView* view) : QAccessibleWidget(view, QAccessible::Canvas) {}

    QString text(QAccessible::Text t) const override {
        const auto* view = static_cast<const D3DView*>(widget());
        switch (t) {
        case QAccessible::Name:
            return view->accessibleName().isEmpty() ? QStringLiteral("3D view") : view->accessibleName();
        case QAccessible::Value:
        case QAccessible::Description:
            return view->selectionText();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* viewAccessibleFactory(const QString&, QObject* object) {
    auto* view = qobject_cast<D3DView*>(object);
    return view ? new ViewAccessible(view) : nullptr;
}

} // namespace

D3DView::D3DView(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(viewAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

D3DView::~D3DView() = default;

void D3DView::setDevice(const std::shared_ptr<platform::Device>& device) {
    m_device = device;
    if (!device)
        return;
    if (!m_surface) {
        m_surface = new Surface(this);
        m_surface->setGeometry(rect());
        m_surface->show();
    } else if (m_surface->context()) {
        contextCreated(); // the child already has its context: move the device onto it now
    }
}

QSize D3DView::pixelSize() const {
    const qreal dpr = devicePixelRatioF();
    return {static_cast<int>(std::lround(width() * dpr)), static_cast<int>(std::lround(height() * dpr))};
}

void D3DView::setSelectionText(const QString& text) {
    if (text == m_selectionText)
        return;
    m_selectionText = text;
    QAccessibleValueChangeEvent value(this, text);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

QOpenGLWidget* D3DView::glWidget() const {
    return m_surface;
}

bool D3DView::deviceOnView() const {
    auto device = m_device.lock();
    return device && m_surface && m_surface->context() && device->context() == m_surface->context();
}

void D3DView::contextCreated() {
    auto device = m_device.lock();
    if (!device || !m_surface)
        return;
    QOpenGLContext* ctx = m_surface->context();
    QPointer<Surface> surface = m_surface;
    auto makeCurrent = [surface] { return surface && surface->makeCurrentForDevice(); };
    if (device->context() == ctx)
        return;
    if (device->testCooperativeLevel() == platform::D3D_OK) {
        // The device works on its own first context (or has none yet): move it here at once.
        // Meshes upload again on their next draw.
        if (!device->attachContext(ctx, makeCurrent))
            qWarning("D3DView: the view's OpenGL context can't take the device");
    } else {
        // The device lost its context: the program resets it onto this one (testCooperativeLevel
        // now reports "device not reset").
        device->contextAvailable(ctx, makeCurrent);
    }
}

void D3DView::paintEvent(QPaintEvent*) {
    if (m_surface)
        return; // the child covers the view
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
}

void D3DView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_surface)
        m_surface->setGeometry(rect());
}

#include "moc_D3DView.cpp"
