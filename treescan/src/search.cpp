// File search: FindStr and its polling calls. The folder tree is walked by worker threads that
// share a stack of folders; each opens its folder relative to its parent's descriptor, reads it
// with getdents64, matches names as it goes, and opens only the regular files whose content or
// size must be looked at.
#include "search_engine.h"

#include "common.h"
#include "progress.h"
#include "pseudofs.h"
#include "scan_import.h"
#include "search_content.h"
#include "treescan.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace treescan {

std::string searchRoot(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return std::string(folder);
}

std::string childPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
}

namespace {

bool withinBounds(const SearchCriteria& c, off_t size) {
    auto s = static_cast<double>(size);
    return (c.minSize < 0 || s >= c.minSize) && (c.maxSize < 0 || s <= c.maxSize);
}

// Opens `name`, a folder below `parentFd`, never through a symbolic link. A folder on another
// file system is opened only when that is no pseudo file system. Running out of descriptors is
// waited out (other workers close theirs as they finish), for a second at most. -1 when it
// can't be opened.
int openChildFolder(int parentFd, const char* name) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    // One call in the common case: the kernel refuses to cross a mount point, and only then is
    // the other file system looked at.
    static std::atomic<bool> noOpenat2{false};
    for (int tries = 0;; ++tries) {
        int fd = -1;
        bool crossed = true;
        if (!noOpenat2.load(std::memory_order_relaxed)) {
            struct open_how how {};
            how.flags = flags;
            how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
            fd = static_cast<int>(::syscall(SYS_openat2, parentFd, name, &how, sizeof how));
            crossed = fd < 0 && errno == EXDEV;
            if (fd < 0 && (errno == ENOSYS || errno == EPERM))
                noOpenat2 = true;
        }
        if (fd < 0 && (crossed || noOpenat2.load(std::memory_order_relaxed)))
            fd = ::openat(parentFd, name, flags);
        if (fd >= 0 && crossed && isPseudoFileSystem(fd)) {
            ::close(fd);
            return -1;
        }
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || tries == 1000)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

// One search: its workers, its stack of folders and its results. Shared by the engine and the
// workers, so that a worker held in the kernel can be let go: it finishes into a search that
// nobody reads, and the last one out frees it.
class SearchSession {
public:
    SearchSession(const SearchCriteria& criteria)
        : criteria(criteria), namePattern(criteria.name, criteria.ignoreCase),
          textPattern(criteria.text, criteria.ignoreCase) {}
    ~SearchSession() {
        for (auto& t : threads)
            if (t.joinable())
                t.detach();
        for (Task& task : queue)
            release(task.parent);
        if (rootFd >= 0)
            ::close(rootFd);
    }

    void stop() noexcept {
        stopFlag.store(true);
        queueCv.notify_all();
        signalProgress(Progress::find);
    }

    // The workers: `count` of them, taking folders from the stack until it is empty.
    void begin(std::shared_ptr<SearchSession> self, unsigned count) {
        running = count;
        for (unsigned i = 0; i < count; ++i) {
            try {
                threads.emplace_back([self] {
                    self->run();
                    std::lock_guard lock(self->exitMutex);
                    if (--self->running == 0)
                        signalProgress(Progress::find);
                    self->exitCv.notify_all();
                });
            } catch (...) {
                std::lock_guard lock(exitMutex);
                --running;
            }
        }
    }

    // One worker that searches a scan read from a file, from its folder `at`, by name and size.
    void beginScan(std::shared_ptr<SearchSession> self, std::shared_ptr<const ScanTree> scan, std::uint32_t at) {
        running = 1;
        try {
            threads.emplace_back([self, scan, at] {
                self->searchScan(*scan, at);
                std::lock_guard lock(self->exitMutex);
                --self->running;
                signalProgress(Progress::find);
                self->exitCv.notify_all();
            });
        } catch (...) {
            std::lock_guard lock(exitMutex);
            running = 0;
        }
    }

    // Stops the workers and waits a moment for them; true when they all ended (joined).
    bool stopAndJoin() {
        stop();
        std::unique_lock lock(exitMutex);
        bool ended = exitCv.wait_for(lock, std::chrono::milliseconds(50), [&] { return running == 0; });
        lock.unlock();
        for (auto& t : threads)
            ended ? t.join() : t.detach();
        threads.clear();
        return ended;
    }

    bool ended() {
        std::lock_guard lock(exitMutex);
        return running == 0;
    }

    // A folder's open descriptor, shared by the folders below it until they have opened
    // themselves.
    struct Dir {
        std::atomic<int> refs;
        int fd;
    };
    struct Task {
        Dir* parent; // nullptr for the searched folder (rootFd)
        std::uint32_t folder;
    };

    const SearchCriteria criteria;
    const Pattern namePattern, textPattern;
    std::atomic<bool> stopFlag{false};
    int rootFd = -1;
    SearchResults results;
    std::atomic<std::uint32_t> enteredFolder{SearchResults::kNoFolder};
    std::atomic<std::uint64_t> enteredCount{0};
    std::atomic<std::int64_t> lastEnteredSignal{0}; // ms, CLOCK_MONOTONIC_COARSE

    std::mutex queueMutex;
    std::condition_variable queueCv;
    std::vector<Task> queue; // a stack: depth first, so it and the open descriptors stay few
    std::size_t pending = 0; // folders queued or in hand
    unsigned waiting = 0;

    std::mutex exitMutex;
    std::condition_variable exitCv;
    unsigned running = 0; // workers in run(), guarded by exitMutex
    std::vector<std::thread> threads;

private:
    struct Worker {
        std::unique_ptr<char[]> dirBuffer = std::make_unique<char[]>(kDirReadBuffer);
        ContentReader reader;
        std::vector<Task> found; // sub-folders of the folder at hand
    };

    static void release(Dir* d) {
        if (d != nullptr && d->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            ::close(d->fd);
            delete d;
        }
    }

    void run() {
        Worker worker;
        for (;;) {
            Task task;
            {
                std::unique_lock lock(queueMutex);
                while (queue.empty() && pending > 0 && !stopFlag.load(std::memory_order_relaxed)) {
                    ++waiting;
                    queueCv.wait(lock);
                    --waiting;
                }
                if (stopFlag.load(std::memory_order_relaxed) || queue.empty())
                    break;
                task = queue.back();
                queue.pop_back();
            }
            searchFolder(task, worker);
            std::lock_guard lock(queueMutex);
            if (--pending == 0)
                queueCv.notify_all();
        }
    }

    // Entries below `at` in the scan's (depth-first) order; folders are kept as the disk's are.
    void searchScan(const ScanTree& scan, std::uint32_t at) {
        struct Open {
            std::uint32_t end, folder;
        };
        std::vector<Open> open{{scan.entries[at].end, 0}};
        for (std::uint32_t j = at + 1; j < scan.entries[at].end; ++j) {
            if (stopFlag.load(std::memory_order_relaxed))
                return;
            while (j >= open.back().end)
                open.pop_back();
            const ScanEntry& e = scan.entries[j];
            const std::string_view name = scan.name(j);
            if (name.front() == '.' && !criteria.hidden) {
                j = std::max(j, e.end - 1); // a hidden folder with everything below it
                continue;
            }
            if (e.kind == ScanEntry::folder) {
                std::uint32_t sub = results.folders.append({open.back().folder, std::string(name)});
                if (sub == results.folders.kFull)
                    j = std::max(j, e.end - 1);
                else
                    open.push_back({e.end, sub});
                continue;
            }
            if (e.kind != ScanEntry::file || (!namePattern.empty() && !namePattern.foundIn(name)) ||
                !withinBounds(criteria, static_cast<off_t>(std::min<std::uint64_t>(e.size, INT64_MAX))))
                continue;
            results.items.append({open.back().folder, std::string(name), static_cast<double>(e.size)});
            signalProgress(Progress::find);
        }
    }

    void searchFolder(const Task& task, Worker& worker) {
        int fd;
        if (task.parent == nullptr) {
            fd = ::dup(rootFd);
        } else {
            fd = openChildFolder(task.parent->fd, results.folders.at(task.folder)->name.c_str());
            release(task.parent);
        }
        if (fd < 0)
            return; // unreadable, vanished, replaced by a link or a pseudo file system: skipped
        enteredFolder.store(task.folder, std::memory_order_relaxed);
        enteredCount.fetch_add(1, std::memory_order_release);
        // The folder at hand is news for a progress line only: wake the caller for it now and
        // then, not for every folder (results and the end always wake it).
        struct timespec now;
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
        const std::int64_t ms = std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
        if (ms - lastEnteredSignal.exchange(ms, std::memory_order_relaxed) >= 20)
            signalProgress(Progress::find);

        auto* self = new Dir{{1}, fd};
        worker.found.clear();
        bool foundHere = false;
        DirReader dir(fd, worker.dirBuffer.get(), kDirReadBuffer);
        DirReader::Entry entry{};
        while (dir.next(entry)) {
            if (stopFlag.load(std::memory_order_relaxed))
                break;
            if (entry.name[0] == '.' && !criteria.hidden)
                continue;
            std::string_view name(entry.name, entry.nameLength);
            struct stat st {};
            bool haveStat = false;
            unsigned char type = entry.type;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, entry.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                haveStat = true;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                std::uint32_t sub = results.folders.append({task.folder, std::string(name)});
                if (sub != results.folders.kFull) {
                    self->refs.fetch_add(1, std::memory_order_relaxed);
                    worker.found.push_back({self, sub});
                }
                continue;
            }
            if (type != DT_REG) // links, FIFOs, devices, sockets are never found
                continue;
            if (!namePattern.empty() && !namePattern.foundIn(name))
                continue;
            if (!fileMatches(fd, entry.name, haveStat, st, worker))
                continue;
            results.items.append({task.folder, std::string(name), static_cast<double>(st.st_size)});
            foundHere = true;
        }
        if (!worker.found.empty()) {
            std::lock_guard lock(queueMutex);
            // Pushed in reverse, so the stack hands them out in the order read.
            queue.insert(queue.end(), worker.found.rbegin(), worker.found.rend());
            pending += worker.found.size();
            if (waiting > 0)
                queueCv.notify_all();
        }
        release(self);
        if (foundHere)
            signalProgress(Progress::find);
    }

    // Size and content tests of the regular file `name` in `dirFd`; fills `st` for its size.
    bool fileMatches(int dirFd, const char* name, bool haveStat, struct stat& st, Worker& worker) {
        const bool bounded = criteria.minSize >= 0 || criteria.maxSize >= 0;
        if (!haveStat && (bounded || textPattern.empty())) {
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return false;
            haveStat = true;
        }
        if (haveStat && (!S_ISREG(st.st_mode) || !withinBounds(criteria, st.st_size)))
            return false;
        if (textPattern.empty())
            return true;
        // O_NONBLOCK and the fstat check keep a file that turned into a FIFO or device since the
        // listing from blocking or being read.
        int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool found = false;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && withinBounds(criteria, st.st_size))
            found = worker.reader.contains(fd, st, textPattern, stopFlag);
        ::close(fd);
        return found;
    }
};

SearchEngine::~SearchEngine() {
    join();
}

void SearchEngine::stop() noexcept {
    try {
        std::lock_guard lock(m_currentMutex);
        if (m_current)
            m_current->stop();
    } catch (...) {
    }
}

void SearchEngine::join() {
    if (m_current)
        m_current->stopAndJoin();
}

const SearchResults& SearchEngine::results() const {
    static const SearchResults none;
    return m_current ? m_current->results : none;
}

int SearchEngine::start(std::string_view folder, const SearchCriteria& criteria) {
    join();
    auto session = std::make_shared<SearchSession>(criteria);
    {
        std::lock_guard lock(m_currentMutex);
        m_current = session;
    }
    m_reportedResults = 0;
    m_reportedEntered = 0;
    m_reportedFolder.clear();

    std::string root = searchRoot(folder);
    if (std::shared_ptr<const ScanTree> scan = openedScan()) {
        // A scan read from a file: names and sizes only, the files themselves are elsewhere.
        const std::uint32_t at = criteria.text.empty() ? findScanFolder(*scan, root) : ~std::uint32_t{0};
        if (at == ~std::uint32_t{0}) {
            std::lock_guard lock(m_currentMutex);
            m_current.reset();
            return criteria.text.empty() ? -ENOENT : -ENOTSUP;
        }
        session->results.folders.append({SearchResults::kNoFolder, root});
        session->beginScan(session, std::move(scan), at);
        return 0;
    }
    int fd = root.empty() ? -1 : openFolderPath(root, true); // the folder asked for may be a link
    if (fd < 0) {
        int err = root.empty() ? ENOENT : errno;
        std::lock_guard lock(m_currentMutex);
        m_current.reset();
        return err > 0 ? -err : -EIO;
    }
    if (isPseudoFileSystem(fd)) {
        ::close(fd); // never searched; the search has ended at once
        return 0;
    }
    session->rootFd = fd;
    session->results.folders.append({SearchResults::kNoFolder, root});
    session->queue.push_back({nullptr, 0});
    session->pending = 1;
    session->begin(session, m_workerCount);
    return 0;
}

int SearchEngine::next() {
    const std::shared_ptr<SearchSession>& s = m_current;
    if (!s)
        return 0;
    progressSeen(Progress::find);
    // Read "ended" first: everything a worker appended is visible once it has ended. A stopped
    // search has ended too, even while a worker is still held in a system call.
    const bool ended = s->ended() || s->stopFlag.load();
    int32_t found = s->results.count();
    std::uint64_t entered = s->enteredCount.load(std::memory_order_acquire);
    if (found != m_reportedResults || entered != m_reportedEntered) {
        m_reportedResults = found;
        m_reportedEntered = entered;
        std::uint32_t folder = s->enteredFolder.load(std::memory_order_relaxed);
        m_reportedFolder = folder == SearchResults::kNoFolder ? std::string() : s->results.path(folder);
        return 1;
    }
    if (!ended)
        return 2;
    // Every worker has passed its last step: joining takes no time, and an ended search leaves
    // no threads behind (a later fork() sees an idle library).
    s->stopAndJoin();
    return 0;
}

namespace {
SearchEngine& engine() {
    static SearchEngine instance(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    return instance;
}
} // namespace

void stopSearch() noexcept {
    engine().stop();
}

} // namespace treescan

using treescan::engine;

extern "C" {

int32_t FindStr(const char* folder, const char* name, const char* text) {
    treescan::SearchCriteria criteria;
    criteria.name = name ? name : "";
    criteria.text = text ? text : "";
    auto& opts = treescan::options();
    criteria.ignoreCase = opts.ignoreCase.load();
    criteria.hidden = opts.hidden.load();
    criteria.minSize = opts.minSize.load();
    criteria.maxSize = opts.maxSize.load();
    int32_t r = engine().start(folder ? folder : "", criteria);
    treescan::setFolderError(r < 0 ? -r : 0);
    return r;
}

int32_t NextFind(void) {
    int r = engine().next();
    if (r == 1)
        treescan::setCurrentFolder(engine().folder());
    return r;
}

int32_t GetSearchFileCount(void) {
    return engine().results().count();
}

int32_t GetSearchFile(int32_t index, char* buffer, int32_t max) {
    const auto* item = engine().results().at(index);
    return item ? treescan::writeText(item->name, buffer, max) : 0;
}

int32_t GetSearchFolder(int32_t index, char* buffer, int32_t max) {
    const auto& results = engine().results();
    const auto* item = results.at(index);
    return item ? treescan::writeText(results.path(item->folder), buffer, max) : 0;
}

double GetSearchSize(int32_t index) {
    const auto* item = engine().results().at(index);
    return item ? item->size : 0.0;
}

} // extern "C"
