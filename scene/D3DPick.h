// CD3DPick: which meshes of a frame tree lie under a point of the view, or along a ray. Every
// mesh hit becomes one record (its closest hit): frame, mesh, triangle, barycentric u and v, and
// the distance along the ray. A pick object is reused: ViewportPick and RayPick clear the previous
// records first, the Ex forms append to them.
#pragma once

#include "D3DFrame.h"
#include "platform/Types.h"

#include <cstdint>
#include <vector>

class CD3DPick {
public:
    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_records.size()); }
    // Record i (0-based): barycentric u -> a, v -> b, distance, triangle index. Throws
    // std::out_of_range outside 0..count-1 (as do GetFrame and GetMesh).
    void GetRecord(std::int32_t i, float& a, float& b, float& dist, std::int32_t& triFaceid) const;
    CD3DFramePtr GetFrame(std::int32_t i) const;
    CD3DMeshPtr GetMesh(std::int32_t i) const;
    // Index of the record with the smallest distance (the first of equals), or -1.
    std::int32_t FindNearest() const;
    // Index of the record with the largest distance (the first of equals), or -1.
    std::int32_t FindFurthest() const;
    // Drops every record.
    void Destroy();

    // Picks `frame`'s subtree at pixel (X, Y) of the shared device's viewport, with its view and
    // projection transforms. Distances are fractions of the way from the near to the far plane.
    bool ViewportPick(const CD3DFramePtr& frame, float X, float Y);
    // The same with the given viewport and matrices; `world` is the transform of frame's parent.
    // Returns true when `frame` (enabled) holds at least one mesh slot, whether or not anything
    // was hit; a missing or disabled frame is never picked, nor anything below it.
    bool ViewportPickEx(const CD3DFramePtr& frame, const platform::Viewport& viewport,
                        const platform::Matrix& projection, const platform::Matrix& view,
                        const platform::Matrix& world, float X, float Y);
    // Picks along the ray (vOrig, vDir) given in world space, with the device's world transform as
    // the transform of frame's parent. Distances are in units of the ray direction as seen in each
    // frame's space.
    bool RayPick(const CD3DFramePtr& frame, const platform::Vector3& vOrig, const platform::Vector3& vDir);
    bool RayPickEx(const CD3DFramePtr& frame, const platform::Matrix& world, const platform::Vector3& vOrig,
                   const platform::Vector3& vDir);

private:
    struct Record {
        std::int32_t hit = 0;
        std::int32_t faceId = 0;
        float u = 0, v = 0;
        float dist = 0;
        CD3DFramePtr frame;
        CD3DMeshPtr mesh;
    };
    // What a viewport pick shares between the frames of the tree.
    struct ViewportRay {
        platform::Vector3 nearClip, farClip;
        platform::Matrix viewProjection;
    };
    const Record& record(std::int32_t i, const char* what) const;
    bool viewportPick(const CD3DFramePtr& frame, const ViewportRay& ray, const platform::Matrix& world);
    // Intersects every mesh of `frame` with the ray (in frame space) and records the hits.
    bool pickMeshes(const CD3DFramePtr& frame, const platform::Vector3& origin, const platform::Vector3& dir);

    std::vector<Record> m_records;
};
