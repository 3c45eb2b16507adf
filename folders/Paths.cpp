#include "folders/Paths.h"

#include <QList>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace ketra {

QByteArray joinPath(const QByteArray& folder, const QByteArray& name) {
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray parentFolder(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return path;
    if (slash == 0)
        return QByteArrayLiteral("/");
    if (slash == path.size() - 1) // a trailing "/" names the same folder
        return parentFolder(path.left(slash));
    return path.left(slash);
}

QByteArray fileNameOf(const QByteArray& path) {
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    if (p == "/")
        return {};
    return p.mid(p.lastIndexOf('/') + 1);
}

QByteArray cleanPath(const QByteArray& path) {
    if (path.isEmpty())
        return path;
    const bool absolute = path.startsWith('/');
    std::vector<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
            continue; // above the root is the root
        }
        parts.push_back(part);
    }
    QByteArray out = absolute ? QByteArrayLiteral("/") : QByteArray();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += parts[i];
    }
    return out.isEmpty() ? QByteArrayLiteral(".") : out;
}

QByteArray tidyAddress(const QByteArray& typed, const QByteArray& base, const QByteArray& home) {
    QByteArray path = typed;
    if (path.isEmpty())
        return path;
    if (path == "~" || path.startsWith("~/"))
        path = home + path.mid(1);
    if (!path.startsWith('/'))
        path = joinPath(base, path);
    return cleanPath(path);
}

QString displayText(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

bool isFolder(const QByteArray& path) {
    struct stat st {};
    return !path.isEmpty() && !path.contains('\0') && ::stat(path.constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

QByteArray homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return QByteArray(found->pw_dir);
    return QByteArrayLiteral("/");
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

std::optional<QByteArray> pathFromUrl(const QUrl& url) {
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    std::optional<QByteArray> path = pathFromArgument(url.toEncoded());
    if (path && !path->startsWith('/'))
        return std::nullopt;
    return path;
}

} // namespace ketra
