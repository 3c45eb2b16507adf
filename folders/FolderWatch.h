// Watching the folder shown for changes on disk: an item created, deleted, renamed, written to or
// touched there asks for one reload of the folder; so does the folder itself going away (removed,
// renamed, replaced by another of its name, its file system unmounted), which the one who reloads
// tells by gone().
//
// Changes come in bursts (an archive unpacking, a file being written), so the reload waits until
// the folder has been quiet for a moment, but never much longer than a second after the first
// change; a folder that changes all the time is reloaded at most once every few seconds. Only the
// folder itself is watched, not the folders below it. Linux inotify, read on the thread that
// owns the watch through its event loop.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <limits>

class QSocketNotifier;

namespace ketra {

// A reload is due when the folder has been quiet for quietMs or its first change is maxDelayMs
// old, and the last reload asked for is at least minGapMs old.
struct ReloadTiming {
    std::int64_t quietMs = 250;
    std::int64_t maxDelayMs = 1000;
    std::int64_t minGapMs = 3000;
};

// When a reload is due, in milliseconds of one clock. Pure arithmetic: tested without waiting.
class ReloadPacer {
public:
    using Timing = ReloadTiming;

    explicit ReloadPacer(Timing timing = {}) : m_timing(timing) {}

    // A change seen at `now`; returns when the reload is due (never before `now`).
    std::int64_t changed(std::int64_t now);
    // A reload asked for was done at `now` (the next one waits the gap). Changes seen while the
    // folder was read stay pending.
    void reloaded(std::int64_t now);
    // The folder is about to be read afresh: the changes seen so far will be reflected.
    void clear() { m_first = m_last = kNone; }
    bool pending() const { return m_first != kNone; }
    // When the reload is due (pending() only).
    std::int64_t due() const;
    const Timing& timing() const { return m_timing; }

private:
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min() / 2;
    Timing m_timing;
    std::int64_t m_first = kNone;      // the first change not yet reflected
    std::int64_t m_last = kNone;       // the newest change
    std::int64_t m_lastReload = kNone; // the last reload the watch asked for
};

class FolderWatch : public QObject {
public:
    // `reload` reads the folder again (or, when it is gone, shows what is there now) and returns
    // true, or returns false when it can't now (a folder is loading, a dialog is open): then it is
    // asked again once the quiet time has passed.
    explicit FolderWatch(std::function<bool()> reload, ReloadTiming timing = {}, QObject* parent = nullptr);
    ~FolderWatch() override;

    // Watches `folder` from now on (empty: nothing). Changes seen before are forgotten: the
    // caller reads the folder right after this, so the changes are in what it reads. A folder
    // that can't be watched (gone, unreadable, out of inotify watches) is not watched. The same
    // folder asked for again is watched afresh when what lies at its path is another folder now.
    void watch(const QByteArray& folder);
    // The folder watched; empty when none is.
    QByteArray folder() const { return m_watchDescriptor >= 0 ? m_folder : QByteArray(); }
    // A reload is waiting for its time.
    bool pending() const { return m_pacer.pending(); }
    // The folder watched went away (the reload asked for is for that): removed, renamed, replaced
    // or unmounted. What lies at its path now is for the one who reloads to find out.
    bool gone() const { return m_gone; }

private:
    // Reads the queued events; true when one of them changes the folder's listing.
    bool readEvents();
    void eventsArrived();
    void timeUp();
    void stopWatching();
    std::int64_t now() const { return m_clock.elapsed(); }

    std::function<bool()> m_reload;
    ReloadPacer m_pacer;
    QByteArray m_folder;
    int m_fd = -1;
    int m_watchDescriptor = -1;
    bool m_gone = false;
    QSocketNotifier* m_notifier = nullptr; // owned by this object (Qt parent)
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace ketra
