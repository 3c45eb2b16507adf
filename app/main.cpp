// ketra [FOLDER]: shows a folder as a 3D bar graph.
#include "GraphForm.h"
#include "Snapshot.h"
#include "folders/Paths.h"
#include "platform/HeapReserve.h"
#include "scene/D3DInit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: ketra [OPTION]... [FOLDER]\n"
    "Show a folder as a 3D bar graph.\n"
    "\n"
    "Ketra starts on its own folder, then opens FOLDER when one is given, as if it\n"
    "had been typed into the address box. FOLDER may be a file:// URL. A file's\n"
    "path shows its folder with the file selected.\n"
    "\n"
    "  --data FILE.csv  then plot the comma-delimited table FILE.csv in place of the\n"
    "                 folder, as File > Open Data File... does\n"
    "  --import FILE  show the scan in FILE (the JSON export of treescan, ncdu or\n"
    "                 gdu, maybe made on another machine) in place of the disk, as\n"
    "                 File > Open Scan... does\n"
    "  --snapshot FILE.png [--size WxH] [--timings] [--view 3d|tree|details] [--data FILE.csv]\n"
    "             [--import FILE] [FOLDER]\n"
    "                 render the bar graph of FOLDER (default: the program's own\n"
    "                 folder, or with --import the folder scanned), or the table of\n"
    "                 FILE.csv, as a fresh window shows it\n"
    "                 into FILE.png (default size 800x600) without showing a window;\n"
    "                 --timings prints the load, scale, build, first-frame and frame\n"
    "                 times in ms; --view tree renders the 3D tree view of FOLDER,\n"
    "                 --view details the whole window (WxH) in the details view\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

// The working folder's bytes.
QByteArray currentFolder() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (std::size_t{1} << 20))
            return QFile::encodeName(QDir::currentPath());
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}

int usageError(const QString& what) {
    std::fprintf(stderr, "ketra: %s\nTry 'ketra --help' for more information.\n", qPrintable(what));
    return 2;
}

// While the application object is made: Qt ends a program whose window system can't be reached
// with a fatal message and an abort; this says in one line what is missing instead. Other messages
// wait in `held` and go out once the application stands.
QtMessageHandler g_qtHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>>* g_held = nullptr;

void startingMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        if (g_held)
            g_held->emplace_back(type, message);
        return;
    }
    const QByteArray display = qgetenv("DISPLAY"), platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("wayland") &&
        !message.section(QLatin1String("are:"), 1).contains(QLatin1String("wayland")))
        std::fputs("ketra: Qt's Wayland platform plugin is not installed (Debian package qt6-wayland)\n",
                   stderr);
    else if (platform.startsWith("wayland"))
        std::fprintf(stderr,
                     "ketra: no Wayland compositor found at WAYLAND_DISPLAY=%s; run Ketra in a Wayland "
                     "session, or on X without QT_QPA_PLATFORM=%s\n",
                     qgetenv("WAYLAND_DISPLAY").constData(), platform.constData());
    else if (display.isEmpty())
        std::fputs("ketra: no display found: Ketra needs an X display; without one, run it as "
                   "xvfb-run -a ketra\n",
                   stderr);
    else
        std::fprintf(stderr,
                     "ketra: no display found at DISPLAY=%s; start an X server there, or run Ketra as "
                     "xvfb-run -a ketra\n",
                     display.constData());
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv) {
    // Large blocks kept on the heap rather than unmapped.
    platform::KeepHeapRoom(std::size_t(64) << 20);
    // Help and version need no display: they are answered before the window system is touched.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("ketra %s\n", KETRA_VERSION);
            return 0;
        }
    }

    QStringList rawArgs;
    for (int i = 1; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);
    const bool snapshot = ketra::WantsSnapshot(rawArgs);
    // A snapshot shows no window: without a display it renders on Qt's off-screen platform.
    if (snapshot && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::vector<std::pair<QtMsgType, QString>> held;
    g_held = &held;
    g_qtHandler = qInstallMessageHandler(startingMessage);
    QApplication app(argc, argv); // takes Qt's own options out of the argument list
    qInstallMessageHandler(g_qtHandler);
    g_held = nullptr;
    for (const auto& [type, message] : held)
        qt_message_output(type, QMessageLogContext(), message);
    QApplication::setOrganizationName(QStringLiteral("Ketra"));
    QApplication::setApplicationName(QStringLiteral("Ketra"));
    QApplication::setApplicationVersion(QStringLiteral(KETRA_VERSION));

    const QStringList args = QApplication::arguments();
    if (snapshot) {
        QString error;
        const auto request = ketra::ParseSnapshotArguments(args.mid(1), error);
        if (!request)
            return usageError(error);
        return ketra::RunSnapshot(*request, stdout, stderr);
    }

    // The arguments as the system gave them (Qt has taken its own options out of argv): a FOLDER
    // is bytes, and a name that is not UTF-8 must reach the folder it names.
    QByteArray folder;
    QString dataFile;
    QByteArray scanFile;
    bool folderGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        // The value of `option VALUE` or `option=VALUE` as given (empty when missing); nothing when
        // `arg` is not that option.
        auto optionValue = [&](const QByteArray& option) -> std::optional<QByteArray> {
            if (optionsEnded || (arg != option && !arg.startsWith(option + '=')))
                return std::nullopt;
            if (arg.size() > option.size())
                return arg.mid(option.size() + 1);
            return i + 1 < argc ? QByteArray(argv[++i]) : QByteArray();
        };
        if (const auto v = optionValue("--data")) {
            dataFile = QFile::decodeName(*v);
            if (dataFile.isEmpty())
                return usageError(QStringLiteral("--data needs the name of a comma-delimited file"));
            continue;
        }
        if (const auto v = optionValue("--import")) {
            scanFile = *v;
            if (scanFile.isEmpty())
                return usageError(QStringLiteral("--import needs the name of a scan file"));
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg.startsWith('-'))
            return usageError(QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(arg)));
        if (folderGiven)
            return usageError(QStringLiteral("only one FOLDER may be given"));
        const std::optional<QByteArray> path = ketra::pathFromArgument(arg);
        if (!path)
            return usageError(
                QStringLiteral("'%1' is not a folder on this machine").arg(QString::fromLocal8Bit(arg)));
        folder = *path;
        folderGiven = true;
    }

    // A machine whose OpenGL driver fails may restart the program on Mesa's software rasteriser.
    SetDeviceRestartAllowed(true);
    GraphForm window;
    if (!window.Form_Load())
        return 1;
    // Each once the folder read before it is shown (the window reads its own folder first).
    if (folderGiven) {
        const QByteArray path = folder.startsWith('/') ? folder : ketra::joinPath(currentFolder(), folder);
        window.whenIdle([&window, path] { window.openArgument(path); });
    }
    if (!scanFile.isEmpty()) {
        const QByteArray path =
            scanFile.startsWith('/') ? scanFile : ketra::joinPath(currentFolder(), scanFile);
        window.whenIdle([&window, path] { window.importScan(path); });
    }
    if (!dataFile.isEmpty()) {
        const QByteArray path = QFile::encodeName(QDir::current().absoluteFilePath(dataFile));
        window.whenIdle([&window, path] { window.openDataFile(path); });
    }
    return QApplication::exec();
}
