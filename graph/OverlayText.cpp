#include "graph/OverlayText.h"

#include "units/Thousands.h"

#include <cmath>

namespace ketra {

QString HoverText(const QString& name, bool isFolder, double size, bool includeFolders) {
    if (isFolder && !includeFolders)
        return name;
    if (size > 1)
        return name + QStringLiteral(" (") + FormatThousands(size) + QStringLiteral(" bytes)");
    if (size == 1)
        return name + QStringLiteral(" (1 byte)");
    return name + QStringLiteral(" (0 bytes)");
}

QPoint HoverTextPosition(float x, float y) {
    auto place = [](float v) {
        const float r = std::nearbyint(v); // the default rounding mode: halves to even
        return r < 0 ? 1 : static_cast<int>(r);
    };
    return {place(x - 20.0f), place(y - 30.0f)};
}

QStringList StatisticsLines(double totalBytes, std::int64_t fileCount, std::int64_t folderCount,
                            bool includeFolders, std::int64_t totalFileCount, std::int64_t totalFolderCount) {
    QStringList lines{
        QStringLiteral("Size: ") + FormatThousands(totalBytes) + QStringLiteral(" bytes"),
        QStringLiteral("Files: ") + QString::number(fileCount),
        QStringLiteral("Folders: ") + QString::number(folderCount),
    };
    if (includeFolders) {
        lines << QStringLiteral("Total File Count: ") + QString::number(totalFileCount)
              << QStringLiteral("Total Folder Count: ") + QString::number(totalFolderCount);
    }
    return lines;
}

QStringList KeyHelpLines(bool includeFolders) {
    return {
        QStringLiteral("Right: right arrow"),
        QStringLiteral("Left: left arrow"),
        QStringLiteral("Up: up arrow"),
        QStringLiteral("Down: down arrow"),
        QStringLiteral("Move in: W"),
        QStringLiteral("Move out: S"),
        QStringLiteral("Rotate : X, Y, Z"),
        QStringLiteral(" Shift - Anticlockwise"),
        QStringLiteral("Free Rotate:"),
        QStringLiteral(" Mouse button drag"),
        QStringLiteral("Reset: R"),
        includeFolders ? QStringLiteral("No Folder size: F") : QStringLiteral("Include Folder size: F"),
    };
}

QString LabelText(const QString& name) {
    if (name.size() > 12)
        return name.left(7) + QStringLiteral("...");
    return name;
}

} // namespace ketra
