// The system's shell services: a file opened with its default program, a folder shown in the file
// manager. Both go through one hook, which tests replace so that nothing is opened for real.
#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

namespace ketra {

// Replaces the system's open action (null restores it).
void SetOpenUrlHook(std::function<bool(const QUrl&)> hook);

// Hands `url` to the hook, or to the system (QDesktopServices::openUrl: xdg-open, not waited for).
// Returns what they report; xdg-open reports success even when nothing opens.
bool OpenUrl(const QUrl& url);

// A file URL for the local path `path` (bytes, as the file system names it; made absolute from
// the working folder): every byte but the letters, digits, "-", ".", "_", "~" and "/" is
// percent-encoded, so a name that is not UTF-8 reaches the program that opens it unchanged.
QUrl FileUrl(const QByteArray& path);

// The system's default action for a local path (bytes): a file opens in its program, a folder in
// the file manager.
bool ShellOpen(const QByteArray& path);

} // namespace ketra
