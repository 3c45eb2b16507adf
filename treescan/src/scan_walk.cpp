#include "scan_walk.h"

#include "common.h"
#include "progress.h"
#include "pseudofs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <unordered_map>

namespace treescan {

namespace {

// Longest path from a base folder to a folder confirmed through it; adding "/" and a name of at
// most 255 bytes keeps it under PATH_MAX.
constexpr std::size_t kMaxRelative = 3500;

} // namespace

// ---- commitFolder ------------------------------------------------------------------------------

void commitFolder(FolderCache& cache, std::uint32_t index, const FolderFacts& facts,
                  const std::vector<LinkRecord>& links, const std::vector<std::string_view>& subNames,
                  std::vector<std::uint32_t>& childNodes) {
    thread_local std::vector<std::uint32_t> old;
    thread_local std::vector<std::uint8_t> used;
    thread_local std::vector<std::string_view> missing;
    thread_local std::vector<std::uint32_t> made;
    thread_local std::vector<LinkRecord> oldLinks;

    FolderNode& n = cache.node(index);
    bool changed = (n.flags & kRead) == 0 || n.dev != facts.dev || n.ino != facts.ino ||
                   n.mtimeNs != facts.mtimeNs || n.ownBytes != facts.ownBytes || n.ownFiles != facts.ownFiles;

    old.clear();
    for (std::uint32_t c = n.firstChild; c != kNoNode; c = cache.node(c).nextSibling)
        old.push_back(c);
    used.assign(old.size(), 0);
    childNodes.assign(subNames.size(), kNoNode);
    if (!old.empty()) {
        if (old.size() * subNames.size() <= 256) {
            for (std::size_t i = 0; i < subNames.size(); ++i)
                for (std::size_t j = 0; j < old.size(); ++j)
                    if (!used[j] && cache.name(old[j]) == subNames[i]) {
                        used[j] = 1;
                        childNodes[i] = old[j];
                        break;
                    }
        } else {
            std::unordered_map<std::string_view, std::uint32_t> byName;
            byName.reserve(old.size());
            for (std::size_t j = 0; j < old.size(); ++j)
                byName.emplace(cache.name(old[j]), static_cast<std::uint32_t>(j));
            for (std::size_t i = 0; i < subNames.size(); ++i) {
                auto it = byName.find(subNames[i]);
                if (it != byName.end() && !used[it->second]) {
                    used[it->second] = 1;
                    childNodes[i] = old[it->second];
                }
            }
        }
    }
    missing.clear();
    for (std::size_t i = 0; i < subNames.size(); ++i)
        if (childNodes[i] == kNoNode)
            missing.push_back(subNames[i]);
    if (!missing.empty()) {
        made.clear();
        cache.allocate(missing, made);
        std::size_t k = 0;
        for (auto& c : childNodes)
            if (c == kNoNode)
                c = made[k++];
        changed = true;
    }
    for (std::size_t j = 0; j < old.size(); ++j)
        if (!used[j]) {
            cache.release(old[j]);
            changed = true;
        }
    // Link the sub-folders in the order given.
    n.firstChild = kNoNode;
    for (std::size_t i = childNodes.size(); i-- > 0;) {
        FolderNode& c = cache.node(childNodes[i]);
        c.parent = index;
        c.nextSibling = n.firstChild;
        n.firstChild = childNodes[i];
    }

    oldLinks.clear();
    cache.copyLinks(n.links, oldLinks);
    bool sameLinks = oldLinks.size() == links.size();
    for (std::size_t i = 0; sameLinks && i < links.size(); ++i)
        sameLinks = oldLinks[i].dev == links[i].dev && oldLinks[i].ino == links[i].ino &&
                    oldLinks[i].size == links[i].size;
    if (!sameLinks) {
        cache.dropLinks(n.links);
        n.links = links.empty() ? kNoNode : cache.storeLinks(links);
        changed = true;
    }

    n.dev = facts.dev;
    n.ino = facts.ino;
    n.mtimeNs = facts.mtimeNs;
    n.ownBytes = facts.ownBytes;
    n.ownFiles = facts.ownFiles;
    n.flags = facts.settled ? kRead : 0;
    if (changed)
        cache.setDirty(true);
}

std::int64_t settledBefore() {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec - kSettleNs;
}

// ---- HardLinkSet -------------------------------------------------------------------------------

bool HardLinkSet::insert(std::uint64_t dev, std::uint64_t ino) {
    // Inode 0 is never a real file; keep it from meaning "empty".
    std::uint64_t key = ino + 1;
    std::lock_guard lock(m_mutex);
    if ((m_used + 1) * 2 > m_slots.size()) {
        std::vector<Slot> old(m_slots.size() ? m_slots.size() * 2 : 256, Slot{0, 0});
        old.swap(m_slots);
        std::size_t mask = m_slots.size() - 1;
        for (const Slot& s : old)
            if (s.ino != 0) {
                std::size_t h = ((s.ino * 0x9E3779B97F4A7C15ull) ^ s.dev) & mask;
                while (m_slots[h].ino != 0)
                    h = (h + 1) & mask;
                m_slots[h] = s;
            }
    }
    std::size_t mask = m_slots.size() - 1;
    std::size_t h = ((key * 0x9E3779B97F4A7C15ull) ^ dev) & mask;
    while (m_slots[h].ino != 0) {
        if (m_slots[h].ino == key && m_slots[h].dev == dev)
            return false;
        h = (h + 1) & mask;
    }
    m_slots[h] = Slot{dev, key};
    ++m_used;
    return true;
}

// ---- FolderWalk --------------------------------------------------------------------------------

// One folder to measure. It reaches the disk through `base`, the nearest folder above it that
// is open (the listed folder at worst), and the path between the two, taken from the cache: a
// folder confirmed from the cache is never opened itself. A task holds a reference on its base
// until it is done with it; a folder's descriptor is closed when its last reference goes.
struct FolderWalk::Task {
    Task* base;
    std::atomic<std::int32_t> refs;
    int fd;
    std::uint32_t node;
    std::uint32_t top; // which sub-folder of the listed folder this lies in
    std::uint64_t dev;
    std::uint64_t ino;
    std::int64_t mtimeNs;
    std::uint64_t parentDev;
};

// A worker's buffers, reused from folder to folder so that entries cost no allocation.
struct FolderWalk::Worker {
    std::unique_ptr<char[]> buffer{new char[kDirReadBuffer]};
    std::string names; // sub-folder names of the folder being read, back to back
    std::vector<std::uint32_t> nameEnds;
    std::vector<Start> subs; // what stat said of each sub-folder
    std::vector<std::string_view> views;
    std::vector<std::uint32_t> childNodes;
    std::vector<LinkRecord> links;
    std::vector<Task*> batch;
    std::string rel;  // path from the base folder to the folder at hand
    std::string path; // rel + "/" + a sub-folder's name
    std::vector<std::uint32_t> chain;
    std::vector<std::uint32_t> stack; // cache nodes still to add up
    Task* kept = nullptr;             // the folder this worker takes next, without the shared stack
    long blocks = 0;                  // blocks this thread had read from the disk after its last folder
};

FolderWalk::FolderWalk(std::shared_ptr<FolderCache> cache, unsigned threads, bool trustCache,
                       unsigned diskThreads)
    : m_cacheOwner(std::move(cache)), m_cache(*m_cacheOwner), m_threadCount(threads ? threads : 1),
      m_diskThreads(std::max(m_threadCount, diskThreads)), m_trust(trustCache),
      m_settledBefore(settledBefore()) {}

FolderWalk::~FolderWalk() {
    for (auto& th : m_threads)
        if (th.joinable())
            th.detach(); // only when the owner let go of a pass without stopping it
    // What was still queued is dropped; releasing it closes the descriptors it kept open.
    for (Task* t : m_queue) {
        unref(t->base);
        unref(t);
    }
}

void FolderWalk::stop() noexcept {
    m_stop.store(true);
    m_queueCv.notify_all();
    signalProgress(Progress::tree);
}

void FolderWalk::unref(Task* t) {
    if (t != nullptr && t->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        if (t->fd >= 0)
            ::close(t->fd);
        delete t;
    }
}

std::uint64_t FolderWalk::countLinks(const std::vector<LinkRecord>& links) {
    std::uint64_t bytes = 0;
    for (const LinkRecord& l : links)
        if (m_links.insert(l.dev, l.ino))
            bytes += l.size;
    return bytes;
}

void FolderWalk::start(int rootFd, std::uint32_t rootNode, std::uint64_t rootDev, std::vector<Start> subs,
                       std::string displayRoot) {
    m_subCount = subs.size();
    m_tallies = std::make_unique<Tally[]>(subs.size());
    if (!displayRoot.empty() && displayRoot.back() == '/')
        displayRoot.pop_back();
    m_names.reserve(subs.size());
    for (const Start& s : subs)
        m_names.push_back(displayRoot + "/" + std::string(m_cache.name(s.node)));

    auto* root = new Task{nullptr, {1}, rootFd, rootNode, 0, rootDev, 0, 0, 0};
    if (subs.empty()) {
        unref(root);
        std::lock_guard lock(m_doneMutex);
        m_finished = true;
        return;
    }
    root->refs.fetch_add(static_cast<std::int32_t>(subs.size()));
    m_pending.store(subs.size());
    m_queue.reserve(subs.size());
    // Pushed in reverse, so the stack hands them out in the listed order.
    for (std::size_t i = subs.size(); i-- > 0;) {
        m_tallies[i].pending.store(1);
        const Start& s = subs[i];
        m_queue.push_back(
            new Task{root, {1}, -1, s.node, static_cast<std::uint32_t>(i), s.dev, s.ino, s.mtimeNs, rootDev});
    }
    unref(root);
    std::lock_guard lock(m_exitMutex);
    for (unsigned i = 0; i < m_threadCount; ++i)
        launch();
}

void FolderWalk::launch() {
    m_threads.emplace_back([self = shared_from_this()] {
        {
            std::lock_guard lock(self->m_exitMutex);
            self->m_tids.push_back(::gettid());
        }
        Worker w;
        self->run(w);
        std::lock_guard lock(self->m_exitMutex);
        ++self->m_exited;
        self->m_exitCv.notify_all();
    });
    if (m_threads.size() >= m_diskThreads)
        m_grown.store(true, std::memory_order_relaxed);
}

// After each folder while more workers may join: when this worker had to read the disk for it
// (the thread's count of blocks read went up), and folders are waiting that no worker has
// taken, one more worker joins. One getrusage per folder; none once the walk is full.
void FolderWalk::grow(Worker& w) {
    struct rusage use;
    if (::getrusage(RUSAGE_THREAD, &use) != 0) {
        m_grown.store(true, std::memory_order_relaxed);
        return;
    }
    const bool disk = use.ru_inblock != w.blocks;
    w.blocks = use.ru_inblock;
    if (!disk && !m_growAlways)
        return;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.empty())
            return;
    }
    std::lock_guard lock(m_exitMutex);
    if (m_closed || m_stop.load(std::memory_order_relaxed) || m_grown.load(std::memory_order_relaxed))
        return;
    try {
        launch();
    } catch (const std::system_error&) {
        m_grown.store(true, std::memory_order_relaxed); // no thread to be had: go on with these
    }
}

bool FolderWalk::stopAndJoin(std::chrono::milliseconds patience) {
    {
        std::lock_guard lock(m_exitMutex);
        m_closed = true; // no worker joins from here on: m_threads is the owner's alone
    }
    if (m_threads.empty())
        return true;
    if (!finished())
        stop();
    std::unique_lock lock(m_exitMutex);
    auto allOut = [&] { return m_exited == m_threads.size(); };
    bool ended = m_exitCv.wait_for(lock, patience, allOut);
    // A worker still out of sight may only be waiting for a processor on a busy machine: wait
    // on while every worker not yet out is runnable, and give up only on one asleep in the
    // kernel.
    for (int rounds = 0; !ended && rounds < 100 && !sleepingWorker(); ++rounds)
        ended = m_exitCv.wait_for(lock, patience, allOut);
    lock.unlock();
    for (auto& th : m_threads)
        ended ? th.join() : th.detach();
    m_threads.clear();
    return ended;
}

// True when a worker that has not left is asleep in the kernel (state S or D) in a call other
// than a futex wait, which a stop can't end. A futex wait is one of our own locks or condition
// variables (often m_exitMutex, held here): the worker goes on once it is released. Called with
// m_exitMutex held.
bool FolderWalk::sleepingWorker() const {
    for (pid_t tid : m_tids) {
        const std::string task = "/proc/self/task/" + std::to_string(tid);
        std::ifstream stat(task + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue; // gone: it has left
        std::size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size() ||
            (line[close + 2] != 'S' && line[close + 2] != 'D'))
            continue;
        std::ifstream syscall(task + "/syscall");
        long number = -1;
        if (syscall >> number && number == SYS_futex)
            continue;
        return true;
    }
    return false;
}

bool FolderWalk::finished() const {
    std::lock_guard lock(m_doneMutex);
    return m_finished;
}

int FolderWalk::next(std::string& folder) {
    std::lock_guard lock(m_doneMutex);
    if (m_stop.load(std::memory_order_relaxed) && !m_finished)
        return 0; // stopped: what was measured before no longer matters
    if (m_doneRead < m_done.size()) {
        folder = m_names[m_done[m_doneRead++]];
        return 1;
    }
    return m_finished ? 0 : 2;
}

void FolderWalk::run(Worker& w) {
    using namespace std::chrono_literals;
    for (;;) {
        Task* t = w.kept;
        w.kept = nullptr;
        if (t != nullptr && m_stop.load(std::memory_order_relaxed)) {
            unref(t->base);
            unref(t);
            return;
        }
        if (t == nullptr) {
            std::unique_lock lock(m_queueMutex);
            while (m_queue.empty()) {
                if (m_stop.load(std::memory_order_relaxed) || m_pending.load(std::memory_order_acquire) == 0)
                    return;
                // The timeout lets a stop from another thread end the wait without a notify.
                m_queueCv.wait_for(lock, 5ms);
            }
            if (m_stop.load(std::memory_order_relaxed))
                return;
            t = m_queue.back();
            m_queue.pop_back();
        }
        process(t, w);
        if (!m_grown.load(std::memory_order_relaxed))
            grow(w);
    }
}

void FolderWalk::process(Task* t, Worker& w) {
    Tally& tally = m_tallies[t->top];
    tally.started.store(true, std::memory_order_relaxed);
    FolderNode& n = m_cache.node(t->node);
    const bool same = m_trust && (n.flags & (kRead | kFree)) == kRead && n.dev == t->dev && n.ino == t->ino &&
                      n.mtimeNs == t->mtimeNs;
    Task* base = t->base;
    t->base = nullptr;
    if (same && addSubtree(t->node, tally, w)) {
        // Unchanged: taken from the cache with everything below it.
        unref(base);
        finish(t);
        return;
    }
    relativePath(base->node, t->node, w);
    // Unchanged: stat the sub-folders through the base, unless the path grows too long for
    // the kernel; then this folder is opened and becomes the base below it.
    if (same && w.rel.size() <= kMaxRelative) {
        if (confirm(base->fd, w.rel, t->node, w)) {
            addCached(t, w);
            m_cached.fetch_add(1, std::memory_order_relaxed);
            pushChildren(t, base, w);
            unref(base);
            finish(t);
            return;
        }
        if (m_stop.load(std::memory_order_relaxed)) {
            unref(base);
            finish(t);
            return;
        }
    }
    int fd, err;
    // Out of descriptors is no unreadable folder: wait for other workers to close theirs, a
    // second at most, then count it as an error that leaves the totals short.
    for (int tries = 0;; ++tries) {
        fd = ::openat(base->fd, w.rel.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        err = errno;
        if (fd >= 0 || (err != EMFILE && err != ENFILE) || tries == 1000 ||
            m_stop.load(std::memory_order_relaxed))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    unref(base);
    if (fd < 0) {
        if (err == EMFILE || err == ENFILE)
            m_errors.fetch_add(1, std::memory_order_relaxed);
        // Gone (or replaced by something that is not a folder) since it was statted: fine.
        else if (err != ENOENT && err != ENOTDIR && err != ELOOP)
            markUnreadable(t);
        finish(t);
        return;
    }
    t->fd = fd;
    if (t->parentDev != t->dev) {
        if (isPseudoFileSystem(fd)) {
            n.flags = kPseudo;
            finish(t);
            return;
        }
    }
    if (same && confirm(fd, {}, t->node, w)) {
        addCached(t, w);
        m_cached.fetch_add(1, std::memory_order_relaxed);
        pushChildren(t, t, w);
    } else if (!m_stop.load(std::memory_order_relaxed) && read(t, w)) {
        m_read.fetch_add(1, std::memory_order_relaxed);
        pushChildren(t, t, w);
    }
    finish(t);
}

void FolderWalk::relativePath(std::uint32_t from, std::uint32_t to, Worker& w) const {
    w.chain.clear();
    for (std::uint32_t i = to; i != from && i != kNoNode; i = m_cache.node(i).parent)
        w.chain.push_back(i);
    w.rel.clear();
    for (std::size_t k = w.chain.size(); k-- > 0;) {
        if (!w.rel.empty())
            w.rel += '/';
        w.rel.append(m_cache.name(w.chain[k]));
    }
}

// The folder `node` is unchanged: stat its known sub-folders (never its files) through `dirFd`
// + `rel`. False when one of them is gone or is no longer a folder, which means the folder
// changed after all.
bool FolderWalk::confirm(int dirFd, const std::string& rel, std::uint32_t node, Worker& w) {
    w.subs.clear();
    for (std::uint32_t c = m_cache.node(node).firstChild; c != kNoNode; c = m_cache.node(c).nextSibling) {
        if (m_stop.load(std::memory_order_relaxed))
            return false;
        const char* path = m_cache.name(c).data(); // NUL-terminated
        if (!rel.empty()) {
            w.path.assign(rel);
            w.path += '/';
            w.path.append(m_cache.name(c));
            path = w.path.c_str();
        }
        struct stat st;
        if (::fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            return false;
        w.subs.push_back(Start{c, static_cast<std::uint64_t>(st.st_dev),
                               static_cast<std::uint64_t>(st.st_ino), mtimeKey(st)});
    }
    return true;
}

// Reads the folder from disk and commits what it holds. False when it could not be read
// (recorded) or the pass was stopped.
bool FolderWalk::read(Task* t, Worker& w) {
    DirReader reader(t->fd, w.buffer.get(), kDirReadBuffer);
    w.names.clear();
    w.nameEnds.clear();
    w.subs.clear();
    w.links.clear();
    std::uint64_t ownBytes = 0;
    std::uint32_t ownFiles = 0;
    bool denied = false;
    DirReader::Entry e;
    while (reader.next(e)) {
        if (m_stop.load(std::memory_order_relaxed))
            return false;
        struct stat st;
        if (::fstatat(t->fd, e.name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Vanished since the read: skip it. Anything else (a folder we may list but not
            // search) leaves the folder's figures incomplete.
            if (errno != ENOENT)
                denied = true;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            w.names.append(e.name, e.nameLength);
            w.nameEnds.push_back(static_cast<std::uint32_t>(w.names.size()));
            w.subs.push_back(Start{kNoNode, static_cast<std::uint64_t>(st.st_dev),
                                   static_cast<std::uint64_t>(st.st_ino), mtimeKey(st)});
        } else {
            ++ownFiles;
            if (st.st_nlink > 1)
                w.links.push_back(LinkRecord{static_cast<std::uint64_t>(st.st_dev),
                                             static_cast<std::uint64_t>(st.st_ino),
                                             static_cast<std::uint64_t>(st.st_size)});
            else
                ownBytes += static_cast<std::uint64_t>(st.st_size);
        }
    }
    if (reader.error() != 0 || denied) {
        markUnreadable(t);
        return false;
    }
    w.views.clear();
    std::uint32_t from = 0;
    for (std::uint32_t end : w.nameEnds) {
        w.views.emplace_back(w.names.data() + from, end - from);
        from = end;
    }
    commitFolder(m_cache, t->node,
                 FolderFacts{t->dev, t->ino, t->mtimeNs, ownBytes, ownFiles, t->mtimeNs < m_settledBefore},
                 w.links, w.views, w.childNodes);
    for (std::size_t i = 0; i < w.subs.size(); ++i)
        w.subs[i].node = w.childNodes[i];

    Tally& tally = m_tallies[t->top];
    tally.files.fetch_add(ownFiles, std::memory_order_relaxed);
    tally.bytes.fetch_add(ownBytes + countLinks(w.links), std::memory_order_relaxed);
    return true;
}

void FolderWalk::addCached(Task* t, Worker& w) {
    const FolderNode& n = m_cache.node(t->node);
    Tally& tally = m_tallies[t->top];
    std::uint64_t bytes = n.ownBytes;
    if (n.links != kNoNode) {
        w.links.clear();
        m_cache.copyLinks(n.links, w.links);
        bytes += countLinks(w.links);
    }
    tally.files.fetch_add(n.ownFiles, std::memory_order_relaxed);
    tally.bytes.fetch_add(bytes, std::memory_order_relaxed);
}

// The unchanged folder `node` and everything below it, from the cache: added to `tally` when
// every folder below was read in full (a pseudo file system counts as an empty folder). False,
// with nothing added, when one was not (never read, unreadable last time, invalidated): the
// folder is then looked at on disk.
bool FolderWalk::addSubtree(std::uint32_t node, Tally& tally, Worker& w) {
    w.stack.clear();
    w.stack.push_back(node);
    w.links.clear();
    std::uint64_t bytes = 0;
    std::uint32_t files = 0, folders = 0, nodes = 0;
    while (!w.stack.empty()) {
        const std::uint32_t i = w.stack.back();
        w.stack.pop_back();
        const FolderNode& n = m_cache.node(i);
        ++nodes;
        if (n.flags == kPseudo && i != node)
            continue;
        if ((n.flags & (kRead | kFree)) != kRead)
            return false;
        bytes += n.ownBytes;
        files += n.ownFiles;
        if (n.links != kNoNode)
            m_cache.copyLinks(n.links, w.links);
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = m_cache.node(c).nextSibling) {
            w.stack.push_back(c);
            ++folders;
        }
    }
    bytes += countLinks(w.links);
    tally.files.fetch_add(files, std::memory_order_relaxed);
    tally.bytes.fetch_add(bytes, std::memory_order_relaxed);
    tally.folders.fetch_add(folders, std::memory_order_relaxed);
    m_cached.fetch_add(nodes, std::memory_order_relaxed);
    return true;
}

void FolderWalk::pushChildren(Task* t, Task* base, Worker& w) {
    if (w.subs.empty())
        return;
    const auto count = static_cast<std::uint32_t>(w.subs.size());
    Tally& tally = m_tallies[t->top];
    tally.folders.fetch_add(count, std::memory_order_relaxed);
    tally.pending.fetch_add(count, std::memory_order_relaxed);
    m_pending.fetch_add(count, std::memory_order_relaxed);
    base->refs.fetch_add(static_cast<std::int32_t>(count), std::memory_order_relaxed);
    w.batch.clear();
    for (std::size_t i = w.subs.size(); i-- > 0;) {
        const Start& s = w.subs[i];
        w.batch.push_back(new Task{base, {1}, -1, s.node, t->top, s.dev, s.ino, s.mtimeNs, t->dev});
    }
    // The first sub-folder stays with this worker (it would be the next off the stack anyway);
    // the others go where the other worker can take them.
    w.kept = w.batch.back();
    w.batch.pop_back();
    if (w.batch.empty())
        return;
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.insert(m_queue.end(), w.batch.begin(), w.batch.end());
    }
    if (w.batch.size() == 1)
        m_queueCv.notify_one();
    else
        m_queueCv.notify_all();
}

void FolderWalk::markUnreadable(Task* t) {
    FolderNode& n = m_cache.node(t->node);
    if (n.flags & kRead)
        m_cache.setDirty(true);
    n.flags = kUnreadable;
    m_unreadable.fetch_add(1, std::memory_order_relaxed);
}

void FolderWalk::finish(Task* t) {
    const std::uint32_t top = t->top;
    if (m_tallies[top].pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        {
            std::lock_guard lock(m_doneMutex);
            m_done.push_back(top);
        }
        signalProgress(Progress::tree);
    }
    unref(t);
    if (m_pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        {
            std::lock_guard lock(m_doneMutex);
            m_finished = true;
        }
        signalProgress(Progress::tree);
        std::lock_guard lock(m_queueMutex);
        m_queueCv.notify_all();
    }
}

} // namespace treescan
