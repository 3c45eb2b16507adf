// ketra [FOLDER]: shows a folder as a 3D bar graph.
#include "GraphForm.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: ketra [OPTION]... [FOLDER]\n"
    "Show a folder as a 3D bar graph.\n"
    "\n"
    "Ketra starts on its own folder, then opens FOLDER when one is given, as if it\n"
    "had been typed into the address box.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

int usageError(const QString& what) {
    std::fprintf(stderr, "ketra: %s\nTry 'ketra --help' for more information.\n", qPrintable(what));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
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

    QApplication app(argc, argv); // takes Qt's own options out of the argument list
    QApplication::setOrganizationName(QStringLiteral("Ketra"));
    QApplication::setApplicationName(QStringLiteral("Ketra"));
    QApplication::setApplicationVersion(QStringLiteral(KETRA_VERSION));

    QString folder;
    bool folderGiven = false;
    const QStringList args = QApplication::arguments();
    bool optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg.startsWith(QLatin1Char('-')))
            return usageError(QStringLiteral("unknown option '%1'").arg(arg));
        if (folderGiven)
            return usageError(QStringLiteral("only one FOLDER may be given"));
        folder = arg;
        folderGiven = true;
    }

    GraphForm window;
    if (!window.Form_Load())
        return 1;
    if (folderGiven)
        window.openAddress(folder);
    return QApplication::exec();
}
