// What the properties dialog tells about an item: read from the file system (and, for a folder's
// total, from the scanner), no window.
#pragma once

#include "folders/FolderReader.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace ketra {

// The texts are for display: bytes that are not UTF-8 show as U+FFFD.
struct FileProperties {
    QByteArray path; // the item's absolute path, as given (bytes)
    QString name;
    QString folder;      // the folder that holds it
    QString type;        // the MIME type in words, then its name: "PNG image (image/png)"
    bool exists = false; // false: the item is gone, and only name and folder are known
    bool isFolder = false;
    bool isLink = false;
    bool brokenLink = false; // a link that leads nowhere
    // The rest describes what a link leads to (nothing more for a broken link).
    std::int64_t size = 0; // bytes of a file (a folder's own size says nothing: see MeasureFolder)
    QDateTime modified;
    QDateTime accessed;
    QString owner;
    QString group;
    QString permissions; // "rwxr-xr-x (755)"
    QString linkTarget;  // a link's target, made absolute; empty for anything else
};

// Reads the item at `path` (bytes, as the file system names it) from the file system: lstat and
// readlink on the bytes, then what a link leads to; only a regular file is opened (without
// blocking), to tell its type from its first bytes.
FileProperties ReadFileProperties(const QByteArray& path);

// A byte count in words: "0 bytes", "1 byte", "5,120 bytes (5.0 KiB)", "3,221,225,472 bytes
// (3.0 GiB)"; the human unit is given from 1 KiB on, to one decimal.
QString ByteText(double bytes);

// Permission bits of a mode as "rwxr-xr-x (755)" (the owner's, the group's and everyone
// else's).
QString PermissionText(unsigned mode);

// A folder's contents as the scanner counts them: the apparent sizes of everything below it,
// hidden and system items included, each hard-linked file once, links never followed.
struct FolderTotals {
    double bytes = 0;
    std::int64_t files = 0;
    std::int64_t folders = 0;
};

// Measures `folder` with the scanner (its folder-size pass, to the exact figures read from disk,
// not a first answer from the scanner's cache). Blocks until done, telling `progress` as the folder reader's
// measure does (with at most `fit` bytes of a path); returns nothing when the folder can't be read or
// `progress` stopped it. The scanner's
// folder-size option is left as `includeFolders` says; its folder is `folder` afterwards, so the
// folder shown must be set again before its items are read.
std::optional<FolderTotals> MeasureFolder(const QByteArray& folder, bool includeFolders, int fit,
                                          const FolderReader::Progress& progress);

} // namespace ketra
