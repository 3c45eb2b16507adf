// One frame of the bar graph with its text overlay, and the hover test.
#include "app/GraphForm.h"
#include "graph/GraphModel.h"
#include "graph/OverlayText.h"
#include "graph/form/View3D.h"
#include "scene/D3DInit.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene/D3DUtil.h"

#include <QFontDatabase>
#include <QTimer>

#include <algorithm>

namespace ketra {

namespace {

void drawLines(platform::Font& font, const QStringList& lines, int left, std::uint32_t argb) {
    int top = kOverlayTop;
    for (const QString& line : lines) {
        font.drawText(line, left, top, argb);
        top += kOverlayLineStep;
    }
}

} // namespace

QFont WindowFont() {
    return QFont(QStringLiteral("Arial"), 12, QFont::Normal);
}

QFont StatusFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    return f;
}

void RenderBarFrame(const BarScene& scene, bool showBase, bool treeview, const OverlayState& overlay,
                    platform::Font* popupFont, platform::Font* statsFont) {
    if (!scene.root || !g_device)
        return;
    scene.root->UpdateFrames(); // hover and picking see current world matrices
    ClearView(kBackgroundColour);
    g_device->setRenderState(platform::rs::Ambient, kAmbientLight);
    g_device->beginScene();

    scene.bars->Enabled = true;
    if (!treeview)
        scene.base->Enabled = false;
    scene.root->Render(g_device);
    if (showBase && !treeview) {
        // The plate last, so that its translucent grey blends over whatever lies below it.
        scene.bars->Enabled = false;
        scene.base->Enabled = true;
        scene.root->Render(g_device);
    }

    if (overlay.hoverShown && overlay.showPopup && popupFont)
        popupFont->drawText(overlay.hoverText, overlay.hoverPosition.x(), overlay.hoverPosition.y(),
                            kHoverTextColour);
    if (overlay.showStats && statsFont) {
        drawLines(*statsFont,
                  StatisticsLines(overlay.totalBytes, overlay.fileCount, overlay.folderCount,
                                  overlay.includeFolders, overlay.totalFileCount, overlay.totalFolderCount),
                  kStatisticsLeft, kOverlayTextColour);
    }
    if (overlay.showShortcuts && statsFont) {
        // 100 pixels from the right edge, or further left where the font's lines would not fit.
        const QStringList lines = KeyHelpLines(overlay.includeFolders);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, statsFont->textWidth(line));
        const int left = g_device->targetWidth() - std::max(kKeyHelpFromRight, widest + kKeyHelpMargin);
        drawLines(*statsFont, lines, left, kOverlayTextColour);
    }
    g_device->endScene();
}

} // namespace ketra

void GraphForm::MouseOver(int button, int shift, float x, float y, bool highlight) {
    Q_UNUSED(button);
    Q_UNUSED(shift);
    if (!g_device || !Timer1->isActive() || !m_rootFrame)
        return;
    if (!m_treeview)
        m_baseFrame->Enabled = false; // a disabled frame is never picked: the plate is not an item
    m_barsFrame->Enabled = true;

    CD3DPick pick;
    pick.ViewportPick(m_rootFrame, x, y);
    const std::int32_t nearest = pick.FindNearest();
    if (nearest < 0) {
        m_hoverShown = false;
        return;
    }
    const CD3DFramePtr frame = pick.GetFrame(nearest);
    const QPoint at = ketra::HoverTextPosition(x, y);
    m_hoverRect = {at.x(), at.y(), 0, 0};

    const int index = m_model->indexFromFrameName(frame->ObjectName);
    if (index == 0)
        return; // not an item's frame
    m_selectedEntry = index;
    const ketra::DataEntry& entry = m_model->entry(index);
    m_hoverText = ketra::HoverText(entry.Name, entry.isFolder(), entry.Size, m_includeFolders);

    if (highlight && frame->GetChildMeshCount() > 0) {
        if (m_highlightFrame && m_highlightFrame->GetChildMeshCount() > 0) {
            platform::Material own;
            own.diffuse = own.ambient = LongToColorValue(m_highlightColour);
            m_highlightFrame->GetChildMesh(0)->SetMaterialOverride(own);
        }
        m_highlightFrame = frame;
        const CD3DMeshPtr mesh = frame->GetChildMesh(0);
        m_highlightColour = ColorValueToLong(mesh->GetMaterialOverride().diffuse);
        platform::Material red;
        red.diffuse = red.ambient = platform::ColorValue{1, 0, 0, 1};
        mesh->SetMaterialOverride(red);
        markViewDirty();
    }
    m_hoverShown = true;
}
