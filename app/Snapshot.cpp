#include "Snapshot.h"

#include "GraphForm.h"
#include "colours/ExtColours.h"
#include "core/Settings.h"
#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"
#include "folders/FolderReader.h"
#include "folders/ItemRecord.h"
#include "folders/Paths.h"
#include "folders/ScanOptions.h"
#include "graph/BarFrame.h"
#include "graph/BarScene.h"
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

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <future>
#include <vector>

namespace ketra {

namespace {

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// One step of the snapshot as --timings reports it: the time it took, the processor time of the
// whole process meanwhile (the software rasteriser's threads included; on a busy machine it
// varies far less than the time) and the pages the kernel had to give it (minor page faults).
class Phase {
public:
    Phase() { restart(); }
    void restart() {
        m_wall.start();
        m_start = usage();
    }
    struct Figures {
        double ms = 0, cpuMs = 0;
        long faults = 0;
    };
    Figures figures() const {
        const Usage now = usage();
        return {msSince(m_wall), now.cpuMs - m_start.cpuMs, now.faults - m_start.faults};
    }

private:
    struct Usage {
        double cpuMs = 0;
        long faults = 0;
    };
    static Usage usage() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
        return {ms(u.ru_utime) + ms(u.ru_stime), u.ru_minflt};
    }
    QElapsedTimer m_wall;
    Usage m_start;
};

// Waits until the device's queued drawing is done, so that the time of a frame is its whole cost.
void finishDrawing() {
    if (!g_device || !g_device->context())
        return;
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (current == g_device->context())
        current->functions()->glFinish();
}

// The folder's items into `model`, as the window's folder load makes them. False when the folder
// can't be read. `read` gets the figures of reading the folder (listing and measuring it), without
// making the entries.
bool loadFolder(const QByteArray& folder, const Options& options, GraphModel& model, FolderStatistics& stats,
                Phase::Figures& read) {
    const Phase reading;
    return ReadFolderEntries(folder, options, model, stats, [&](std::int32_t n) {
        read = reading.figures();
        KeepSceneHeapRoom(n);
    });
}

// Draws a scene of a file and a folder once, with the overlay, and forgets it: the shaders are then
// compiled for the states a bar scene draws with, and the render target is touched, as the window
// has done on its first frames before the user opens a folder. It runs while the folder is read.
void warmUpDrawing(const Options& options) {
    GraphModel model;
    {
        FolderEntryBuilder entries(model, g_extColours, 2, options.m_includeFolders, options.m_logscale, 2);
        entries.addItem("a.txt", 0, 1000, QString());
        entries.addItem("b", kFolderAttribute, 4000, QString());
    }
    model.ScaleEntries(options.m_logscale);
    const BarScene scene = BuildBarScene(model, platform::CreateBox(14, 14, 0.1f), options, WindowFont());
    SetupSceneDefaults();
    OverlayState overlay;
    overlay.statistics.fileCount = 1;
    overlay.statistics.folderCount = 1;
    platform::Font popupFont(g_device, WindowFont());
    platform::Font statsFont(g_device, StatusFont());
    Options drawn = options;
    drawn.m_treeview = false;
    RenderBarFrame(scene, drawn, overlay, &popupFont, &statsFont);
    finishDrawing();
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
        // The same for an option naming a file, which can't be empty.
        auto fileValue = [&](const QString& option, const QString& what) -> std::optional<QString> {
            auto v = value(option);
            if (v && v->isEmpty()) {
                error = QStringLiteral("%1 needs the name of %2").arg(option, what);
                return std::nullopt;
            }
            return v;
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
            const auto v = fileValue(QStringLiteral("--data"), QStringLiteral("a comma-delimited file"));
            if (!v)
                return std::nullopt;
            r.dataFile = *v;
        } else if (!optionsEnded &&
                   (a == QLatin1String("--import") || a.startsWith(QLatin1String("--import=")))) {
            const auto v = fileValue(QStringLiteral("--import"), QStringLiteral("a scan file"));
            if (!v)
                return std::nullopt;
            r.scanFile = *v;
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
    if (!r.scanFile.isEmpty() && !r.dataFile.isEmpty()) {
        error = QStringLiteral("--import and --data both take the folder's place: give one");
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
    // A scan stands in for the disk: its folders are another machine's, not checked here.
    QElapsedTimer importing;
    importing.start();
    QByteArray scanFolder;
    if (!request.scanFile.isEmpty()) {
        if (OpenScan(QFile::encodeName(QFileInfo(request.scanFile).absoluteFilePath()).constData()) < 0) {
            std::array<char, 1024> buffer{};
            return fail(QString::fromUtf8(buffer.data(), GetScanError(buffer.data(), buffer.size())));
        }
        std::array<char, 4096> buffer{};
        scanFolder = request.folder.isEmpty()
                         ? QByteArray(buffer.data(), GetScanRoot(buffer.data(), buffer.size()))
                         : QFile::encodeName(request.folder);
    }
    const double importMs = msSince(importing);
    const QString folder = QDir::cleanPath(
        QFileInfo(request.folder.isEmpty() ? QFile::decodeName(programFolder) : request.folder)
            .absoluteFilePath());
    const QFileInfo folderInfo(folder);
    if (scanFolder.isEmpty() && !folderInfo.isDir())
        return fail(QStringLiteral("\"%1\" is not a folder").arg(folder));
    if (scanFolder.isEmpty() && (!folderInfo.isReadable() || !folderInfo.isExecutable()))
        return fail(QStringLiteral("the folder \"%1\" can't be read").arg(folder));
    const QString output = QFileInfo(request.output).absoluteFilePath();
    if (!QFileInfo(QFileInfo(output).absolutePath()).isWritable())
        return fail(QStringLiteral("\"%1\" can't be written (its folder is not writable)").arg(output));

    if (request.details) {
        GraphForm window;
        const QImage image =
            window.DetailsSnapshot(scanFolder.isEmpty() ? QFile::encodeName(folder) : scanFolder,
                                   QSize(request.width, request.height), request.timings ? out : nullptr);
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
    ApplyScanOptions(
        {options.m_includeFolders, options.m_showHidden, options.m_showSystem, TREESCAN_SORT_NAME, true});

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
    Phase phase;
    // `load` ends when the folder's entries are made and the drawing is warmed up (the entries
    // alone: `loaded`).
    Phase::Figures read, loaded, warmUp, load, scale, build, firstFrame, frames;
    if (!request.dataFile.isEmpty()) {
        DataTable table;
        const DataTableResult result =
            ReadDataTable(QFile::encodeName(QFileInfo(request.dataFile).absoluteFilePath()), table);
        if (!result.ok()) {
            ReleaseDevice3D();
            return fail(result.line > 0
                            ? QStringLiteral("%1 (line %2)").arg(result.message()).arg(result.line)
                            : result.message());
        }
        read = phase.figures();
        AddDataTableEntries(model, table, LoadDataTableTextures(table, g_mediaFolder), options.m_logscale);
        loaded = phase.figures();
    } else {
        // The folder is read on a worker thread while this one warms up the drawing.
        const QByteArray path = scanFolder.isEmpty() ? QFile::encodeName(folder) : scanFolder;
        std::future<bool> reading = std::async(std::launch::async, [&] {
            const Phase worker;
            const bool ok = loadFolder(path, options, model, overlay.statistics, read);
            loaded = worker.figures();
            return ok;
        });
        const Phase warming;
        warmUpDrawing(options);
        warmUp = warming.figures();
        if (!reading.get()) {
            ReleaseDevice3D();
            return fail(QStringLiteral("the folder \"%1\" can't be read")
                            .arg(scanFolder.isEmpty() ? folder : displayText(scanFolder)));
        }
    }
    load = phase.figures();

    phase.restart();
    model.ScaleEntries(options.m_logscale);
    scale = phase.figures();

    phase.restart();
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
    build = phase.figures();

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
    phase.restart();
    frame();
    firstFrame = phase.figures();
    const QImage image = g_device->grabFramebuffer();

    constexpr int kFrames = 20;
    double frameMs = 0;
    std::uint64_t frameDraws = 0, frameTriangles = 0; // per frame
    if (request.timings) {
        std::vector<double> times;
        const std::uint64_t draws = g_device->drawCount(), triangles = g_device->triangleCount();
        const Phase all;
        for (int i = 0; i < kFrames; ++i) {
            phase.restart();
            frame();
            times.push_back(phase.figures().ms);
        }
        frames = all.figures();
        frameDraws = (g_device->drawCount() - draws) / kFrames;
        frameTriangles = (g_device->triangleCount() - triangles) / kFrames;
        std::sort(times.begin(), times.end());
        frameMs = (times[kFrames / 2 - 1] + times[kFrames / 2]) / 2;
    }

    ReleaseDevice3D();
    if (image.isNull())
        return fail(QStringLiteral("the picture could not be read back from the OpenGL device"));
    QImageWriter writer(output, "png");
    if (!writer.write(image))
        return fail(QStringLiteral("\"%1\" can't be written: %2").arg(output, writer.errorString()));

    if (request.timings) {
        if (!scanFolder.isEmpty())
            std::fprintf(out, "import_ms %.1f\n", importMs);
        std::fprintf(out, "load_ms %.1f\nscale_ms %.1f\nbuild_ms %.1f\nfirst_frame_ms %.1f\nframe_ms %.1f\n",
                     load.ms, scale.ms, build.ms, firstFrame.ms, frameMs);
        // The same steps in processor time and page faults; reading the folder apart from making
        // its entries (load = read + entries); the peak of the process's memory.
        const Phase::Figures entries{loaded.ms - read.ms, loaded.cpuMs - read.cpuMs,
                                     loaded.faults - read.faults};
        const std::pair<const char*, const Phase::Figures*> steps[] = {
            {"read", &read}, {"entries", &entries}, {"build", &build}, {"first_frame", &firstFrame}};
        std::fprintf(out, "read_ms %.1f\nwarmup_ms %.1f\n", read.ms, warmUp.ms);
        for (const auto& [name, f] : steps)
            std::fprintf(out, "%s_cpu_ms %.1f\n%s_faults %ld\n", name, f->cpuMs, name, f->faults);
        std::fprintf(out, "frame_cpu_ms %.1f\nframe_faults %ld\n", frames.cpuMs / kFrames,
                     frames.faults / kFrames);
        std::fprintf(out, "frame_draws %llu\nframe_triangles %llu\n",
                     static_cast<unsigned long long>(frameDraws),
                     static_cast<unsigned long long>(frameTriangles));
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        std::fprintf(out, "peak_mib %.1f\n", static_cast<double>(u.ru_maxrss) / 1024);
    }
    return 0;
}

} // namespace ketra
