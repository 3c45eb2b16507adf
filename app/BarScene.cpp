// BuildGraph: the window's bar scene, built from the laid-out entries.
#include "GraphForm.h"

#include "graph/BarScene.h"

#include <QApplication>

void GraphForm::BuildGraph() {
    if (!m_deviceReady)
        return;
    if (m_options.m_treeview) {
        BuildTree();
        return;
    }
    dropScene();

    // The plate follows the last layout with entries (ScaleEntries); before any, the start-up box.
    if (const std::optional<ketra::BasePlateSize>& plate = m_model->m_basePlate) {
        const std::array<float, 3> size{plate->width, plate->height, plate->depth};
        if (!m_baseMesh || size != m_baseMeshSize) {
            m_baseMesh = platform::CreateBox(size[0], size[1], size[2]);
            m_baseMeshSize = size;
        }
    }

    takeScene(ketra::BuildBarScene(*m_model, m_baseMesh, m_options, m_windowFont, m_barWidth, m_barDepth));
}

void GraphForm::dropScene() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_rootFrame.reset();
    m_barsFrame.reset();
    m_baseFrame.reset();
    m_labelMaker.reset();
}

void GraphForm::takeScene(const ketra::BarScene& scene) {
    m_rootFrame = scene.root;
    m_baseFrame = scene.base;
    m_barsFrame = scene.bars;
    m_labelMaker = scene.labels;
    QApplication::restoreOverrideCursor();
    m_graphBuilt = true;
    markViewDirty();
}
