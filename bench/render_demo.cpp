// Renders a small bar-graph scene of frames and meshes off-screen and writes it to a PNG, so that a
// person can look at what the 3D layer draws. With --bench it instead times frames of many meshes.
//
//   ketra_render_demo [out.png] [width height]
//   ketra_render_demo --bench [meshes] [frames]
//
// Needs an OpenGL 3.3 context: run under Xvfb (xvfb-run -a ketra_render_demo demo.png).
#include "platform/Font.h"
#include "platform/GlContext.h"
#include "platform/Math.h"
#include "platform/Mesh.h"
#include "scene/D3DFrame.h"
#include "scene/D3DInit.h"
#include "scene/D3DMesh.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace platform;

namespace {

constexpr std::uint32_t kBackground = 0xFF80B0E0;

Material colourMaterial(std::uint32_t argb) {
    Material m;
    m.diffuse = LongToColorValue(static_cast<std::int32_t>(argb));
    m.ambient = m.diffuse;
    return m;
}

struct Scene {
    CD3DFramePtr root, bars, base;
};

// A 5 x 5 grid of bars (boxes for files, upright cylinders for folders) with labels, on a
// translucent base plate, turned so the camera looks at it from above.
Scene buildScene() {
    Scene s;
    s.root = CreateChildFrame(nullptr);
    s.bars = CreateChildFrame(s.root);
    s.base = CreateChildFrame(s.root);
    const std::uint32_t colours[] = {0xFFE04040, 0xFF40A040, 0xFF4060E0, 0xFFE0C040, 0xFFA040C0, 0xFF40C0C0};
    QFont labelFont(QStringLiteral("Liberation Sans"));
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 5; ++col) {
            const int i = row * 5 + col;
            const float height = 0.5f + 4.5f * std::fabs(std::sin(i * 1.7f));
            const float x = -5.0f + col * 2.5f, z = -5.0f + row * 2.5f;
            CD3DFramePtr bar = CreateChildFrame(s.bars);
            bar->ObjectName = QString::number(i + 1);
            CD3DMeshPtr mesh;
            if (i % 4 == 3) {
                // A folder: a cylinder along Z, stood up.
                mesh = bar->AddD3DXMesh(CreateCylinder(0.5f, 0.5f, height, 16, 1));
                bar->SetOrientation(QuaternionFromAxisDegrees(1, 0, 0, 90));
            } else {
                mesh = bar->AddD3DXMesh(CreateBox(1, height, 1));
            }
            bar->SetPosition(vec3(x, height / 2, z));
            mesh->SetMaterialOverride(colourMaterial(colours[i % 6]));
            if (row == 0) {
                CD3DFramePtr label = CreateChildFrame(s.bars);
                label->SetPosition(vec3(x - 0.7f, height + 0.1f, z));
                label->AddScale(0, 0.4f, 0.8f, 1.0f);
                CD3DMeshPtr text = label->AddD3DXMesh(
                    CreateTextMesh(labelFont, QStringLiteral("file%1").arg(i + 1), 0.001f, 0.15f));
                text->SetMaterialOverride(colourMaterial(0xFF202020));
            }
        }
    CD3DMeshPtr plate = s.base->AddD3DXMesh(CreateBox(14, 14, 0.1f));
    s.base->SetOrientation(QuaternionFromAxisDegrees(1, 0, 0, 90));
    s.base->SetPosition(vec3(0, -0.05f, 0));
    plate->SetMaterialOverride(colourMaterial(0x6F4080C0));
    s.root->AddRotation(1, 0, 1, 0, -0.4f);
    s.root->AddRotation(1, 1, 0, 0, -0.6f);
    s.root->AddTranslation(1, 0, -1, 0);
    return s;
}

// One frame as the render loop draws it: the bars, then the base plate over them, then the overlay.
void drawFrame(const Scene& s, Font* font) {
    s.root->UpdateFrames();
    ClearView(kBackground);
    g_device->setRenderState(rs::Ambient, 0xFFC0C0C0);
    g_device->beginScene();
    s.bars->Enabled = true;
    s.base->Enabled = false;
    s.root->Render(g_device);
    s.bars->Enabled = false;
    s.base->Enabled = true;
    s.root->Render(g_device);
    s.bars->Enabled = true;
    if (font) {
        const char* lines[] = {"Size: 1,234,567 bytes", "Files: 19", "Folders: 6"};
        int top = 5;
        for (const char* line : lines) {
            font->drawText(QString::fromLatin1(line), 5, top, 0xFF444444);
            top += 11;
        }
    }
    g_device->endScene();
    PresentView(nullptr);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int bench(int meshes, int frames) {
    const int width = 800, height = 600;
    if (!InitOffscreenDevice3D(width, height))
        return 1;
    SetupSceneDefaults();
    std::printf("renderer: %s\n", qPrintable(ProbeOpenGL().renderer));
    // meshes boxes, each in a frame of its own with its own colour, in a square grid.
    CD3DFramePtr root = CreateChildFrame(nullptr);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(meshes))));
    const float step = 14.0f / static_cast<float>(side);
    std::vector<MeshPtr> raw;
    for (int i = 0; i < meshes; ++i) {
        CD3DFramePtr f = CreateChildFrame(root);
        MeshPtr box = CreateBox(step * 0.6f, 0.5f + (i % 7) * 0.3f, step * 0.6f);
        raw.push_back(box);
        CD3DMeshPtr m = f->AddD3DXMesh(box);
        m->SetMaterialOverride(
            colourMaterial(0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8)));
        f->SetPosition(vec3(-7 + (i % side) * step, 0, -7 + (i / side) * step));
    }
    root->AddRotation(1, 1, 0, 0, -0.6f);
    const Material material = colourMaterial(0xFF808080);
    const Matrix identity = Matrix::identity();

    // Each kind of frame `frames` times, each waited for to the end (glFinish); reading the picture
    // back (with its copies in memory) is timed apart.
    // Wall time and the process's CPU time (all threads, Mesa's included) are reported: on a busy
    // machine the CPU time is the steadier figure.
    auto timeFrames = [&](const char* what, const std::function<void()>& draw, bool readBack = false) {
        std::vector<double> wall, cpu;
        for (int i = 0; i < frames + 1; ++i) {
            const auto w0 = std::chrono::steady_clock::now();
            const std::clock_t c0 = std::clock();
            ClearView(kBackground);
            g_device->beginScene();
            draw();
            g_device->endScene();
            if (readBack)
                (void)g_device->grabFramebuffer();
            else
                g_device->finish();
            if (i == 0)
                continue; // the first frame uploads the meshes
            wall.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count());
            cpu.push_back(1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
        }
        std::printf("%-40s median %8.2f ms wall, %8.2f ms CPU\n", what, median(wall), median(cpu));
    };
    std::printf("%d meshes, %d frames, %dx%d\n", meshes, frames, width, height);
    timeFrames("frame hierarchy (two passes)", [&] {
        root->UpdateFrames();
        root->Render(g_device);
    });
    timeFrames("direct draws, world + material each", [&] {
        for (int k = 0; k < meshes; ++k) {
            g_device->setTransform(TransformType::World, MatrixTranslation(-7 + (k % side) * step, 0, 0));
            g_device->setMaterial(k % 2 ? material : colourMaterial(0xFF804020));
            g_device->drawSubset(*raw[static_cast<std::size_t>(k)], 0);
        }
    });
    timeFrames("direct draws, no state change", [&] {
        g_device->setTransform(TransformType::World, identity);
        for (int k = 0; k < meshes; ++k)
            g_device->drawSubset(*raw[static_cast<std::size_t>(k)], 0);
    });
    QFont statsFont(QStringLiteral("Liberation Sans"));
    statsFont.setPixelSize(11);
    Font font(g_device, statsFont);
    timeFrames("overlay only: 17 lines of text", [&] {
        for (int line = 0; line < 17; ++line)
            font.drawText(QStringLiteral("Overlay line %1: 1,234,567 bytes").arg(line), 5, 5 + 11 * line,
                          0xFF444444);
    });
    timeFrames("clear only", [] {});
    timeFrames(
        "clear + read back", [] {}, true);
    timeFrames("one mesh drawn N times, no state change", [&] {
        g_device->setTransform(TransformType::World, identity);
        for (int k = 0; k < meshes; ++k)
            g_device->drawSubset(*raw[0], 0);
    });
    ReleaseDevice3D();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (!args.isEmpty() && args.first() == QLatin1String("--bench")) {
        const int meshes = args.size() > 1 ? args[1].toInt() : 10000;
        const int frames = args.size() > 2 ? args[2].toInt() : 30;
        return bench(std::max(1, meshes), std::max(1, frames));
    }
    const QString out = args.isEmpty() ? QStringLiteral("ketra_demo.png") : args[0];
    const int width = args.size() > 2 ? args[1].toInt() : 800;
    const int height = args.size() > 2 ? args[2].toInt() : 600;
    if (!InitOffscreenDevice3D(width, height))
        return 1;
    SetupSceneDefaults();
    const Scene scene = buildScene();
    QFont statsFont(QStringLiteral("Liberation Sans"));
    statsFont.setPixelSize(11);
    Font font(g_device, statsFont);
    drawFrame(scene, &font);
    const QImage image = g_device->grabFramebuffer();
    if (image.isNull() || !image.save(out)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("wrote %s (%dx%d, %s)\n", qPrintable(out), image.width(), image.height(),
                qPrintable(ProbeOpenGL().renderer));
    ReleaseDevice3D();
    return 0;
}
