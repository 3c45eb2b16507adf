#include "fileops/Shell.h"
#include "fileops/PosixPath.h"

#include <QDesktopServices>

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
    return QUrl::fromEncoded("file://" + AbsolutePath(path).toPercentEncoding("/"), QUrl::StrictMode);
}

bool ShellOpen(const QByteArray& path) {
    return OpenUrl(FileUrl(path));
}

} // namespace ketra
