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

std::optional<QByteArray> pathFromArgument(const QByteArray& argument) {
    if (!argument.left(5).toLower().startsWith("file:"))
        return argument;
    QByteArray rest = argument.mid(5);
    if (rest.startsWith("//")) { // an authority: this machine's only
        const qsizetype slash = rest.indexOf('/', 2);
        const QByteArray host = rest.mid(2, slash < 0 ? -1 : slash - 2);
        if (!host.isEmpty() && host.toLower() != "localhost")
            return std::nullopt;
        rest = slash < 0 ? QByteArray("/") : rest.mid(slash);
    }
    qsizetype end = 0; // a query or a fragment is no part of the path
    while (end < rest.size() && rest[end] != '?' && rest[end] != '#')
        ++end;
    return QByteArray::fromPercentEncoding(rest.left(end));
}

} // namespace ketra
