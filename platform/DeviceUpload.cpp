// Meshes and textures copied to the GPU when first drawn, and again after a change or a reset onto
// a new context; the OpenGL buffers behind the mesh arenas.
#include "DeviceGl.h"

#include "Texture.h"

#include <QImage>

#include <algorithm>
#include <numeric>

namespace platform {

namespace {

// Whether `mesh` is on the GPU of epoch `epoch` as it is now.
bool uploaded(const Mesh& mesh, const GlEpoch& epoch) {
    return mesh.gpu && mesh.gpu->epochId == epoch.id && mesh.gpuGeneration == mesh.generation();
}

} // namespace

void Device::expectUpload(const Mesh& mesh) {
    Gl& gl = *m_gl;
    if (!gl.epoch || uploaded(mesh, *gl.epoch))
        return;
    const std::uint32_t stride = mesh.floatsPerVertex();
    if (stride >= 3 && (mesh.fvf() & FVF_XYZ))
        gl.epoch->arenas.expect(mesh.fvf(), stride, mesh.vertices().size() / stride, mesh.indices().size());
}

GpuMesh* Device::upload(const Mesh& mesh) {
    Gl& gl = *m_gl;
    if (uploaded(mesh, *gl.epoch))
        return mesh.gpu.get();
    const std::uint32_t stride = mesh.floatsPerVertex();
    const std::uint32_t fvf = mesh.fvf();
    if (stride < 3 || !(fvf & FVF_XYZ))
        return nullptr;
    // An index past the vertices would make OpenGL read outside the buffer: such a mesh is not
    // drawn at all (it is checked again when its data changes).
    const std::size_t vertexCount = mesh.vertices().size() / stride;
    for (std::uint32_t index : mesh.indices())
        if (index >= vertexCount) {
            qWarning("Device: a mesh refers to vertex %u of %zu; it is not drawn", index, vertexCount);
            mesh.gpu.reset();
            return nullptr;
        }

    auto gpu = std::make_shared<GpuMesh>();
    gpu->epochId = gl.epoch->id;
    gpu->epoch = gl.epoch;

    // Faces sorted by attribute id (stable), so that every subset is one run of indices.
    const auto& indices = mesh.indices();
    const auto& attributes = mesh.faceAttributes();
    const std::uint32_t faces = static_cast<std::uint32_t>(indices.size() / 3);
    auto attr = [&](std::uint32_t face) { return face < attributes.size() ? attributes[face] : 0u; };
    // Most meshes (text, boxes of one colour) have one subset: their indices go up as they are.
    bool oneSubset = true;
    for (std::uint32_t face = 1; face < faces && oneSubset; ++face)
        oneSubset = attr(face) == attr(0);
    std::vector<std::uint32_t> sorted;
    if (oneSubset) {
        if (faces)
            gpu->ranges.push_back({attr(0), 0, faces * 3});
    } else {
        std::vector<std::uint32_t> order(faces);
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return attr(a) < attr(b); });
        sorted.reserve(faces * 3);
        for (std::uint32_t i = 0; i < faces; ++i) {
            const std::uint32_t face = order[i];
            if (gpu->ranges.empty() || gpu->ranges.back().attribId != attr(face))
                gpu->ranges.push_back({attr(face), i * 3, 0});
            gpu->ranges.back().indexCount += 3;
            sorted.insert(sorted.end(), indices.begin() + face * 3, indices.begin() + face * 3 + 3);
        }
    }
    const std::vector<std::uint32_t>& uploaded = oneSubset ? indices : sorted;
    const std::size_t indexCount = oneSubset ? std::size_t{faces} * 3 : sorted.size();

    const std::size_t vertexFloats = vertexCount * stride;
    gpu->place = gl.epoch->arenas.place(fvf, stride, vertexCount, indexCount);
    const MeshArena& arena = *gpu->place.arena;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    if (vertexFloats) {
        f->glBindBuffer(GL_COPY_WRITE_BUFFER, arena.vbo);
        f->glBufferSubData(GL_COPY_WRITE_BUFFER,
                           static_cast<GLintptr>(gpu->place.firstVertex * stride * sizeof(float)),
                           static_cast<GLsizeiptr>(vertexFloats * sizeof(float)), mesh.vertices().data());
    }
    if (indexCount) {
        f->glBindBuffer(GL_COPY_WRITE_BUFFER, arena.ebo);
        f->glBufferSubData(GL_COPY_WRITE_BUFFER,
                           static_cast<GLintptr>(gpu->place.firstIndex * sizeof(std::uint32_t)),
                           static_cast<GLsizeiptr>(indexCount * sizeof(std::uint32_t)), uploaded.data());
    }
    f->glBindBuffer(GL_COPY_WRITE_BUFFER, 0);

    mesh.gpu = std::move(gpu);
    mesh.gpuGeneration = mesh.generation();
    mesh.releaseGenerated();
    ++gl.uploads;
    return mesh.gpu.get();
}

void Device::Gl::makeBuffers(MeshArena& arena) {
    const std::size_t vertexCapacity = arena.vertexCapacity, indexCapacity = arena.indexCapacity;
    f->glGenVertexArrays(1, &arena.vao);
    f->glGenBuffers(1, &arena.vbo);
    f->glGenBuffers(1, &arena.ebo);
    f->glBindVertexArray(arena.vao);
    boundVao = arena.vao;
    f->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, arena.ebo);
    f->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCapacity * sizeof(std::uint32_t)),
                    nullptr, GL_STATIC_DRAW);
    const GLsizei bytes = static_cast<GLsizei>(arena.stride * sizeof(float));
    f->glBindBuffer(GL_ARRAY_BUFFER, arena.vbo);
    f->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCapacity * bytes), nullptr,
                    GL_STATIC_DRAW);
    f->glEnableVertexAttribArray(0);
    f->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, bytes, nullptr);
    std::uint32_t offset = 3;
    if (arena.fvf & FVF_NORMAL) {
        f->glEnableVertexAttribArray(1);
        f->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, bytes,
                                 reinterpret_cast<const void*>(std::uintptr_t{offset} * sizeof(float)));
        offset += 3;
    } else {
        f->glDisableVertexAttribArray(1); // reads the default (0, 0, 0): no lighting but ambient
    }
    if ((arena.fvf & 0xF00) && offset + 2 <= arena.stride) {
        f->glEnableVertexAttribArray(2);
        f->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, bytes,
                                 reinterpret_cast<const void*>(std::uintptr_t{offset} * sizeof(float)));
    } else {
        f->glDisableVertexAttribArray(2); // reads the default (0, 0)
    }
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void Device::Gl::releaseBuffers(MeshArena& arena) {
    f->glDeleteVertexArrays(1, &arena.vao);
    f->glDeleteBuffers(1, &arena.vbo);
    f->glDeleteBuffers(1, &arena.ebo);
}

unsigned Device::textureName(const Texture& texture) {
    Gl& gl = *m_gl;
    if (texture.gpu && texture.gpu->epochId == gl.epoch->id)
        return texture.gpu->texture;
    const QImage& image = texture.image();
    if (image.isNull())
        return 0;
    QImage rgba =
        image.format() == QImage::Format_RGBA8888 ? image : image.convertToFormat(QImage::Format_RGBA8888);
    QOpenGLFunctions_3_3_Core* f = gl.f;
    auto gpu = std::make_shared<GpuTexture>();
    gpu->epochId = gl.epoch->id;
    gpu->epoch = gl.epoch;
    f->glGenTextures(1, &gpu->texture);
    f->glActiveTexture(GL_TEXTURE0);
    f->glBindTexture(GL_TEXTURE_2D, gpu->texture);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rgba.bytesPerLine() / 4));
    // Row 0 of the image (its top) becomes t = 0, which is where Direct3D puts v = 0.
    f->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rgba.width(), rgba.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                    rgba.constBits());
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    f->glGenerateMipmap(GL_TEXTURE_2D);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    texture.gpu = std::move(gpu);
    ++gl.uploads;
    return texture.gpu->texture;
}

} // namespace platform
