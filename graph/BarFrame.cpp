#include "graph/BarFrame.h"

#include "graph/Changes.h"
#include "graph/LabelMaker.h"
#include "graph/OverlayText.h"
#include "scene/D3DInit.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"

#include <QFontDatabase>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ketra {

platform::Material HighlightMaterial(std::uint32_t ownColour) {
    constexpr platform::ColorValue red{1, 0, 0, 1}, lightRed{1, 0.45f, 0.45f, 1};
    const platform::ColorValue own = LongToColorValue(static_cast<std::int32_t>(ownColour));
    auto distance = [&own](const platform::ColorValue& c) {
        return std::hypot(c.r - own.r, c.g - own.g, c.b - own.b);
    };
    platform::Material m;
    m.diffuse = m.ambient = red;
    if (distance(red) < kNearRed && distance(lightRed) > distance(red)) {
        m.diffuse = m.ambient = lightRed;
        m.emissive = platform::ColorValue{0.3f, 0.05f, 0.05f, 1};
    }
    return m;
}

namespace {

void drawLines(platform::Font& font, const QStringList& lines, int left, std::uint32_t argb) {
    int top = kOverlayTop;
    for (const QString& line : lines) {
        font.drawText(line, left, top, argb);
        top += kOverlayLineStep;
    }
}

// The view frustum's six planes (inside: a x + b y + c z + d >= 0, (a, b, c) of unit length) for
// row vectors and depth 0 to 1.
struct Frustum {
    std::array<platform::Vector4, 6> planes;

    explicit Frustum(const platform::Matrix& viewProjection) {
        const platform::Matrix& m = viewProjection;
        auto column = [&m](int c) { return platform::Vector4{m(0, c), m(1, c), m(2, c), m(3, c)}; };
        const platform::Vector4 c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
        auto plus = [](const platform::Vector4& a, const platform::Vector4& b, float sign) {
            return platform::Vector4{a.x + sign * b.x, a.y + sign * b.y, a.z + sign * b.z, a.w + sign * b.w};
        };
        planes = {plus(c3, c0, 1), plus(c3, c0, -1), plus(c3, c1, 1), plus(c3, c1, -1), c2, plus(c3, c2, -1)};
        for (platform::Vector4& p : planes) {
            const float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
            if (len > 0)
                p = platform::Vector4{p.x / len, p.y / len, p.z / len, p.w / len};
        }
    }

    bool outside(const platform::Vector3& centre, float radius) const {
        for (const platform::Vector4& p : planes)
            if (p.x * centre.x + p.y * centre.y + p.z * centre.z + p.w < -radius)
                return true;
        return false;
    }
};

// Whether a box of frame space lies wholly outside the frustum, with the frame's world matrix.
bool boxOutside(const platform::BoundingBox& box, const platform::Matrix& world, float scale,
                const Frustum& frustum) {
    const platform::Vector3 centre{(box.min.x + box.max.x) / 2, (box.min.y + box.max.y) / 2,
                                   (box.min.z + box.max.z) / 2};
    const float dx = box.max.x - box.min.x, dy = box.max.y - box.min.y, dz = box.max.z - box.min.z;
    const float radius = std::sqrt(dx * dx + dy * dy + dz * dz) / 2 * scale;
    return frustum.outside(platform::Vec3TransformCoord(centre, world), radius);
}

// The longest axis of a world matrix: it bounds how much the matrix stretches a radius.
float longestAxis(const platform::Matrix& world) {
    float scale = 0;
    for (int r = 0; r < 3; ++r)
        scale = std::max(scale, std::sqrt(world(r, 0) * world(r, 0) + world(r, 1) * world(r, 1) +
                                          world(r, 2) * world(r, 2)));
    return scale;
}

// Whether everything `frame` shows lies wholly outside the frustum (with the frame's world matrix
// of the last UpdateFrames): its meshes, or the text its label will show. A frame with neither is
// never left out.
bool frameOutside(const CD3DFrame& frame, const Frustum& frustum, const LabelMaker* labels) {
    const platform::Matrix& world = frame.GetUpdatedMatrix();
    const float scale = longestAxis(world);
    const std::span<const CD3DMeshPtr> meshes = frame.ChildMeshes();
    if (meshes.empty()) {
        platform::BoundingBox box;
        return labels && labels->pendingBounds(&frame, box) && boxOutside(box, world, scale, frustum);
    }
    for (const CD3DMeshPtr& mesh : meshes) {
        if (!mesh || !mesh->mesh)
            continue;
        if (!boxOutside(mesh->mesh->boundingBox(), world, scale, frustum)) // the box is cached by the mesh
            return false;
    }
    return true;
}

// Whether the eye at `eye` (world space) lies on the front side of the plane z = 0 of a frame with
// the world matrix `world`: the side towards -Z, from which a label's text reads.
bool seenFromFront(const platform::Matrix& world, const platform::Vector3& eye) {
    const platform::Vector3 x{world(0, 0), world(0, 1), world(0, 2)},
        y{world(1, 0), world(1, 1), world(1, 2)};
    const platform::Vector3 z{world(2, 0), world(2, 1), world(2, 2)};
    const platform::Vector3 normal{x.y * y.z - x.z * y.y, x.z * y.x - x.x * y.z, x.x * y.y - x.y * y.x};
    const platform::Vector3 toEye{eye.x - world(3, 0), eye.y - world(3, 1), eye.z - world(3, 2)};
    const float eyeSide = toEye.x * normal.x + toEye.y * normal.y + toEye.z * normal.z;
    const float plusZ = z.x * normal.x + z.y * normal.y + z.z * normal.z;
    return eyeSide * plusZ <= 0;
}

// Whether a label whose em is `em` pixels tall is too small to be read. The least readable size is
// one of the screen's, so it grows with its pixel ratio.
bool tooSmallToRead(const BarScene& scene, float em) {
    return scene.minLabelPixels > 0 && em < scene.minLabelPixels * static_cast<float>(g_device->pixelRatio());
}

// Leaves the bars and labels that can't be seen out of the drawing, and the labels too small to be
// read: they are disabled for the frame and enabled again when the guard goes. The labels that
// stay get the mesh their size on screen calls for.
class OutOfViewFrames {
public:
    OutOfViewFrames(const BarScene& scene, const Frustum& frustum, const platform::Matrix& viewProjection,
                    const platform::Viewport& vp, const platform::Vector3& eye) {
        LabelMaker* labels = scene.labels.get();
        for (const CD3DFramePtr& child : scene.bars->ChildFrames()) {
            if (!child || !child->Enabled)
                continue;
            const bool label = labels && labels->isLabel(child.get());
            bool leftOut = frameOutside(*child, frustum, labels);
            float em = 0;
            if (label && !leftOut) {
                em = LabelEmPixels(child->GetUpdatedMatrix(), viewProjection, vp);
                leftOut = tooSmallToRead(scene, em);
            }
            if (leftOut) {
                child->Enabled = false;
                m_frames.push_back(child.get());
            } else if (label) {
                labels->fit(child.get(), em, seenFromFront(child->GetUpdatedMatrix(), eye), &eye);
            }
        }
        if (labels)
            frameLabelsInView(*labels, scene, frustum, viewProjection, vp, eye);
    }
    ~OutOfViewFrames() {
        for (CD3DFrame* f : m_frames)
            f->Enabled = true;
    }
    OutOfViewFrames(const OutOfViewFrames&) = delete;
    OutOfViewFrames& operator=(const OutOfViewFrames&) = delete;

private:
    // The labels still without a frame that come into view big enough to read get their frame
    // and their mesh (the frames come after the bars, and from then on are among the children
    // walked above).
    static void frameLabelsInView(LabelMaker& labels, const BarScene& scene, const Frustum& frustum,
                                  const platform::Matrix& viewProjection, const platform::Viewport& vp,
                                  const platform::Vector3& eye) {
        const platform::Matrix parentWorld = scene.bars->GetUpdatedMatrix();
        platform::BoundingBox box;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (labels.hasFrame(i))
                continue;
            const platform::Matrix world = labels.worldOf(i, parentWorld);
            labels.textBounds(i, box);
            if (boxOutside(box, world, longestAxis(world), frustum))
                continue;
            const float em = LabelEmPixels(world, viewProjection, vp);
            if (tooSmallToRead(scene, em))
                continue;
            if (CD3DFrame* frame = labels.frameOf(i, parentWorld))
                labels.fit(frame, em, seenFromFront(frame->GetUpdatedMatrix(), eye), &eye);
        }
    }

    std::vector<CD3DFrame*> m_frames;
};

} // namespace

QFont StatusFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    return f;
}

void RenderBarFrame(const BarScene& scene, const Options& options, const OverlayState& overlay,
                    platform::Font* popupFont, platform::Font* statsFont) {
    const bool treeview = options.m_treeview;
    if (!scene.root || !g_device)
        return;
    scene.root->UpdateFrames(); // hover and picking see current world matrices
    ClearView(kBackgroundColour);
    g_device->setRenderState(platform::rs::Ambient, kAmbientLight);
    g_device->beginScene();

    scene.bars->Enabled = true;
    if (!treeview)
        scene.base->Enabled = false;
    {
        // Only what the camera can see is drawn; the picture is the same.
        const platform::Matrix viewProjection =
            platform::MatrixMultiply(g_device->getTransform(platform::TransformType::View),
                                     g_device->getTransform(platform::TransformType::Projection));
        const Frustum frustum(viewProjection);
        platform::Vector3 eye;
        if (const auto inverse =
                platform::MatrixInverse(g_device->getTransform(platform::TransformType::View)))
            eye = {(*inverse)(3, 0), (*inverse)(3, 1), (*inverse)(3, 2)};
        const OutOfViewFrames culled(scene, frustum, viewProjection, g_device->getViewport(), eye);
        if (scene.labels)
            for (const platform::MeshPtr& mesh : scene.labels->takeNewMeshes())
                g_device->expectUpload(*mesh);
        scene.root->Render(g_device);
    }
    if (options.m_bShowBase && !treeview) {
        // The plate last, so that its translucent grey blends over whatever lies below it.
        scene.bars->Enabled = false;
        scene.base->Enabled = true;
        scene.root->Render(g_device);
    }

    if (overlay.hoverShown && options.m_showPopup && popupFont)
        popupFont->drawText(overlay.hoverText, overlay.hoverPosition.x(), overlay.hoverPosition.y(),
                            kHoverTextColour);
    if (options.m_showStats && statsFont) {
        const FolderStatistics& s = overlay.statistics;
        drawLines(*statsFont,
                  StatisticsLines(s.totalBytes, s.fileCount, s.folderCount, options.m_includeFolders,
                                  s.totalFileCount, s.totalFolderCount),
                  kStatisticsLeft, kOverlayTextColour);
    }
    if (options.m_bShowShortcuts && statsFont) {
        // 100 pixels from the right edge, or further left where the font's lines would not fit.
        const QStringList lines = KeyHelpLines(options.m_includeFolders);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, statsFont->textWidth(line));
        const int width = static_cast<int>(std::lround(g_device->targetWidth() / g_device->pixelRatio()));
        const int left = width - std::max(kKeyHelpFromRight, widest + kKeyHelpMargin);
        drawLines(*statsFont, lines, left, kOverlayTextColour);
    }
    if (options.m_showChanges && statsFont && !treeview)
        DrawChangeLegend(*statsFont, overlay, options);
    g_device->endScene();
}

void DrawChangeLegend(platform::Font& font, const OverlayState& overlay, const Options& options) {
    const std::vector<LegendLine> lines =
        ChangeLegend(overlay.changes, options.m_includeFolders, QDate::currentDate());
    const QString swatch = QStringLiteral("\u25A0 ");
    const int indent = font.textWidth(swatch);
    int top = g_device->targetHeight() - kOverlayTop - static_cast<int>(lines.size()) * kOverlayLineStep;
    for (const LegendLine& line : lines) {
        int left = kStatisticsLeft;
        if (line.colour != 0) {
            font.drawText(swatch, left, top, line.colour);
            left += indent;
        }
        font.drawText(line.text, left, top, kOverlayTextColour);
        top += kOverlayLineStep;
    }
}

} // namespace ketra
