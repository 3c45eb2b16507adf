// Meshes: the generators' whole vertex and index data against hand-derived tables, the closed and
// outward-facing shape over a range of sizes, ray intersection, bounding volumes, clone, normals
// and the attribute sort.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace platform;
using meshchecks::facesAgainstNormals;
using meshchecks::Near;
using meshchecks::openEdges;

namespace {

constexpr float r3 = 0.8660254f; // sqrt(3) / 2

auto subset(const AttributeRange& a) {
    return std::tuple(a.attribId, a.faceStart, a.faceCount, a.vertexStart, a.vertexCount);
}

} // namespace

TEST(MeshGenerators, ClosedOutwardFacingCountedAndLaidOutLikeDirect3D) {
    const float k = 1.0f / std::sqrt(1.0625f), s = 2 * r3;
    struct Case {
        const char* name;
        MeshPtr mesh;
        std::vector<float> vertices; // x, y, z, nx, ny, nz: the whole data, where given
        std::vector<std::uint32_t> indices;
        std::uint32_t vertexCount = 0, faceCount = 0; // where the data is not given
    } cases[] = {
        // clang-format off
        // Half extents 1, 2, 3; sides -X, +Y, +X, -Y, +Z, -Z.
        {"box 2 x 4 x 6", CreateBox(2, 4, 6),
         {-1, -2, -3, -1, 0, 0,   -1, -2, 3, -1, 0, 0,    -1, 2, 3, -1, 0, 0,    -1, 2, -3, -1, 0, 0,
          -1, 2, -3, 0, 1, 0,     -1, 2, 3, 0, 1, 0,      1, 2, 3, 0, 1, 0,      1, 2, -3, 0, 1, 0,
          1, 2, -3, 1, 0, 0,      1, 2, 3, 1, 0, 0,       1, -2, 3, 1, 0, 0,     1, -2, -3, 1, 0, 0,
          -1, -2, 3, 0, -1, 0,    -1, -2, -3, 0, -1, 0,   1, -2, -3, 0, -1, 0,   1, -2, 3, 0, -1, 0,
          -1, -2, 3, 0, 0, 1,     1, -2, 3, 0, 0, 1,      1, 2, 3, 0, 0, 1,      -1, 2, 3, 0, 0, 1,
          -1, -2, -3, 0, 0, -1,   -1, 2, -3, 0, 0, -1,    1, 2, -3, 0, 0, -1,    1, -2, -3, 0, 0, -1},
         {0, 1, 2, 2, 3, 0, 4, 5, 6, 6, 7, 4, 8, 9, 10, 10, 11, 8, 12, 13, 14, 14, 15, 12,
          16, 17, 18, 18, 19, 16, 20, 21, 22, 22, 23, 20}},
        // Radius 1 at z = -1, 0.5 at z = +1, 3 slices from +Y towards +X: the -Z cap's centre and
        // rim, two side rings whose normals lean by 0.5 over a length of 2, the +Z cap's rim and centre.
        {"cylinder 1 to 0.5, 3 slices, 1 stack", CreateCylinder(1.0f, 0.5f, 2.0f, 3, 1),
         {0, 0, -1, 0, 0, -1,
          0, 1, -1, 0, 0, -1,             r3, -0.5f, -1, 0, 0, -1,                 -r3, -0.5f, -1, 0, 0, -1,
          0, 1, -1, 0, k, 0.25f * k,      r3, -0.5f, -1, r3 * k, -0.5f * k, 0.25f * k,
          -r3, -0.5f, -1, -r3 * k, -0.5f * k, 0.25f * k,
          0, 0.5f, 1, 0, k, 0.25f * k,    r3 / 2, -0.25f, 1, r3 * k, -0.5f * k, 0.25f * k,
          -r3 / 2, -0.25f, 1, -r3 * k, -0.5f * k, 0.25f * k,
          0, 0.5f, 1, 0, 0, 1,            r3 / 2, -0.25f, 1, 0, 0, 1,             -r3 / 2, -0.25f, 1, 0, 0, 1,
          0, 0, 1, 0, 0, 1},
         {0, 1, 2, 0, 2, 3, 0, 3, 1,                                       // -Z cap
          4, 7, 5, 5, 7, 8, 5, 8, 6, 6, 8, 9, 6, 9, 4, 4, 9, 7,             // side
          10, 13, 11, 11, 13, 12, 12, 13, 10}},                             // +Z cap
        // Radius 2, 4 slices at 90, 0, -90, 180 degrees, 3 stacks: rings at 60 and 120 degrees from +Z.
        {"sphere 4 x 3", CreateSphere(2.0f, 4, 3),
         {0, 0, 2, 0, 0, 1,
          0, s, 1, 0, r3, 0.5f,  s, 0, 1, r3, 0, 0.5f,  0, -s, 1, 0, -r3, 0.5f,  -s, 0, 1, -r3, 0, 0.5f,
          0, s, -1, 0, r3, -0.5f,  s, 0, -1, r3, 0, -0.5f,
          0, -s, -1, 0, -r3, -0.5f,  -s, 0, -1, -r3, 0, -0.5f,
          0, 0, -2, 0, 0, -1},
         {0, 2, 1, 0, 3, 2, 0, 4, 3, 0, 1, 4,                                // fan round +Z
          1, 2, 5, 2, 6, 5, 2, 3, 6, 3, 7, 6, 3, 4, 7, 4, 8, 7, 4, 1, 8, 1, 5, 8,
          5, 6, 9, 6, 7, 9, 7, 8, 9, 8, 5, 9}},                              // fan round -Z
        {"bar box", CreateBox(1, 3.7f, 1), {}, {}, 24, 12},
        {"flat plate", CreateBox(14, 14, 0.1f), {}, {}, 24, 12},
        {"folder cylinder", CreateCylinder(0.5f, 0.5f, 2.5f, 12, 12), {}, {}, 2 + 12 * 15, 2 * 12 + 2 * 144},
        {"frustum", CreateCylinder(1.0f, 0.2f, 1.0f, 7, 3), {}, {}, 2 + 7 * 6, 2 * 7 + 2 * 7 * 3},
        {"sphere 12x12", CreateSphere(1.5f, 12, 12), {}, {}, 2 + 12 * 11, 2 * 12 * 11},
        {"sphere 3x2", CreateSphere(1.0f, 3, 2), {}, {}, 2 + 3, 2 * 3},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Mesh& m = *c.mesh;
        // Counts and bounds told before the data are made are those of the data.
        const std::uint32_t vertexCount = m.vertexCount(), faceCount = m.faceCount();
        const BoundingBox box = m.boundingBox();
        EXPECT_EQ(m.fvf(), FVF_POSITION_NORMAL);
        if (!c.vertices.empty()) {
            ASSERT_EQ(m.vertices().size(), c.vertices.size());
            for (std::size_t i = 0; i < c.vertices.size(); ++i)
                EXPECT_NEAR(m.vertices()[i], c.vertices[i], 1e-5f)
                    << "vertex " << i / 6 << ", float " << i % 6;
            EXPECT_EQ(m.indices(), c.indices);
        } else {
            EXPECT_EQ(m.vertexCount(), c.vertexCount);
            EXPECT_EQ(m.faceCount(), c.faceCount);
        }
        ASSERT_EQ(m.attributeTable().size(), 1u);
        EXPECT_EQ(subset(m.attributeTable()[0]), std::tuple(0u, 0u, m.faceCount(), 0u, m.vertexCount()));
        EXPECT_EQ(openEdges(m), 0);
        EXPECT_EQ(facesAgainstNormals(m), 0);
        // Every face also looks away from the centre.
        for (std::size_t t = 0; t < m.indices().size(); t += 3) {
            const Vector3 a = m.position(m.indices()[t]), b = m.position(m.indices()[t + 1]),
                          d = m.position(m.indices()[t + 2]);
            const Vector3 n = Vec3Cross(b - a, d - a);
            if (Vec3Length(n) > 1e-9f) {
                EXPECT_GT(Vec3Dot(n, (a + b + d) * (1.0f / 3)), 0) << "face " << t / 3;
            }
        }
        EXPECT_EQ(m.vertices().size(), 6u * vertexCount);
        EXPECT_EQ(m.indices().size(), 3u * faceCount);
        BoundingBox made{m.position(0), m.position(0)};
        for (std::uint32_t v = 0; v < m.vertexCount(); ++v) {
            const Vector3 p = m.position(v);
            made.min = {std::min(made.min.x, p.x), std::min(made.min.y, p.y), std::min(made.min.z, p.z)};
            made.max = {std::max(made.max.x, p.x), std::max(made.max.y, p.y), std::max(made.max.z, p.z)};
        }
        EXPECT_EQ(std::tuple(box.min.x, box.min.y, box.min.z, box.max.x, box.max.y, box.max.z),
                  std::tuple(made.min.x, made.min.y, made.min.z, made.max.x, made.max.y, made.max.z));
        // Released and made again, they are the same.
        const std::vector<float> vertices = m.vertices();
        const std::vector<std::uint32_t> indices = m.indices();
        m.releaseGenerated();
        EXPECT_EQ(m.vertices(), vertices);
        EXPECT_EQ(m.indices(), indices);
    }
    EXPECT_THROW(CreateCylinder(1, 1, 1, 1, 1), std::invalid_argument);
    EXPECT_THROW(CreateSphere(1, 4, 1), std::invalid_argument);
}

TEST(MeshIntersect, ClosestHitWithFaceBarycentricsAndDistance) {
    const MeshPtr box = CreateBox(2, 2, 2);
    struct Case {
        const char* name;
        Vector3 origin, direction;
        bool hit;
        std::uint32_t face;
        float u, v, distance;
        std::uint32_t hitCount;
    } cases[] = {
        // Enters through -Z (faces 10, 11), leaves through +Z: the nearer hit wins.
        {"front and back: the front", {0.2f, 0.3f, -10}, {0, 0, 1}, true, 10, 0.05f, 0.6f, 9, 2},
        {"distance is the ray parameter", {0.2f, 0.3f, -10}, {0, 0, 2}, true, 10, 0.05f, 0.6f, 4.5f, 2},
        {"below the diagonal: the other half", {0.3f, 0.2f, -10}, {0, 0, 1}, true, 11, 0.05f, 0.35f, 9, 2},
        {"from inside: the back face only", {0.2f, 0.3f, 0}, {0, 0, 1}, true, 9, 0.05f, 0.35f, 1, 1},
        {"from behind, looking back", {0.2f, 0.3f, 10}, {0, 0, -1}, true, 9, 0.05f, 0.35f, 9, 2},
        {"from +X", {10, 0.5f, 0.25f}, {-1, 0, 0}, true, 4, 0.375f, 0.25f, 9, 2},
        {"beside the box", {5, 5, -10}, {0, 0, 1}, false, 0, 0, 0, 0, 0},
        {"pointing away", {0.2f, 0.3f, -10}, {0, 0, -1}, false, 0, 0, 0, 0, 0},
        {"no direction", {0.2f, 0.3f, -10}, {0, 0, 0}, false, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IntersectResult r = box->intersect(c.origin, c.direction);
        ASSERT_EQ(r.hit, c.hit);
        EXPECT_EQ(r.hitCount, c.hitCount);
        if (!c.hit)
            continue;
        EXPECT_EQ(r.faceIndex, c.face);
        EXPECT_NEAR(r.u, c.u, 1e-5f);
        EXPECT_NEAR(r.v, c.v, 1e-5f);
        EXPECT_NEAR(r.distance, c.distance, 1e-5f);
    }
    // Along the diagonal shared by the -Z side's two triangles, and along the box's edges.
    for (const Vector3 origin :
         {Vector3{0.5f, 0.5f, -10}, {-0.2f, -0.2f, -10}, {1, 0.4f, -10}, {1, 1, -10}}) {
        const IntersectResult r = box->intersect(origin, {0, 0, 1});
        EXPECT_TRUE(r.hit) << origin.x << "," << origin.y;
        EXPECT_NEAR(r.distance, 9, 1e-5f);
    }
    // A pick-style ray: from the near plane to the far plane through the cylinder.
    const IntersectResult r = CreateCylinder(0.5f, 0.5f, 3, 12, 12)->intersect({0.1f, -20, 0.2f}, {0, 40, 0});
    ASSERT_TRUE(r.hit);
    EXPECT_NEAR(r.distance * 40 - 20, -std::sqrt(0.25f - 0.01f), 0.03f); // enters near y = -0.49
}

TEST(MeshBounds, SphereIsAboutTheVertexAverageBoxSpansTheVerticesAndBothFollowChanges) {
    const MeshPtr box = CreateBox(2, 4, 6);
    EXPECT_TRUE(Near(box->boundingSphere().center, {0, 0, 0}));
    EXPECT_NEAR(box->boundingSphere().radius, std::sqrt(14.0f), 1e-5f);
    EXPECT_TRUE(Near(box->boundingBox().min, {-1, -2, -3}));
    EXPECT_TRUE(Near(box->boundingBox().max, {1, 2, 3}));
    // One lopsided triangle: the centre is the average, not the middle of the box.
    const Mesh triangle(FVF_POSITION_NORMAL, {0, 0, 0, 0, 0, 1, 4, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1},
                        {0, 1, 2});
    EXPECT_TRUE(Near(triangle.boundingSphere().center, {4.0f / 3, 2.0f / 3, 0}));
    EXPECT_NEAR(triangle.boundingSphere().radius, std::sqrt(68.0f) / 3, 1e-5f);
    // 3 slices reach y = 1 but x only to +-sqrt(3)/2.
    const BoundingBox cylinder = CreateCylinder(1, 1, 2, 3, 1)->boundingBox();
    EXPECT_TRUE(Near(cylinder.min, {-r3, -0.5f, -1}));
    EXPECT_TRUE(Near(cylinder.max, {r3, 1, 1}));
    const Mesh empty(FVF_POSITION_NORMAL, {}, {});
    EXPECT_EQ(empty.boundingSphere().radius, 0);
    EXPECT_FALSE(empty.intersect({0, 0, -1}, {0, 0, 1}).hit);

    // Edited vertices move the bounds and what a ray hits once the mesh is told.
    const MeshPtr moved = CreateBox(1, 1, 1);
    EXPECT_FALSE(moved->intersect({3, 0, -5}, {0, 0, 1}).hit);
    const std::uint64_t before = moved->generation();
    for (std::size_t i = 0; i < moved->vertices().size(); i += moved->floatsPerVertex())
        moved->vertices()[i] += 3; // along X
    moved->changed();
    EXPECT_GT(moved->generation(), before);
    EXPECT_NEAR(moved->boundingBox().min.x, 2.5f, 1e-6f);
    EXPECT_TRUE(moved->intersect({3, 0, -5}, {0, 0, 1}).hit);
}

TEST(MeshClone, KeepsTheSharedComponentsAndZeroesNewOnes) {
    const MeshPtr box = CreateBox(2, 4, 6);
    const MeshPtr tex = box->cloneFVF(FVF_POSITION_NORMAL_TEX1);
    EXPECT_EQ(tex->fvf(), 0x112u);
    std::vector<float> expected;
    for (std::uint32_t v = 0; v < box->vertexCount(); ++v) {
        expected.insert(expected.end(), box->vertices().begin() + 6 * v, box->vertices().begin() + 6 * v + 6);
        expected.insert(expected.end(), {0, 0});
    }
    EXPECT_EQ(tex->vertices(), expected);
    EXPECT_EQ(tex->indices(), box->indices());
    EXPECT_EQ(tex->attributeTable().size(), 1u);
    // And back, and to positions only.
    tex->vertices()[6] = 0.5f;
    EXPECT_EQ(tex->cloneFVF(FVF_POSITION_NORMAL)->vertices(), box->vertices());
    const MeshPtr bare = box->cloneFVF(FVF_XYZ);
    EXPECT_TRUE(Near(bare->position(5), box->position(5)));
    EXPECT_TRUE(Near(bare->normal(5), {0, 0, 0}));
    EXPECT_THROW(box->cloneFVF(0x040), std::invalid_argument);
    EXPECT_EQ(FloatsPerVertex(0x010), 0u);
    EXPECT_EQ(FloatsPerVertex(0x202), 7u);
}

TEST(MeshNormals, AreaWeightedAverageOverSharedVertices) {
    // Vertex 0 is shared by a triangle of area 1 facing +Z and one of area 3 facing +X.
    Mesh mesh(FVF_POSITION_NORMAL,
              {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0},
              {0, 1, 2, 0, 3, 4});
    mesh.computeNormals();
    EXPECT_TRUE(Near(mesh.normal(0), {3 / std::sqrt(10.0f), 0, 1 / std::sqrt(10.0f)}));
    EXPECT_TRUE(Near(mesh.normal(1), {0, 0, 1}));
    EXPECT_TRUE(Near(mesh.normal(3), {1, 0, 0}));
    // The box's corners belong to one side each: recomputing gives its flat normals back.
    const MeshPtr box = CreateBox(2, 4, 6);
    const std::vector<float> before = box->vertices();
    box->computeNormals();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_NEAR(box->vertices()[i], before[i], 1e-6f) << i;
    EXPECT_THROW(box->cloneFVF(FVF_XYZ)->computeNormals(), std::invalid_argument);
}

TEST(MeshAttributes, OptimizeMakesEverySubsetOneRange) {
    // Four triangles with ids 1, 0, 1, 0 over vertices 0..5: four runs before the sort.
    std::vector<float> vertices(6 * 6, 0.0f);
    for (int v = 0; v < 6; ++v)
        vertices[6 * v] = static_cast<float>(v);
    Mesh mesh(FVF_POSITION_NORMAL, vertices, {0, 1, 2, 3, 4, 5, 1, 2, 3, 2, 4, 5}, {1, 0, 1, 0});
    ASSERT_EQ(mesh.attributeTable().size(), 4u);
    EXPECT_EQ(subset(mesh.attributeTable()[0]), std::tuple(0u, 1u, 1u, 3u, 3u));
    EXPECT_EQ(subset(mesh.attributeTable()[1]), std::tuple(0u, 3u, 1u, 2u, 4u));
    mesh.optimize();
    EXPECT_EQ(mesh.faceAttributes(), (std::vector<std::uint32_t>{0, 0, 1, 1}));
    EXPECT_EQ(mesh.indices(), (std::vector<std::uint32_t>{3, 4, 5, 2, 4, 5, 0, 1, 2, 1, 2, 3}));
    ASSERT_EQ(mesh.attributeTable().size(), 2u);
    EXPECT_EQ(subset(mesh.attributeTable()[0]), std::tuple(0u, 0u, 2u, 2u, 4u));
    EXPECT_EQ(subset(mesh.attributeTable()[1]), std::tuple(1u, 2u, 2u, 0u, 4u));
}

TEST(MeshData, InconsistentDataIsRefused) {
    const std::vector<float> three(18, 0.0f);
    EXPECT_THROW(Mesh(FVF_POSITION_NORMAL, three, {0, 1, 3}), std::invalid_argument);
    EXPECT_THROW(Mesh(FVF_POSITION_NORMAL, three, {0, 1}), std::invalid_argument);
    EXPECT_THROW(Mesh(FVF_POSITION_NORMAL, {1, 2, 3, 4}, {}), std::invalid_argument);
    EXPECT_THROW(Mesh(FVF_POSITION_NORMAL, three, {0, 1, 2}, {0, 0}), std::invalid_argument);
    EXPECT_THROW(Mesh(0x040, three, {0, 1, 2}), std::invalid_argument);
    Mesh ok(FVF_POSITION_NORMAL, three, {0, 1, 2});
    ok.indices().push_back(0);
    EXPECT_THROW(ok.changed(), std::logic_error);
    ok.indices().insert(ok.indices().end(), {1, 3});
    EXPECT_THROW(ok.changed(), std::logic_error);
    ok.indices().back() = 2;
    EXPECT_NO_THROW(ok.changed());
    EXPECT_EQ(ok.faceCount(), 2u);
}
