#include "graph/ViewPose.h"

#include "graph/Camera.h"
#include "scene/D3DFrame.h"
#include "scene/D3DUtil.h"

namespace ketra {

std::optional<ViewPose> ViewPose::capture(const Camera* camera, const CD3DFrame* root) {
    if (!g_device || !camera || !root)
        return std::nullopt;
    return ViewPose{g_device->getTransform(platform::TransformType::View), camera->m_cameraMatrix,
                    root->GetMatrix()};
}

void ViewPose::restore(Camera* camera, CD3DFrame* root) const {
    if (!g_device || !camera || !root)
        return;
    g_device->setTransform(platform::TransformType::View, view);
    camera->m_cameraMatrix = this->camera;
    root->SetMatrix(this->root);
}

} // namespace ketra
