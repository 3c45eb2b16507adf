// What the fuzz targets share: a scratch file that each input is written to, for readers that
// take a path, and a check that stops the run at a broken promise (libFuzzer saves the input).
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A file of its own in the temporary folder, rewritten with each input. `suffix` names its type.
inline QString WriteScratch(const char* suffix, const char* data, std::size_t size) {
    static const QString path = QDir::temp().filePath(QStringLiteral("ketra-fuzz-%1%2")
                                                          .arg(QCoreApplication::applicationPid())
                                                          .arg(QString::fromLatin1(suffix)));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) {
        std::fprintf(stderr, "fuzz: can't write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "fuzz: broken promise at %s:%d: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

} // namespace fuzz
