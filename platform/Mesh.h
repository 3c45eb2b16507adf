// Indexed triangle meshes as CPU data (vertices, indices, per-face attribute ids and the
// attribute table of subsets), with the generators, ray intersection and bounding volumes of the
// Direct3D utility library. Meshes never need a GL context: the Device uploads them on demand
// (see gpu / generation below), so geometry and picking are tested without OpenGL.
#pragma once

#include "Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class QFont;
class QString;

namespace platform {

// Appends one vertex of a position and a normal (FVF_XYZ | FVF_NORMAL) to the floats of a mesh.
inline void PushVertex(std::vector<float>& out, float px, float py, float pz, float nx, float ny, float nz) {
    out.insert(out.end(), {px, py, pz, nx, ny, nz});
}

// Flexible vertex format bits (the Direct3D values). Vertices are laid out in this order:
// position (3 floats), normal (3 floats), then the texture coordinates (2 floats per set).
enum : std::uint32_t {
    FVF_XYZ = 0x002,
    FVF_NORMAL = 0x010,
    FVF_TEX1 = 0x100,
    FVF_POSITION_NORMAL = FVF_XYZ | FVF_NORMAL,                 // 0x012, what the generators make
    FVF_POSITION_NORMAL_TEX1 = FVF_XYZ | FVF_NORMAL | FVF_TEX1, // 0x112
};

// Mesh option flag the Direct3D utility library uses for "managed pool"; meshes here always keep
// their data on the CPU, so it is accepted and ignored.
inline constexpr std::uint32_t MESH_MANAGED = 544;

// Number of floats per vertex for a vertex format (0 when it lacks a position).
std::uint32_t FloatsPerVertex(std::uint32_t fvf);

// One subset: the faces (and the vertex range they use) that carry one attribute id.
struct AttributeRange {
    std::uint32_t attribId = 0;
    std::uint32_t faceStart = 0;
    std::uint32_t faceCount = 0;
    std::uint32_t vertexStart = 0;
    std::uint32_t vertexCount = 0;
};

// Closest hit of a ray with a mesh.
struct IntersectResult {
    bool hit = false;
    std::uint32_t faceIndex = 0;
    float u = 0, v = 0; // barycentric: hit = v0 + u (v1 - v0) + v (v2 - v0)
    float distance = 0; // ray parameter: hit = origin + distance * direction
    std::uint32_t hitCount = 0;
};

struct BoundingSphere {
    Vector3 center;
    float radius = 0;
};

struct BoundingBox {
    Vector3 min, max;
};

struct GpuMesh; // the Device's upload of a mesh; defined by the Device

class Mesh {
public:
    // Throws std::invalid_argument for an unsupported format, a partial vertex or triangle, an index
    // past the vertices, or face attributes that are neither empty (all 0) nor one per face.
    Mesh(std::uint32_t fvf, std::vector<float> vertices, std::vector<std::uint32_t> indices,
         std::vector<std::uint32_t> faceAttributes = {});

    // What a generator makes (CreateBox, CreateCylinder, CreateSphere): the mesh keeps only this
    // until its vertices or faces are first asked for, which a bar out of view never is (its
    // counts and bounding box need no vertices). Keep it small: a bar scene has one per bar.
    struct Recipe {
        enum class Kind : std::uint8_t { None, Box, Cylinder, Sphere };
        Kind kind = Kind::None;
        float a = 0, b = 0, c = 0; // box: width, height, depth; cylinder: radius1, radius2,
                                   // length; sphere: radius
        std::uint32_t slices = 0, stacks = 0;
    };
    explicit Mesh(const Recipe& recipe);
    ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    std::uint32_t fvf() const { return m_fvf; }
    std::uint32_t floatsPerVertex() const { return m_stride; }
    std::uint32_t vertexCount() const;
    std::uint32_t faceCount() const;

    // Raw data. After writing through the mutable accessors, call changed(). The first call of
    // any of them (or of position, normal, intersect) makes a generated mesh's data; a mesh is
    // used by one thread at a time.
    const std::vector<float>& vertices() const { return data().vertices; }
    std::vector<float>& vertices() { return ownData().vertices; }
    const std::vector<std::uint32_t>& indices() const { return data().indices; }
    std::vector<std::uint32_t>& indices() { return ownData().indices; }
    const std::vector<std::uint32_t>& faceAttributes() const { return data().attributes; }
    // Subsets, sorted by attribute id; rebuilt from the face attributes by changed().
    const std::vector<AttributeRange>& attributeTable() const { return data().table; }
    // Forgets the data a recipe makes again when next asked for (the Device calls it once the GPU
    // has its copy: a bar in view then keeps no vertices of its own either). No-op for a mesh
    // without a recipe or whose data were written through the mutable accessors.
    void releaseGenerated() const {
        if (m_recipe.kind != Recipe::Kind::None)
            m_data.reset();
    }

    Vector3 position(std::uint32_t vertex) const;
    Vector3 normal(std::uint32_t vertex) const; // zero when the format has no normal

    // Marks the data as modified: the attribute table is rebuilt and the GPU copy is re-made.
    // Faces added through indices() get attribute id 0. Throws std::logic_error for a partial
    // vertex or triangle, or an index past the vertices.
    void changed();
    std::uint64_t generation() const { return m_generation; }

    // A copy with another vertex format: shared components copied, new ones zero.
    std::shared_ptr<Mesh> cloneFVF(std::uint32_t fvf, std::uint32_t options = MESH_MANAGED) const;
    // Smooth normals: the area-weighted average of the normals of the faces that share a vertex.
    void computeNormals();
    // Sorts faces by attribute id (so every subset is one contiguous range).
    void optimize();

    // Closest intersection of the ray (origin, direction) with the mesh's triangles, both sides, at
    // ray parameters >= 0; a hit on a shared edge counts for both triangles, and hitCount counts
    // every triangle hit. Of equal distances the lower face index wins. Not thread-safe against
    // changes to the mesh (it caches the bounding box until changed()).
    IntersectResult intersect(const Vector3& origin, const Vector3& direction) const;
    BoundingSphere boundingSphere() const;
    BoundingBox boundingBox() const;

    // The Device's upload; owned here so it lives and dies with the mesh.
    mutable std::shared_ptr<GpuMesh> gpu;
    mutable std::uint64_t gpuGeneration = 0;

private:
    struct Data {
        std::vector<float> vertices;
        std::vector<std::uint32_t> indices;
        std::vector<std::uint32_t> attributes;
        std::vector<AttributeRange> table;
        // Bounding box cache for intersect(); dropped by changed().
        BoundingBox box;
        bool boxValid = false;
    };
    // The data, made from the recipe when first needed.
    Data& data() const;
    // The data for writing: the recipe no longer describes them.
    Data& ownData();
    bool rebuildTable();
    // The bounding box a recipe gives without making the data; false when it can't say exactly.
    bool recipeBounds(BoundingBox& box) const;

    std::uint32_t m_fvf;
    std::uint32_t m_stride;
    Recipe m_recipe;
    mutable std::unique_ptr<Data> m_data;
    std::uint64_t m_generation = 1;
};

using MeshPtr = std::shared_ptr<Mesh>;

// Generators, with the dimensions, slice/stack counts, winding and vertex order of the Direct3D
// utility library; all make position+normal vertices (FVF_POSITION_NORMAL), one subset (id 0).
// Triangles are clockwise seen from outside (Direct3D's front faces): for v0, v1, v2 the cross
// product (v1 - v0) x (v2 - v0) points outwards. Slices of the cylinder and the sphere start at +Y
// and run towards +X (clockwise seen from -Z). They throw std::invalid_argument where Direct3D
// refuses the call (negative sizes; cylinder: slices < 2 or stacks < 1; sphere: slices or
// stacks < 2).
// Box centred on the origin: width along X, height along Y, depth along Z; 24 vertices (4 per side,
// with the side's normal), 12 triangles.
MeshPtr CreateBox(float width, float height, float depth);
// Cylinder along Z, centred on the origin: radius1 at z = -length/2, radius2 at z = +length/2.
// 2 + slices * (stacks + 3) vertices: the -Z cap's centre and rim, stacks + 1 side rings, the +Z
// cap's rim and centre; the caps have flat normals, the side's lean with its slope.
MeshPtr CreateCylinder(float radius1, float radius2, float length, std::uint32_t slices,
                       std::uint32_t stacks);
// Sphere centred on the origin, poles on the Z axis: the +Z pole, stacks - 1 rings, the -Z pole.
MeshPtr CreateSphere(float radius, std::uint32_t slices, std::uint32_t stacks);

// Per-glyph placement reported by CreateTextMesh, in the text mesh's units and coordinates.
struct GlyphMetrics {
    Vector2 origin;                   // glyph cell origin (baseline)
    Vector2 advance;                  // advance to the next glyph
    Vector2 blackBoxMin, blackBoxMax; // extent of the outline; both equal `origin` for a blank
};

// What a text mesh is made of: closed solids, or only their front and back faces (the walls
// left out, for text too small on screen for them to show), or only the front or the back face
// (for such text seen from one side), or the solids without the face turned away from a camera on
// one side (which draw the same picture there).
enum class TextShape { Solid, Faces, Front, Back, SolidFront, SolidBack };

// The walls of a text mesh are sorted by the way they face: into sectors of the angle of their
// outward normal in the XY plane, sector k centred on k turns / kWallSectors from +X towards +Y.
inline constexpr int kWallSectors = 16;
// The sector of a wall whose outward normal is (nx, ny, 0).
int WallSector(float nx, float ny);
// The sectors (bit k for sector k) whose walls, wherever they stand in `box` (the text's outline,
// in its own space), turn their back on an eye at `eye` (same space): from there they can't show.
std::uint16_t WallSectorsFacingAway(const BoundingBox& box, const Vector3& eye);
// For a text mesh seen from one place: `eye` in the text's space; `leftOut` receives the sectors
// whose walls were left out, those that face away from the eye wherever they are in the text.
struct TextWalls {
    Vector3 eye;
    std::uint16_t leftOut = 0;
};

// Extruded 3D text of `font`: the font's em height is 1.0 unit, the baseline on y = 0, the text
// starts at x = 0 and runs along +X, the front face at z = 0 and the back at z = extrusion
// (front faces -Z, towards the default camera), curves flattened to `deviation` (in em units;
// 0 or less means 0.01 em). Every glyph is a closed solid, holes included (with TextShape::Faces,
// the same solid without its walls: the front and back faces alone; Front and Back keep one of
// them, SolidFront and SolidBack leave one out). With `walls`, the walls turned away from its eye
// are left out too: seen from there the picture is the same. `glyphs`, if given,
// receives one entry per character. Returns an empty mesh (no faces) for an empty string.
// Characters (Unicode code points) are placed one after the other by their advance widths, without
// kerning; each one's solid is made once per font, deviation and extrusion and then reused from a
// cache, so building many labels costs little more than copying their vertices. Thread-safe.
MeshPtr CreateTextMesh(const QFont& font, const QString& text, float deviation, float extrusion,
                       std::vector<GlyphMetrics>* glyphs = nullptr, TextShape shape = TextShape::Solid,
                       TextWalls* walls = nullptr);

} // namespace platform
