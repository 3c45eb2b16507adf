// The hover test (MouseOver): the item under the mouse, its hover text and its highlight; what
// the view tells assistive technology of the selected item.
#include "GraphForm.h"
#include "graph/Changes.h"
#include "graph/GraphModel.h"
#include "graph/OverlayText.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"

#include <QTimer>

void GraphForm::MouseOver(int button, int shift, float x, float y, bool highlight) {
    Q_UNUSED(button);
    Q_UNUSED(shift);
    if (!g_device || !Timer1->isActive() || !m_rootFrame)
        return;
    if (!m_options.m_treeview)
        m_baseFrame->Enabled = false; // a disabled frame is never picked: the plate is not an item
    m_barsFrame->Enabled = true;

    CD3DPick pick;
    pick.ViewportPick(m_rootFrame, x, y);
    const std::int32_t nearest = pick.FindNearest();
    if (nearest < 0) {
        m_overlay.hoverShown = false;
        return;
    }
    const CD3DFramePtr frame = pick.GetFrame(nearest);
    // Picking works in device pixels, the overlay's text is laid out in the view's own pixels.
    const float ratio = static_cast<float>(g_device->pixelRatio());
    m_overlay.hoverPosition = ketra::HoverTextPosition(x / ratio, y / ratio);

    const int index = m_model->indexFromFrameName(frame->ObjectName);
    if (index == 0)
        return; // not an item's frame
    m_selectedEntry = index;
    const ketra::DataEntry& entry = m_model->entry(index);
    m_overlay.hoverText =
        ketra::HoverText(entry.Name, entry.isFolder(), entry.Size, m_options.m_includeFolders);
    if (m_options.m_showChanges)
        m_overlay.hoverText += ketra::ChangeHoverText(entry, QDate::currentDate());

    if (highlight)
        highlightFrame(frame);
    m_overlay.hoverShown = true;
    announceSelection();
}

void GraphForm::announceSelection() {
    QString text;
    if (m_selectedEntry >= 1 && m_selectedEntry <= m_model->count()) {
        const ketra::DataEntry& entry = m_model->entry(m_selectedEntry);
        text = ketra::HoverText(entry.Name, entry.isFolder(), entry.Size, m_options.m_includeFolders);
    }
    view3D()->setSelectionText(text);
}

void GraphForm::highlightFrame(const std::shared_ptr<CD3DFrame>& frame) {
    if (!frame || frame->GetChildMeshCount() == 0)
        return;
    // The frame shown red before gets its own mesh back (with the geometry the copy has now: a
    // label's text is made anew as it comes nearer).
    if (m_highlightFrame && m_highlightOwn && m_highlightFrame->GetChildMeshCount() > 0) {
        const CD3DMeshPtr shown = m_highlightFrame->GetChildMesh(0);
        if (shown && shown != m_highlightOwn) {
            m_highlightOwn->mesh = shown->mesh;
            m_highlightFrame->SetChildMesh(0, m_highlightOwn);
        }
    }
    // Bars alike share their mesh: the one shown red gets a copy of its own.
    m_highlightFrame = frame;
    m_highlightOwn = frame->GetChildMesh(0);
    if (!m_highlightOwn)
        return;
    const CD3DMeshPtr red = m_highlightOwn->Clone();
    red->SetMaterialOverride(ketra::HighlightMaterial(
        static_cast<std::uint32_t>(ColorValueToLong(m_highlightOwn->GetMaterialOverride().diffuse))));
    frame->SetChildMesh(0, red);
    markViewDirty();
}
