// Extruded 3D text: closed solids with their holes, em height 1, baseline y = 0, running along +X,
// readable from the default camera, flattened to the deviation, cached.
#include "mesh_checks.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPainterPathStroker>
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

MeshPtr text(const QString& s, float deviation = 0.001f, TextShape shape = TextShape::Solid,
             std::vector<GlyphMetrics>* glyphs = nullptr, const QFont& font = labelFont()) {
    return CreateTextMesh(font, s, deviation, kExtrusion, glyphs, shape);
}

// Faces of the front (facing -Z at z = 0), of the back (facing +Z at the extrusion), and of the walls.
struct Sides {
    long front = 0, back = 0, walls = 0;
    double frontArea = 0;
};

Sides sides(const Mesh& mesh) {
    Sides s;
    const auto& idx = mesh.indices();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vector3 n = mesh.normal(idx[t]), a = mesh.position(idx[t]), b = mesh.position(idx[t + 1]),
                      c = mesh.position(idx[t + 2]);
        if (n.z == -1 && a.z == 0) {
            ++s.front;
            s.frontArea += 0.5 * std::abs(double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x));
        } else if (n.z == 1 && a.z == kExtrusion) {
            ++s.back;
        } else if (n.z == 0) {
            ++s.walls;
        }
    }
    return s;
}

// The glyphs' outline widened by `d` em on each side, in units of 1/16384 em with y down: a point
// lies in it when it lies within d of the outline.
QPainterPath band(const QString& s, double d) {
    QFont big(labelFont());
    big.setPixelSize(256);
    big.setHintingPreference(QFont::PreferNoHinting);
    QPainterPath path;
    path.addText(0, 0, big, s);
    QPainterPathStroker stroker;
    stroker.setWidth(2 * d * 16384);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return stroker.createStroke(QTransform::fromScale(64, 64).map(path));
}

// Whether the walls' front edges (chords of the outline: their ends and seven points between
// them) lie in `band`.
bool chordsWithin(const Mesh& mesh, const QPainterPath& band) {
    const auto& idx = mesh.indices();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3)
        for (int k = 0; k < 3 && mesh.normal(idx[t]).z == 0; ++k) {
            const Vector3 a = mesh.position(idx[t + k]), b = mesh.position(idx[t + (k + 1) % 3]);
            for (int step = 0; step <= 8 && a.z == 0 && b.z == 0; ++step)
                if (!band.contains(
                        QPointF(a.x + step / 8.0 * (b.x - a.x), -(a.y + step / 8.0 * (b.y - a.y))) * 16384))
                    return false;
        }
    return true;
}

} // namespace

TEST(TextMesh, GlyphsAreClosedSolidsWithTheirHolesAtEveryDeviation) {
    struct Case {
        const char* text;
        long euler; // 2 per solid piece, minus 2 per hole
    } cases[] = {
        {"l", 2},     {"o", 0}, {"A", 0}, {"8", -2},
        {"B", -2},    {"%", 2}, {"i", 4}, // the dot is a piece of its own
        {"Hello", 6},
    };
    // Coarse deviations thin the outlines out, and must neither open a solid nor lose a part of a
    // glyph (the dot of the "i" is smaller than twice the coarsest). Solids are made up to 0.04
    // em; at twice that the strokes are still apart.
    for (float deviation : {0.001f, 0.01f, 0.0f, 0.04f, 0.06f, 0.08f})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " at deviation " + std::to_string(deviation));
            const MeshPtr mesh = text(QString::fromUtf8(c.text), deviation);
            ASSERT_GT(mesh->faceCount(), 0u);
            EXPECT_EQ(mesh->fvf(), FVF_POSITION_NORMAL);
            EXPECT_EQ(openEdges(*mesh), 0);
            EXPECT_EQ(eulerCharacteristic(*mesh), c.euler);
            EXPECT_EQ(facesAgainstNormals(*mesh), 0);
            ASSERT_EQ(mesh->attributeTable().size(), 1u);
            EXPECT_EQ(mesh->attributeTable()[0].attribId, 0u);
        }
    // Every printable Latin-1 character, and labels of overlapping glyphs.
    QStringList texts = {"Documents", "Ärger (1).tar.gz", "WAVE_ffi~", "My Music", "fi fl ffi", "ÅØ¿@#&"};
    for (char32_t c = 0x21; c <= 0xFF; ++c)
        if (c < 0x7F || c > 0xA0)
            texts.append(QString::fromUcs4(&c, 1));
    for (const QString& s : texts) {
        const MeshPtr mesh = text(s);
        EXPECT_EQ(openEdges(*mesh), 0) << s.toStdString();
        EXPECT_EQ(facesAgainstNormals(*mesh), 0) << s.toStdString();
    }
}

TEST(TextMesh, EmHeightOneOnTheBaselineFrontAtZeroFacingTheCameraAndReadable) {
    QFont em(labelFont());
    em.setPixelSize(256);
    const double capHeight = QFontMetricsF(em).capHeight() / 256;
    ASSERT_GT(capHeight, 0.5);
    for (int points : {8, 10, 36}) { // the same size whatever the font's point size
        QFont font(labelFont());
        font.setPointSize(points);
        const BoundingBox h = text("H", 0.001f, TextShape::Solid, nullptr, font)->boundingBox();
        EXPECT_NEAR(h.max.y, capHeight, 0.01) << points;
        EXPECT_NEAR(h.min.y, 0, 1e-3) << points;
    }
    // "L": the foot runs to the right (+X) along the baseline, the stem rises (+Y) on the left.
    const MeshPtr l = text("L");
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
    EXPECT_LT(text("g")->boundingBox().min.y, -0.1f); // descends below the baseline

    // From the camera's side a ray through the "o" meets the front face first, from behind the back.
    std::vector<GlyphMetrics> glyphs;
    const MeshPtr o = text("o", 0.001f, TextShape::Solid, &glyphs);
    const float midY = (glyphs[0].blackBoxMin.y + glyphs[0].blackBoxMax.y) / 2;
    const float ringX = glyphs[0].blackBoxMin.x + 0.02f; // inside the left stroke
    for (const float side : {-1.0f, 1.0f}) {
        const IntersectResult hit = o->intersect({ringX, midY, 20 * side}, {0, 0, -side});
        ASSERT_TRUE(hit.hit);
        EXPECT_NEAR(hit.distance, side < 0 ? 20 : 20 - kExtrusion, 1e-4f);
        EXPECT_EQ(hit.hitCount, 2u);
        EXPECT_EQ(o->normal(o->indices()[3 * hit.faceIndex]).z, side);
    }
    EXPECT_FALSE(
        o->intersect({(glyphs[0].blackBoxMin.x + glyphs[0].blackBoxMax.x) / 2, midY, -20}, {0, 0, 1}).hit);
}

TEST(TextMesh, CharactersFollowOneAnotherAlongPlusX) {
    std::vector<GlyphMetrics> glyphs;
    const QString s = "Wiki b.txt";
    const BoundingBox box = text(s, 0.01f, TextShape::Solid, &glyphs)->boundingBox();
    ASSERT_EQ(glyphs.size(), static_cast<std::size_t>(s.size()));
    EXPECT_EQ(glyphs[0].origin.x, 0);
    for (std::size_t i = 1; i < glyphs.size(); ++i) {
        EXPECT_GT(glyphs[i].advance.x, 0) << i;
        EXPECT_NEAR(glyphs[i].origin.x, glyphs[i - 1].origin.x + glyphs[i - 1].advance.x, 1e-5f) << i;
        EXPECT_EQ(glyphs[i].origin.y, 0);
    }
    EXPECT_EQ(glyphs[4].blackBoxMax.x, glyphs[4].origin.x); // the space has no outline
    EXPECT_NEAR(box.min.x, glyphs.front().blackBoxMin.x, 1e-5f);
    EXPECT_NEAR(box.max.x, glyphs.back().blackBoxMax.x, 1e-5f);

    // Empty and blank text make no faces; blanks still advance.
    EXPECT_EQ(text("", 0.001f, TextShape::Solid, &glyphs)->vertexCount(), 0u);
    EXPECT_TRUE(glyphs.empty());
    EXPECT_EQ(text("  ", 0.001f, TextShape::Solid, &glyphs)->faceCount(), 0u);
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_GT(glyphs[1].origin.x, 0);
}

TEST(TextMesh, OutlineFollowsTheGlyphWithinTheDeviation) {
    for (const char* s : {"O", "S", "e", "@"}) {
        for (float deviation : {0.16f, 0.05f, 0.01f, 0.002f}) {
            SCOPED_TRACE(std::string(s) + " at deviation " + std::to_string(deviation));
            const MeshPtr mesh = text(s, deviation);
            EXPECT_TRUE(chordsWithin(*mesh, band(s, deviation + 1e-4)));
            // ... and the allowance is used, rather than cutting every curve into tiny pieces.
            if (deviation == 0.01f) {
                EXPECT_FALSE(chordsWithin(*mesh, band(s, deviation / 5)));
            }
        }
    }
    EXPECT_GT(text("O", 0.001f)->vertexCount(), 2 * text("O", 0.05f)->vertexCount());
    // Straight runs of many points (the font's own) are thinned out too, not only curves.
    EXPECT_GT(text("a005148.cpp", 0.01f)->faceCount(), 2 * text("a005148.cpp", 0.16f)->faceCount());
}

TEST(TextMesh, ShapesKeepTheirFacesAndWallsOfTheSolidAndAreCachedApart) {
    struct Case {
        TextShape shape;
        bool front, back, walls;
    } cases[] = {
        {TextShape::Faces, true, true, false},     {TextShape::Front, true, false, false},
        {TextShape::Back, false, true, false},     {TextShape::SolidFront, true, false, true},
        {TextShape::SolidBack, false, true, true},
    };
    for (float deviation : {0.01f, 0.16f}) {
        const MeshPtr solid = text("Bag", deviation);
        const Sides all = sides(*solid);
        ASSERT_GT(all.walls, 0);
        EXPECT_EQ(all.front, all.back);
        EXPECT_EQ(static_cast<std::size_t>(all.front + all.back + all.walls), solid->faceCount());
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.shape)) + " at " + std::to_string(deviation));
            const MeshPtr mesh = text("Bag", deviation, c.shape);
            const Sides got = sides(*mesh);
            EXPECT_EQ(got.front, c.front ? all.front : 0);
            EXPECT_EQ(got.back, c.back ? all.back : 0);
            EXPECT_EQ(got.walls, c.walls ? all.walls : 0);
            EXPECT_EQ(static_cast<std::size_t>(got.front + got.back + got.walls), mesh->faceCount());
            EXPECT_NEAR(got.frontArea, c.front ? all.frontArea : 0, 1e-6);
            EXPECT_EQ(facesAgainstNormals(*mesh), 0);
            EXPECT_EQ(mesh->boundingBox().max.y, solid->boundingBox().max.y);
        }
    }
    // Even at the coarsest level a small part of a glyph stays: the dot of the "i".
    EXPECT_GT(text("i", 0.16f, TextShape::Faces)->boundingBox().max.y,
              text(QString(QChar(0x131)), 0.16f, TextShape::Faces)->boundingBox().max.y + 0.1f);
    // Glyphs come from a cache keyed by font, deviation, extrusion and shape, and give identical meshes.
    const MeshPtr first = text("Bag", 0.01f), second = text("Bag", 0.01f);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->vertices(), second->vertices());
    EXPECT_EQ(first->indices(), second->indices());
    EXPECT_NEAR(CreateTextMesh(labelFont(), "Bag", 0.01f, 0.3f)->boundingBox().max.z, 0.3f, 1e-6f);
    QFont bold = labelFont();
    bold.setBold(true);
    EXPECT_GT(sides(*text("Bag", 0.01f, TextShape::Solid, nullptr, bold)).frontArea,
              sides(*first).frontArea * 1.1);
}

// Seen from one place, a label leaves out the walls that face away from the eye wherever they stand,
// and only those: every wall that faces the eye stays, and so do the faces.
TEST(TextMesh, WallsLeftOutForAnEyeAreThoseFacingAwayFromIt) {
    auto facing = [](const Mesh& mesh, const Vector3& eye) {
        long count = 0;
        const auto& idx = mesh.indices();
        for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
            const Vector3 n = mesh.normal(idx[t]), a = mesh.position(idx[t]);
            count += n.z == 0 && n.x * (eye.x - a.x) + n.y * (eye.y - a.y) > 0;
        }
        return count;
    };
    const MeshPtr whole = text("Wag.", 0.01f, TextShape::SolidFront);
    const Sides all = sides(*whole);
    // Eyes all round the text, near and far, and one in front of its middle, from where every
    // way a wall can face is seen.
    std::vector<Vector3> eyes{{1.2f, 0.35f, -3}};
    for (int i = 0; i < 90; ++i)
        eyes.push_back({1.2f + (2.0f + i % 3 * 3) * std::cos(i * 0.0698f),
                        0.35f + (2.0f + i % 3 * 3) * std::sin(i * 0.0698f), -2});
    int leftOut = 0;
    for (const Vector3& eye : eyes) {
        SCOPED_TRACE(std::to_string(eye.x) + ", " + std::to_string(eye.y));
        TextWalls walls{eye};
        const MeshPtr mesh =
            CreateTextMesh(labelFont(), "Wag.", 0.01f, kExtrusion, nullptr, TextShape::SolidFront, &walls);
        EXPECT_EQ(walls.leftOut, WallSectorsFacingAway(whole->boundingBox(), eye));
        const Sides got = sides(*mesh);
        EXPECT_EQ(got.front, all.front);
        EXPECT_NEAR(got.frontArea, all.frontArea, 1e-6);
        EXPECT_EQ(facing(*mesh, eye), facing(*whole, eye));
        EXPECT_EQ(got.walls < all.walls, walls.leftOut != 0);
        leftOut += got.walls < all.walls;
        if (eye.x == eyes[0].x && eye.y == eyes[0].y) {
            EXPECT_EQ(walls.leftOut, 0);
        }
        EXPECT_EQ(facesAgainstNormals(*mesh), 0);
    }
    EXPECT_GT(leftOut, 60);
}
