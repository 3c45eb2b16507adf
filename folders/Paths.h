// Paths as the window forms them. A path is the bytes the system knows a file by (a name on Linux
// is any bytes but "/" and NUL, not always UTF-8), carried as a QByteArray to every system call;
// the text shown for it is decoded from those bytes and is never turned back into a path.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace ketra {

// Joins a folder and an item name with one "/" (none doubled at the root).
QByteArray joinPath(const QByteArray& folder, const QByteArray& name);

// The folder above `path` ("/home" gives "/", "/" gives "/", a trailing "/" names the same folder);
// `path` itself when it has no "/".
QByteArray parentFolder(const QByteArray& path);

// The last part of `path` (after its last "/", a trailing "/" ignored); "/" gives "".
QByteArray fileNameOf(const QByteArray& path);

// `path` with "." and ".." resolved and doubled or trailing "/" dropped, by its text alone
// ("/a/./b/../c/" gives "/a/c", "/.." gives "/").
QByteArray cleanPath(const QByteArray& path);

// An address made absolute and tidy: "~" at its start taken as `home`, a relative path taken
// from `base`, then cleaned. Empty stays empty; blanks are part of a name (a typed address is
// trimmed by whoever takes the typing).
QByteArray tidyAddress(const QByteArray& typed, const QByteArray& base, const QByteArray& home);

// The text shown for a path or a name: its bytes decoded as UTF-8, every invalid byte shown as
// U+FFFD. For display only.
QString displayText(const QByteArray& bytes);

// Whether `path` is a folder now (a symbolic link to one counts).
bool isFolder(const QByteArray& path);

// The user's home folder ($HOME, else the password database's).
QByteArray homeFolder();

// The path a command-line argument names, as bytes: a "file:" URL (what a desktop hands over for
// a folder) gives its path percent-decoded byte for byte, so a name that is not UTF-8 survives;
// any other argument is a path as it stands. Nothing for a URL of another machine.
std::optional<QByteArray> pathFromArgument(const QByteArray& argument);

// The absolute path a URL dropped on the window names, as bytes: a "file:" URL of this machine,
// percent-decoded byte for byte as pathFromArgument does. Nothing for any other URL.
std::optional<QByteArray> pathFromUrl(const QUrl& url);

} // namespace ketra
