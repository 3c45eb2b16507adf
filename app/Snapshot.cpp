#include "Snapshot.h"

#include "GraphForm.h"
#include "colours/ExtColours.h"
#include "core/Settings.h"
#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"
#include "folders/FolderReader.h"
#include "graph/BarFrame.h"
#include "graph/Camera.h"
#include "graph/FolderEntries.h"
#include "graph/GraphModel.h"
#include "graph/LoadGrid.h"
#include "graph/TreeScene.h"
#include "scene/D3DInit.h"
#include "scene/D3DUtil.h"
#include "treescan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <array>
#include <vector>

namespace ketra {

namespace {

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Waits until the device's queued drawing is done, so that the time of a frame is its whole cost.
void finishDrawing() {
    if (!g_device || !g_device->context())
        return;
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (current == g_device->context())
        current->functions()->glFinish();
}

} // namespace

bool WantsSnapshot(const QStringList& args) {
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (a == QLatin1String("--snapshot") || a.startsWith(QLatin1String("--snapshot=")))
            return true;
    }
    return false;
}

std::optional<SnapshotRequest> ParseSnapshotArguments(const QStringList& args, QString& error) {
    SnapshotRequest r;
    bool haveOutput = false, haveFolder = false, optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](const QString& option) -> std::optional<QString> {
            if (a.startsWith(option + QLatin1Char('=')))
                return a.mid(option.size() + 1);
            if (i + 1 < args.size())
                return args.at(++i);
            error = QStringLiteral("option '%1' needs a value").arg(option);
            return std::nullopt;
        };
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded &&
                   (a == QLatin1String("--snapshot") || a.startsWith(QLatin1String("--snapshot=")))) {
            const auto v = value(QStringLiteral("--snapshot"));
            if (!v)
                return std::nullopt;
            r.output = *v;
            haveOutput = true;
        } else if (!optionsEnded &&
                   (a == QLatin1String("--size") || a.startsWith(QLatin1String("--size=")))) {
            const auto v = value(QStringLiteral("--size"));
            if (!v)
                return std::nullopt;
            const QStringList wh = v->toLower().split(QLatin1Char('x'));
            bool okW = false, okH = false;
            const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
            const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 16 || h < 16 || w > 8192 || h > 8192) {
                error = QStringLiteral("--size wants WIDTHxHEIGHT in pixels (16 to 8192), not '%1'").arg(*v);
                return std::nullopt;
            }
            r.width = w;
            r.height = h;
        } else if (!optionsEnded &&
                   (a == QLatin1String("--data") || a.startsWith(QLatin1String("--data=")))) {
            const auto v = value(QStringLiteral("--data"));
            if (!v)
                return std::nullopt;
            if (v->isEmpty()) {
                error = QStringLiteral("--data needs the name of a comma-delimited file");
                return std::nullopt;
            }
            r.dataFile = *v;
        } else if (!optionsEnded && a == QLatin1String("--timings")) {
            r.timings = true;
        } else if (!optionsEnded &&
                   (a == QLatin1String("--view") || a.startsWith(QLatin1String("--view=")))) {
            const auto v = value(QStringLiteral("--view"));
            if (!v)
                return std::nullopt;
            if (*v != QLatin1String("3d") && *v != QLatin1String("tree") && *v != QLatin1String("details")) {
                error = QStringLiteral("--view wants 3d, tree or details, not '%1'").arg(*v);
                return std::nullopt;
            }
            r.tree = *v == QLatin1String("tree");
            r.details = *v == QLatin1String("details");
        } else if (!optionsEnded && a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            error = QStringLiteral("unknown option '%1'").arg(a);
            return std::nullopt;
        } else {
            if (haveFolder) {
                error = QStringLiteral("only one FOLDER may be given");
                return std::nullopt;
            }
            r.folder = a;
            haveFolder = true;
        }
    }
    if (!haveOutput || r.output.isEmpty()) {
        error = QStringLiteral("--snapshot needs the name of the PNG file to write");
        return std::nullopt;
    }
    if ((r.details || r.tree) && !r.dataFile.isEmpty()) {
        error = QStringLiteral("--data is plotted in the 3D view, not with --view %1")
                    .arg(r.details ? QStringLiteral("details") : QStringLiteral("tree"));
        return std::nullopt;
    }
    return r;
}

int RunSnapshot(const SnapshotRequest& request, std::FILE* out, std::FILE* err) {
    auto fail = [err](const QString& message) {
        std::fprintf(err, "ketra: %s\n", qPrintable(message));
        return 1;
    };

    const QByteArray programFolder = GraphForm::programFolder();
    const QString folder = QDir::cleanPath(
        QFileInfo(request.folder.isEmpty() ? QFile::decodeName(programFolder) : request.folder)
            .absoluteFilePath());
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir())
        return fail(QStringLiteral("\"%1\" is not a folder").arg(folder));
    if (!folderInfo.isReadable() || !folderInfo.isExecutable())
        return fail(QStringLiteral("the folder \"%1\" can't be read").arg(folder));
    const QString output = QFileInfo(request.output).absoluteFilePath();
    if (!QFileInfo(QFileInfo(output).absolutePath()).isWritable())
        return fail(QStringLiteral("\"%1\" can't be written (its folder is not writable)").arg(output));

    if (request.details) {
        GraphForm window;
        const QImage image = window.DetailsSnapshot(
            QFile::encodeName(folder), QSize(request.width, request.height), request.timings ? out : nullptr);
        QImageWriter writer(output, "png");
        if (!writer.write(image))
            return fail(QStringLiteral("\"%1\" can't be written: %2").arg(output, writer.errorString()));
        return 0;
    }

    // The options a fresh window starts with, in the view asked for.
    Options options = Settings().read(programFolder).options;
    options.m_treeview = request.tree;
    LoadExtColours();
    SetMediaFolder(GraphForm::mediaFolder(programFolder));
    IncludeFolderSize(options.m_includeFolders ? 1 : 0);
    IncludeHidden(options.m_showHidden ? 1 : 0);
    IncludeSystem(options.m_showSystem ? 1 : 0);
    SortBy(TREESCAN_SORT_NAME, 1);

    // The device, before anything is timed.
    QString deviceMessage;
    bool deviceEnded = false;
    SetDeviceMessageHook([&](DeviceMessage, const QString& text) { deviceMessage = text; });
    SetDeviceExitHook([&](int) { deviceEnded = true; });
    const bool ready = InitOffscreenDevice3D(request.width, request.height);
    SetDeviceMessageHook(nullptr);
    SetDeviceExitHook(nullptr);
    if (!ready || deviceEnded || !g_device || !g_device->hasContext()) {
        ReleaseDevice3D();
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            return fail(
                QStringLiteral("no OpenGL 3.3 device could be made for the snapshot: without a display, "
                               "Qt's off-screen platform offers no OpenGL here. Run it with an X "
                               "display, e.g. xvfb-run -a ketra --snapshot ..."));
        return fail(
            QStringLiteral("no OpenGL 3.3 device could be made for the snapshot%1")
                .arg(deviceMessage.isEmpty() ? QString() : QStringLiteral(": %1").arg(deviceMessage)));
    }

    GraphModel model;
    OverlayState overlay;
    QElapsedTimer t;
    t.start();
    if (!request.dataFile.isEmpty()) {
        DataTable table;
        const DataTableResult read =
            ReadDataTable(QFile::encodeName(QFileInfo(request.dataFile).absoluteFilePath()), table);
        if (!read.ok()) {
            ReleaseDevice3D();
            return fail(read.line > 0 ? QStringLiteral("%1 (line %2)").arg(read.message()).arg(read.line)
                                      : read.message());
        }
        AddDataTableEntries(model, table, LoadDataTableTextures(table, g_mediaFolder), options.m_logscale);
    } else if (!ReadFolderEntries(QFile::encodeName(folder), options, model, overlay.statistics)) {
        ReleaseDevice3D();
        return fail(QStringLiteral("the folder \"%1\" can't be read").arg(folder));
    }
    const double loadMs = msSince(t);

    t.restart();
    model.ScaleEntries(options.m_logscale);
    const double scaleMs = msSince(t);

    t.restart();
    BarScene scene;
    if (options.m_treeview) {
        scene = BuildTreeScene(model, options, WindowFont());
    } else {
        platform::MeshPtr baseMesh = platform::CreateBox(14, 14, 0.1f);
        if (model.m_basePlate)
            baseMesh = platform::CreateBox(model.m_basePlate->width, model.m_basePlate->height,
                                           model.m_basePlate->depth);
        scene = BuildBarScene(model, baseMesh, options, WindowFont());
    }
    const double buildMs = msSince(t);

    // The window's first frame: the default scene, then the camera's first step (at rest, no
    // auto-rotation) sets the view.
    SetupSceneDefaults();
    Camera camera;
    camera.m_viewMatrix = g_device->getTransform(platform::TransformType::View);
    const FrameMoveResult first = camera.FrameMove(0, UsingReferenceRasterizer());
    g_device->setTransform(platform::TransformType::View, first.viewMatrix);
    platform::Font popupFont(g_device, WindowFont());
    platform::Font statsFont(g_device, StatusFont());

    auto frame = [&] {
        RenderBarFrame(scene, options, overlay, &popupFont, &statsFont);
        g_device->present();
        finishDrawing();
    };
    t.restart();
    frame();
    const double firstFrameMs = msSince(t);
    const QImage image = g_device->grabFramebuffer();

    double frameMs = 0;
    if (request.timings) {
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            t.restart();
            frame();
            times.push_back(msSince(t));
        }
        std::sort(times.begin(), times.end());
        frameMs = (times[9] + times[10]) / 2;
    }

    ReleaseDevice3D();
    if (image.isNull())
        return fail(QStringLiteral("the picture could not be read back from the OpenGL device"));
    QImageWriter writer(output, "png");
    if (!writer.write(image))
        return fail(QStringLiteral("\"%1\" can't be written: %2").arg(output, writer.errorString()));

    if (request.timings) {
        std::fprintf(out, "load_ms %.1f\nscale_ms %.1f\nbuild_ms %.1f\nfirst_frame_ms %.1f\nframe_ms %.1f\n",
                     loadMs, scaleMs, buildMs, firstFrameMs, frameMs);
    }
    return 0;
}

} // namespace ketra
