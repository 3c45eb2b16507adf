// The folder-size pass: measures the sub-folders of a listed folder on worker threads.
//
// Folders are the unit of work. A worker opens a folder relative to its parent's open
// descriptor, reads it with getdents64 and stats every entry without following links; the
// sub-folders it finds go onto a shared stack that every worker takes from, so two workers
// share one deep sub-folder as well as many small ones. A pass starts with as many workers as
// the processors keep busy; when folders have to be read from the disk (a cold cache), a
// worker mostly waits for it, and more workers join, so that more reads are in flight than
// there are processors. On a warm cache no worker joins. A folder that the cache knows, with
// the same identity and modification time, is not read: when every folder below it was read
// in full, it is taken from the cache with all of them, without looking at the disk (a first
// answer, which a pass trusting nothing then checks); else only its sub-folders are statted.
//
// Totals: apparent sizes of everything that is not a folder; a file with more than one link is
// counted once per pass, keyed on (device, inode) across the whole pass. Symbolic links are
// never followed (a link counts as a non-folder entry of its own size), pseudo file systems are
// never entered, a folder that can't be read is recorded (kUnreadable) and skipped, a folder
// that vanishes is skipped.
#pragma once

#include "cache.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace treescan {

// Commits a complete read of folder `index`: its identity and modification time, its own
// figures, its hard-link records and its sub-folders named `subNames`. Existing sub-folder nodes
// are kept (with what is cached below them) when their name is still there; the others are
// dropped. `childNodes` receives the node of each name, in order. Safe on distinct nodes from
// different threads.
struct FolderFacts {
    std::uint64_t dev;
    std::uint64_t ino;
    std::int64_t mtimeNs;
    std::uint64_t ownBytes;
    std::uint32_t ownFiles;
    // False when the folder changed so recently that a change in the same clock tick would not
    // move its modification time: its figures are used but not trusted next time.
    bool settled;
};

// Folders modified less than this long before a pass began are not trusted from the cache.
inline constexpr std::int64_t kSettleNs = 2'000'000'000;
// The current time in ns since the epoch, less kSettleNs: folders modified before it are settled.
std::int64_t settledBefore();
void commitFolder(FolderCache& cache, std::uint32_t index, const FolderFacts& facts,
                  const std::vector<LinkRecord>& links, const std::vector<std::string_view>& subNames,
                  std::vector<std::uint32_t>& childNodes);

// A set of (device, inode) pairs, shared by the workers of one pass.
class HardLinkSet {
public:
    // True when the pair was not in the set yet (and now is).
    bool insert(std::uint64_t dev, std::uint64_t ino);

private:
    struct Slot {
        std::uint64_t dev;
        std::uint64_t ino; // 0 = empty
    };
    std::mutex m_mutex;
    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
};

// One folder-size pass. Owned through shared_ptr by the caller and by its worker threads, so a
// worker blocked in the kernel (a stalled mount) can be abandoned: it finishes into a pass that
// nobody reads, and the last one out frees it.
class FolderWalk : public std::enable_shared_from_this<FolderWalk> {
public:
    // A sub-folder of the listed folder, with what stat said of it.
    struct Start {
        std::uint32_t node; // its cache node (a child of the listed folder's node)
        std::uint64_t dev;
        std::uint64_t ino;
        std::int64_t mtimeNs;
    };

    // Most workers of a pass whose folders come from the disk: with more reads in flight, the
    // disk answers sooner; past about 8 it gains little.
    static constexpr unsigned kDiskWorkers = 8;

    // The walk keeps `cache` alive for as long as a worker may use it. Without `trustCache`
    // every folder is read from disk, however unchanged the cache says it is. `threads`
    // workers start; more join, up to `diskThreads`, while folders are read from the disk.
    FolderWalk(std::shared_ptr<FolderCache> cache, unsigned threads = 2, bool trustCache = true,
               unsigned diskThreads = kDiskWorkers);
    ~FolderWalk(); // drops what is still queued
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // Counts hard-linked files of the listed folder itself, before start(): returns the bytes
    // of the records not seen before.
    std::uint64_t countLinks(const std::vector<LinkRecord>& links);

    // Measures `subs`, the sub-folders of the open folder `rootFd` (which the walk takes over
    // and closes), whose cache node is `rootNode`. Progress names are `displayRoot` + "/" + the sub-folder's
    // name.
    void start(int rootFd, std::uint32_t rootNode, std::uint64_t rootDev, std::vector<Start> subs,
               std::string displayRoot);

    // Lets workers join as if every folder came from the disk (tests: a cached tree walked the
    // way a cold one is). Before start().
    void growAlways() { m_growAlways = true; }

    // Ends the pass within a few entries of work. Any thread, any time.
    void stop() noexcept;

    // Stops the pass and waits for its workers, at most `patience`. True when they have all
    // ended (and are joined); false when one is still inside a system call: the workers are then
    // let go, and may still use the cache given to the constructor. Owner thread.
    bool stopAndJoin(std::chrono::milliseconds patience = std::chrono::milliseconds(50));

    // Never blocks. 1: sub-folder `folder` has been measured; 0: the pass has ended (or was
    // stopped); 2: nothing new.
    int next(std::string& folder);
    bool finished() const;

    // Running totals of sub-folder i (index into the `subs` given to start).
    bool started(std::size_t i) const { return m_tallies[i].started.load(std::memory_order_relaxed); }
    std::uint64_t bytes(std::size_t i) const { return m_tallies[i].bytes.load(std::memory_order_relaxed); }
    std::uint32_t files(std::size_t i) const { return m_tallies[i].files.load(std::memory_order_relaxed); }
    std::uint32_t folders(std::size_t i) const {
        return m_tallies[i].folders.load(std::memory_order_relaxed);
    }
    std::size_t size() const { return m_subCount; }

    // Folders that could not be read in this pass (also flagged kUnreadable in the cache).
    std::uint32_t unreadable() const { return m_unreadable.load(std::memory_order_relaxed); }
    // Folders read from disk / confirmed from the cache in this pass (for tests and figures).
    std::uint32_t foldersRead() const { return m_read.load(std::memory_order_relaxed); }
    std::uint32_t foldersFromCache() const { return m_cached.load(std::memory_order_relaxed); }
    // Folders that could not be opened for want of file descriptors, however long the pass
    // waited for some: the totals are too low.
    std::uint32_t errors() const { return m_errors.load(std::memory_order_relaxed); }
    bool stopped() const { return m_stop.load(); }

private:
    struct Task;
    struct Worker;
    struct Tally {
        std::atomic<std::uint64_t> bytes{0};
        std::atomic<std::uint32_t> files{0};
        std::atomic<std::uint32_t> folders{0};
        std::atomic<std::uint32_t> pending{0}; // tasks of this sub-folder not finished yet
        std::atomic<bool> started{false};
    };

    void run(Worker& w);
    void launch(); // one more worker; with m_exitMutex held
    void grow(Worker& w);
    void process(Task* t, Worker& w);
    bool confirm(int dirFd, const std::string& rel, std::uint32_t node, Worker& w);
    void relativePath(std::uint32_t from, std::uint32_t to, Worker& w) const;
    bool read(Task* t, Worker& w);
    void addCached(Task* t, Worker& w);
    bool addSubtree(std::uint32_t node, Tally& tally, Worker& w);
    void pushChildren(Task* t, Task* base, Worker& w);
    void finish(Task* t);
    void markUnreadable(Task* t);
    static void unref(Task* t);

    std::shared_ptr<FolderCache> m_cacheOwner;
    FolderCache& m_cache;
    std::atomic<bool> m_stop{false};
    std::mutex m_exitMutex;
    std::condition_variable m_exitCv;
    unsigned m_exited = 0;     // workers that have left run(), guarded by m_exitMutex
    std::vector<pid_t> m_tids; // the workers' thread ids, guarded by m_exitMutex
    bool sleepingWorker() const;
    unsigned m_threadCount;
    unsigned m_diskThreads;
    bool m_growAlways = false;
    // The workers, guarded by m_exitMutex while they may add one; once m_closed is set (by the
    // owner, under m_exitMutex) no worker is added and the owner alone uses it.
    std::vector<std::thread> m_threads;
    bool m_closed = false;
    std::atomic<bool> m_grown{false}; // no more workers will join
    std::unique_ptr<Tally[]> m_tallies;
    std::size_t m_subCount = 0;
    std::vector<std::string> m_names; // progress names of the sub-folders
    HardLinkSet m_links;

    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::vector<Task*> m_queue;              // LIFO: depth first, which keeps few folders open
    std::atomic<std::uint64_t> m_pending{0}; // tasks not finished

    mutable std::mutex m_doneMutex;
    std::vector<std::uint32_t> m_done; // sub-folders measured, in order
    std::size_t m_doneRead = 0;        // how many of them next() has reported
    bool m_finished = false;           // guarded by m_doneMutex

    std::atomic<std::uint32_t> m_unreadable{0};
    std::atomic<std::uint32_t> m_read{0};
    std::atomic<std::uint32_t> m_cached{0};
    std::atomic<std::uint32_t> m_errors{0};
    const bool m_trust;
    std::int64_t m_settledBefore;
};

} // namespace treescan
