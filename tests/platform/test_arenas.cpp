// Mesh arenas without OpenGL: where meshes are placed, how freed space is reused and merged, and
// when a new arena is made.
#include "platform/MeshArenas.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

using namespace platform;

namespace {

struct FakeBackend : ArenaBackend {
    std::vector<const MeshArena*> made;
    int released = 0;
    void makeBuffers(MeshArena& arena) override { made.push_back(&arena); }
    void releaseBuffers(MeshArena&) override { ++released; }
};

constexpr std::uint32_t kFvf = 0x012, kStride = 6;
constexpr std::size_t kIndices = (128 << 10) / 4; // of the first arena

bool overlap(std::size_t a, std::size_t aCount, std::size_t b, std::size_t bCount) {
    return aCount && bCount && a < b + bCount && b < a + aCount;
}

} // namespace

TEST(MeshArenas, FreedSpaceIsReusedMergedAndGivenBackToTheEnd) {
    struct Step {
        const char* name; // a new mesh, or "-name" to free it
        std::size_t vertices, indices;
        std::size_t firstVertex, firstIndex; // where the new mesh goes
    };
    const Step steps[] = {
        {"a", 100, 300, 0, 0}, {"b", 50, 150, 100, 300}, {"c", 10, 30, 150, 450},
        {"-a", 0, 0, 0, 0},    {"d", 60, 90, 0, 0},     // the first free run that is long enough
        {"-b", 0, 0, 0, 0},    {"e", 90, 360, 60, 90},  // b's space merged with what d left of a's
        {"-c", 0, 0, 0, 0},    {"f", 20, 60, 150, 450}, // c's space went back to the unused end
        {"g", 0, 0, 0, 0},     {"h", 1, 3, 170, 510},   // an empty mesh takes nothing
    };
    FakeBackend backend;
    MeshArenas arenas(backend);
    std::map<std::string, MeshPlace> live;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.name[0] == '-') {
            arenas.free(live.at(s.name + 1));
            continue;
        }
        const MeshPlace p = arenas.place(kFvf, kStride, s.vertices, s.indices);
        live[s.name] = p;
        EXPECT_EQ(p.arena, backend.made.front());
        EXPECT_EQ(p.firstVertex, s.firstVertex);
        EXPECT_EQ(p.firstIndex, s.firstIndex);
        EXPECT_EQ(p.vertexCount, s.vertices);
        EXPECT_EQ(p.indexCount, s.indices);
    }
    EXPECT_EQ(backend.made.size(), 1u);
}

TEST(MeshArenas, ANewArenaOnlyWhenNoneHasRoomForBothBuffers) {
    FakeBackend backend;
    MeshArenas arenas(backend);
    // Every index of the first arena taken, some of its vertices left.
    const MeshPlace full = arenas.place(kFvf, kStride, 10, kIndices);
    // Vertices fit, indices don't: a second arena, and the vertices taken in the first go back.
    const MeshPlace second = arenas.place(kFvf, kStride, 10, 3);
    ASSERT_EQ(backend.made.size(), 2u);
    EXPECT_EQ(second.arena, backend.made[1]);
    EXPECT_EQ(full.arena->vertexEnd, 10u);
    // Once the newer arena is full too, space freed in the older one is used.
    arenas.place(kFvf, kStride, 0, second.arena->indexCapacity - 3);
    arenas.free(full);
    EXPECT_EQ(arenas.place(kFvf, kStride, 5, 100).arena, full.arena);
    // A mesh larger than any arena gets one of its own, large enough.
    const MeshPlace huge = arenas.place(kFvf, kStride, 2'000'000, 9'000'000);
    ASSERT_EQ(backend.made.size(), 3u);
    EXPECT_GE(huge.arena->vertexCapacity, 2'000'000u);
    EXPECT_GE(huge.arena->indexCapacity, 9'000'000u);
    // Another vertex format never shares an arena.
    const MeshPlace textured = arenas.place(0x112, 8, 4, 6);
    EXPECT_EQ(backend.made.size(), 4u);
    EXPECT_EQ(textured.arena->stride, 8u);
    EXPECT_EQ(arenas.arenas(kFvf, kStride).size(), 3u);
    arenas.releaseBuffers();
    EXPECT_EQ(backend.released, 4);
}

// A new arena is as large as what was said to come needs, not more; then as large as before.
TEST(MeshArenas, ANewArenaHoldsWhatIsExpectedAndNoMore) {
    FakeBackend backend;
    MeshArenas arenas(backend);
    arenas.place(kFvf, kStride, 10, kIndices); // the first arena's indices all taken
    arenas.expect(kFvf, kStride, 15'000, 40'000);
    arenas.place(kFvf, kStride, 10'000, 20'000); // what is left to come, this mesh's own included
    ASSERT_EQ(backend.made.size(), 2u);
    EXPECT_EQ(backend.made[1]->vertexCapacity, 15'000u);
    EXPECT_EQ(backend.made[1]->indexCapacity, 40'000u);
    arenas.place(kFvf, kStride, 5'000, 20'000);
    arenas.place(kFvf, kStride, 100, 300); // not expected: the usual size, doubled from the largest
    ASSERT_EQ(backend.made.size(), 3u);
    EXPECT_EQ(backend.made[2]->vertexCapacity, 30'000u);
    // Little to come still gets the first arena's size.
    arenas.place(kFvf, kStride, 0, backend.made[2]->indexCapacity - 300);
    arenas.expect(kFvf, kStride, 5, 9);
    arenas.place(kFvf, kStride, 5, 9);
    ASSERT_EQ(backend.made.size(), 4u);
    EXPECT_EQ(backend.made[3]->vertexCapacity, backend.made[0]->vertexCapacity);
}

TEST(MeshArenas, LiveMeshesNeverOverlapAndSpaceIsReused) {
    // Meshes of random sizes come and go; about a tenth of an arena is in use at any time.
    FakeBackend backend;
    MeshArenas arenas(backend);
    std::mt19937 random(7);
    std::vector<MeshPlace> live;
    for (int step = 0; step < 3000; ++step) {
        if (live.size() > 20 || (!live.empty() && random() % 3 == 0)) {
            const std::size_t k = random() % live.size();
            arenas.free(live[k]);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        const MeshPlace p = arenas.place(kFvf, kStride, 1 + random() % 60, 3 * (1 + random() % 150));
        ASSERT_LE(p.firstVertex + p.vertexCount, p.arena->vertexCapacity);
        ASSERT_LE(p.firstIndex + p.indexCount, p.arena->indexCapacity);
        for (const MeshPlace& q : live)
            if (q.arena == p.arena) {
                ASSERT_FALSE(overlap(p.firstVertex, p.vertexCount, q.firstVertex, q.vertexCount)) << step;
                ASSERT_FALSE(overlap(p.firstIndex, p.indexCount, q.firstIndex, q.indexCount)) << step;
            }
        live.push_back(p);
    }
    EXPECT_EQ(backend.made.size(), 1u);
}
