#include "D3DMesh.h"

#include "D3DUtil.h"
#include "XFile.h"

#include <stdexcept>
#include <utility>

namespace {

std::size_t checkedIndex(std::int32_t i, std::size_t size, const char* what) {
    if (i < 0 || static_cast<std::size_t>(i) >= size)
        throw std::out_of_range(what);
    return static_cast<std::size_t>(i);
}

} // namespace

platform::Device& CD3DMesh::device() const {
    if (!g_device)
        throw std::runtime_error("CD3DMesh: no 3D device");
    return *g_device;
}

bool CD3DMesh::InitFromFile(const platform::DevicePtr&, const QString& Name) {
    Destroy();
    std::shared_ptr<const XFile> file = XFile::Open(FindMediaFile(Name));
    return file && adopt(XFileData::OfWholeFile(std::move(file)));
}

bool CD3DMesh::InitFromXOF(const platform::DevicePtr&, const XFileData* meshdata) {
    Destroy();
    if (!meshdata)
        return false;
    ObjectName = meshdata->name;
    return adopt(*meshdata);
}

bool CD3DMesh::adopt(const XFileData& data) {
    std::optional<XMeshContents> contents = ReadXMesh(data);
    if (!contents)
        return false;
    mesh = std::move(contents->mesh);
    const auto count = static_cast<std::int32_t>(contents->materials.size());
    SetMaterialCount(count);
    m_textureNames = std::move(contents->textureNames);
    for (std::int32_t i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        m_materials[at] = contents->materials[at];
        m_textures[at] = LoadTexture(g_device, m_textureNames[at]);
    }
    return true;
}

void CD3DMesh::Optimize() {
    if (mesh)
        mesh->optimize();
}

void CD3DMesh::SetFVF(const platform::DevicePtr&, std::uint32_t fvf) {
    if (mesh)
        mesh = mesh->cloneFVF(fvf, platform::MESH_MANAGED);
}

void CD3DMesh::ComputeNormals() {
    if (mesh)
        mesh->computeNormals();
}

void CD3DMesh::FlipNormals() {
    if (!mesh || mesh->fvf() != platform::FVF_POSITION_NORMAL_TEX1)
        return;
    const std::uint32_t stride = mesh->floatsPerVertex();
    std::vector<float>& v = mesh->vertices();
    for (std::size_t at = 0; at + stride <= v.size(); at += stride) {
        v[at + 3] = -v[at + 3];
        v[at + 4] = -v[at + 4];
        v[at + 5] = -v[at + 5];
    }
    mesh->changed();
}

void CD3DMesh::Translate(float x, float y, float z) {
    if (!mesh || mesh->fvf() != platform::FVF_POSITION_NORMAL_TEX1)
        return;
    const std::uint32_t stride = mesh->floatsPerVertex();
    std::vector<float>& v = mesh->vertices();
    for (std::size_t at = 0; at + stride <= v.size(); at += stride) {
        v[at] += x;
        v[at + 1] += y;
        v[at + 2] += z;
    }
    mesh->changed();
}

void CD3DMesh::GetLocalBox(platform::Vector3& MinExt, platform::Vector3& MaxExt) const {
    if (!mesh) {
        MinExt = MaxExt = platform::Vector3{};
        return;
    }
    const platform::BoundingBox box = mesh->boundingBox();
    MinExt = box.min;
    MaxExt = box.max;
}

void CD3DMesh::Destroy() {
    std::vector<platform::TexturePtr>().swap(m_textures);
    std::vector<platform::Material>().swap(m_materials);
    std::vector<QString>().swap(m_textureNames);
    m_materialCount = 0;
    bUseMaterials = true;
    mesh.reset();
    skinmesh.reset();
}

void CD3DMesh::ComputeBoundingVolumes() {
    if (!mesh)
        return;
    const platform::BoundingSphere sphere = mesh->boundingSphere();
    m_sphereCenter = sphere.center;
    SphereRadius = sphere.radius;
    bHasSphere = true;
}

void CD3DMesh::RenderEx(const platform::DevicePtr&, bool bDrawOpaqueSubsets, bool bDrawAlphaSubsets) {
    if (!mesh)
        return;
    platform::Device& d = device();
    const platform::Mesh& geometry = *mesh;
    const auto count = static_cast<std::uint32_t>(m_materialCount);

    if (bDrawOpaqueSubsets) {
        if (bUseMaterials) {
            for (std::uint32_t i = 0; i < count; ++i) {
                if (m_materials[i].diffuse.a != 1.0f)
                    continue;
                d.setMaterial(m_materials[i]);
                d.setTexture(0, m_textures[i]);
                d.drawSubset(geometry, i);
            }
        } else if (bUseMaterialOverride) {
            if (m_override.diffuse.a == 1.0f) {
                for (std::uint32_t i = 0; i < count; ++i) {
                    d.setTexture(0, m_textures[i]);
                    d.setMaterial(m_override);
                    d.drawSubset(geometry, i);
                }
            }
        } else {
            for (std::uint32_t i = 0; i < count; ++i)
                d.drawSubset(geometry, i);
        }
    }

    // A mesh without materials is drawn in the opaque pass only.
    if (!bDrawAlphaSubsets || (!bUseMaterials && !bUseMaterialOverride))
        return;
    if (bUseMaterials) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!(m_materials[i].diffuse.a < 1.0f))
                continue;
            d.setMaterial(m_materials[i]);
            d.setTexture(0, m_textures[i]);
            d.drawSubset(geometry, i);
        }
    } else if (m_override.diffuse.a < 1.0f) {
        for (std::uint32_t i = 0; i < count; ++i) {
            d.setMaterial(m_override);
            d.setTexture(0, m_textures[i]);
            d.drawSubset(geometry, i);
        }
    }
}

void CD3DMesh::Render(const platform::DevicePtr&) {
    if (!mesh || bSkinned)
        return;
    platform::Device& d = device();
    const auto count = static_cast<std::uint32_t>(m_materialCount);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bUseMaterials) {
            d.setMaterial(m_materials[i]);
            d.setTexture(0, m_textures[i]);
        }
        d.drawSubset(*mesh, i);
    }
}

void CD3DMesh::RenderSkin() {
    // Nothing makes skinned meshes (bSkinned is only set by a skinned model loader), so there is
    // nothing to draw.
}

CD3DMeshPtr CD3DMesh::Clone() const {
    auto copy = std::make_shared<CD3DMesh>();
    copy->m_materialCount = m_materialCount;
    copy->m_override = m_override;
    copy->m_materials = m_materials;
    copy->m_textures = m_textures;
    copy->mesh = mesh;
    copy->skinmesh = skinmesh;
    copy->bUseMaterials = bUseMaterials;
    copy->bUseMaterialOverride = bUseMaterialOverride;
    copy->bSkinned = bSkinned;
    copy->bHasSphere = bHasSphere;
    copy->SphereRadius = SphereRadius;
    copy->ObjectName = ObjectName;
    copy->m_sphereCenter = m_sphereCenter;
    copy->m_textureNames = m_textureNames;
    return copy;
}

void CD3DMesh::SetMaterialOverride(const platform::Material& m) {
    m_override = m;
    bUseMaterialOverride = true;
}

void CD3DMesh::InitFromD3DXMesh(platform::MeshPtr d3dxmeshIn) {
    mesh = std::move(d3dxmeshIn);
    bUseMaterials = false;
    m_materialCount = 1;
    m_materials.assign(2, platform::Material{});
    m_textures.assign(2, nullptr);
}

void CD3DMesh::SetMaterialCount(std::int32_t n) {
    if (n < 0)
        throw std::out_of_range("CD3DMesh::SetMaterialCount: subscript out of range");
    m_materialCount = n;
    m_materials.resize(static_cast<std::size_t>(n) + 1);
    m_textures.resize(static_cast<std::size_t>(n) + 1);
}

void CD3DMesh::SetMaterialTexture(std::int32_t i, platform::TexturePtr t) {
    m_textures[checkedIndex(i, m_textures.size(), "CD3DMesh::SetMaterialTexture: subscript out of range")] =
        std::move(t);
}

platform::TexturePtr CD3DMesh::GetMaterialTexture(std::int32_t i) const {
    return m_textures[checkedIndex(i, m_textures.size(),
                                   "CD3DMesh::GetMaterialTexture: subscript out of range")];
}

void CD3DMesh::SetMaterial(std::int32_t i, const platform::Material& m) {
    m_materials[checkedIndex(i, m_materials.size(), "CD3DMesh::SetMaterial: subscript out of range")] = m;
}

platform::Material CD3DMesh::GetMaterial(std::int32_t i) const {
    return m_materials[checkedIndex(i, m_materials.size(), "CD3DMesh::GetMaterial: subscript out of range")];
}
