#include "folders/Paths.h"

#include <QDir>

namespace ketra {

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString parentFolder(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return path;
    if (slash == 0)
        return QStringLiteral("/");
    if (slash == path.size() - 1) // a trailing "/" names the same folder
        return parentFolder(path.left(slash));
    return path.left(slash);
}

QString tidyAddress(const QString& typed, const QString& base, const QString& home) {
    QString text = typed.trimmed();
    if (text.isEmpty())
        return text;
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/")))
        text = home + text.mid(1);
    if (QDir::isRelativePath(text))
        text = joinPath(base, text);
    return QDir::cleanPath(text);
}

} // namespace ketra
