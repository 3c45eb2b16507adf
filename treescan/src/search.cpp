// File search: FindStr and its polling calls. The folder tree is walked by worker threads that
// share a stack of folders; each reads its folders with getdents64, matches names as it goes,
// and opens only the regular files whose content or size must be looked at.
#include "search_engine.h"

#include "common.h"
#include "pseudofs.h"
#include "search_content.h"
#include "treescan.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

} // namespace

struct SearchEngine::Worker {
    static constexpr std::size_t kDirBuffer = 64 * 1024;
    std::unique_ptr<char[]> dirBuffer = std::make_unique<char[]>(kDirBuffer);
    ContentReader reader;
};

SearchEngine::~SearchEngine() {
    join();
}

void SearchEngine::stop() noexcept {
    m_stop.store(true, std::memory_order_relaxed);
    try {
        // Taking the lock orders the flag before a waiting worker's next look at it.
        std::lock_guard lock(m_queueMutex);
    } catch (...) {
    }
    m_queueCv.notify_all();
}

void SearchEngine::join() {
    stop();
    for (auto& t : m_threads)
        t.join();
    m_threads.clear();
    for (auto& task : m_queue)
        if (task.fd >= 0)
            ::close(task.fd);
    m_queue.clear();
    m_pending = 0;
}

int SearchEngine::start(std::string_view folder, const SearchCriteria& criteria) {
    join();
    m_results.clear();
    m_started = false;
    m_enteredCount.store(0);
    m_entered.clear();
    m_reportedResults = 0;
    m_reportedEntered = 0;
    m_reportedFolder.clear();

    m_criteria = criteria;
    m_namePattern = Pattern(criteria.name, criteria.ignoreCase);
    m_textPattern = Pattern(criteria.text, criteria.ignoreCase);

    std::string root = searchRoot(folder);
    if (root.empty())
        return -ENOENT;
    int fd = openFolderPath(root, true); // the folder asked for may itself be a link
    if (fd < 0)
        return errno > 0 ? -errno : -EIO;

    m_stop.store(false);
    m_started = true;
    if (isPseudoFileSystem(fd)) {
        ::close(fd); // never searched; the search has ended at once
        return 0;
    }
    m_queue.push_back({std::move(root), fd});
    m_pending = 1;
    m_running.store(m_workerCount);
    for (unsigned i = 0; i < m_workerCount; ++i) {
        try {
            m_threads.emplace_back([this] { run(); });
        } catch (...) {
            m_running.fetch_sub(1);
        }
    }
    if (m_threads.empty()) // no thread could be made: nothing will search
        join();
    return 0;
}

int SearchEngine::next() {
    if (!m_started)
        return 0;
    // Read "ended" first: everything a worker appended is visible once it has ended.
    bool ended = m_running.load(std::memory_order_acquire) == 0;
    int32_t found = m_results.count();
    uint64_t entered = m_enteredCount.load(std::memory_order_acquire);
    if (found != m_reportedResults || entered != m_reportedEntered) {
        m_reportedResults = found;
        m_reportedEntered = entered;
        std::lock_guard lock(m_enteredMutex);
        m_reportedFolder = m_entered;
        return 1;
    }
    if (!ended)
        return 2;
    // Every worker has passed its last step: joining takes no time, and an ended search leaves
    // no threads behind (a later fork() sees an idle library).
    for (auto& t : m_threads)
        t.join();
    m_threads.clear();
    return 0;
}

void SearchEngine::push(std::string path) {
    std::lock_guard lock(m_queueMutex);
    m_queue.push_back({std::move(path), -1});
    ++m_pending;
    if (m_waiting > 0)
        m_queueCv.notify_one();
}

void SearchEngine::entered(const std::string& path) {
    // Progress text only: skip it rather than wait when the owner thread is reading it.
    std::unique_lock lock(m_enteredMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    m_entered.assign(path);
    m_enteredCount.fetch_add(1, std::memory_order_release);
}

void SearchEngine::run() {
    Worker worker;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_queueMutex);
            while (m_queue.empty() && m_pending > 0 && !m_stop.load(std::memory_order_relaxed)) {
                ++m_waiting;
                m_queueCv.wait(lock);
                --m_waiting;
            }
            if (m_stop.load(std::memory_order_relaxed) || m_queue.empty())
                break;
            task = std::move(m_queue.back());
            m_queue.pop_back();
        }
        searchFolder(task, worker);
        {
            std::lock_guard lock(m_queueMutex);
            if (--m_pending == 0)
                m_queueCv.notify_all();
        }
    }
    m_running.fetch_sub(1, std::memory_order_release);
}

void SearchEngine::searchFolder(Task& task, Worker& worker) {
    int fd = task.fd;
    if (fd < 0) {
        fd = openFolderPath(task.path, false);
        if (fd < 0)
            return; // unreadable, vanished or replaced by a link: skipped
        if (isPseudoFileSystem(fd)) {
            ::close(fd);
            return;
        }
    }
    entered(task.path);

    DirReader dir(fd, worker.dirBuffer.get(), Worker::kDirBuffer);
    DirReader::Entry entry{};
    const std::string* folder = nullptr; // kept in the results once a file here is found
    while (dir.next(entry)) {
        if (m_stop.load(std::memory_order_relaxed))
            break;
        if (entry.name[0] == '.' && !m_criteria.hidden)
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
            push(childPath(task.path, name));
            continue;
        }
        if (type != DT_REG) // links, FIFOs, devices, sockets are never found
            continue;
        if (!m_namePattern.empty() && !m_namePattern.foundIn(name))
            continue;
        if (!fileMatches(fd, entry.name, haveStat, st, worker))
            continue;
        if (folder == nullptr)
            folder = m_results.addFolder(task.path);
        m_results.append(folder, name, static_cast<double>(st.st_size));
    }
    ::close(fd);
}

// Size and content tests of the regular file `name` in `dirFd`; fills `st` for its size.
bool SearchEngine::fileMatches(int dirFd, const char* name, bool haveStat, struct stat& st, Worker& worker) {
    const bool bounded = m_criteria.minSize >= 0 || m_criteria.maxSize >= 0;
    if (!haveStat && (bounded || m_textPattern.empty())) {
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        haveStat = true;
    }
    if (haveStat && (!S_ISREG(st.st_mode) || !withinBounds(m_criteria, st.st_size)))
        return false;
    if (m_textPattern.empty())
        return true;
    // O_NONBLOCK and the fstat check keep a file that turned into a FIFO or device since the
    // listing from blocking or being read.
    int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool found = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && withinBounds(m_criteria, st.st_size))
        found = worker.reader.contains(fd, st, m_textPattern, m_stop);
    ::close(fd);
    return found;
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
    return engine().start(folder ? folder : "", criteria);
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
    const auto* item = engine().results().at(index);
    return item ? treescan::writeText(*item->folder, buffer, max) : 0;
}

double GetSearchSize(int32_t index) {
    const auto* item = engine().results().at(index);
    return item ? item->size : 0.0;
}

} // extern "C"
