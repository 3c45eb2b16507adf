#include "D3DPick.h"

#include "D3DMesh.h"
#include "D3DUtil.h"
#include "platform/Math.h"

#include <stdexcept>

using platform::Matrix;
using platform::Vector3;

namespace {

platform::Device& sharedDevice() {
    if (!g_device)
        throw std::runtime_error("CD3DPick: no 3D device");
    return *g_device;
}

} // namespace

const CD3DPick::Record& CD3DPick::record(std::int32_t i, const char* what) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_records.size())
        throw std::out_of_range(what);
    return m_records[static_cast<std::size_t>(i)];
}

void CD3DPick::GetRecord(std::int32_t i, float& a, float& b, float& dist, std::int32_t& triFaceid) const {
    const Record& r = record(i, "CD3DPick::GetRecord: subscript out of range");
    a = r.u;
    b = r.v;
    dist = r.dist;
    triFaceid = r.faceId;
}

CD3DFramePtr CD3DPick::GetFrame(std::int32_t i) const {
    return record(i, "CD3DPick::GetFrame: subscript out of range").frame;
}

CD3DMeshPtr CD3DPick::GetMesh(std::int32_t i) const {
    return record(i, "CD3DPick::GetMesh: subscript out of range").mesh;
}

std::int32_t CD3DPick::FindNearest() const {
    float best = 1e38f;
    std::int32_t found = -1;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].dist < best) {
            best = m_records[i].dist;
            found = static_cast<std::int32_t>(i);
        }
    }
    return found;
}

std::int32_t CD3DPick::FindFurthest() const {
    float best = -1e38f;
    std::int32_t found = -1;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].dist > best) {
            best = m_records[i].dist;
            found = static_cast<std::int32_t>(i);
        }
    }
    return found;
}

void CD3DPick::Destroy() {
    std::vector<Record>().swap(m_records);
}

bool CD3DPick::ViewportPick(const CD3DFramePtr& frame, float X, float Y) {
    Destroy();
    const platform::Device& device = sharedDevice();
    const platform::Viewport viewport = device.getViewport();
    const Matrix view = device.getTransform(platform::TransformType::View);
    const Matrix projection = device.getTransform(platform::TransformType::Projection);
    return ViewportPickEx(frame, viewport, projection, view, g_identityMatrix, X, Y);
}

bool CD3DPick::ViewportPickEx(const CD3DFramePtr& frame, const platform::Viewport& viewport,
                              const Matrix& projection, const Matrix& view, const Matrix& world, float X,
                              float Y) {
    // The point under (X, Y) on the near and the far plane in clip space (an unprojection through
    // identity matrices), and view x projection: both are the same for every frame of the tree.
    const Matrix identity = Matrix::identity();
    ViewportRay ray;
    ray.nearClip = platform::Vec3Unproject(Vector3{X, Y, 0.0f}, viewport, identity, identity, identity);
    ray.farClip = platform::Vec3Unproject(Vector3{X, Y, 1.0f}, viewport, identity, identity, identity);
    ray.viewProjection = platform::MatrixMultiply(view, projection);
    return viewportPick(frame, ray, world);
}

bool CD3DPick::viewportPick(const CD3DFramePtr& frame, const ViewportRay& ray, const Matrix& world) {
    if (!frame || !frame->Enabled)
        return false;
    const Matrix frameWorld = platform::MatrixMultiply(frame->GetMatrix(), world);
    // The segment from the near plane to the far plane under the point, unprojected into the
    // frame's own space: hit distances are fractions of it, so they compare directly between
    // frames. A singular transform (a flattened frame) sees nothing.
    bool result = frame->GetChildMeshCount() > 0;
    if (const auto toFrame =
            platform::MatrixInverse(platform::MatrixMultiply(frameWorld, ray.viewProjection))) {
        const Vector3 nearPoint = platform::Vec3TransformCoord(ray.nearClip, *toFrame);
        const Vector3 farPoint = platform::Vec3TransformCoord(ray.farClip, *toFrame);
        result = pickMeshes(frame, nearPoint, farPoint - nearPoint);
    }
    const std::int32_t children = frame->GetChildFrameCount();
    for (std::int32_t i = 0; i < children; ++i)
        viewportPick(frame->GetChildFrame(i), ray, frameWorld);
    return result;
}

bool CD3DPick::RayPick(const CD3DFramePtr& frame, const Vector3& vOrig, const Vector3& vDir) {
    Destroy();
    const Matrix world = sharedDevice().getTransform(platform::TransformType::World);
    return RayPickEx(frame, world, vOrig, vDir);
}

bool CD3DPick::RayPickEx(const CD3DFramePtr& frame, const Matrix& world, const Vector3& vOrig,
                         const Vector3& vDir) {
    if (!frame || !frame->Enabled)
        return false;
    const Matrix frameWorld = platform::MatrixMultiply(frame->GetMatrix(), world);
    bool result = false;
    if (const auto inverse = platform::MatrixInverse(frameWorld)) {
        result = pickMeshes(frame, platform::Vec3TransformCoord(vOrig, *inverse),
                            platform::Vec3TransformNormal(vDir, *inverse));
    } else {
        // A flattened frame (singular transform) has no volume to hit.
        result = frame->GetChildMeshCount() > 0;
    }
    const std::int32_t children = frame->GetChildFrameCount();
    for (std::int32_t i = 0; i < children; ++i)
        RayPickEx(frame->GetChildFrame(i), frameWorld, vOrig, vDir);
    return result;
}

bool CD3DPick::pickMeshes(const CD3DFramePtr& frame, const Vector3& origin, const Vector3& dir) {
    const std::int32_t meshes = frame->GetChildMeshCount();
    for (std::int32_t i = 0; i < meshes; ++i) {
        CD3DMeshPtr mesh = frame->GetChildMesh(i);
        if (!mesh || !mesh->mesh)
            continue;
        const platform::IntersectResult hit = mesh->mesh->intersect(origin, dir);
        if (!hit.hit)
            continue;
        m_records.push_back(Record{1, static_cast<std::int32_t>(hit.faceIndex), hit.u, hit.v, hit.distance,
                                   frame, std::move(mesh)});
    }
    return meshes > 0;
}
