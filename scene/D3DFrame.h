// CD3DFrame: a node of the scene graph. A frame holds an ordered list of child frames and an
// ordered list of meshes, a local transform (frame space -> parent space) and the world transform
// that UpdateFrames computes from it.
//
// Frames are held by counted references (std::shared_ptr): a frame owns its children and meshes, a
// child never refers to its parent, and the whole tree goes when the root's last reference does. A
// frame holds no reference to itself either (a bar graph has one frame a bar): what hands out a
// reference to the frame it starts from takes that frame's reference as its first argument.
// Create frames with CD3DFrame::Create or CreateChildFrame (D3DUtil.h).
//
// Keep this class lean: the bar graph makes one frame per bar (up to millions of them, each with
// one mesh and no children) and renders them all every frame.
#pragma once

#include "platform/Device.h"
#include "platform/Mesh.h"
#include "platform/Types.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

class CD3DFrame;
class CD3DMesh;
class CD3DAnimation;
using CD3DFramePtr = std::shared_ptr<CD3DFrame>;
using CD3DMeshPtr = std::shared_ptr<CD3DMesh>;

// Receiver of a frame's render notifications: called with the id given when it was installed.
class FrameCallback {
public:
    virtual ~FrameCallback() = default;
    virtual void DXCallback(std::int32_t id) = 0;
};
using FrameCallbackPtr = std::shared_ptr<FrameCallback>;

// How AddRotation, AddScale and AddTranslation combine their matrix X with the local matrix.
enum : std::int32_t {
    COMBINE_PREMULTIPLY = 0,  // local = X x local: X acts first, in the frame's own space
    COMBINE_POSTMULTIPLY = 1, // local = local x X: X acts last, in the parent's space
    COMBINE_REPLACE = 2,      // local = X
};

// What FindChildObject finds: a frame, a mesh, or nothing (both null).
struct SceneObject {
    CD3DFramePtr frame;
    CD3DMeshPtr mesh;
    explicit operator bool() const { return frame || mesh; }
};

class CD3DFrame {
    struct Key {
        explicit Key() = default;
    };

    // What Render reads comes first, together, so that drawing 100,000 frames touches few cache
    // lines per frame; the rest follows the public fields.
    platform::Matrix m_local;
    // The meshes: a frame with at most one holds it here (a bar, a label); with more they are
    // all in m_more.
    CD3DMeshPtr m_mesh;
    // What few frames have: child frames, more than one mesh, callbacks, an inverse asked for, a
    // turn or scale.
    struct More;
    mutable std::unique_ptr<More> m_more;
    std::uint32_t m_meshCount = 0;
    // Whether the inverse in m_more is the inverse of m_world (here, where it packs with Enabled).
    mutable bool m_inverseValid = false;

public:
    // A new frame: identity local matrix, zero world and inverse world matrices, no children, no
    // meshes, enabled, unnamed. Also resets the shared identity matrix to identity.
    static CD3DFramePtr Create();
    explicit CD3DFrame(Key);
    ~CD3DFrame();
    CD3DFrame(const CD3DFrame&) = delete;
    CD3DFrame& operator=(const CD3DFrame&) = delete;

    // When false, Render skips this frame and its whole subtree, and picking ignores them.
    bool Enabled = true;
    // Name searched by FindChildObject; the graph stores the entry's index here.
    QString ObjectName;

    void SetPreRenderCallback(FrameCallbackPtr cb, std::int32_t id);
    void SetPostRenderCallback(FrameCallbackPtr cb, std::int32_t id);
    // Appends `child` to the child frames (a null child is kept as an empty slot and skipped).
    void AddChild(CD3DFramePtr child);

    // Position, orientation, scale and orientation centre: setting any of them rebuilds the local
    // matrix as scale (about the origin), then rotation about the centre, then translation,
    // discarding whatever SetMatrix or the Add operations put there.
    void SetPosition(const platform::Vector3& vec);
    platform::Vector3 GetPosition() const { return m_position; }
    void SetOrientation(const platform::Quaternion& quat);
    platform::Quaternion GetOrientation() const;
    void SetScale(float val);
    float GetScale() const;
    void SetOrientationCenter(const platform::Vector3& vec);
    platform::Vector3 GetOrientationCenter() const;

    // Appends `childMesh` to the meshes (a null mesh is kept as an empty slot and skipped).
    void AddMesh(CD3DMeshPtr childMesh);
    // Puts `childMesh` in place of mesh i (0-based); throws std::out_of_range outside 0..count-1.
    void SetChildMesh(std::int32_t i, CD3DMeshPtr childMesh);
    // Wraps `mesh` in a new CD3DMesh (InitFromD3DXMesh), appends it and returns it.
    CD3DMeshPtr AddD3DXMesh(platform::MeshPtr mesh);

    // The local matrix. SetMatrix leaves position, orientation and scale as they were.
    const platform::Matrix& GetMatrix() const { return m_local; }
    void SetMatrix(const platform::Matrix& m) { m_local = m; }

    std::int32_t GetChildMeshCount() const { return static_cast<std::int32_t>(m_meshCount); }
    // 0-based; throws std::out_of_range outside 0..count-1.
    CD3DMeshPtr GetChildMesh(std::int32_t i) const;
    CD3DFramePtr GetChildFrame(std::int32_t i) const;
    std::int32_t GetChildFrameCount() const { return static_cast<std::int32_t>(ChildFrames().size()); }
    // The child frames and meshes as they are held (empty slots are null), for code that walks
    // every frame of a large scene on every frame drawn.
    const std::vector<CD3DFramePtr>& ChildFrames() const;
    std::span<const CD3DMeshPtr> ChildMeshes() const;
    // The pre-render callback object and its id (null and 0 when none is set).
    const FrameCallback* PreRenderCallback() const;
    std::int32_t PreRenderId() const;

    // First object named exactly `Name` in the subtree of `frame`: the frame itself, then its
    // meshes, then each child's subtree in order (depth-first). `flags` is not used.
    static SceneObject FindChildObject(const CD3DFramePtr& frame, const QString& Name,
                                       std::int32_t flags = 0);
    // The frame of that subtree that directly holds the mesh or child frame named `Name`, or null.
    static CD3DFramePtr FindChildParent(const CD3DFramePtr& frame, const QString& Name,
                                        std::int32_t flags = 0);

    // Releases both lists (the children themselves are not destroyed).
    void Destroy();

    // Loads a model file (XFile.h) into `frame` (false when it is null): the file `strFile` (or, when there
    // is none, `strFile` in the media folder). Each top-level frame becomes a child frame (with its name,
    // matrix, meshes and child frames, in file order), meshes outside any frame become `frame`'s meshes, and
    // with `animParent` every animation of the file's animation sets becomes a child of it, playing
    // the frame it names (found with FindChildObject in `frame`; none when no frame has that name).
    // Then `frame` is added to `parent` when one is given. False, with nothing changed, when the
    // file can't be read or parsed. A mesh whose data are inconsistent is left out.
    static bool InitFromFile(const CD3DFramePtr& frame, const platform::DevicePtr& dev,
                             const QString& strFile, const CD3DFramePtr& parent,
                             const std::shared_ptr<CD3DAnimation>& animParent);

    // Forwarded to every mesh, then to every child frame.
    void SetFVF(const platform::DevicePtr& dev, std::uint32_t fvf);
    void FlipNormals();
    void ComputeNormals();
    void Optimize();
    void ComputeBoundingVolumes();

    // Recomputes world = local x parent's world (and its inverse, worked out when first asked for)
    // for this subtree, with identity as this frame's parent. Meshes and Enabled are not looked
    // at. A singular world matrix keeps the previous inverse.
    void UpdateFrames();
    // The same for this subtree as a child of a frame whose world matrix is `parentWorld`.
    void UpdateFrames(const platform::Matrix& parentWorld) { updateStep(parentWorld); }
    // The world matrix of the last UpdateFrames (zero before the first).
    const platform::Matrix& GetUpdatedMatrix() const { return m_world; }
    const platform::Matrix& GetInverseMatrix() const;

    // Draws the subtree on the shared device (whatever `dev` is) in two passes: opaque subsets,
    // then translucent ones with alpha blending on; each frame's world transform is its local
    // matrix times the transform in effect on the device. Throws when there is no device.
    void Render(const platform::DevicePtr& dev);

    QString ClassName() const { return QStringLiteral("CD3DFrame"); }

    // Combine a rotation about axis (x, y, z) by `angle` radians, a scaling, or a translation into
    // the local matrix (COMBINE_*; other values change nothing). Position, orientation and scale
    // are not changed.
    void AddRotation(std::int32_t combinetype, float x, float y, float z, float angle);
    void AddScale(std::int32_t combinetype, float x, float y, float z);
    void AddTranslation(std::int32_t combinetype, float x, float y, float z);

    // Frame space <-> world space, with the matrices of the last UpdateFrames.
    platform::Vector3 TransformCoord(const platform::Vector3& v) const;
    platform::Vector3 TransformNormal(const platform::Vector3& v) const;
    platform::Vector3 InverseTransformCoord(const platform::Vector3& v) const;
    platform::Vector3 InverseTransformNormal(const platform::Vector3& v) const;

    // Frames keep nothing on the device.
    void InvalidateDeviceObjects() {}
    void RestoreDeviceObjects(const platform::DevicePtr&) {}

private:
    void rebuildLocal();
    void combine(std::int32_t combinetype, const platform::Matrix& x);
    void updateStep(const platform::Matrix& parentWorld);
    // combineMode 0: world = local x the device's world, restored afterwards; 1: world = m_world.
    void renderTraversal(platform::Device& device, bool drawOpaque, bool drawAlpha, int combineMode);

    More& more() const;

    platform::Matrix m_world;
    platform::Vector3 m_position;
    // Orientation, its centre and the scale: the defaults until one of them is set (bars and
    // labels only have a position).
    struct Turn {
        platform::Quaternion orientation;
        platform::Vector3 center;
        float scale = 1.0f;
    };
    const Turn& turn() const;
    Turn& ownTurn();
};
