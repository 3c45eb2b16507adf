// Where the viewer stands and how the graph is turned: the device's view matrix, the camera's
// matrix and the root frame's orientation. A scene built anew (another folder, a reload, a table
// plotted) is seen as the one before it.
#pragma once

#include "platform/Math.h"

#include <optional>

class CD3DFrame;

namespace ketra {

class Camera;

struct ViewPose {
    platform::Matrix view;
    platform::Matrix camera;
    platform::Matrix root;

    // The pose of the device (g_device), `camera` and `root`; none while any of them is missing.
    static std::optional<ViewPose> capture(const Camera* camera, const CD3DFrame* root);
    // Gives the device, `camera` and `root` this pose again; does nothing while any is missing.
    void restore(Camera* camera, CD3DFrame* root) const;
};

} // namespace ketra
