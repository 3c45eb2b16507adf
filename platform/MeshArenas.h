// Where the Device keeps meshes on the GPU. Meshes of one vertex format share a vertex buffer and
// an index buffer, an "arena", so that drawing another mesh changes no vertex state (switching
// vertex arrays is the dearest part of a draw on Mesa's software rasteriser). A mesh takes the
// first free run long enough in each buffer, else the unused end; space given back is merged with
// its neighbours, and a free run that reaches the unused end becomes part of it again.
//
// When no arena has room the next one is made, twice as large as the largest up to kMaxArenaBytes
// (or only as large as the meshes said to come, see expect()) and never too small for the mesh. Arenas never
// grow: a grown buffer is a new one, which the software rasteriser clears before the old contents are copied
// into it.
//
// This is bookkeeping only: the buffers themselves are made and released by an ArenaBackend (the
// Device's OpenGL side), so the rules are tested without a GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

// Free runs of a buffer, by start; adjacent runs are merged.
class FreeRuns {
public:
    // Start of `count` free elements, taken from the first run long enough; none when no run is.
    std::optional<std::size_t> take(std::size_t count);
    // Gives back [start, start + count); returns the merged run (start, count).
    std::pair<std::size_t, std::size_t> give(std::size_t start, std::size_t count);
    void erase(std::size_t start) { m_runs.erase(start); }

private:
    std::map<std::size_t, std::size_t> m_runs;
};

// One vertex buffer and one index buffer shared by meshes of one vertex format.
struct MeshArena {
    std::uint32_t fvf = 0, stride = 0;             // stride in floats
    std::size_t vertexCapacity = 0, vertexEnd = 0; // in vertices; from vertexEnd on nothing is used
    std::size_t indexCapacity = 0, indexEnd = 0;   // in indices
    FreeRuns freeVertices, freeIndices;
    unsigned vao = 0, vbo = 0, ebo = 0; // the backend's names for the arena's vertex array and buffers
};

// A mesh's place: vertexCount vertices from firstVertex and indexCount indices from firstIndex.
struct MeshPlace {
    MeshArena* arena = nullptr;
    std::size_t firstVertex = 0, vertexCount = 0, firstIndex = 0, indexCount = 0;
};

// Makes and releases the buffers behind arenas.
class ArenaBackend {
public:
    virtual ~ArenaBackend() = default;
    // Makes the buffers of a new arena, whose format, stride and capacities are set.
    virtual void makeBuffers(MeshArena& arena) = 0;
    virtual void releaseBuffers(MeshArena& arena) = 0;
};

class MeshArenas {
public:
    static constexpr std::size_t kFirstArenaBytes = std::size_t(256) << 10; // of vertices
    static constexpr std::size_t kMaxArenaBytes = std::size_t(16) << 20;

    // `backend` must outlive every call of place() and releaseBuffers().
    explicit MeshArenas(ArenaBackend& backend) : m_backend(&backend) {}

    // Room for a mesh of `vertexCount` vertices of `stride` floats and `indexCount` indices, in the
    // newest arena of its format that has it, else in an older one, else in a new arena.
    MeshPlace place(std::uint32_t fvf, std::uint32_t stride, std::size_t vertexCount, std::size_t indexCount);
    // Meshes of `vertexCount` vertices and `indexCount` indices in all are about to be placed: a
    // new arena of their format is made no larger than what is left of them (nor smaller than the
    // first arena's size), since the software rasteriser clears every byte of a new buffer.
    void expect(std::uint32_t fvf, std::uint32_t stride, std::size_t vertexCount, std::size_t indexCount);
    // Gives a mesh's space back for reuse.
    void free(const MeshPlace& place);
    // Releases the buffers of every arena (the bookkeeping stays).
    void releaseBuffers();
    // The arenas of one format, oldest first.
    std::vector<const MeshArena*> arenas(std::uint32_t fvf, std::uint32_t stride) const;

private:
    struct Expected {
        std::size_t vertices = 0, indices = 0;
    };
    ArenaBackend* m_backend;
    std::map<std::uint64_t, std::vector<std::unique_ptr<MeshArena>>> m_lists; // by (fvf, stride)
    std::map<std::uint64_t, Expected> m_expected;                             // likewise
};

} // namespace platform
