// The 3D view's seam. Until the OpenGL view is plugged in, `Picture1` is a plain widget and the
// "device" is ready as soon as the first folder has been read: folder loading, navigation, the
// options and the layout all work; nothing is drawn.
//
// To plug in the real view, replace this file by definitions of the same GraphForm members in
// graph/ (createPicture1 returns the GL view widget named "Picture1"; Start3D brings the device
// up and builds the first scene; RebuildScene wraps LoadFolder in the scene rebuild; ResizeDevice,
// Timer1_Timer, DrawGraph and MENU_RESET_Click drive the device and the camera).
#include "GraphForm.h"

#include "graph/GraphModel.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPalette>

QWidget* GraphForm::createPicture1(QWidget* parent) {
    auto* view = new QWidget(parent);
    view->setObjectName(QStringLiteral("Picture1"));
    view->setFocusPolicy(Qt::StrongFocus);
    view->setAutoFillBackground(true);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0xB0, 0xE0)); // the 3D view's clear colour
    view->setPalette(pal);
    // Nothing can be hit in an empty view, so the right button always shows the view's menu.
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& pos) { MENU_POPUP->popup(view->mapToGlobal(pos)); });
    return view;
}

bool GraphForm::Start3D() {
    m_deviceReady = true;
    // Auto-rotation starts off: the flag is set, then its command turns it off with its marks.
    m_autoRotate = true;
    MENU_ROTATE_Click();
    tlbBase->setChecked(m_bShowBase);
    LoadFolder();
    ScaleEntries();
    m_graphBuilt = true;
    QCoreApplication::processEvents();
    return m_deviceReady;
}

void GraphForm::RebuildScene() {
    LoadFolder();
    ScaleEntries();
    m_graphBuilt = true;
}

void GraphForm::ResizeDevice() {}

void GraphForm::Timer1_Timer() {}

void GraphForm::DrawGraph() {}

void GraphForm::MENU_RESET_Click() {}
