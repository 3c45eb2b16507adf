// Meshes: the generators' whole vertex and index data against hand-derived tables, the closed and
// outward-facing shape over a range of sizes, ray intersection, bounding volumes, clone, normals
// and the attribute sort.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform;
using meshchecks::facesAgainstNormals;
using meshchecks::openEdges;

namespace {

struct V {
    float px, py, pz, nx, ny, nz;
};

void expectMesh(const Mesh& mesh, const std::vector<V>& vertices, const std::vector<std::uint32_t>& indices) {
    EXPECT_EQ(mesh.fvf(), FVF_POSITION_NORMAL);
    ASSERT_EQ(mesh.vertexCount(), vertices.size());
    for (std::uint32_t i = 0; i < vertices.size(); ++i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        const Vector3 p = mesh.position(i), n = mesh.normal(i);
        const V& e = vertices[i];
        EXPECT_NEAR(p.x, e.px, 1e-5f);
        EXPECT_NEAR(p.y, e.py, 1e-5f);
        EXPECT_NEAR(p.z, e.pz, 1e-5f);
        EXPECT_NEAR(n.x, e.nx, 1e-5f);
        EXPECT_NEAR(n.y, e.ny, 1e-5f);
        EXPECT_NEAR(n.z, e.nz, 1e-5f);
    }
    EXPECT_EQ(mesh.indices(), indices);
    ASSERT_EQ(mesh.attributeTable().size(), 1u);
    const AttributeRange& subset = mesh.attributeTable()[0];
    EXPECT_EQ(subset.attribId, 0u);
    EXPECT_EQ(subset.faceStart, 0u);
    EXPECT_EQ(subset.faceCount, indices.size() / 3);
    EXPECT_EQ(subset.vertexStart, 0u);
    EXPECT_EQ(subset.vertexCount, vertices.size());
}

constexpr float r3 = 0.8660254f; // sqrt(3) / 2

} // namespace

TEST(MeshGenerators, BoxWholeData) {
    // width 2, height 4, depth 6: half extents 1, 2, 3; sides -X, +Y, +X, -Y, +Z, -Z.
    const std::vector<V> vertices = {
        {-1, -2, -3, -1, 0, 0}, {-1, -2, 3, -1, 0, 0},  {-1, 2, 3, -1, 0, 0},  {-1, 2, -3, -1, 0, 0},
        {-1, 2, -3, 0, 1, 0},   {-1, 2, 3, 0, 1, 0},    {1, 2, 3, 0, 1, 0},    {1, 2, -3, 0, 1, 0},
        {1, 2, -3, 1, 0, 0},    {1, 2, 3, 1, 0, 0},     {1, -2, 3, 1, 0, 0},   {1, -2, -3, 1, 0, 0},
        {-1, -2, 3, 0, -1, 0},  {-1, -2, -3, 0, -1, 0}, {1, -2, -3, 0, -1, 0}, {1, -2, 3, 0, -1, 0},
        {-1, -2, 3, 0, 0, 1},   {1, -2, 3, 0, 0, 1},    {1, 2, 3, 0, 0, 1},    {-1, 2, 3, 0, 0, 1},
        {-1, -2, -3, 0, 0, -1}, {-1, 2, -3, 0, 0, -1},  {1, 2, -3, 0, 0, -1},  {1, -2, -3, 0, 0, -1},
    };
    const std::vector<std::uint32_t> indices = {0,  1,  2,  2,  3,  0,  4,  5,  6,  6,  7,  4,
                                                8,  9,  10, 10, 11, 8,  12, 13, 14, 14, 15, 12,
                                                16, 17, 18, 18, 19, 16, 20, 21, 22, 22, 23, 20};
    expectMesh(*CreateBox(2, 4, 6), vertices, indices);
}

TEST(MeshGenerators, CylinderWholeData) {
    // radius1 1 at z = -1, radius2 0.5 at z = +1, 3 slices starting at +Y and turning towards +X.
    // The side leans in by 0.5 over a length of 2, so its normals are (cos, sin, 0.25) / |..|.
    const float k = 1.0f / std::sqrt(1.0625f);
    const std::vector<V> vertices = {
        {0, 0, -1, 0, 0, -1},
        {0, 1, -1, 0, 0, -1},
        {r3, -0.5f, -1, 0, 0, -1},
        {-r3, -0.5f, -1, 0, 0, -1},
        {0, 1, -1, 0, k, 0.25f * k},
        {r3, -0.5f, -1, r3 * k, -0.5f * k, 0.25f * k},
        {-r3, -0.5f, -1, -r3 * k, -0.5f * k, 0.25f * k},
        {0, 0.5f, 1, 0, k, 0.25f * k},
        {r3 / 2, -0.25f, 1, r3 * k, -0.5f * k, 0.25f * k},
        {-r3 / 2, -0.25f, 1, -r3 * k, -0.5f * k, 0.25f * k},
        {0, 0.5f, 1, 0, 0, 1},
        {r3 / 2, -0.25f, 1, 0, 0, 1},
        {-r3 / 2, -0.25f, 1, 0, 0, 1},
        {0, 0, 1, 0, 0, 1},
    };
    const std::vector<std::uint32_t> indices = {
        0,  1,  2,  0,  2,  3,  0,  3,  1,                             // -Z cap
        4,  7,  5,  5,  7,  8,  5,  8,  6,  6, 8, 9, 6, 9, 4, 4, 9, 7, // side
        10, 13, 11, 11, 13, 12, 12, 13, 10,                            // +Z cap
    };
    expectMesh(*CreateCylinder(1.0f, 0.5f, 2.0f, 3, 1), vertices, indices);
}

TEST(MeshGenerators, SphereWholeData) {
    // radius 2, 4 slices at 90, 0, -90, 180 degrees, 3 stacks: rings at 60 and 120 degrees from +Z.
    const float s = 2 * r3;
    const std::vector<V> vertices = {
        {0, 0, 2, 0, 0, 1},       {0, s, 1, 0, r3, 0.5f},     {s, 0, 1, r3, 0, 0.5f},
        {0, -s, 1, 0, -r3, 0.5f}, {-s, 0, 1, -r3, 0, 0.5f},   {0, s, -1, 0, r3, -0.5f},
        {s, 0, -1, r3, 0, -0.5f}, {0, -s, -1, 0, -r3, -0.5f}, {-s, 0, -1, -r3, 0, -0.5f},
        {0, 0, -2, 0, 0, -1},
    };
    const std::vector<std::uint32_t> indices = {
        0, 2, 1, 0, 3, 2, 0, 4, 3, 0, 1, 4, // fan round +Z
        1, 2, 5, 2, 6, 5, 2, 3, 6, 3, 7, 6, 3, 4, 7, 4, 8, 7,
        4, 1, 8, 1, 5, 8, 5, 6, 9, 6, 7, 9, 7, 8, 9, 8, 5, 9, // fan round -Z
    };
    expectMesh(*CreateSphere(2.0f, 4, 3), vertices, indices);
}

TEST(MeshGenerators, ClosedOutwardFacingAndCountedLikeDirect3D) {
    struct Case {
        const char* name;
        MeshPtr mesh;
        std::uint32_t vertices, faces;
    } cases[] = {
        {"bar box", CreateBox(1, 3.7f, 1), 24, 12},
        {"flat plate", CreateBox(14, 14, 0.1f), 24, 12},
        {"folder cylinder 12x12", CreateCylinder(0.5f, 0.5f, 2.5f, 12, 12), 2 + 12 * 15,
         2 * 12 + 2 * 12 * 12},
        {"frustum", CreateCylinder(1.0f, 0.2f, 1.0f, 7, 3), 2 + 7 * 6, 2 * 7 + 2 * 7 * 3},
        {"sphere 12x12", CreateSphere(1.5f, 12, 12), 2 + 12 * 11, 2 * 12 * 11},
        {"sphere 3x2", CreateSphere(1.0f, 3, 2), 2 + 3, 2 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.mesh->vertexCount(), c.vertices);
        EXPECT_EQ(c.mesh->faceCount(), c.faces);
        EXPECT_EQ(openEdges(*c.mesh), "");
        EXPECT_EQ(facesAgainstNormals(*c.mesh), 0);
        // Every face also looks away from the centre.
        const auto& idx = c.mesh->indices();
        for (std::size_t t = 0; t < idx.size(); t += 3) {
            const Vector3 a = c.mesh->position(idx[t]), b = c.mesh->position(idx[t + 1]),
                          d = c.mesh->position(idx[t + 2]);
            const Vector3 n = Vec3Cross(b - a, d - a);
            if (Vec3Length(n) > 1e-9f) {
                EXPECT_GT(Vec3Dot(n, (a + b + d) * (1.0f / 3)), 0) << "face " << t / 3;
            }
        }
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
        // The barycentrics locate the hit point on the reported face.
        const auto& idx = box->indices();
        const Vector3 v0 = box->position(idx[3 * r.faceIndex]), v1 = box->position(idx[3 * r.faceIndex + 1]),
                      v2 = box->position(idx[3 * r.faceIndex + 2]);
        const Vector3 fromFace = v0 + (v1 - v0) * r.u + (v2 - v0) * r.v;
        const Vector3 fromRay = c.origin + c.direction * r.distance;
        EXPECT_NEAR(fromFace.x, fromRay.x, 1e-5f);
        EXPECT_NEAR(fromFace.y, fromRay.y, 1e-5f);
        EXPECT_NEAR(fromFace.z, fromRay.z, 1e-5f);
    }
}

TEST(MeshIntersect, RaysThroughEdgesAndDiagonalsDoNotSlipThrough) {
    const MeshPtr box = CreateBox(1, 1, 1);
    // Along the diagonal shared by the two triangles of the -Z side, and along the box's edges.
    for (const Vector3 origin : {Vector3{0.25f, 0.25f, -5}, Vector3{-0.1f, -0.1f, -5},
                                 Vector3{0.5f, 0.2f, -5}, Vector3{0.5f, 0.5f, -5}}) {
        const IntersectResult r = box->intersect(origin, {0, 0, 1});
        EXPECT_TRUE(r.hit) << origin.x << "," << origin.y;
        EXPECT_NEAR(r.distance, 4.5f, 1e-5f);
    }
    // A pick-style ray: from the near plane to the far plane through the cylinder.
    const MeshPtr cylinder = CreateCylinder(0.5f, 0.5f, 3, 12, 12);
    const IntersectResult r = cylinder->intersect({0.1f, -20, 0.2f}, {0, 40, 0});
    ASSERT_TRUE(r.hit);
    EXPECT_NEAR(r.distance * 40 - 20, -std::sqrt(0.25f - 0.01f), 0.03f); // enters near y = -0.49
}

TEST(MeshBounds, SphereIsAboutTheVertexAverageAndBoxSpansTheVertices) {
    const MeshPtr box = CreateBox(2, 4, 6);
    BoundingSphere s = box->boundingSphere();
    EXPECT_NEAR(s.center.x, 0, 1e-6f);
    EXPECT_NEAR(s.center.y, 0, 1e-6f);
    EXPECT_NEAR(s.center.z, 0, 1e-6f);
    EXPECT_NEAR(s.radius, std::sqrt(14.0f), 1e-5f);
    BoundingBox b = box->boundingBox();
    EXPECT_EQ(b.min.x, -1);
    EXPECT_EQ(b.min.y, -2);
    EXPECT_EQ(b.min.z, -3);
    EXPECT_EQ(b.max.x, 1);
    EXPECT_EQ(b.max.y, 2);
    EXPECT_EQ(b.max.z, 3);

    // One lopsided triangle: the centre is the average (4/3, 2/3, 0), not the middle of the box.
    Mesh tri(FVF_POSITION_NORMAL, {0, 0, 0, 0, 0, 1, 4, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1}, {0, 1, 2});
    s = tri.boundingSphere();
    EXPECT_NEAR(s.center.x, 4.0f / 3, 1e-6f);
    EXPECT_NEAR(s.center.y, 2.0f / 3, 1e-6f);
    EXPECT_NEAR(s.radius, std::sqrt(68.0f) / 3, 1e-5f);

    // The cylinder's 3 slices reach y = 1 but x only to +-sqrt(3)/2.
    b = CreateCylinder(1, 1, 2, 3, 1)->boundingBox();
    EXPECT_NEAR(b.min.x, -r3, 1e-6f);
    EXPECT_NEAR(b.max.x, r3, 1e-6f);
    EXPECT_NEAR(b.min.y, -0.5f, 1e-6f);
    EXPECT_NEAR(b.max.y, 1, 1e-6f);

    Mesh empty(FVF_POSITION_NORMAL, {}, {});
    EXPECT_EQ(empty.boundingSphere().radius, 0);
    EXPECT_FALSE(empty.intersect({0, 0, -1}, {0, 0, 1}).hit);
}

TEST(MeshBounds, EditedVerticesMoveTheBoundsAfterChanged) {
    const MeshPtr box = CreateBox(1, 1, 1);
    EXPECT_FALSE(box->intersect({3, 0, -5}, {0, 0, 1}).hit);
    const std::uint64_t before = box->generation();
    for (std::size_t i = 0; i < box->vertices().size(); i += box->floatsPerVertex())
        box->vertices()[i] += 3; // move along X
    box->changed();
    EXPECT_GT(box->generation(), before);
    EXPECT_NEAR(box->boundingBox().min.x, 2.5f, 1e-6f);
    EXPECT_TRUE(box->intersect({3, 0, -5}, {0, 0, 1}).hit);
}

TEST(MeshClone, ToPositionNormalTextureKeepsPositionsAndNormalsAndZeroesUv) {
    const MeshPtr box = CreateBox(2, 4, 6);
    const MeshPtr tex = box->cloneFVF(FVF_POSITION_NORMAL_TEX1);
    EXPECT_EQ(tex->fvf(), 0x112u);
    EXPECT_EQ(tex->floatsPerVertex(), 8u);
    ASSERT_EQ(tex->vertexCount(), box->vertexCount());
    for (std::uint32_t v = 0; v < box->vertexCount(); ++v) {
        const float* src = &box->vertices()[6 * v];
        const float* dst = &tex->vertices()[8 * v];
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(dst[k], src[k]) << "vertex " << v << " float " << k;
        EXPECT_EQ(dst[6], 0);
        EXPECT_EQ(dst[7], 0);
    }
    EXPECT_EQ(tex->indices(), box->indices());
    EXPECT_EQ(tex->attributeTable().size(), 1u);

    // And back, and to positions only.
    tex->vertices()[6] = 0.5f;
    const MeshPtr back = tex->cloneFVF(FVF_POSITION_NORMAL);
    EXPECT_EQ(back->vertices(), box->vertices());
    const MeshPtr bare = box->cloneFVF(FVF_XYZ);
    EXPECT_EQ(bare->floatsPerVertex(), 3u);
    EXPECT_EQ(bare->position(5).y, box->position(5).y);
    EXPECT_EQ(bare->normal(5).y, 0);
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
    const Vector3 shared = mesh.normal(0);
    EXPECT_NEAR(shared.x, 3 / std::sqrt(10.0f), 1e-5f);
    EXPECT_NEAR(shared.y, 0, 1e-6f);
    EXPECT_NEAR(shared.z, 1 / std::sqrt(10.0f), 1e-5f);
    EXPECT_NEAR(mesh.normal(1).z, 1, 1e-6f);
    EXPECT_NEAR(mesh.normal(3).x, 1, 1e-6f);

    // The box's corners belong to one side each: recomputing gives its flat normals back.
    const MeshPtr box = CreateBox(2, 4, 6);
    const std::vector<float> before = box->vertices();
    box->computeNormals();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_NEAR(box->vertices()[i], before[i], 1e-6f) << i;

    EXPECT_THROW(box->cloneFVF(FVF_XYZ)->computeNormals(), std::invalid_argument);
}

TEST(MeshAttributes, OptimizeMakesEverySubsetOneRange) {
    // Four triangles with ids 1, 0, 1, 0 over vertices 0..5.
    std::vector<float> vertices(6 * 6, 0.0f);
    for (int v = 0; v < 6; ++v)
        vertices[6 * v] = static_cast<float>(v);
    Mesh mesh(FVF_POSITION_NORMAL, vertices, {0, 1, 2, 3, 4, 5, 1, 2, 3, 2, 4, 5}, {1, 0, 1, 0});
    ASSERT_EQ(mesh.attributeTable().size(), 4u); // four runs before sorting the faces
    EXPECT_EQ(mesh.attributeTable()[0].attribId, 0u);
    EXPECT_EQ(mesh.attributeTable()[0].faceStart, 1u);
    EXPECT_EQ(mesh.attributeTable()[1].faceStart, 3u);

    mesh.optimize();
    EXPECT_EQ(mesh.faceAttributes(), (std::vector<std::uint32_t>{0, 0, 1, 1}));
    EXPECT_EQ(mesh.indices(), (std::vector<std::uint32_t>{3, 4, 5, 2, 4, 5, 0, 1, 2, 1, 2, 3}));
    ASSERT_EQ(mesh.attributeTable().size(), 2u);
    const AttributeRange& zero = mesh.attributeTable()[0];
    const AttributeRange& one = mesh.attributeTable()[1];
    EXPECT_EQ(zero.attribId, 0u);
    EXPECT_EQ(zero.faceStart, 0u);
    EXPECT_EQ(zero.faceCount, 2u);
    EXPECT_EQ(zero.vertexStart, 2u);
    EXPECT_EQ(zero.vertexCount, 4u);
    EXPECT_EQ(one.attribId, 1u);
    EXPECT_EQ(one.faceStart, 2u);
    EXPECT_EQ(one.faceCount, 2u);
    EXPECT_EQ(one.vertexStart, 0u);
    EXPECT_EQ(one.vertexCount, 4u);
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
