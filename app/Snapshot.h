// ketra --snapshot FILE.png [--size WxH] [--timings] [--view 3d|tree|details] [--data FILE.csv]
// [--import FILE] [FOLDER]: the bar graph of FOLDER, or of the comma-delimited table FILE.csv, as a fresh
// window shows it at start (camera, start tilt, options from the settings store, labels, plate, overlay),
// rendered off-screen into a PNG without showing a window; with --view tree the tree view of FOLDER
// as after View > "Tree View 3D"; with --view details the whole window in the details view
// instead, WxH being the window's size.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace ketra {

struct SnapshotRequest {
    QString output;
    int width = 800;
    int height = 600;
    bool timings = false;
    bool tree = false;    // --view tree
    bool details = false; // --view details
    QString folder;       // empty: the program's own folder
    QString dataFile;     // a table plotted in place of the folder
    QString scanFile;     // a scan shown in place of the disk (FOLDER: a path of it)
};

// Whether the arguments (without the program name) ask for a snapshot.
bool WantsSnapshot(const QStringList& args);

// Reads the snapshot arguments. On a usage error returns nothing and sets `error`.
std::optional<SnapshotRequest> ParseSnapshotArguments(const QStringList& args, QString& error);

// Renders the snapshot (needs a QApplication). With `timings` one line each goes to `out`:
// import_ms (reading the scan, with --import), load_ms, scale_ms, build_ms, first_frame_ms, frame_ms (median
// of 20 further frames). Returns 0, or 1 with a message on `err` when the folder or the table can't be read,
// no OpenGL device can be made or the file can't be written.
int RunSnapshot(const SnapshotRequest& request, std::FILE* out, std::FILE* err);

} // namespace ketra
