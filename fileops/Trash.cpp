#include "fileops/Trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace ketra {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("Trash", text);
}

} // namespace

TrashResult MoveToTrash(const QString& path) {
    TrashResult result;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        result.error = tr("it is no longer there");
        return result;
    }

    // Without the user's data folder Qt finds no home trash and moves the item into "files" of the
    // current folder instead, reporting success. The folder is made first; should that move still
    // happen, it is undone below.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty())
        QDir().mkpath(dataHome);
    const QDir here = QDir::current();
    const bool hadFiles = here.exists(QStringLiteral("files"));
    const bool hadInfo = here.exists(QStringLiteral("info"));

    QFile file(info.absoluteFilePath());
    if (!file.moveToTrash()) {
        // Qt tries the item's own file system first and then the home trash, and reports only the
        // last step ("Invalid cross-device link" for an item on a read-only disk): name the cause.
        const QByteArray folder = QFile::encodeName(info.absolutePath());
        if (::access(folder.constData(), W_OK) != 0) {
            result.error = tr("the folder \"%1\" can't be changed (%2)")
                               .arg(info.absolutePath(), QString::fromLocal8Bit(std::strerror(errno)));
        } else {
            result.error = file.errorString();
        }
        return result;
    }
    const QString where = file.fileName();
    if (QDir::isAbsolutePath(where)) {
        result.moved = true;
        result.trashedAs = where;
        return result;
    }

    // Not in a trash: put it back where it was, and drop what Qt made around it.
    const QString stray = here.absoluteFilePath(where);
    const bool back = QDir().rename(stray, info.absoluteFilePath());
    QFile::remove(here.absoluteFilePath(QStringLiteral("info/") + QFileInfo(where).fileName() +
                                        QStringLiteral(".trashinfo")));
    if (!hadFiles)
        here.rmdir(QStringLiteral("files"));
    if (!hadInfo)
        here.rmdir(QStringLiteral("info"));
    result.error = tr("no trash folder could be made in \"%1\"").arg(dataHome);
    if (!back)
        result.error += tr("; it now lies in \"%1\"").arg(stray);
    return result;
}

} // namespace ketra
