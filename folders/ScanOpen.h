// Opening a scan file (ours, ncdu's or gdu's) in the disk's place: the scanner reads it on a
// thread of its own, and this object looks at it every kLookMs from the event loop of the thread
// that owns it, then reports with a signal. The thread that owns it is never held.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

namespace ketra {

class ScanOpen : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookMs = 15;

    explicit ScanOpen(QObject* parent = nullptr);

    // Starts reading `file`. A read still running is dropped (it never reports).
    void start(const QByteArray& file);
    // Drops the read: it ends (finished, stopped()) at once, and the scan it read never opens.
    void stop();
    bool stopped() const { return m_stopped; }
    bool running() const { return m_timer.isActive(); }
    const QByteArray& file() const { return m_file; }
    // After finished: the scan's entry count, or -1 with error() saying why (the scanner shows
    // what it showed before).
    std::int64_t count() const { return m_count; }
    const QString& error() const { return m_error; }

signals:
    void finished();

private:
    void look();

    QTimer m_timer;
    QByteArray m_file;
    std::int64_t m_count = -1;
    QString m_error;
    bool m_stopped = false;
};

// What the scanner's open scan says of itself (nothing when the disk is shown).
struct ScanInfo {
    bool open = false;
    QByteArray root;       // the folder scanned, as the file names it
    QString program;       // "ncdu 1.18"; empty when the file does not say
    std::int64_t time = 0; // seconds since the epoch; 0 when the file does not say
};
ScanInfo CurrentScan();

// The window's title while a scan is shown: "Ketra - /srv/data (scan of 2 Dec 2026 14:03,
// ncdu 1.18)" (the time in local time; parts the file does not give left out).
QString ScanTitle(const ScanInfo& scan);

// Whether `path` names the scan's root or a folder below it (the paths of the scanned machine).
bool WithinScan(const QByteArray& root, const QByteArray& path);

} // namespace ketra
