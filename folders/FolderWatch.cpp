#include "folders/FolderWatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace ketra {

std::int64_t ReloadPacer::changed(std::int64_t now) {
    if (m_first == kNone)
        m_first = now;
    m_last = now;
    return std::max(due(), now);
}

void ReloadPacer::reloaded(std::int64_t now) {
    m_lastReload = now;
}

std::int64_t ReloadPacer::due() const {
    const std::int64_t settled = std::min(m_last + m_timing.quietMs, m_first + m_timing.maxDelayMs);
    return std::max(settled, m_lastReload + m_timing.minGapMs);
}

namespace {

// What changes the listing: items made, removed, renamed, written or touched (times, modes).
constexpr std::uint32_t kListingEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB | IN_Q_OVERFLOW;
// The folder itself went away: nothing is left to show afresh.
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

} // namespace

FolderWatch::FolderWatch(std::function<bool()> reload, ReloadTiming timing, QObject* parent)
    : QObject(parent), m_reload(std::move(reload)), m_pacer(timing) {
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FolderWatch::timeUp);
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::eventsArrived);
    }
}

FolderWatch::~FolderWatch() {
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderWatch::watch(const QByteArray& folder) {
    readEvents(); // what is queued happened before the folder is read (the folder's end included)
    // inotify gives the watch of the same folder again for the same inode; another folder at the
    // path now gets a watch of its own.
    const int again = m_fd >= 0 && !folder.isEmpty() && !folder.contains('\0')
                          ? inotify_add_watch(m_fd, folder.constData(),
                                              kListingEvents | kFolderGone | IN_ONLYDIR | IN_EXCL_UNLINK)
                          : -1;
    if (folder != m_folder || again != m_watchDescriptor) {
        stopWatching();
        m_folder = folder;
        m_watchDescriptor = again;
    }
    m_gone = false;
    m_pacer.clear();
    m_timer.stop();
}

void FolderWatch::stopWatching() {
    if (m_watchDescriptor >= 0)
        inotify_rm_watch(m_fd, m_watchDescriptor);
    m_watchDescriptor = -1;
    readEvents(); // the removal's own event, and whatever the old folder still had queued
    m_pacer.clear();
    m_timer.stop();
}

bool FolderWatch::readEvents() {
    if (m_fd < 0)
        return false;
    bool changed = false;
    alignas(inotify_event) std::array<char, 16384> buffer;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break; // EAGAIN: nothing more queued
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + at, sizeof event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                changed = true; // events were lost: anything may have changed
                continue;
            }
            if (event.wd != m_watchDescriptor || m_watchDescriptor < 0)
                continue; // an event of a folder no longer watched
            if (event.mask & kFolderGone) {
                if (!(event.mask & IN_IGNORED))
                    inotify_rm_watch(m_fd, m_watchDescriptor);
                m_watchDescriptor = -1;
                m_gone = true;
                changed = true; // the path shows something else now, or nothing
                continue;
            }
            changed = changed || (event.mask & kListingEvents) != 0;
        }
    }
    return changed && (m_watchDescriptor >= 0 || m_gone);
}

void FolderWatch::eventsArrived() {
    if (!readEvents())
        return;
    const std::int64_t t = now();
    m_timer.start(static_cast<int>(m_pacer.changed(t) - t));
}

void FolderWatch::timeUp() {
    if (!m_pacer.pending() || (m_watchDescriptor < 0 && !m_gone))
        return;
    const std::int64_t t = now();
    if (m_pacer.due() > t) {
        m_timer.start(static_cast<int>(m_pacer.due() - t));
        return;
    }
    if (!m_reload || !m_reload()) {
        m_timer.start(static_cast<int>(m_pacer.timing().quietMs));
        return;
    }
    m_pacer.reloaded(now());
    if (m_pacer.pending()) // changed again while it was read
        m_timer.start(static_cast<int>(std::max<std::int64_t>(m_pacer.due() - now(), 0)));
}

} // namespace ketra
