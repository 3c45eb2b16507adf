// Paths as the window forms them: "/" between a folder and a name, the folder above a path, and
// an address typed by the user made absolute and tidy.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace ketra {

// Joins a folder and an item name with one "/" (none doubled at the root).
QString joinPath(const QString& folder, const QString& name);

// The folder above `path` ("/home" gives "/", "/" gives "/", a trailing "/" names the same folder);
// `path` itself when it has no "/".
QString parentFolder(const QString& path);

// A typed address made absolute and tidy: blanks around it dropped, "~" at its start taken as
// `home`, a relative path taken from `base`, "." and ".." resolved. Empty stays empty.
QString tidyAddress(const QString& typed, const QString& base, const QString& home);

// The path a command-line argument names, as bytes: a "file:" URL (what a desktop hands over for
// a folder) gives its path percent-decoded byte for byte, so a name that is not UTF-8 survives;
// any other argument is a path as it stands. Nothing for a URL of another machine.
std::optional<QByteArray> pathFromArgument(const QByteArray& argument);

} // namespace ketra
