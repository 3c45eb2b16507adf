// Turning a folder the scanner has read into graph entries: the window's folder load and the
// snapshot command both make their entries here.
#pragma once

#include "folders/FolderReader.h"
#include "graph/LoadGrid.h"
#include "graph/Options.h"

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace ketra {

class GraphModel;

// Appends the `count` items of the folder `reader` has open (in the scanner's order) to `model`
// as entries of level `level`, by the graph's loading rules; with `folderItself` (a tree's root)
// the folder's own entry comes first. Returns the statistics the overlay shows, the scanner's
// totals included with folder sizes on.
FolderStatistics AddFolderEntries(GraphModel& model, FolderReader& reader, std::int32_t count,
                                  const Options& options, std::int16_t level,
                                  const QByteArray& folderItself = {});

// Reads `folder` now, its folder sizes measured, into `model` in place of its entries, as a fresh
// window shows it. Blocks until done: for a program without a window to keep (the snapshot
// command). False when the folder can't be read. `read`, when given, hears of the item count once
// the folder is read and measured, before the entries are made.
bool ReadFolderEntries(const QByteArray& folder, const Options& options, GraphModel& model,
                       FolderStatistics& stats, const std::function<void(std::int32_t count)>& read = {});

} // namespace ketra
