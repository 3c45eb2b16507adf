// One frame of the bar graph as the main window and the snapshot command both draw it: the scene
// passes and the text overlay, leaving out what the camera can't see.
#pragma once

#include "folders/FolderReader.h"
#include "graph/BarScene.h"
#include "graph/LoadGrid.h"
#include "graph/Options.h"
#include "platform/Font.h"
#include "platform/Types.h"

#include <QFont>
#include <QPoint>
#include <QString>

#include <cstdint>

namespace ketra {

// What the text overlay shows besides what the options switch: the item under the mouse and the
// statistics of the folder shown.
struct OverlayState {
    bool hoverShown = false;     // the last hover test found an item
    QString hoverText;           // its name and size
    QPoint hoverPosition;        // the hover text's left and top, in the view's layout pixels
    FolderStatistics statistics; // of the last load
    FolderChanges changes;       // below the folder shown, for the legend of the changes mode

    friend bool operator==(const OverlayState&, const OverlayState&) = default;
};

// The colour of the view's background, the scene's ambient light and the overlay's texts.
inline constexpr std::uint32_t kBackgroundColour = 0xFF80B0E0;
inline constexpr std::uint32_t kAmbientLight = 0xFFC0C0C0;
inline constexpr std::uint32_t kOverlayTextColour = 0xFF444444;
inline constexpr std::uint32_t kHoverTextColour = 0xFF000000;
// How near red (in RGB, channels 0 to 1) a bar's colour may come before a selection shows it
// light red instead of red: a .pdf (205, 55, 50) is 0.35 from it.
inline constexpr float kNearRed = 0.5f;

// The material a selected bar is shown in: red (diffuse = ambient = 1, 0, 0), unless its own
// colour (0xAARRGGBB) is so near red that red would not set it apart from the bars of its kind:
// then a light red that glows (when that is farther from its colour).
platform::Material HighlightMaterial(std::uint32_t ownColour);

// Draws one frame of `scene` on g_device, from the frame update to the end of the scene (the
// caller presents it): clear, ambient light, the bars, then (with the base plate on and the tree
// view off) the plate in a second pass so that it blends over the bars, then the overlay texts the
// options switch on, with `popupFont` (hover text) and `statsFont` (statistics, key help), laid
// out in the device's layout pixels (Device::pixelRatio()).
// Bars and labels wholly outside the view, and labels too small to read, are left out (the
// picture is the same). Nothing happens without a root.
void RenderBarFrame(const BarScene& scene, const Options& options, const OverlayState& overlay,
                    platform::Font* popupFont, platform::Font* statsFont);

// The legend of the changes mode (graph/Changes.h) at the view's bottom left, with `font`: a
// swatch in each colour before its meaning.
void DrawChangeLegend(platform::Font& font, const OverlayState& overlay, const Options& options);

// The small sans font of a status line: the statistics and the key help.
QFont StatusFont();

} // namespace ketra
