// Extruded 3D text: closed solids with their holes, em height 1, baseline y = 0, running along +X,
// readable from the default camera, flattened to the deviation, cached.
#include "mesh_checks.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTransform>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace platform;
using meshchecks::eulerCharacteristic;
using meshchecks::facesAgainstNormals;
using meshchecks::openEdges;

namespace {

QFont labelFont() {
    return QFont("Arial", 10);
}

constexpr float kExtrusion = 0.15f;

BoundingBox boxOf(const Mesh& mesh) {
    return mesh.boundingBox();
}

// Area of the front face (z = 0, facing -Z).
double frontArea(const Mesh& mesh) {
    double area = 0;
    const auto& idx = mesh.indices();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (mesh.normal(idx[t]).z != -1)
            continue;
        const Vector3 a = mesh.position(idx[t]), b = mesh.position(idx[t + 1]), c = mesh.position(idx[t + 2]);
        area += 0.5 * std::abs(double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x));
    }
    return area;
}

// The glyph's outline as Qt flattens it at a fine scale (within about 3e-5 em), in em units, y up.
std::vector<QLineF> referenceOutline(const QFont& font, const QString& text) {
    QFont big(font);
    big.setPixelSize(256);
    big.setHintingPreference(QFont::PreferNoHinting);
    QPainterPath path;
    path.addText(0, 0, big, text);
    const double scale = 64;
    std::vector<QLineF> lines;
    for (const QPolygonF& poly : path.toSubpathPolygons(QTransform::fromScale(scale, scale))) {
        for (int i = 0; i + 1 < poly.size(); ++i) {
            const QPointF a = poly[i] / (scale * 256), b = poly[i + 1] / (scale * 256);
            lines.emplace_back(a.x(), -a.y(), b.x(), -b.y());
        }
    }
    return lines;
}

double distance(const QPointF& p, const QLineF& line) {
    const QPointF d = line.p2() - line.p1();
    const double length2 = QPointF::dotProduct(d, d);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - line.p1(), d) / length2, 0.0, 1.0) : 0.0;
    const QPointF q = line.p1() + t * d - p;
    return std::hypot(q.x(), q.y());
}

// Largest distance from a side wall's front edge (a chord of the outline: its ends and seven
// points between them) to the glyph's true outline.
double largestChordDeviation(const Mesh& mesh, const std::vector<QLineF>& outline) {
    double worst = 0;
    const auto& idx = mesh.indices();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (mesh.normal(idx[t]).z != 0)
            continue;
        for (int k = 0; k < 3; ++k) {
            const Vector3 a = mesh.position(idx[t + k]), b = mesh.position(idx[t + (k + 1) % 3]);
            if (a.z != 0 || b.z != 0)
                continue;
            for (int step = 0; step <= 8; ++step) {
                const double t = step / 8.0;
                const QPointF p(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y));
                double nearest = 1e9;
                for (const QLineF& line : outline)
                    nearest = std::min(nearest, distance(p, line));
                worst = std::max(worst, nearest);
            }
        }
    }
    return worst;
}

} // namespace

TEST(TextMesh, GlyphsAreClosedSolidsWithTheirHoles) {
    struct Case {
        const char* text;
        long euler; // 2 per solid piece, minus 2 per hole
    } cases[] = {
        {"l", 2},     {"o", 0}, {"A", 0}, {"8", -2},
        {"B", -2},    {"%", 2}, {"i", 4}, // the dot is a piece of its own
        {"Hello", 6},
    };
    // Coarse deviations thin the outlines out, and must neither open a solid nor lose a part of a
    // glyph (the dot of the "i" is smaller than twice the coarsest).
    // Solids are made up to 0.04 em; at twice that the strokes are still apart.
    for (float deviation : {0.001f, 0.01f, 0.0f, 0.04f, 0.06f, 0.08f}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " at deviation " + std::to_string(deviation));
            const MeshPtr mesh =
                CreateTextMesh(labelFont(), QString::fromUtf8(c.text), deviation, kExtrusion);
            ASSERT_GT(mesh->faceCount(), 0u);
            EXPECT_EQ(mesh->fvf(), FVF_POSITION_NORMAL);
            EXPECT_EQ(openEdges(*mesh), "");
            EXPECT_EQ(eulerCharacteristic(*mesh), c.euler);
            EXPECT_EQ(facesAgainstNormals(*mesh), 0);
            ASSERT_EQ(mesh->attributeTable().size(), 1u);
            EXPECT_EQ(mesh->attributeTable()[0].attribId, 0u);
        }
    }
}

TEST(TextMesh, EveryPrintableLatin1CharacterIsClosed) {
    for (char32_t c = 0x21; c <= 0xFF; ++c) {
        if (c >= 0x7F && c <= 0xA0)
            continue;
        const MeshPtr mesh = CreateTextMesh(labelFont(), QString::fromUcs4(&c, 1), 0.001f, kExtrusion);
        EXPECT_EQ(openEdges(*mesh), "") << "U+" << std::hex << static_cast<unsigned>(c);
        EXPECT_EQ(facesAgainstNormals(*mesh), 0) << "U+" << std::hex << static_cast<unsigned>(c);
    }
}

TEST(TextMesh, LongLabelsOfOverlappingGlyphsStayClosed) {
    for (const char* text :
         {"Documents", "Ärger (1).tar.gz", "WAVE_ffi~", "My Music", "fi fl ffi", "ÅØ¿@#&"}) {
        const MeshPtr mesh = CreateTextMesh(labelFont(), QString::fromUtf8(text), 0.001f, kExtrusion);
        EXPECT_EQ(openEdges(*mesh), "") << text;
        EXPECT_EQ(facesAgainstNormals(*mesh), 0) << text;
    }
}

TEST(TextMesh, FrontAtZeroFacingTheCameraBackAtTheExtrusion) {
    std::vector<GlyphMetrics> glyphs;
    const MeshPtr mesh = CreateTextMesh(labelFont(), "o", 0.001f, kExtrusion, &glyphs);
    ASSERT_EQ(glyphs.size(), 1u);
    for (std::uint32_t v = 0; v < mesh->vertexCount(); ++v) {
        const float z = mesh->position(v).z;
        ASSERT_TRUE(z == 0 || z == kExtrusion) << z;
    }
    const float midY = (glyphs[0].blackBoxMin.y + glyphs[0].blackBoxMax.y) / 2;
    const float midX = (glyphs[0].blackBoxMin.x + glyphs[0].blackBoxMax.x) / 2;
    const float ringX = glyphs[0].blackBoxMin.x + 0.02f; // inside the left stroke

    // From the default camera's side the ray meets the front face first.
    IntersectResult hit = mesh->intersect({ringX, midY, -20}, {0, 0, 1});
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 20, 1e-4f);
    EXPECT_EQ(hit.hitCount, 2u);
    EXPECT_EQ(mesh->normal(mesh->indices()[3 * hit.faceIndex]).z, -1);
    hit = mesh->intersect({ringX, midY, 20}, {0, 0, -1});
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 20 - kExtrusion, 1e-4f);
    EXPECT_EQ(mesh->normal(mesh->indices()[3 * hit.faceIndex]).z, 1);
    // The hole is empty.
    EXPECT_FALSE(mesh->intersect({midX, midY, -20}, {0, 0, 1}).hit);

    const MeshPtr deeper = CreateTextMesh(labelFont(), "o", 0.001f, 0.5f);
    EXPECT_NEAR(deeper->boundingBox().max.z, 0.5f, 1e-6f);
}

TEST(TextMesh, EmHeightOneBaselineAtZeroAndReadableFromTheFront) {
    QFont font = labelFont();
    QFont em(font);
    em.setPixelSize(256);
    const double capHeight = QFontMetricsF(em).capHeight() / 256;
    ASSERT_GT(capHeight, 0.5);

    // The same size whatever the font's point size.
    for (int points : {8, 10, 36}) {
        font.setPointSize(points);
        const BoundingBox h = boxOf(*CreateTextMesh(font, "H", 0.001f, kExtrusion));
        EXPECT_NEAR(h.max.y, capHeight, 0.01) << points;
        EXPECT_NEAR(h.min.y, 0, 1e-3) << points;
    }

    // "L": the foot runs to the right (+X) along the baseline, the stem rises (+Y) on the left.
    const MeshPtr l = CreateTextMesh(labelFont(), "L", 0.001f, kExtrusion);
    float footRight = -1, stemRight = -1;
    for (std::uint32_t v = 0; v < l->vertexCount(); ++v) {
        const Vector3 p = l->position(v);
        if (p.y < 0.02f)
            footRight = std::max(footRight, p.x);
        if (p.y > 0.5f)
            stemRight = std::max(stemRight, p.x);
    }
    EXPECT_GT(footRight, stemRight + 0.2f);
    EXPECT_GE(l->boundingBox().min.x, 0);
    // "g" descends below the baseline.
    EXPECT_LT(CreateTextMesh(labelFont(), "g", 0.001f, kExtrusion)->boundingBox().min.y, -0.1f);
}

TEST(TextMesh, CharactersFollowOneAnotherAlongPlusX) {
    std::vector<GlyphMetrics> glyphs;
    const QString text = "Wiki b.txt";
    const MeshPtr mesh = CreateTextMesh(labelFont(), text, 0.01f, kExtrusion, &glyphs);
    ASSERT_EQ(glyphs.size(), static_cast<std::size_t>(text.size()));
    EXPECT_EQ(glyphs[0].origin.x, 0);
    for (std::size_t i = 1; i < glyphs.size(); ++i) {
        EXPECT_GT(glyphs[i].advance.x, 0) << i;
        EXPECT_NEAR(glyphs[i].origin.x, glyphs[i - 1].origin.x + glyphs[i - 1].advance.x, 1e-5f) << i;
        EXPECT_EQ(glyphs[i].origin.y, 0);
    }
    // The space has no outline; its box is empty at its origin.
    EXPECT_EQ(glyphs[4].blackBoxMin.x, glyphs[4].origin.x);
    EXPECT_EQ(glyphs[4].blackBoxMax.x, glyphs[4].origin.x);
    const BoundingBox box = mesh->boundingBox();
    EXPECT_NEAR(box.min.x, glyphs.front().blackBoxMin.x, 1e-5f);
    EXPECT_NEAR(box.max.x, glyphs.back().blackBoxMax.x, 1e-5f);

    // A string's mesh is its characters' meshes, each moved by the advances before it.
    const MeshPtr a = CreateTextMesh(labelFont(), "W", 0.01f, kExtrusion);
    const MeshPtr b = CreateTextMesh(labelFont(), "x", 0.01f, kExtrusion);
    const MeshPtr ab = CreateTextMesh(labelFont(), "Wx", 0.01f, kExtrusion, &glyphs);
    ASSERT_EQ(ab->vertexCount(), a->vertexCount() + b->vertexCount());
    ASSERT_EQ(ab->faceCount(), a->faceCount() + b->faceCount());
    for (std::uint32_t v = 0; v < b->vertexCount(); ++v) {
        const Vector3 moved = ab->position(a->vertexCount() + v), original = b->position(v);
        ASSERT_FLOAT_EQ(moved.x, original.x + glyphs[1].origin.x) << v;
        ASSERT_EQ(moved.y, original.y);
        ASSERT_EQ(moved.z, original.z);
    }
    EXPECT_EQ(ab->indices()[3 * a->faceCount()], b->indices()[0] + a->vertexCount());
}

TEST(TextMesh, EmptyAndBlankTextMakeNoFaces) {
    std::vector<GlyphMetrics> glyphs{GlyphMetrics{}};
    const MeshPtr empty = CreateTextMesh(labelFont(), "", 0.001f, kExtrusion, &glyphs);
    EXPECT_EQ(empty->faceCount(), 0u);
    EXPECT_EQ(empty->vertexCount(), 0u);
    EXPECT_TRUE(glyphs.empty());
    EXPECT_FALSE(empty->intersect({0, 0, -1}, {0, 0, 1}).hit);

    const MeshPtr blank = CreateTextMesh(labelFont(), "  ", 0.001f, kExtrusion, &glyphs);
    EXPECT_EQ(blank->faceCount(), 0u);
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_GT(glyphs[1].origin.x, 0);
}

TEST(TextMesh, OutlineFollowsTheGlyphWithinTheDeviation) {
    for (const char* text : {"O", "S", "e", "@"}) {
        const std::vector<QLineF> outline = referenceOutline(labelFont(), text);
        ASSERT_FALSE(outline.empty());
        for (float deviation : {0.16f, 0.05f, 0.01f, 0.002f}) {
            SCOPED_TRACE(std::string(text) + " at deviation " + std::to_string(deviation));
            const MeshPtr mesh = CreateTextMesh(labelFont(), text, deviation, kExtrusion);
            const double worst = largestChordDeviation(*mesh, outline);
            EXPECT_LE(worst, deviation + 1e-4);
            // ... and the allowance is used, rather than cutting every curve into tiny pieces.
            if (deviation == 0.01f) {
                EXPECT_GT(worst, deviation / 5);
            }
        }
    }
    const MeshPtr coarse = CreateTextMesh(labelFont(), "O", 0.05f, kExtrusion);
    const MeshPtr fine = CreateTextMesh(labelFont(), "O", 0.001f, kExtrusion);
    EXPECT_GT(fine->vertexCount(), 2 * coarse->vertexCount());
    // Straight runs of many points (the font's own) are thinned out too, not only curves.
    const MeshPtr label = CreateTextMesh(labelFont(), "a005148.cpp", 0.16f, kExtrusion);
    const MeshPtr labelFine = CreateTextMesh(labelFont(), "a005148.cpp", 0.01f, kExtrusion);
    EXPECT_GT(labelFine->faceCount(), 2 * label->faceCount());
}

TEST(TextMesh, FacesShapeIsTheSolidWithoutItsWalls) {
    for (float deviation : {0.01f, 0.16f}) {
        SCOPED_TRACE(deviation);
        const MeshPtr solid = CreateTextMesh(labelFont(), "Bag", deviation, kExtrusion);
        const MeshPtr faces =
            CreateTextMesh(labelFont(), "Bag", deviation, kExtrusion, nullptr, TextShape::Faces);
        ASSERT_GT(faces->faceCount(), 0u);
        long front = 0, back = 0;
        const auto& idx = faces->indices();
        for (std::size_t t = 0; t < idx.size(); t += 3) {
            const Vector3 n = faces->normal(idx[t]);
            const float z = faces->position(idx[t]).z;
            if (n.z == -1 && z == 0)
                ++front;
            else if (n.z == 1 && z == kExtrusion)
                ++back;
        }
        EXPECT_EQ(front, back);
        EXPECT_EQ(static_cast<std::size_t>(front + back), faces->faceCount()); // no walls
        EXPECT_EQ(facesAgainstNormals(*faces), 0);
        EXPECT_NEAR(frontArea(*faces), frontArea(*solid), 1e-6);
        const BoundingBox a = faces->boundingBox(), b = solid->boundingBox();
        EXPECT_EQ(a.min.x, b.min.x);
        EXPECT_EQ(a.max.y, b.max.y);
        EXPECT_EQ(a.max.z, b.max.z);
    }
    // One face alone: the front (facing -Z at z = 0) or the back (facing +Z at the extrusion).
    const MeshPtr both = CreateTextMesh(labelFont(), "Bag", 0.16f, kExtrusion, nullptr, TextShape::Faces);
    for (const TextShape side : {TextShape::Front, TextShape::Back}) {
        const MeshPtr one = CreateTextMesh(labelFont(), "Bag", 0.16f, kExtrusion, nullptr, side);
        EXPECT_EQ(2 * one->faceCount(), both->faceCount());
        EXPECT_EQ(2 * one->vertexCount(), both->vertexCount());
        const float z = side == TextShape::Front ? 0 : kExtrusion, nz = side == TextShape::Front ? -1 : 1;
        for (std::uint32_t v = 0; v < one->vertexCount(); ++v) {
            ASSERT_EQ(one->position(v).z, z);
            ASSERT_EQ(one->normal(v).z, nz);
        }
        EXPECT_EQ(facesAgainstNormals(*one), 0);
    }
    // The solid less the face turned away from one side: walls and the other face stay.
    const MeshPtr solid = CreateTextMesh(labelFont(), "Bag", 0.16f, kExtrusion);
    for (const TextShape side : {TextShape::SolidFront, TextShape::SolidBack}) {
        const MeshPtr open = CreateTextMesh(labelFont(), "Bag", 0.16f, kExtrusion, nullptr, side);
        EXPECT_EQ(open->faceCount() + both->faceCount() / 2, solid->faceCount());
        const float gone = side == TextShape::SolidFront ? 1 : -1;
        for (std::uint32_t v = 0; v < open->vertexCount(); ++v)
            ASSERT_NE(open->normal(v).z, gone);
        EXPECT_EQ(facesAgainstNormals(*open), 0);
    }
    // Even at the coarsest level a small part of a glyph stays: the dot of the "i".
    const MeshPtr i = CreateTextMesh(labelFont(), "i", 0.16f, kExtrusion, nullptr, TextShape::Faces);
    const MeshPtr dotless =
        CreateTextMesh(labelFont(), QString(QChar(0x131)), 0.16f, kExtrusion, nullptr, TextShape::Faces);
    EXPECT_GT(i->boundingBox().max.y, dotless->boundingBox().max.y + 0.1f);
    // The two shapes are cached apart.
    const MeshPtr again = CreateTextMesh(labelFont(), "Bag", 0.01f, kExtrusion);
    EXPECT_EQ(again->faceCount(), CreateTextMesh(labelFont(), "Bag", 0.01f, kExtrusion)->faceCount());
    EXPECT_NE(again->faceCount(),
              CreateTextMesh(labelFont(), "Bag", 0.01f, kExtrusion, nullptr, TextShape::Faces)->faceCount());
}

TEST(TextMesh, CachedGlyphsGiveIdenticalMeshes) {
    const QString text = "Picture 0042";
    const MeshPtr first = CreateTextMesh(labelFont(), text, 0.001f, kExtrusion);
    const MeshPtr second = CreateTextMesh(labelFont(), text, 0.001f, kExtrusion);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->vertices(), second->vertices());
    EXPECT_EQ(first->indices(), second->indices());
    // The extrusion and the font are part of the key.
    const MeshPtr thicker = CreateTextMesh(labelFont(), text, 0.001f, 0.3f);
    EXPECT_NEAR(thicker->boundingBox().max.z, 0.3f, 1e-6f);
    QFont bold = labelFont();
    bold.setBold(true);
    const MeshPtr boldMesh = CreateTextMesh(bold, text, 0.001f, kExtrusion);
    EXPECT_GT(frontArea(*boldMesh), frontArea(*first) * 1.1);
}
