#include "MeshArenas.h"

#include <algorithm>

namespace platform {

std::optional<std::size_t> FreeRuns::take(std::size_t count) {
    for (auto it = m_runs.begin(); it != m_runs.end(); ++it)
        if (it->second >= count) {
            const std::size_t start = it->first, left = it->second - count;
            m_runs.erase(it);
            if (left)
                m_runs.emplace(start + count, left);
            return start;
        }
    return std::nullopt;
}

std::pair<std::size_t, std::size_t> FreeRuns::give(std::size_t start, std::size_t count) {
    auto next = m_runs.lower_bound(start);
    if (next != m_runs.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == start) {
            start = prev->first;
            count += prev->second;
            m_runs.erase(prev);
        }
    }
    if (next != m_runs.end() && start + count == next->first) {
        count += next->second;
        m_runs.erase(next);
    }
    m_runs.emplace(start, count);
    return {start, count};
}

namespace {

// Takes `count` elements of one of an arena's buffers: a free run, or the unused end.
std::optional<std::size_t> takeSpace(MeshArena& arena, bool vertices, std::size_t count) {
    if (count == 0)
        return 0;
    FreeRuns& runs = vertices ? arena.freeVertices : arena.freeIndices;
    if (auto start = runs.take(count))
        return start;
    std::size_t& end = vertices ? arena.vertexEnd : arena.indexEnd;
    if (end + count > (vertices ? arena.vertexCapacity : arena.indexCapacity))
        return std::nullopt;
    const std::size_t start = end;
    end += count;
    return start;
}

// Gives [start, start + count) back; a run that reaches the unused end joins it.
void giveSpace(FreeRuns& runs, std::size_t& end, std::size_t start, std::size_t count) {
    if (!count)
        return;
    const auto [runStart, runCount] = runs.give(start, count);
    if (runStart + runCount == end) {
        runs.erase(runStart);
        end = runStart;
    }
}

} // namespace

void MeshArenas::expect(std::uint32_t fvf, std::uint32_t stride, std::size_t vertexCount,
                        std::size_t indexCount) {
    Expected& e = m_expected[std::uint64_t{fvf} << 32 | stride];
    e.vertices += vertexCount;
    e.indices += indexCount;
}

MeshPlace MeshArenas::place(std::uint32_t fvf, std::uint32_t stride, std::size_t vertexCount,
                            std::size_t indexCount) {
    const std::uint64_t key = std::uint64_t{fvf} << 32 | stride;
    std::vector<std::unique_ptr<MeshArena>>& list = m_lists[key];
    MeshPlace place{nullptr, 0, vertexCount, 0, indexCount};
    // What is left to come after this mesh, of what was said to come.
    Expected expected;
    if (auto it = m_expected.find(key); it != m_expected.end()) {
        expected = it->second;
        it->second.vertices -= std::min(it->second.vertices, vertexCount);
        it->second.indices -= std::min(it->second.indices, indexCount);
        if (it->second.vertices == 0 && it->second.indices == 0)
            m_expected.erase(it);
    }
    // The newest arena first: it is the one with room at its end.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        MeshArena& arena = **it;
        const std::optional<std::size_t> v = takeSpace(arena, true, vertexCount);
        if (!v)
            continue;
        const std::optional<std::size_t> i = takeSpace(arena, false, indexCount);
        if (!i) {
            giveSpace(arena.freeVertices, arena.vertexEnd, *v, vertexCount);
            continue;
        }
        place.arena = &arena;
        place.firstVertex = *v;
        place.firstIndex = *i;
        return place;
    }
    // A new arena, twice the largest one's size up to the cap, or as large as what is said to come
    // (this mesh included) where that is less, and never too small for the mesh.
    const std::size_t vertexBytes = stride * sizeof(float), indexBytes = sizeof(std::uint32_t);
    std::size_t bytes = kFirstArenaBytes;
    for (const auto& arena : list)
        bytes = std::max(bytes, std::min(kMaxArenaBytes, arena->vertexCapacity * vertexBytes * 2));
    std::size_t vertices = bytes / vertexBytes, indices = bytes / 2 / indexBytes;
    if (expected.vertices > 0 || expected.indices > 0) {
        vertices = std::clamp(expected.vertices, kFirstArenaBytes / vertexBytes, vertices);
        indices = std::clamp(expected.indices, kFirstArenaBytes / 2 / indexBytes, indices);
    }
    list.push_back(std::make_unique<MeshArena>());
    MeshArena& arena = *list.back();
    arena.fvf = fvf;
    arena.stride = stride;
    arena.vertexCapacity = std::max(vertices, vertexCount);
    arena.indexCapacity = std::max(indices, indexCount);
    m_backend->makeBuffers(arena);
    place.arena = &arena;
    place.firstVertex = *takeSpace(arena, true, vertexCount);
    place.firstIndex = *takeSpace(arena, false, indexCount);
    return place;
}

void MeshArenas::free(const MeshPlace& place) {
    if (!place.arena)
        return;
    MeshArena& arena = *place.arena;
    giveSpace(arena.freeVertices, arena.vertexEnd, place.firstVertex, place.vertexCount);
    giveSpace(arena.freeIndices, arena.indexEnd, place.firstIndex, place.indexCount);
}

void MeshArenas::releaseBuffers() {
    for (auto& [key, list] : m_lists)
        for (const auto& arena : list)
            m_backend->releaseBuffers(*arena);
}

std::vector<const MeshArena*> MeshArenas::arenas(std::uint32_t fvf, std::uint32_t stride) const {
    std::vector<const MeshArena*> result;
    if (auto it = m_lists.find(std::uint64_t{fvf} << 32 | stride); it != m_lists.end())
        for (const auto& arena : it->second)
            result.push_back(arena.get());
    return result;
}

} // namespace platform
