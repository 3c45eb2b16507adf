// The window's side of the 3D device: start-up, device objects, the render loop, the folder
// rebuild and resizing.
//
// The render timer ticks every 10 ms, but a tick draws only when the picture would change: the
// view compares what a frame is drawn from (scene, matrices, the options, the overlay state, device
// and target) with what the picture on screen was drawn from, and handlers that change the scene
// in place (highlighting, rebuilds, resizes) mark the view dirty. An idle window thus costs a
// camera step every tick and no drawing; what it shows is the picture a full redraw would give.
#include "GraphForm.h"
#include "graph/Camera.h"
#include "graph/GraphModel.h"
#include "graph/ViewPose.h"
#include "scene/D3DInit.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QAction>
#include <QDataStream>
#include <QIODevice>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <exception>

namespace {

// Below this speed (scene units per step) the camera counts as at rest: the glide that is left
// would move the picture by far less than a pixel.
constexpr float kRestingSpeed = 1e-5f;

void writeMatrix(QDataStream& out, const platform::Matrix& m) {
    out.writeRawData(reinterpret_cast<const char*>(m.m), sizeof m.m);
}

} // namespace

D3DView* GraphForm::view3D() const {
    return static_cast<D3DView*>(Picture1);
}

bool GraphForm::Start3D() {
    if (!m_camera)
        m_camera = std::make_shared<ketra::Camera>();
    m_deviceReady = InitDevice3D(view3D(), true, 0, DEVTYPE_HAL, true);
    if (!m_deviceReady)
        return false;

    // Auto-rotation starts off: the flag is set, then its command turns it off with its marks.
    m_autoRotate = true;
    MENU_ROTATE_Click();

    m_camera->m_cameraMatrix = platform::MatrixTranslation(0, 0, 0);
    m_camera->m_cameraPos = ketra::Camera::kStartPosition;
    m_barWidth = m_barDepth = 1.0f;
    tlbBase->setChecked(m_options.m_bShowBase);

    DeleteDeviceObjects();
    InitDeviceObjects();
    RestoreDeviceObjects();
    // The first scene is built once the folder is read (the load's end rebuilds it); the camera
    // then keeps the view it was given.
    LoadFolder([this] {
        if (g_device)
            m_camera->m_viewMatrix = g_device->getTransform(platform::TransformType::View);
        markViewDirty();
    });
    return m_deviceReady;
}

void GraphForm::InitDeviceObjects() {
    if (!m_deviceReady)
        return;
    m_baseMesh = platform::CreateBox(14, 14, 0.1f);
    m_baseMeshSize = {};
}

void GraphForm::RestoreDeviceObjects() {
    SetupSceneDefaults();
    if (m_cameraStarted && g_device && m_camera) // the camera keeps its place over resets
        g_device->setTransform(platform::TransformType::View, m_camera->m_viewMatrix);
    m_popupFont = std::make_shared<platform::Font>(g_device, m_windowFont);
    m_buttonFont = std::make_shared<platform::Font>(g_device, Command1 ? Command1->font() : m_windowFont);
    // The window has no status button of its own: the small sans font of a status line stands in.
    m_statsFont = std::make_shared<platform::Font>(g_device, ketra::StatusFont());
    markViewDirty();
}

void GraphForm::DeleteDeviceObjects() {
    m_popupFont.reset();
    m_buttonFont.reset();
    m_statsFont.reset();
}

void GraphForm::DestroyDeviceObjects() {
    m_rootFrame.reset();
    m_barsFrame.reset();
    m_baseFrame.reset();
    m_labelMaker.reset();
    markViewDirty();
}

void GraphForm::RebuildScene() {
    // Navigation keeps the viewer where it was: view, camera and the graph's orientation.
    const auto pose = ketra::ViewPose::capture(m_camera.get(), m_rootFrame.get());
    DestroyDeviceObjects();
    ScaleEntries();
    BuildGraph();
    if (pose)
        pose->restore(m_camera.get(), m_rootFrame.get());
    markViewDirty();
}

void GraphForm::ResizeDevice() {
    if (!m_deviceReady)
        return;
    DeleteDeviceObjects();
    ResizeDevice3D(view3D());
    RestoreDeviceObjects();
    markViewDirty();
    // The picture is gone with the old target: drawn again now, not on the next tick, which a
    // folder load starting meanwhile would hold up.
    keepPictureShown();
}

void GraphForm::keepPictureShown() {
    if (!m_deviceReady || !m_graphBuilt || !m_rootFrame || !g_device ||
        (g_device->context() == m_drawnOn && !m_viewDirty))
        return;
    try {
        DrawGraph();
    } catch (const std::exception& e) {
        qWarning("Ketra: drawing failed: %s", e.what());
    }
}

void GraphForm::FrameMove() {
    if (!m_camera)
        return;
    m_camera->m_autoRotate = m_autoRotate;
    const ketra::FrameMoveResult r =
        m_camera->FrameMove(ElapsedTimer(TIMER_GETELAPSEDTIME), UsingReferenceRasterizer());
    for (const ketra::CameraStep& step : r.steps) {
        switch (step.kind) {
        case ketra::CameraStep::Kind::Rotate:
            if (m_rootFrame) {
                const ketra::RootRotation& rot = step.rotation;
                m_rootFrame->AddRotation(rot.combineMode, rot.axis.x, rot.axis.y, rot.axis.z, rot.angle);
            }
            break;
        case ketra::CameraStep::Kind::ResetScene:
            resetScene();
            break;
        case ketra::CameraStep::Kind::ToggleFolderSizes:
            ToggleFolderSizes();
            break;
        case ketra::CameraStep::Kind::ToggleChanges:
            mnuViewChanges_Click();
            break;
        }
    }
    // A glide too slow to show is over.
    platform::Vector3& v = m_camera->m_velocity;
    if (std::fabs(v.x) < kRestingSpeed && std::fabs(v.y) < kRestingSpeed && std::fabs(v.z) < kRestingSpeed)
        v = platform::Vector3{0, 0, 0};
    if (g_device)
        g_device->setTransform(platform::TransformType::View, r.viewMatrix);
    m_cameraStarted = true;
}

QByteArray GraphForm::viewSignature() const {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quintptr(m_rootFrame.get()) << quintptr(g_device.get());
    if (g_device) {
        out << quintptr(g_device->context()) << g_device->targetWidth() << g_device->targetHeight()
            << g_device->testCooperativeLevel();
        writeMatrix(out, g_device->getTransform(platform::TransformType::View));
        writeMatrix(out, g_device->getTransform(platform::TransformType::Projection));
    }
    if (m_rootFrame)
        writeMatrix(out, m_rootFrame->GetMatrix());
    out << quintptr(m_popupFont.get()) << quintptr(m_statsFont.get());
    return bytes;
}

bool GraphForm::viewNeedsRedraw() const {
    return m_viewDirty || m_options != m_drawnOptions || m_overlay != m_drawnOverlay ||
           viewSignature() != m_drawnSignature;
}

void GraphForm::DrawGraph() {
    if (!m_deviceReady || !g_device)
        return;
    if (g_device->testCooperativeLevel() == platform::D3DERR_DEVICENOTRESET) {
        g_device->reset();
        RestoreDeviceObjects();
    }
    if (!m_rootFrame)
        return;

    ketra::BarScene scene{m_rootFrame, m_baseFrame, m_barsFrame, m_labelMaker};
    ketra::RenderBarFrame(scene, m_options, m_overlay, m_popupFont.get(), m_statsFont.get());
    PresentView(view3D());

    ++m_framesDrawn;
    m_viewDirty = false;
    m_drawnSignature = viewSignature();
    m_drawnOn = g_device->context();
    m_drawnOptions = m_options;
    m_drawnOverlay = m_overlay;
}

void GraphForm::Timer1_Timer() {
    announceSelection(); // a selection made in the lists, or cleared by a load
    if (!m_deviceReady || busy())
        return;
    try {
        FrameMove();
        if (m_graphBuilt && viewNeedsRedraw())
            DrawGraph();
        else
            ++m_ticksSkipped;
    } catch (const std::exception& e) {
        // A failed device call ends this frame; the next tick tries again.
        qWarning("Ketra: drawing failed: %s", e.what());
    }
}

void GraphForm::Form_Paint() {
    if (!m_deviceReady || !m_graphBuilt || busy())
        return;
    if (!viewNeedsRedraw())
        return; // the view shows the last frame, which is still the picture
    try {
        DrawGraph();
    } catch (const std::exception& e) {
        qWarning("Ketra: drawing failed: %s", e.what());
    }
}

void GraphForm::resetScene() {
    if (m_rootFrame)
        m_rootFrame->SetMatrix(platform::Matrix::identity());
    SetupSceneDefaults();
    if (g_device && m_camera)
        m_camera->m_viewMatrix = g_device->getTransform(platform::TransformType::View);
    if (m_rootFrame) {
        const ketra::RootRotation tilt = ketra::Camera::StartTilt();
        m_rootFrame->AddRotation(tilt.combineMode, tilt.axis.x, tilt.axis.y, tilt.axis.z, tilt.angle);
    }
    markViewDirty();
}

void GraphForm::MENU_RESET_Click() {
    if (m_camera)
        m_camera->Reset();
    resetScene();
}
