#include "fileops/Shell.h"

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

bool ShellOpen(const QString& path) {
    return OpenUrl(QUrl::fromLocalFile(path));
}

} // namespace ketra
