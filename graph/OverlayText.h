// The texts the 3D view shows: the hover text of the item under the mouse, the folder statistics
// and the key help drawn over the picture, and the 3D name labels beside the bars. Pure functions
// of their inputs, so that they are checked without a window or a device.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace ketra {

// What hovering over an item shows: "name (1,234 bytes)", "name (1 byte)" for exactly one byte,
// "name (0 bytes)" for anything below one; a folder shows its name alone while folder sizes are off.
QString HoverText(const QString& name, bool isFolder, double size, bool includeFolders);

// Where the hover text goes for the mouse at (x, y) layout pixels of the view: 20 pixels left and 30
// above, each rounded to a whole number (halves to even) and replaced by 1 when negative.
QPoint HoverTextPosition(float x, float y);

// The statistics lines, top to bottom: the size, the file and folder counts, and, with folder
// sizes on, the total counts below the folder.
QStringList StatisticsLines(double totalBytes, std::int64_t fileCount, std::int64_t folderCount,
                            bool includeFolders, std::int64_t totalFileCount, std::int64_t totalFolderCount);

// The twelve lines of key help; the last names what F does now.
QStringList KeyHelpLines(bool includeFolders);

// The 3D label of an item: its name when it has 1 to 12 characters, else its first 7 characters
// followed by "..."; empty for an empty name (no label is made).
QString LabelText(const QString& name);

// Overlay geometry in layout pixels of the view (a scaled screen has more device pixels to each,
// Device::pixelRatio()): statistics and key help start at top 5, one line every
// 11 pixels; statistics at left 5, key help 100 pixels from the right edge, or, when its widest
// line is wider than that allows, far enough left to end 5 pixels before the edge (text is not
// clipped, so it would otherwise run out of the view).
inline constexpr int kOverlayTop = 5;
inline constexpr int kOverlayLineStep = 11;
inline constexpr int kStatisticsLeft = 5;
inline constexpr int kKeyHelpFromRight = 100;
inline constexpr int kKeyHelpMargin = 5;

} // namespace ketra
