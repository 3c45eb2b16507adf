// CD3DMesh: one platform mesh (indexed triangles with an attribute table of subsets) with its
// per-subset materials and textures, an optional override material and bounding volumes. Frames
// hold meshes and draw them with RenderEx; picking intersects rays with `mesh`.
//
// Drawing always goes to the shared device g_device, whatever device is passed.
#pragma once

#include "platform/Device.h"
#include "platform/Mesh.h"
#include "platform/Texture.h"
#include "platform/Types.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// A mesh data object of a model file (XFile.h).
class XFileData;

class CD3DMesh;
using CD3DMeshPtr = std::shared_ptr<CD3DMesh>;

class CD3DMesh {
    // What RenderEx reads comes first, together with `mesh` (a scene draws 100,000 meshes).
    std::int32_t m_materialCount = 0;
    platform::Material m_override;
    std::vector<platform::Material> m_materials;
    std::vector<platform::TexturePtr> m_textures;

public:
    CD3DMesh() = default;
    CD3DMesh(const CD3DMesh&) = delete;
    CD3DMesh& operator=(const CD3DMesh&) = delete;

    // The geometry; null until initialised.
    platform::MeshPtr mesh;
    // Geometry of a skinned model; only the skinned model-file path sets it.
    platform::MeshPtr skinmesh;
    // Draw each subset with its own material and texture.
    bool bUseMaterials = false;
    // Draw every subset with the override material.
    bool bUseMaterialOverride = false;
    bool bSkinned = false;   // Render draws nothing for a skinned mesh
    bool bHasSphere = false; // set by ComputeBoundingVolumes
    float SphereRadius = 0;
    QString ObjectName;

    void Init() { bUseMaterials = true; }
    // A new wrapper of the same geometry (shared, not copied) with the same materials, textures,
    // flags, bounds and name: for a frame that is to look unlike the others that share this one.
    CD3DMeshPtr Clone() const;
    platform::Vector3 SphereCenter() const { return m_sphereCenter; }

    // Load a model file's meshes (XFile.h). Both Destroy first. InitFromFile reads every mesh of
    // the file `Name` (or, when there is none, `Name` in the media folder) as one, each placed by its frames,
    // and keeps ObjectName; InitFromXOF reads one mesh data object and takes its name. Each subset gets its
    // material, with ambient replaced by diffuse, and its texture through LoadTexture (null when none can be
    // read); bUseMaterials stays true. False when the file can't be read or its data are inconsistent: the
    // mesh is then empty.
    bool InitFromFile(const platform::DevicePtr& dev, const QString& Name);
    bool InitFromXOF(const platform::DevicePtr& dev, const XFileData* meshdata);

    // Sorts the faces by subset. No mesh held: nothing happens (same for the operations below).
    void Optimize();
    // Replaces the mesh by a copy with vertex format `fvf` (shared components kept, new ones zero).
    void SetFVF(const platform::DevicePtr& dev, std::uint32_t fvf);
    void ComputeNormals();
    // Negate every normal / move every vertex by (x, y, z). Only meshes whose vertex format is
    // position + normal + one texture coordinate (0x112) are changed; others are left as they are.
    void FlipNormals();
    void Translate(float x, float y, float z);
    // Bounding box of the vertices; zero when no mesh is held.
    void GetLocalBox(platform::Vector3& MinExt, platform::Vector3& MaxExt) const;
    // Drops mesh, skin mesh, materials, textures and texture names; material count 0,
    // bUseMaterials true. The override and the bounding sphere stay.
    void Destroy();
    // Bounding sphere -> SphereCenter, SphereRadius; bHasSphere = true.
    void ComputeBoundingVolumes();

    // Draws subsets 0..material count - 1. The opaque pass draws subsets whose material (own or
    // override) has a diffuse alpha of exactly 1.0, or every subset with the device's current
    // material when neither material flag is set; the alpha pass draws those whose alpha is below
    // 1.0 (only with one of the material flags). Blend states are the caller's.
    void RenderEx(const platform::DevicePtr& dev, bool bDrawOpaqueSubsets, bool bDrawAlphaSubsets);
    // Draws every subset in one pass: with their own materials and textures when bUseMaterials is
    // set, otherwise with the device's current state. No override, no opaque/alpha split.
    void Render(const platform::DevicePtr& dev);
    // No skinned mesh is ever made (the model loaders read no skin data): draws nothing.
    void RenderSkin();

    std::int32_t GetMaterialCount() const { return m_materialCount; }
    void SetMaterialOverride(const platform::Material& m);
    platform::Material GetMaterialOverride() const { return m_override; }

    QString ClassName() const { return QStringLiteral("CD3DMesh"); }
    // Meshes keep their data on the CPU; nothing to release or restore.
    void InvalidateDeviceObjects() {}
    void RestoreDeviceObjects(const platform::DevicePtr&) {}

    // Adopts `d3dxmeshIn`: bUseMaterials false, material count 1, material and texture slots
    // 0..1 emptied.
    void InitFromD3DXMesh(platform::MeshPtr d3dxmeshIn);
    // Material count = n; the material and texture slots become 0..n, keeping their contents.
    // Throws std::out_of_range for a negative n.
    void SetMaterialCount(std::int32_t n);
    // Slot access, 0..material count; throws std::out_of_range outside.
    void SetMaterialTexture(std::int32_t i, platform::TexturePtr t);
    platform::TexturePtr GetMaterialTexture(std::int32_t i) const;
    void SetMaterial(std::int32_t i, const platform::Material& m);
    platform::Material GetMaterial(std::int32_t i) const;

    // The texture file names a model file gave the subsets (empty names for none).
    const std::vector<QString>& TextureNames() const { return m_textureNames; }

private:
    platform::Device& device() const;
    bool adopt(const XFileData& data);

    platform::Vector3 m_sphereCenter;
    std::vector<QString> m_textureNames;
};
