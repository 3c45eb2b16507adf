#include "fileops/Shell.h"

#include <QDesktopServices>

#include <cstdlib>

#include <unistd.h>

namespace ketra {

namespace {
std::function<bool(const QUrl&)>& openUrlHook() {
    static std::function<bool(const QUrl&)> hook;
    return hook;
}
} // namespace

void SetOpenUrlHook(std::function<bool(const QUrl&)> hook) {
    openUrlHook() = std::move(hook);
}

bool OpenUrl(const QUrl& url) {
    if (openUrlHook())
        return openUrlHook()(url);
    return QDesktopServices::openUrl(url);
}

QUrl FileUrl(const QByteArray& path) {
    QByteArray absolute = path;
    if (!path.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        absolute = QByteArray(cwd ? cwd : "") + '/' + path;
        std::free(cwd);
    }
    return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"), QUrl::StrictMode);
}

bool ShellOpen(const QByteArray& path) {
    return OpenUrl(FileUrl(path));
}

} // namespace ketra
