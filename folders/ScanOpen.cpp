#include "folders/ScanOpen.h"

#include "folders/Paths.h"
#include "treescan.h"

#include <QDateTime>
#include <QLocale>

#include <array>

namespace ketra {

ScanOpen::ScanOpen(QObject* parent) : QObject(parent) {
    m_timer.setInterval(kLookMs);
    connect(&m_timer, &QTimer::timeout, this, &ScanOpen::look);
}

void ScanOpen::start(const QByteArray& file) {
    m_file = file;
    m_count = -1;
    m_error.clear();
    m_stopped = false;
    // No system call takes a NUL inside a path: it would name another file.
    if (file.contains('\0')) {
        m_error =
            QStringLiteral("%1: the name holds a NUL byte").arg(displayText(file.left(file.indexOf('\0'))));
        QTimer::singleShot(0, this, [this] { emit finished(); });
        return;
    }
    BeginScan(file.constData());
    m_timer.start();
}

void ScanOpen::stop() {
    if (!running())
        return;
    m_timer.stop();
    BeginScan(nullptr); // drops the read
    m_stopped = true;
    m_count = -1;
    emit finished();
}

void ScanOpen::look() {
    const std::int32_t r = ScanOpened();
    if (r == TREESCAN_LISTING)
        return;
    m_timer.stop();
    m_count = r;
    if (r < 0) {
        std::array<char, 1024> buffer{};
        const std::int32_t n = GetScanError(buffer.data(), static_cast<std::int32_t>(buffer.size()));
        m_error = QString::fromUtf8(buffer.data(), n);
        if (m_error.isEmpty())
            m_error = QStringLiteral("%1: not a scan").arg(displayText(m_file));
    }
    emit finished();
}

ScanInfo CurrentScan() {
    ScanInfo info;
    info.time = GetScanTime();
    info.open = info.time >= 0;
    if (!info.open) {
        info.time = 0;
        return info;
    }
    std::array<char, 4096> buffer{};
    const auto capacity = static_cast<std::int32_t>(buffer.size());
    info.root = QByteArray(buffer.data(), GetScanRoot(buffer.data(), capacity));
    info.program = QString::fromUtf8(buffer.data(), GetScanProgram(buffer.data(), capacity));
    return info;
}

QString ScanTitle(const ScanInfo& scan) {
    QString what = QStringLiteral("scan");
    if (scan.time > 0)
        what += QStringLiteral(" of ") + QLocale::c().toString(QDateTime::fromSecsSinceEpoch(scan.time),
                                                               QStringLiteral("d MMM yyyy HH:mm"));
    if (!scan.program.isEmpty())
        what += QStringLiteral(", ") + scan.program;
    return QStringLiteral("Ketra - %1 (%2)").arg(displayText(scan.root), what);
}

bool WithinScan(const QByteArray& root, const QByteArray& path) {
    if (root.isEmpty() || path.isEmpty())
        return false;
    QByteArray r = root;
    while (r.size() > 1 && r.endsWith('/'))
        r.chop(1);
    if (r == "/")
        return path.startsWith('/');
    return path == r || path.startsWith(r + '/');
}

} // namespace ketra

#include "moc_ScanOpen.cpp"
