// The mesh container, its operations (clone, normals, attribute sort, ray intersection, bounding
// volumes) and the box, cylinder and sphere generators.
//
// Winding: Direct3D treats triangles that are clockwise as seen by the viewer as front faces (it
// culls counter-clockwise ones by default) in a left-handed frame. For vertices v0, v1, v2 of such
// a triangle the cross product (v1 - v0) x (v2 - v0) points towards the viewer, so every generated
// triangle has that cross product pointing out of the solid, along its vertex normals.
#include "Mesh.h"

#include "Math.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

constexpr std::uint32_t FVF_TEXCOUNT_MASK = 0xF00;
constexpr std::uint32_t FVF_TEXCOUNT_SHIFT = 8;

std::uint32_t texCoordSets(std::uint32_t fvf) {
    return (fvf & FVF_TEXCOUNT_MASK) >> FVF_TEXCOUNT_SHIFT;
}

bool hasNormal(std::uint32_t fvf) {
    return (fvf & FVF_NORMAL) != 0;
}


// sin and cos of start + i * step for i in 0..count-1.
struct SinCosTable {
    std::vector<float> sin, cos;
    SinCosTable(float start, float step, std::uint32_t count) {
        sin.resize(count);
        cos.resize(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const float angle = start + static_cast<float>(i) * step;
            sin[i] = std::sin(angle);
            cos[i] = std::cos(angle);
        }
    }
};

} // namespace

std::uint32_t FloatsPerVertex(std::uint32_t fvf) {
    const std::uint32_t known = FVF_XYZ | FVF_NORMAL | FVF_TEXCOUNT_MASK;
    if ((fvf & FVF_XYZ) == 0 || (fvf & ~known) != 0 || texCoordSets(fvf) > 8)
        return 0;
    return 3 + (hasNormal(fvf) ? 3 : 0) + 2 * texCoordSets(fvf);
}

// ---- Mesh ----

namespace {
void generate(const Mesh::Recipe& r, std::vector<float>& vertices, std::vector<std::uint32_t>& indices);
}

Mesh::Mesh(std::uint32_t fvf, std::vector<float> vertices, std::vector<std::uint32_t> indices,
           std::vector<std::uint32_t> faceAttributes)
    : m_fvf(fvf), m_stride(FloatsPerVertex(fvf)), m_data(std::make_unique<Data>()) {
    Data& d = *m_data;
    d.vertices = std::move(vertices);
    d.indices = std::move(indices);
    d.attributes = std::move(faceAttributes);
    if (m_stride == 0)
        throw std::invalid_argument("Mesh: unsupported vertex format " + std::to_string(fvf));
    if (d.vertices.size() % m_stride != 0)
        throw std::invalid_argument("Mesh: vertex data is not a whole number of vertices");
    if (d.indices.size() % 3 != 0)
        throw std::invalid_argument("Mesh: index count is not a multiple of 3");
    if (d.attributes.empty())
        d.attributes.assign(d.indices.size() / 3, 0);
    else if (d.attributes.size() != d.indices.size() / 3)
        throw std::invalid_argument("Mesh: one attribute id per face expected");
    if (!rebuildTable())
        throw std::invalid_argument("Mesh: an index lies past the vertices");
}

Mesh::Mesh(const Recipe& recipe)
    : m_fvf(FVF_POSITION_NORMAL), m_stride(FloatsPerVertex(FVF_POSITION_NORMAL)), m_recipe(recipe) {}

Mesh::~Mesh() = default;

Mesh::Data& Mesh::data() const {
    if (!m_data) {
        m_data = std::make_unique<Data>();
        generate(m_recipe, m_data->vertices, m_data->indices);
        m_data->attributes.assign(m_data->indices.size() / 3, 0);
        const_cast<Mesh*>(this)->rebuildTable();
    }
    return *m_data;
}

Mesh::Data& Mesh::ownData() {
    Data& d = data();
    m_recipe = Recipe{};
    return d;
}

std::uint32_t Mesh::vertexCount() const {
    using Kind = Recipe::Kind;
    const Recipe& r = m_recipe;
    if (!m_data) {
        if (r.kind == Kind::Box)
            return 24;
        if (r.kind == Kind::Cylinder)
            return 2 + r.slices * (r.stacks + 3);
        if (r.kind == Kind::Sphere)
            return 2 + r.slices * (r.stacks - 1);
    }
    return static_cast<std::uint32_t>(data().vertices.size() / m_stride);
}

std::uint32_t Mesh::faceCount() const {
    using Kind = Recipe::Kind;
    const Recipe& r = m_recipe;
    if (!m_data) {
        if (r.kind == Kind::Box)
            return 12;
        if (r.kind == Kind::Cylinder)
            return 2 * r.slices + 2 * r.slices * r.stacks;
        if (r.kind == Kind::Sphere)
            return 2 * r.slices * (r.stacks - 1);
    }
    return static_cast<std::uint32_t>(data().indices.size() / 3);
}

Vector3 Mesh::position(std::uint32_t vertex) const {
    const float* p = &data().vertices[static_cast<std::size_t>(vertex) * m_stride];
    return {p[0], p[1], p[2]};
}

Vector3 Mesh::normal(std::uint32_t vertex) const {
    if (!hasNormal(m_fvf))
        return {};
    const float* p = &data().vertices[static_cast<std::size_t>(vertex) * m_stride + 3];
    return {p[0], p[1], p[2]};
}

// Returns false when an index lies past the vertices (the table is then not to be used).
bool Mesh::rebuildTable() {
    Data& d = *m_data;
    d.table.clear();
    d.boxValid = false;
    // One entry per run of consecutive faces with the same id, then sorted by id (stable, so an
    // id whose faces are not contiguous keeps its runs in face order).
    const auto faces = static_cast<std::uint32_t>(d.indices.size() / 3);
    std::uint32_t highest = 0;
    for (std::uint32_t f = 0; f < faces;) {
        const std::uint32_t id = d.attributes[f];
        std::uint32_t end = f + 1;
        while (end < faces && d.attributes[end] == id)
            ++end;
        // Two independent minima and maxima, in registers, keep this loop (run over every label's
        // thousands of indices) from waiting on itself.
        const std::uint32_t* p = d.indices.data() + 3 * std::size_t(f);
        const std::uint32_t* const last = d.indices.data() + 3 * std::size_t(end);
        std::uint32_t lo0 = *p, lo1 = *p, hi0 = *p, hi1 = *p;
        for (; last - p >= 2; p += 2) {
            lo0 = std::min(lo0, p[0]);
            hi0 = std::max(hi0, p[0]);
            lo1 = std::min(lo1, p[1]);
            hi1 = std::max(hi1, p[1]);
        }
        if (p != last) {
            lo0 = std::min(lo0, *p);
            hi0 = std::max(hi0, *p);
        }
        const std::uint32_t low = std::min(lo0, lo1), high = std::max(hi0, hi1);
        highest = std::max(highest, high);
        d.table.push_back({id, f, end - f, low, high - low + 1});
        f = end;
    }
    std::stable_sort(d.table.begin(), d.table.end(), [](const AttributeRange& a, const AttributeRange& b) {
        return a.attribId < b.attribId;
    });
    return faces == 0 || highest < d.vertices.size() / m_stride;
}

void Mesh::changed() {
    Data& d = ownData();
    if (d.vertices.size() % m_stride != 0 || d.indices.size() % 3 != 0)
        throw std::logic_error("Mesh::changed: a partial vertex or triangle");
    d.attributes.resize(d.indices.size() / 3, 0); // faces added through indices() join subset 0
    if (!rebuildTable())
        throw std::logic_error("Mesh::changed: an index lies past the vertices");
    ++m_generation;
}

std::shared_ptr<Mesh> Mesh::cloneFVF(std::uint32_t fvf, std::uint32_t /*options*/) const {
    const std::uint32_t stride = FloatsPerVertex(fvf);
    if (stride == 0)
        throw std::invalid_argument("Mesh::cloneFVF: unsupported vertex format " + std::to_string(fvf));
    const Data& d = data();
    const std::uint32_t count = vertexCount();
    std::vector<float> out(static_cast<std::size_t>(count) * stride, 0.0f);
    const bool normals = hasNormal(m_fvf) && hasNormal(fvf);
    const std::uint32_t sets = std::min(texCoordSets(m_fvf), texCoordSets(fvf));
    const std::uint32_t srcTex = hasNormal(m_fvf) ? 6 : 3;
    const std::uint32_t dstTex = hasNormal(fvf) ? 6 : 3;
    for (std::uint32_t v = 0; v < count; ++v) {
        const float* src = &d.vertices[static_cast<std::size_t>(v) * m_stride];
        float* dst = &out[static_cast<std::size_t>(v) * stride];
        std::copy(src, src + 3, dst);
        if (normals)
            std::copy(src + 3, src + 6, dst + 3);
        std::copy(src + srcTex, src + srcTex + 2 * sets, dst + dstTex);
    }
    return std::make_shared<Mesh>(fvf, std::move(out), d.indices, d.attributes);
}

void Mesh::computeNormals() {
    if (!hasNormal(m_fvf))
        throw std::invalid_argument("Mesh::computeNormals: the vertex format has no normal");
    Data& d = ownData();
    const std::uint32_t count = vertexCount();
    std::vector<Vector3> sums(count);
    for (std::size_t i = 0; i + 2 < d.indices.size(); i += 3) {
        const std::uint32_t a = d.indices[i], b = d.indices[i + 1], c = d.indices[i + 2];
        // The cross product's length is twice the triangle's area: the sum is area-weighted.
        const Vector3 n = Vec3Cross(position(b) - position(a), position(c) - position(a));
        sums[a] = sums[a] + n;
        sums[b] = sums[b] + n;
        sums[c] = sums[c] + n;
    }
    for (std::uint32_t v = 0; v < count; ++v) {
        const Vector3 n = Vec3Normalize(sums[v]);
        float* p = &d.vertices[static_cast<std::size_t>(v) * m_stride + 3];
        p[0] = n.x;
        p[1] = n.y;
        p[2] = n.z;
    }
    changed();
}

void Mesh::optimize() {
    Data& d = ownData();
    const std::uint32_t faces = faceCount();
    std::vector<std::uint32_t> order(faces);
    for (std::uint32_t f = 0; f < faces; ++f)
        order[f] = f;
    std::stable_sort(order.begin(), order.end(),
                     [&d](std::uint32_t a, std::uint32_t b) { return d.attributes[a] < d.attributes[b]; });
    std::vector<std::uint32_t> indices(d.indices.size()), attributes(faces);
    for (std::uint32_t f = 0; f < faces; ++f) {
        std::copy_n(&d.indices[3 * order[f]], 3, &indices[3 * f]);
        attributes[f] = d.attributes[order[f]];
    }
    d.indices = std::move(indices);
    d.attributes = std::move(attributes);
    changed();
}

// ---- intersection and bounding volumes ----

namespace {

// Slab test of the ray against the box, for parameters t >= 0; a little slack keeps rays that
// graze a face from being rejected by rounding.
bool rayHitsBox(const Vector3& origin, const Vector3& direction, const BoundingBox& box) {
    const float o[3] = {origin.x, origin.y, origin.z};
    const float d[3] = {direction.x, direction.y, direction.z};
    const float lo[3] = {box.min.x, box.min.y, box.min.z};
    const float hi[3] = {box.max.x, box.max.y, box.max.z};
    float tNear = 0.0f, tFar = std::numeric_limits<float>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        const float slack = 1e-4f * (1.0f + hi[axis] - lo[axis]);
        const float a = lo[axis] - slack, b = hi[axis] + slack;
        if (d[axis] == 0.0f) {
            if (o[axis] < a || o[axis] > b)
                return false;
            continue;
        }
        float t1 = (a - o[axis]) / d[axis], t2 = (b - o[axis]) / d[axis];
        if (t1 > t2)
            std::swap(t1, t2);
        tNear = std::max(tNear, t1);
        tFar = std::min(tFar, t2);
        if (tNear > tFar)
            return false;
    }
    return true;
}

} // namespace

IntersectResult Mesh::intersect(const Vector3& origin, const Vector3& direction) const {
    IntersectResult result;
    if (faceCount() == 0 || !rayHitsBox(origin, direction, boundingBox()))
        return result;
    const std::vector<std::uint32_t>& indices = data().indices;
    // Moller-Trumbore on every triangle, both sides. Edges count as inside (with a tolerance of
    // a few ulps) so a ray through the diagonal of a quad never slips between its two halves.
    constexpr float edgeTolerance = 1e-6f;
    float best = std::numeric_limits<float>::infinity();
    const std::uint32_t faces = faceCount();
    for (std::uint32_t f = 0; f < faces; ++f) {
        const Vector3 v0 = position(indices[3 * f]);
        const Vector3 e1 = position(indices[3 * f + 1]) - v0;
        const Vector3 e2 = position(indices[3 * f + 2]) - v0;
        const Vector3 p = Vec3Cross(direction, e2);
        const float det = Vec3Dot(e1, p);
        if (det == 0.0f)
            continue; // parallel to the plane, or a degenerate triangle
        const float inv = 1.0f / det;
        const Vector3 s = origin - v0;
        const float u = Vec3Dot(s, p) * inv;
        if (u < -edgeTolerance || u > 1.0f + edgeTolerance)
            continue;
        const Vector3 q = Vec3Cross(s, e1);
        const float v = Vec3Dot(direction, q) * inv;
        if (v < -edgeTolerance || u + v > 1.0f + edgeTolerance)
            continue;
        const float t = Vec3Dot(e2, q) * inv;
        if (t < 0.0f)
            continue;
        ++result.hitCount;
        if (t < best) { // the first of equal distances wins
            best = t;
            result.hit = true;
            result.faceIndex = f;
            result.u = u;
            result.v = v;
            result.distance = t;
        }
    }
    return result;
}

BoundingSphere Mesh::boundingSphere() const {
    BoundingSphere sphere;
    const std::uint32_t count = vertexCount();
    if (count == 0)
        return sphere;
    double sx = 0, sy = 0, sz = 0;
    for (std::uint32_t v = 0; v < count; ++v) {
        const Vector3 p = position(v);
        sx += p.x;
        sy += p.y;
        sz += p.z;
    }
    sphere.center = {static_cast<float>(sx / count), static_cast<float>(sy / count),
                     static_cast<float>(sz / count)};
    float r2 = 0;
    for (std::uint32_t v = 0; v < count; ++v) {
        const Vector3 d = position(v) - sphere.center;
        r2 = std::max(r2, Vec3Dot(d, d));
    }
    sphere.radius = std::sqrt(r2);
    return sphere;
}

bool Mesh::recipeBounds(BoundingBox& box) const {
    const Recipe& r = m_recipe;
    if (r.kind == Recipe::Kind::Box) {
        // The corners are the half extents times -1 and 1, exactly.
        const float hx = r.a / 2, hy = r.b / 2, hz = r.c / 2;
        box.min = {std::min(-hx, hx), std::min(-hy, hy), std::min(-hz, hz)};
        box.max = {std::max(-hx, hx), std::max(-hy, hy), std::max(-hz, hz)};
        return true;
    }
    if (r.kind == Recipe::Kind::Cylinder && r.a == r.b) {
        // Every ring has the one radius; the caps' centres lie on the axis.
        const SinCosTable theta(std::numbers::pi_v<float> / 2, -2 * std::numbers::pi_v<float> / r.slices,
                                r.slices);
        box.min = box.max = {0, 0, -r.c / 2};
        for (std::uint32_t s = 0; s < r.slices; ++s) {
            const float x = r.a * theta.cos[s], y = r.a * theta.sin[s];
            box.min = {std::min(box.min.x, x), std::min(box.min.y, y), box.min.z};
            box.max = {std::max(box.max.x, x), std::max(box.max.y, y), box.max.z};
        }
        box.max.z = r.c / 2;
        return true;
    }
    return false;
}

BoundingBox Mesh::boundingBox() const {
    BoundingBox box;
    if (recipeBounds(box))
        return box;
    Data& d = data();
    if (d.boxValid)
        return d.box;
    const std::uint32_t count = vertexCount();
    if (count > 0) {
        box.min = box.max = position(0);
        for (std::uint32_t v = 1; v < count; ++v) {
            const Vector3 p = position(v);
            box.min = {std::min(box.min.x, p.x), std::min(box.min.y, p.y), std::min(box.min.z, p.z)};
            box.max = {std::max(box.max.x, p.x), std::max(box.max.y, p.y), std::max(box.max.z, p.z)};
        }
    }
    d.box = box;
    d.boxValid = true;
    return box;
}

// ---- generators ----

// Box: 4 vertices per side with the side's normal, 2 triangles per side, in the order -X, +Y, +X,
// -Y, +Z, -Z. Side k uses vertices 4k..4k+3 and triangles (4k, 4k+1, 4k+2), (4k+2, 4k+3, 4k).
namespace {

void generateBox(float width, float height, float depth, std::vector<float>& vertices,
                 std::vector<std::uint32_t>& indices) {
    struct Side {
        float normal[3];
        float corners[4][3]; // in units of the half extents
    };
    static constexpr Side sides[6] = {
        {{-1, 0, 0}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
        {{0, 1, 0}, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}},
        {{1, 0, 0}, {{1, 1, -1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}}},
        {{0, -1, 0}, {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}}},
        {{0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
        {{0, 0, -1}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}},
    };
    const float hx = width / 2, hy = height / 2, hz = depth / 2;
    vertices.reserve(24 * 6);
    indices.reserve(36);
    for (std::uint32_t k = 0; k < 6; ++k) {
        const Side& s = sides[k];
        for (const auto& c : s.corners)
            PushVertex(vertices, c[0] * hx, c[1] * hy, c[2] * hz, s.normal[0], s.normal[1], s.normal[2]);
        const std::uint32_t b = 4 * k;
        indices.insert(indices.end(), {b, b + 1, b + 2, b + 2, b + 3, b});
    }
}

// Cylinder along Z. The slice angle starts at +Y (pi/2) and decreases by 2 pi / slices, so the
// slices run clockwise seen from -Z. Vertices:
//   0                          centre of the -Z cap, normal (0, 0, -1)
//   1 .. slices                rim of the -Z cap (radius1), normal (0, 0, -1)
//   then stacks + 1 rings      the side from z = -length/2 (radius1) to +length/2 (radius2),
//                              normals perpendicular to the (possibly sloping) side
//   then one ring              rim of the +Z cap (radius2), normal (0, 0, 1)
//   last                       centre of the +Z cap
// Faces: the -Z cap fan, two triangles per slice and stack (stack by stack), the +Z cap fan.
void generateCylinder(float radius1, float radius2, float length, std::uint32_t slices, std::uint32_t stacks,
                      std::vector<float>& vertices, std::vector<std::uint32_t>& indices) {
    const SinCosTable theta(std::numbers::pi_v<float> / 2, -2 * std::numbers::pi_v<float> / slices, slices);
    const std::uint32_t vertexCount = 2 + slices * (stacks + 3);
    const std::uint32_t faceCount = 2 * slices + 2 * slices * stacks;
    vertices.reserve(6 * vertexCount);
    indices.reserve(3 * faceCount);
    // First vertex of ring r (r = 0: the -Z cap rim, 1..stacks+1: the side, stacks+2: the +Z cap rim).
    auto ring = [slices](std::uint32_t r, std::uint32_t slice) { return 1 + r * slices + slice % slices; };

    const float z0 = -length / 2;
    PushVertex(vertices, 0, 0, z0, 0, 0, -1);
    for (std::uint32_t s = 0; s < slices; ++s) {
        PushVertex(vertices, radius1 * theta.cos[s], radius1 * theta.sin[s], z0, 0, 0, -1);
        indices.insert(indices.end(), {0, ring(0, s), ring(0, s + 1)});
    }

    // The side leans by (radius1 - radius2) over the length; its normal leans towards the narrow end.
    const float slope = length > 0 ? (radius1 - radius2) / length : 0.0f;
    std::vector<Vector3> sideNormals(slices);
    for (std::uint32_t s = 0; s < slices; ++s)
        sideNormals[s] = Vec3Normalize({theta.cos[s], theta.sin[s], slope});
    for (std::uint32_t st = 0; st <= stacks; ++st) {
        // The end rings take the caps' values exactly, so the rims coincide with the side.
        const float f = static_cast<float>(st) / static_cast<float>(stacks);
        const float z = st == stacks ? length / 2 : z0 + f * length;
        const float radius = st == stacks ? radius2 : radius1 + f * (radius2 - radius1);
        for (std::uint32_t s = 0; s < slices; ++s) {
            const Vector3& n = sideNormals[s];
            PushVertex(vertices, radius * theta.cos[s], radius * theta.sin[s], z, n.x, n.y, n.z);
        }
        if (st == 0)
            continue;
        for (std::uint32_t s = 1; s <= slices; ++s) {
            const std::uint32_t lowPrev = ring(st, s - 1), highPrev = ring(st + 1, s - 1);
            const std::uint32_t low = ring(st, s), high = ring(st + 1, s);
            indices.insert(indices.end(), {lowPrev, highPrev, low, low, highPrev, high});
        }
    }

    const float z1 = length / 2;
    const std::uint32_t topCentre = vertexCount - 1;
    for (std::uint32_t s = 0; s < slices; ++s) {
        PushVertex(vertices, radius2 * theta.cos[s], radius2 * theta.sin[s], z1, 0, 0, 1);
        indices.insert(indices.end(), {ring(stacks + 2, s), topCentre, ring(stacks + 2, s + 1)});
    }
    PushVertex(vertices, 0, 0, z1, 0, 0, 1);
}

// Sphere with its poles on Z. The slice angle starts at +Y (pi/2) and decreases by 2 pi / slices
// (clockwise seen from -Z, like the cylinder); the stack angle from +Z grows by pi / stacks.
// Vertices: the +Z pole, stacks - 1 rings of `slices` vertices from +Z towards -Z, the -Z pole.
// Faces: the fan round the +Z pole, two triangles per slice for each band between rings, the fan
// round the -Z pole. Normals point away from the centre.
void generateSphere(float radius, std::uint32_t slices, std::uint32_t stacks, std::vector<float>& vertices,
                    std::vector<std::uint32_t>& indices) {
    const SinCosTable phi(std::numbers::pi_v<float> / 2, -2 * std::numbers::pi_v<float> / slices, slices);
    const std::uint32_t vertexCount = 2 + slices * (stacks - 1);
    const std::uint32_t faceCount = 2 * slices * (stacks - 1);
    vertices.reserve(6 * vertexCount);
    indices.reserve(3 * faceCount);
    auto ring = [slices](std::uint32_t r, std::uint32_t slice) { return 1 + r * slices + slice % slices; };

    PushVertex(vertices, 0, 0, radius, 0, 0, 1);
    const float thetaStep = std::numbers::pi_v<float> / static_cast<float>(stacks);
    for (std::uint32_t r = 0; r + 1 < stacks; ++r) {
        const float theta = thetaStep * static_cast<float>(r + 1);
        const float sinTheta = std::sin(theta), cosTheta = std::cos(theta);
        for (std::uint32_t s = 0; s < slices; ++s) {
            const float nx = sinTheta * phi.cos[s], ny = sinTheta * phi.sin[s], nz = cosTheta;
            PushVertex(vertices, radius * nx, radius * ny, radius * nz, nx, ny, nz);
        }
        for (std::uint32_t s = 1; s <= slices; ++s) {
            if (r == 0) {
                indices.insert(indices.end(), {0, ring(0, s), ring(0, s - 1)});
            } else {
                const std::uint32_t upPrev = ring(r - 1, s - 1), up = ring(r - 1, s);
                const std::uint32_t downPrev = ring(r, s - 1), down = ring(r, s);
                indices.insert(indices.end(), {upPrev, up, downPrev, up, down, downPrev});
            }
        }
    }
    const std::uint32_t bottom = vertexCount - 1;
    PushVertex(vertices, 0, 0, -radius, 0, 0, -1);
    for (std::uint32_t s = 1; s <= slices; ++s)
        indices.insert(indices.end(), {ring(stacks - 2, s - 1), ring(stacks - 2, s), bottom});
}

void generate(const Mesh::Recipe& r, std::vector<float>& vertices, std::vector<std::uint32_t>& indices) {
    switch (r.kind) {
    case Mesh::Recipe::Kind::Box:
        generateBox(r.a, r.b, r.c, vertices, indices);
        break;
    case Mesh::Recipe::Kind::Cylinder:
        generateCylinder(r.a, r.b, r.c, r.slices, r.stacks, vertices, indices);
        break;
    case Mesh::Recipe::Kind::Sphere:
        generateSphere(r.a, r.slices, r.stacks, vertices, indices);
        break;
    case Mesh::Recipe::Kind::None:
        break;
    }
}

} // namespace

MeshPtr CreateBox(float width, float height, float depth) {
    return std::make_shared<Mesh>(Mesh::Recipe{Mesh::Recipe::Kind::Box, width, height, depth, 0, 0});
}

MeshPtr CreateCylinder(float radius1, float radius2, float length, std::uint32_t slices,
                       std::uint32_t stacks) {
    if (radius1 < 0 || radius2 < 0 || length < 0 || slices < 2 || stacks < 1)
        throw std::invalid_argument(
            "CreateCylinder: needs radii and length >= 0, 2 slices and 1 stack at least");
    return std::make_shared<Mesh>(
        Mesh::Recipe{Mesh::Recipe::Kind::Cylinder, radius1, radius2, length, slices, stacks});
}

MeshPtr CreateSphere(float radius, std::uint32_t slices, std::uint32_t stacks) {
    if (radius < 0 || slices < 2 || stacks < 2)
        throw std::invalid_argument("CreateSphere: needs a radius >= 0, 2 slices and 2 stacks at least");
    return std::make_shared<Mesh>(Mesh::Recipe{Mesh::Recipe::Kind::Sphere, radius, 0, 0, slices, stacks});
}

} // namespace platform
