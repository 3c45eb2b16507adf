// Extruded 3D text. Each character becomes one closed solid, made once per font, character,
// deviation and extrusion and kept in a cache; a string's mesh is the concatenation of its
// characters' solids, each moved along X to its place. Characters are laid out one after the other
// by their advance widths (no kerning), and every solid stands on its own, so overlapping glyphs
// never break a mesh apart.
//
// A character's solid: the outline of the glyph (QPainterPath::addText) in em units with y up,
// curves flattened and points on nearly straight runs left out (together within the deviation),
// tessellated by the GLU tessellator into the front face at
// z = 0 (facing -Z, towards the default camera) and the back face at z = extrusion (facing +Z), and
// a side wall of two triangles on every boundary edge of the tessellation. The walls are taken from
// the triangulation itself (the edges that only one triangle uses), so front, back and walls meet
// edge to edge and the solid is closed whatever the outline's overlaps. The triangles of the front
// share their vertices, and so do those of the back; every wall quad has four of its own, so each
// face carries its own flat normal. The extrusion is expected to be positive. Text too small on
// screen for its walls to show may be made of the front and back faces alone.
#include "Mesh.h"

#include "Math.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QString>

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

// Outlines are taken from the font at this pixel size, which is its em height; they are then
// scaled by 1/kEmPixels to an em height of 1.0.
constexpr int kEmPixels = 256;
constexpr float kDefaultDeviation = 0.01f;
// When the cached solids (of all fonts) outgrow this many bytes, the cache is emptied and starts
// again; labels already made keep their data. A label font's few hundred characters at the
// finest deviation take a few MiB.
constexpr std::size_t kMaxCacheBytes = std::size_t(64) << 20;
constexpr std::uint32_t kMaxCurveSegments = 256;

struct Point2 {
    double x, y;
};

using Contour = std::vector<Point2>;

// One character's solid in em units, origin at its baseline start: the faces first, then the
// walls by the sector they face (four vertices and two triangles each).
struct GlyphSolid {
    std::vector<float> vertices; // position + normal
    std::vector<std::uint32_t> indices;
    // Sector k's walls are walls[k] to walls[k + 1] (counted in walls, after the faces'
    // faceVertices vertices and faceIndices indices).
    std::array<std::uint32_t, kWallSectors + 1> walls{};
    std::uint32_t faceVertices = 0, faceIndices = 0;
    float advance = 0;
    bool hasOutline = false;
    Vector2 boxMin, boxMax;
};

// ---- outline ----

// Appends the cubic from p0 to p3 as line segments (p0 excluded). The distance between a cubic
// and its chords on n equal parameter steps is at most 0.75 M / n^2, where M bounds the second
// differences of the control points; n is chosen to keep that within the tolerance.
void flattenCubic(Contour& out, Point2 p0, Point2 p1, Point2 p2, Point2 p3, double tolerance) {
    const double ax = p0.x - 2 * p1.x + p2.x, ay = p0.y - 2 * p1.y + p2.y;
    const double bx = p1.x - 2 * p2.x + p3.x, by = p1.y - 2 * p2.y + p3.y;
    const double m = std::max(std::hypot(ax, ay), std::hypot(bx, by));
    const double segments = std::ceil(std::sqrt(0.75 * m / tolerance));
    const std::uint32_t n = static_cast<std::uint32_t>(std::clamp(segments, 1.0, double(kMaxCurveSegments)));
    for (std::uint32_t i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, s = 1 - t;
        const double w0 = s * s * s, w1 = 3 * s * s * t, w2 = 3 * s * t * t, w3 = t * t * t;
        out.push_back(
            {w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x, w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y});
    }
}

// The path's subpaths as closed polygons in em units, y up; no point repeats its predecessor and
// the last point is not a copy of the first.
std::vector<Contour> flattenPath(const QPainterPath& path, double tolerance) {
    std::vector<Contour> contours;
    const double scale = 1.0 / kEmPixels;
    auto at = [&](int i) {
        const QPainterPath::Element e = path.elementAt(i);
        return Point2{e.x * scale, -e.y * scale};
    };
    const int count = path.elementCount();
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo() || contours.empty()) {
            contours.emplace_back();
            contours.back().push_back(at(i));
        } else if (e.isLineTo()) {
            contours.back().push_back(at(i));
        } else if (e.isCurveTo() && i + 2 < count) {
            const Point2 p0 = contours.back().back();
            flattenCubic(contours.back(), p0, at(i), at(i + 1), at(i + 2), tolerance);
            i += 2;
        }
    }
    for (Contour& c : contours) {
        c.erase(std::unique(c.begin(), c.end(), [](Point2 a, Point2 b) { return a.x == b.x && a.y == b.y; }),
                c.end());
        while (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y)
            c.pop_back();
    }
    std::erase_if(contours, [](const Contour& c) { return c.size() < 3; });
    return contours;
}

// Squared distance from p to the segment from a to b.
double segmentDistance2(Point2 p, Point2 a, Point2 b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return ex * ex + ey * ey;
}

// Marks the points of c[first..last] (indexes taken modulo its size) that the Douglas-Peucker rule
// keeps: every point left out lies within the tolerance of the chord that replaces it.
void keepDouglasPeucker(const Contour& c, std::size_t first, std::size_t last, double tolerance2,
                        std::vector<char>& keep) {
    const std::size_t n = c.size();
    std::vector<std::pair<std::size_t, std::size_t>> runs{{first, last}};
    while (!runs.empty()) {
        const auto [from, to] = runs.back();
        runs.pop_back();
        double worst = -1;
        std::size_t at = from;
        for (std::size_t i = from + 1; i < to; ++i) {
            const double d = segmentDistance2(c[i % n], c[from % n], c[to % n]);
            if (d > worst) {
                worst = d;
                at = i;
            }
        }
        if (worst > tolerance2) {
            keep[at % n] = 1;
            runs.push_back({from, at});
            runs.push_back({at, to});
        }
    }
}

// Leaves out the points of each contour that lie within `tolerance` of the outline drawn without
// them (a font's outline has many points on nearly straight runs, which cost triangles and show
// nothing at coarse deviations). A contour too small to keep three points (the dot of an "i" at a
// coarse deviation) stays as it is: dropping it would lose a whole part of the glyph.
void simplifyContours(std::vector<Contour>& contours, double tolerance) {
    const double tolerance2 = tolerance * tolerance;
    for (Contour& c : contours) {
        const std::size_t n = c.size();
        // The point farthest from the first splits the closed contour into two open runs.
        std::size_t far = 0;
        double farthest = -1;
        for (std::size_t i = 1; i < n; ++i) {
            const double dx = c[i].x - c[0].x, dy = c[i].y - c[0].y;
            if (dx * dx + dy * dy > farthest) {
                farthest = dx * dx + dy * dy;
                far = i;
            }
        }
        std::vector<char> keep(n, 0);
        keep[0] = keep[far] = 1;
        keepDouglasPeucker(c, 0, far, tolerance2, keep);
        keepDouglasPeucker(c, far, n, tolerance2, keep);
        Contour kept;
        kept.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            if (keep[i])
                kept.push_back(c[i]);
        if (kept.size() >= 3)
            c = std::move(kept);
    }
}

// ---- tessellation ----

struct TessOutput {
    std::deque<std::array<GLdouble, 3>> points; // stable addresses for GLU
    std::vector<const GLdouble*> triangles;     // three per triangle
    bool failed = false;
};

void GLAPIENTRY onBegin(GLenum type, void* data) {
    if (type != GL_TRIANGLES) // the edge-flag callback makes GLU emit plain triangles only
        static_cast<TessOutput*>(data)->failed = true;
}
void GLAPIENTRY onVertex(void* vertex, void* data) {
    static_cast<TessOutput*>(data)->triangles.push_back(static_cast<const GLdouble*>(vertex));
}
void GLAPIENTRY onCombine(GLdouble coords[3], void* /*vertices*/[4], GLfloat /*weights*/[4], void** result,
                          void* data) {
    auto* out = static_cast<TessOutput*>(data);
    out->points.push_back({coords[0], coords[1], coords[2]});
    *result = out->points.back().data();
}
void GLAPIENTRY onEdgeFlag(GLboolean, void*) {}
void GLAPIENTRY onError(GLenum, void* data) {
    static_cast<TessOutput*>(data)->failed = true;
}

// Triangles covering the contours by the non-zero winding rule, as a flat list of points.
TessOutput tessellate(const std::vector<Contour>& contours) {
    TessOutput out;
    GLUtesselator* tess = gluNewTess();
    if (!tess) {
        out.failed = true;
        return out;
    }
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(&onBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(&onVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&onCombine));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(&onEdgeFlag));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(&onError));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &out);
    for (const Contour& contour : contours) {
        gluTessBeginContour(tess);
        for (const Point2& p : contour) {
            out.points.push_back({p.x, p.y, 0.0});
            gluTessVertex(tess, out.points.back().data(), out.points.back().data());
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    if (out.triangles.size() % 3 != 0)
        out.failed = true;
    return out;
}

// ---- solid ----

struct PointKey {
    float x, y;
    bool operator==(const PointKey&) const = default;
};
struct PointKeyHash {
    std::size_t operator()(const PointKey& k) const {
        return std::hash<std::uint64_t>()((std::uint64_t(std::bit_cast<std::uint32_t>(k.x)) << 32) |
                                          std::bit_cast<std::uint32_t>(k.y));
    }
};

// Builds the solid from the tessellation: front and back faces and the walls on its boundary.
void buildSolid(GlyphSolid& glyph, const TessOutput& tess, float extrusion, TextShape shape) {
    // Weld the tessellator's points by their float position, so that points it reports twice
    // (input duplicates, combined intersections) become one vertex.
    std::vector<PointKey> points;
    std::unordered_map<PointKey, std::uint32_t, PointKeyHash> index;
    std::vector<std::array<std::uint32_t, 3>> triangles;
    triangles.reserve(tess.triangles.size() / 3);
    double area2 = 0;
    for (std::size_t i = 0; i + 2 < tess.triangles.size(); i += 3) {
        std::array<std::uint32_t, 3> t;
        for (int k = 0; k < 3; ++k) {
            const GLdouble* p = tess.triangles[i + k];
            // Adding +0 turns -0 into +0, which the bitwise hash would otherwise tell apart.
            const PointKey key{static_cast<float>(p[0]) + 0.0f, static_cast<float>(p[1]) + 0.0f};
            auto [it, added] = index.try_emplace(key, static_cast<std::uint32_t>(points.size()));
            if (added)
                points.push_back(key);
            t[k] = it->second;
        }
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue; // collapsed by the weld; dropping it leaves the others' edges paired
        const PointKey &a = points[t[0]], &b = points[t[1]], &c = points[t[2]];
        area2 += double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x);
        triangles.push_back(t);
    }
    if (triangles.empty())
        return;
    // GLU orients all its triangles alike. The front face must turn clockwise in the xy plane
    // (seen from -Z, which is how Direct3D's front faces look to their viewer).
    if (area2 > 0)
        for (auto& t : triangles)
            std::swap(t[1], t[2]);

    // Boundary edges (only shapes with walls need them): used by one triangle only, kept in that
    // triangle's direction, so the solid lies on their right-hand side (seen from -Z) and the
    // outward side is on their left.
    const bool walls =
        shape == TextShape::Solid || shape == TextShape::SolidFront || shape == TextShape::SolidBack;
    std::vector<std::array<std::uint32_t, 2>> boundary;
    if (walls) {
        std::unordered_map<std::uint64_t, int> edgeUse;
        edgeUse.reserve(triangles.size() * 3);
        auto edgeKey = [](std::uint32_t a, std::uint32_t b) {
            return (std::uint64_t(std::min(a, b)) << 32) | std::max(a, b);
        };
        for (const auto& t : triangles)
            for (int k = 0; k < 3; ++k)
                ++edgeUse[edgeKey(t[k], t[(k + 1) % 3])];
        for (const auto& t : triangles)
            for (int k = 0; k < 3; ++k)
                if (edgeUse[edgeKey(t[k], t[(k + 1) % 3])] == 1)
                    boundary.push_back({t[k], t[(k + 1) % 3]});
    }

    const auto n = static_cast<std::uint32_t>(points.size());
    const bool front = shape != TextShape::Back && shape != TextShape::SolidBack;
    const bool back = shape != TextShape::Front && shape != TextShape::SolidFront;
    glyph.vertices.reserve(6 * (2 * n + 4 * boundary.size()));
    glyph.indices.reserve(3 * (2 * triangles.size() + 2 * boundary.size()));
    std::uint32_t next = 0;
    if (front) {
        for (const PointKey& p : points)
            PushVertex(glyph.vertices, p.x, p.y, 0, 0, 0, -1);
        for (const auto& t : triangles)
            glyph.indices.insert(glyph.indices.end(), {t[0], t[1], t[2]});
        next += n;
    }
    if (back) {
        for (const PointKey& p : points)
            PushVertex(glyph.vertices, p.x, p.y, extrusion, 0, 0, 1);
        for (const auto& t : triangles)
            glyph.indices.insert(glyph.indices.end(), {next + t[0], next + t[2], next + t[1]});
        next += n;
    }
    glyph.faceVertices = next;
    glyph.faceIndices = static_cast<std::uint32_t>(glyph.indices.size());
    // The walls by sector, so that those of a sector follow one another.
    std::vector<std::pair<int, Vector3>> sectors(boundary.size());
    for (std::size_t i = 0; i < boundary.size(); ++i) {
        const PointKey &a = points[boundary[i][0]], &b = points[boundary[i][1]];
        const Vector3 normal = Vec3Normalize({a.y - b.y, b.x - a.x, 0});
        sectors[i] = {WallSector(normal.x, normal.y), normal};
        ++glyph.walls[static_cast<std::size_t>(sectors[i].first) + 1];
    }
    for (int k = 0; k < kWallSectors; ++k)
        glyph.walls[static_cast<std::size_t>(k) + 1] += glyph.walls[static_cast<std::size_t>(k)];
    std::vector<std::size_t> order(boundary.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&sectors](std::size_t x, std::size_t y) {
        return sectors[x].first < sectors[y].first;
    });
    for (const std::size_t i : order) {
        const PointKey &a = points[boundary[i][0]], &b = points[boundary[i][1]];
        const Vector3 normal = sectors[i].second;
        PushVertex(glyph.vertices, a.x, a.y, 0, normal.x, normal.y, normal.z);         // next + 0: a at the front
        PushVertex(glyph.vertices, b.x, b.y, 0, normal.x, normal.y, normal.z);         // next + 1: b at the front
        PushVertex(glyph.vertices, a.x, a.y, extrusion, normal.x, normal.y, normal.z); // next + 2: a at the back
        PushVertex(glyph.vertices, b.x, b.y, extrusion, normal.x, normal.y, normal.z); // next + 3: b at the back
        glyph.indices.insert(glyph.indices.end(), {next, next + 3, next + 1, next, next + 2, next + 3});
        next += 4;
    }

    glyph.hasOutline = true;
    glyph.boxMin = {points[0].x, points[0].y};
    glyph.boxMax = glyph.boxMin;
    for (const PointKey& p : points) {
        glyph.boxMin = {std::min(glyph.boxMin.x, p.x), std::min(glyph.boxMin.y, p.y)};
        glyph.boxMax = {std::max(glyph.boxMax.x, p.x), std::max(glyph.boxMax.y, p.y)};
    }
}

// ---- cache ----

struct GlyphKey {
    char32_t character;
    std::uint32_t deviationBits, extrusionBits;
    TextShape shape;
    bool operator==(const GlyphKey&) const = default;
};
struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& k) const {
        std::size_t h = std::hash<std::uint32_t>()(k.character);
        h = h * 1000003u ^ std::hash<std::uint32_t>()(k.deviationBits);
        h = h * 1000003u ^ std::hash<std::uint32_t>()(k.extrusionBits);
        return h * 8 + static_cast<std::size_t>(k.shape);
    }
};

struct FontGlyphs {
    QFont font; // the caller's font at kEmPixels pixels, unhinted
    QFontMetricsF metrics;
    std::unordered_map<GlyphKey, std::shared_ptr<const GlyphSolid>, GlyphKeyHash> glyphs;

    explicit FontGlyphs(QFont f) : font(std::move(f)), metrics(font) {}
};

struct GlyphCache {
    std::mutex mutex;
    std::unordered_map<QString, std::unique_ptr<FontGlyphs>> fonts;
    std::size_t bytes = 0;
    // The font asked for last and its entry: the labels of a scene ask for one font over and
    // over, and a font's key is a long text made anew each time.
    QFont lastFont;
    FontGlyphs* last = nullptr;
};

std::size_t bytesOf(const GlyphSolid& glyph) {
    return sizeof(GlyphSolid) + glyph.vertices.size() * sizeof(float) +
           glyph.indices.size() * sizeof(std::uint32_t);
}

GlyphCache& glyphCache() {
    static GlyphCache cache;
    return cache;
}

} // namespace

int WallSector(float nx, float ny) {
    constexpr double kSectorRadians = 2 * 3.14159265358979323846 / kWallSectors;
    const long k = std::lround(std::atan2(double(ny), double(nx)) / kSectorRadians);
    return static_cast<int>(((k % kWallSectors) + kWallSectors) % kWallSectors);
}

std::uint16_t WallSectorsFacingAway(const BoundingBox& box, const Vector3& eye) {
    // A wall of sector k has its normal within half a sector of the sector's middle direction u;
    // it turns its back on the eye wherever it lies in the box when, from each corner of the box
    // (the walls stand upright on the XY plane), the eye lies more than a quarter turn plus half a
    // sector away from u. A little more is asked, for the rounding of the picture's own test.
    constexpr double kSectorRadians = 2 * 3.14159265358979323846 / kWallSectors;
    const double limit = -std::sin(kSectorRadians / 2) - 0.02;
    const float xs[2] = {box.min.x, box.max.x}, ys[2] = {box.min.y, box.max.y};
    std::uint16_t away = 0;
    for (int k = 0; k < kWallSectors; ++k) {
        const double ux = std::cos(k * kSectorRadians), uy = std::sin(k * kSectorRadians);
        bool all = true;
        for (const float x : xs)
            for (const float y : ys) {
                const double vx = double(eye.x) - x, vy = double(eye.y) - y;
                const double length = std::hypot(vx, vy);
                all = all && length > 0 && vx * ux + vy * uy < limit * length;
            }
        if (all)
            away = static_cast<std::uint16_t>(away | (1u << k));
    }
    return away;
}

namespace {

std::shared_ptr<const GlyphSolid> makeGlyph(FontGlyphs& font, char32_t character, float deviation,
                                            float extrusion, TextShape shape) {
    auto glyph = std::make_shared<GlyphSolid>();
    const QString text = QString::fromUcs4(&character, 1);
    glyph->advance = static_cast<float>(font.metrics.horizontalAdvance(text) / kEmPixels);
    QPainterPath path;
    path.addText(0, 0, font.font, text);
    // A quarter of the deviation for the curves' chords and the rest for leaving points out: the
    // outline stays within the deviation of the font's, with the fewest points at every deviation.
    std::vector<Contour> contours = flattenPath(path, deviation / 4);
    simplifyContours(contours, deviation * 3 / 4);
    if (!contours.empty()) {
        const TessOutput tess = tessellate(contours);
        if (!tess.failed)
            buildSolid(*glyph, tess, extrusion, shape);
    }
    return glyph;
}

FontGlyphs& fontGlyphs(GlyphCache& cache, const QFont& font) {
    if (cache.last && font == cache.lastFont)
        return *cache.last;
    QFont em(font);
    em.setPixelSize(kEmPixels);
    em.setHintingPreference(QFont::PreferNoHinting);
    em.setKerning(false);
    std::unique_ptr<FontGlyphs>& entry = cache.fonts[em.key()];
    if (!entry)
        entry = std::make_unique<FontGlyphs>(em);
    cache.lastFont = font;
    cache.last = entry.get();
    return *entry;
}

} // namespace

MeshPtr CreateTextMesh(const QFont& font, const QString& text, float deviation, float extrusion,
                       std::vector<GlyphMetrics>* glyphs, TextShape shape, TextWalls* walls) {
    if (!(deviation > 0))
        deviation = kDefaultDeviation;
    const QList<uint> characters = text.toUcs4();
    if (glyphs) {
        glyphs->clear();
        glyphs->reserve(characters.size());
    }
    std::vector<std::shared_ptr<const GlyphSolid>> solids;
    solids.reserve(characters.size());
    if (!characters.isEmpty()) {
        GlyphCache& cache = glyphCache();
        std::lock_guard lock(cache.mutex);
        if (cache.bytes > kMaxCacheBytes) {
            cache.fonts.clear();
            cache.last = nullptr;
            cache.bytes = 0;
        }
        FontGlyphs& fontEntry = fontGlyphs(cache, font);
        for (uint c : characters) {
            const GlyphKey key{static_cast<char32_t>(c), std::bit_cast<std::uint32_t>(deviation),
                               std::bit_cast<std::uint32_t>(extrusion), shape};
            auto& slot = fontEntry.glyphs[key];
            if (!slot) {
                slot = makeGlyph(fontEntry, key.character, deviation, extrusion, shape);
                cache.bytes += bytesOf(*slot);
            }
            solids.push_back(slot);
        }
    }

    // The walls that turn their back on the eye everywhere in the text's outline box are left out.
    std::uint16_t leftOut = 0;
    if (walls) {
        BoundingBox box;
        bool any = false;
        float x = 0;
        for (const auto& s : solids) {
            if (s->hasOutline) {
                const Vector3 low{x + s->boxMin.x, s->boxMin.y, 0}, high{x + s->boxMax.x, s->boxMax.y, 0};
                box.min = any ? Vector3{std::min(box.min.x, low.x), std::min(box.min.y, low.y), 0} : low;
                box.max = any ? Vector3{std::max(box.max.x, high.x), std::max(box.max.y, high.y), 0} : high;
                any = true;
            }
            x += s->advance;
        }
        leftOut = any ? WallSectorsFacingAway(box, walls->eye) : 0;
        walls->leftOut = leftOut;
    }
    auto kept = [leftOut](int sector) { return (leftOut & (1u << sector)) == 0; };

    std::size_t floatCount = 0, indexCount = 0;
    for (const auto& s : solids) {
        floatCount += s->faceVertices * 6;
        indexCount += s->faceIndices;
        for (int k = 0; k < kWallSectors; ++k)
            if (kept(k)) {
                floatCount += 24 * (s->walls[k + 1] - s->walls[k]);
                indexCount += 6 * (s->walls[k + 1] - s->walls[k]);
            }
    }
    std::vector<float> vertices;
    vertices.reserve(floatCount);
    std::vector<std::uint32_t> indices;
    indices.reserve(indexCount);
    float x = 0;
    // Appends the solid's vertices [from, to) moved by x, and its indices [fromIndex, toIndex),
    // which use only those vertices.
    auto append = [&](const GlyphSolid& s, std::uint32_t from, std::uint32_t to, std::uint32_t fromIndex,
                      std::uint32_t toIndex) {
        const auto base = static_cast<std::uint32_t>(vertices.size() / 6);
        const std::size_t first = vertices.size();
        vertices.insert(vertices.end(), s.vertices.begin() + 6 * from, s.vertices.begin() + 6 * to);
        for (std::size_t i = first; i < vertices.size(); i += 6)
            vertices[i] += x;
        for (std::uint32_t i = fromIndex; i < toIndex; ++i)
            indices.push_back(base + s.indices[i] - from);
    };
    for (const auto& s : solids) {
        append(*s, 0, s->faceVertices, 0, s->faceIndices);
        for (int k = 0; k < kWallSectors;) {
            // Runs of sectors kept in one go.
            int end = k;
            while (end < kWallSectors && kept(end))
                ++end;
            if (end > k)
                append(*s, s->faceVertices + 4 * s->walls[k], s->faceVertices + 4 * s->walls[end],
                       s->faceIndices + 6 * s->walls[k], s->faceIndices + 6 * s->walls[end]);
            k = end + 1;
        }
        if (glyphs) {
            GlyphMetrics m;
            m.origin = {x, 0};
            m.advance = {s->advance, 0};
            m.blackBoxMin = s->hasOutline ? Vector2{x + s->boxMin.x, s->boxMin.y} : Vector2{x, 0};
            m.blackBoxMax = s->hasOutline ? Vector2{x + s->boxMax.x, s->boxMax.y} : Vector2{x, 0};
            glyphs->push_back(m);
        }
        x += s->advance;
    }
    return std::make_shared<Mesh>(FVF_POSITION_NORMAL, std::move(vertices), std::move(indices));
}

} // namespace platform
