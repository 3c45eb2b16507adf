// The scanner's C interface: listing, folder sizes and the folder cache.
#include "treescan.h"

#include "cache.h"
#include "cache_file.h"
#include "cache_history.h"
#include "common.h"
#include "progress.h"
#include "pseudofs.h"
#include "scan_import.h"
#include "scan_list.h"
#include "scan_state.h"
#include "scan_walk.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace treescan {

namespace {

constexpr unsigned kWorkers = 2;
constexpr std::size_t kMaxCacheFile = std::size_t{1} << 30;

// The running pass, for ResetFileTree from any thread.
std::mutex g_runningMutex;
std::shared_ptr<FolderWalk> g_running;

void setRunning(std::shared_ptr<FolderWalk> walk) {
    std::lock_guard lock(g_runningMutex);
    g_running = std::move(walk);
}

// What a pass reads of the listed folder itself before its workers measure the sub-folders.
struct RootRead {
    int fd = -1; // the folder, kept open for the walk
    struct stat st {};
    std::string subNameBytes; // the sub-folders' names, one after another
    std::vector<std::size_t> subNameEnds;
    std::vector<FolderWalk::Start> subs;
    std::vector<LinkRecord> links;
    std::uint64_t ownBytes = 0;
    std::uint32_t ownFiles = 0;

    RootRead() = default;
    RootRead(const RootRead&) = delete;
    RootRead& operator=(const RootRead&) = delete;
    ~RootRead() {
        if (fd >= 0)
            ::close(fd);
    }
};

// A listing BeginFolder runs on a thread of its own. The thread fills in the result, then sets
// `done` under the mutex; the owner reads the result only after seeing `done` there.
struct Listing {
    std::string path;
    int sortKey = 0;
    bool ascending = true, hidden = false, system = false, sizes = false;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    // The result.
    int error = 0;
    std::vector<ListedItem> items;
    std::unique_ptr<RootRead> root; // with folder sizes on
};
std::shared_ptr<Listing> g_listing; // under g_runningMutex, for ResetFileTree

// One folder-size pass over the listed folder and what it found in the folder itself.
struct Pass {
    std::shared_ptr<FolderWalk> walk;
    std::uint64_t rootBytes = 0; // files directly in the listed folder (hard links once)
    std::uint32_t rootFiles = 0;
    std::uint32_t rootFolders = 0;
    std::vector<std::int32_t> itemSub; // per listed item: its index among the walk's sub-folders, or -1
};

struct State {
    // Shared with the passes: a pass abandoned in a stalled system call keeps the cache it used,
    // and the scanner goes on with another.
    std::shared_ptr<FolderCache> cache = std::make_shared<FolderCache>();
    std::vector<ListedItem> items;
    std::string path;   // the folder last set
    bool sizes = false; // the last SetFolder measured folder sizes
    int32_t passState = TREESCAN_PASS_NONE;
    Pass answer;                            // what the totals report
    Pass verify;                            // the full pass behind a cached answer, until it replaces it
    std::vector<std::string> invalidations; // waiting for the running pass to end
    std::string cacheFileLoaded;            // the file the cache matches, while not dirty
    std::size_t cacheFileSize = 0;
    bool cacheStranded = false;       // a worker let go while still at work may use `cache`
    std::shared_ptr<Listing> listing; // begun, its end not yet reported
    int32_t listed = -1;              // what FolderListed reports when no listing is pending

    // Ends a listing still running: it is asked to stop and given a moment; a thread held in a
    // system call finishes on its own into a result nobody reads.
    void dropListing() {
        if (!listing)
            return;
        listing->stop = true;
        {
            std::unique_lock lock(listing->mutex);
            listing->ended.wait_for(lock, std::chrono::milliseconds(100), [this] { return listing->done; });
        }
        listing.reset();
        std::lock_guard lock(g_runningMutex);
        g_listing.reset();
    }

    // Stops the pass's walk and waits a moment for its workers. One stuck in the kernel (a
    // stalled mount) is left to finish on its own with the cache it holds; unless its pass had
    // come to its end, the scanner must not touch that cache again and takes another at the next
    // stopWalk.
    void settle(Pass& p) {
        if (p.walk && !p.walk->stopAndJoin() && !p.walk->finished())
            cacheStranded = true;
    }
    // Stops the passes. A cache left to a stuck worker is replaced by a fresh one, refilled from
    // the cache file.
    void stopWalk() {
        dropListing();
        settle(answer);
        settle(verify);
        verify = Pass{};
        if (passState == TREESCAN_PASS_RUNNING)
            passState = TREESCAN_PASS_STOPPED;
        if (!cacheStranded)
            return;
        cacheStranded = false;
        cache = std::make_shared<FolderCache>();
        cacheFileLoaded.clear();
        loadCacheFile();
    }
    bool loadCacheFile();
    bool walkRunning() const {
        return (answer.walk && !answer.walk->finished()) || (verify.walk && !verify.walk->finished());
    }

    void applyInvalidations() {
        for (const std::string& path : invalidations) {
            std::uint32_t node = cache->find(path, false);
            if (node != kNoNode)
                cache->invalidate(node, true);
            else
                cache->invalidate(cache->deepest(path), false);
        }
        invalidations.clear();
    }
    Pass startPass(bool trustCache);
    Pass commitPass(std::unique_ptr<RootRead> root, bool trustCache);
    // Makes `items` (sorted) the list of the folder `folder`, and starts its pass with `root`.
    int32_t install(const std::string& folder, std::vector<ListedItem> items, std::unique_ptr<RootRead> root,
                    bool sizes);
};

State& state() {
    static State s;
    return s;
}

// Replaces the cache with the stored one, when the file is sound. The pass shown last no longer
// matches the cache's nodes: its totals are dropped.
bool State::loadCacheFile() {
    std::string file = cacheFilePath();
    std::string data;
    if (file.empty() || !readWholeFile(file, data, kMaxCacheFile, kCacheHeaderBytes, cacheHeaderFits) ||
        !cache->deserialise(data))
        return false;
    answer = Pass{};
    verify = Pass{};
    sizes = false;
    passState = TREESCAN_PASS_NONE;
    cache->setDirty(false);
    cacheFileLoaded = file;
    cacheFileSize = data.size();
    return true;
}

} // namespace

// The cache's key for a folder: its real path (links resolved), else its normalised path.
std::string cacheKey(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return normalisePath(path);
    std::string out(real);
    std::free(real);
    return out;
}

namespace {

int32_t clamp32(std::uint64_t n) {
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

const ListedItem* itemAt(int32_t index) {
    const auto& items = state().items;
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        return nullptr;
    return &items[static_cast<std::size_t>(index)];
}

// What GetSize reports for item `i` (a valid index): a measured folder's total so far, else the
// item's own size.
std::int64_t sizeNow(std::size_t i) {
    const State& s = state();
    const Pass& p = s.answer;
    const std::int32_t sub = p.walk ? p.itemSub[i] : -1;
    if (sub >= 0 && p.walk->started(static_cast<std::size_t>(sub)))
        return static_cast<std::int64_t>(p.walk->bytes(static_cast<std::size_t>(sub)));
    return s.items[i].size;
}

// Reads the folder `path` itself for a pass: every entry, hidden and system ones too. Nothing
// when the folder can't be read now, lies on a pseudo file system (its "files" are not disk
// use), or `stop` was raised.
std::unique_ptr<RootRead> readRoot(const std::string& path, const std::atomic<bool>* stop) {
    auto root = std::make_unique<RootRead>();
    root->fd = openFolderPath(path, true);
    if (root->fd < 0 || ::fstat(root->fd, &root->st) != 0 || isPseudoFileSystem(root->fd))
        return nullptr;
    std::unique_ptr<char[]> buffer(new char[kDirReadBuffer]);
    DirReader reader(root->fd, buffer.get(), kDirReadBuffer);
    DirReader::Entry e;
    while (reader.next(e)) {
        if (stop && stop->load(std::memory_order_relaxed))
            return nullptr;
        struct stat st;
        if (::fstatat(root->fd, e.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            root->subNameBytes.append(e.name, e.nameLength);
            root->subNameEnds.push_back(root->subNameBytes.size());
            root->subs.push_back(FolderWalk::Start{kNoNode, static_cast<std::uint64_t>(st.st_dev),
                                                   static_cast<std::uint64_t>(st.st_ino), mtimeKey(st)});
        } else {
            ++root->ownFiles;
            if (st.st_nlink > 1)
                root->links.push_back(LinkRecord{static_cast<std::uint64_t>(st.st_dev),
                                                 static_cast<std::uint64_t>(st.st_ino),
                                                 static_cast<std::uint64_t>(st.st_size)});
            else
                root->ownBytes += static_cast<std::uint64_t>(st.st_size);
        }
    }
    if (reader.error() != 0)
        return nullptr;
    return root;
}

} // namespace

void stopScan() noexcept {
    try {
        std::lock_guard lock(g_runningMutex);
        if (g_running)
            g_running->stop();
        if (g_listing)
            g_listing->stop = true;
    } catch (...) {
    }
}

const std::string& listedFolder() {
    return state().path;
}

PassFigures lastPassFigures() {
    PassFigures f;
    if (const auto& w = state().answer.walk) {
        f.foldersRead = w->foldersRead();
        f.foldersFromCache = w->foldersFromCache();
        f.unreadable = w->unreadable();
    }
    return f;
}

FolderCache& folderCache() {
    return *state().cache;
}

std::string normalisePath(const std::string& path) {
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        full = std::string(cwd != nullptr ? cwd : "/") + "/" + full;
        std::free(cwd);
    }
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty())
        return "/";
    std::string out;
    for (std::string_view p : parts) {
        out += '/';
        out.append(p);
    }
    return out;
}

} // namespace treescan

using namespace treescan;

extern "C" {

int32_t SetFolder(const char* path) {
    State& s = state();
    s.stopWalk();
    setRunning(nullptr);
    s.answer = Pass{};
    s.items.clear();
    s.sizes = false;
    s.passState = TREESCAN_PASS_NONE;
    s.listed = -1;
    setFolderError(ENOENT);
    if (path == nullptr || path[0] == '\0')
        return -1;
    if (openedScan()) {
        // A scan read from a file stands in for the disk: its totals are all there at once.
        ScanTotals t;
        if (listScanFolder(path, options().folderSize.load(), s.items, t) < 0)
            return -1;
        s.path = path;
        if (options().folderSize.load()) {
            s.sizes = true;
            s.passState = TREESCAN_PASS_VERIFIED;
            s.answer.rootBytes = t.bytes;
            s.answer.rootFiles = static_cast<std::uint32_t>(std::min<std::uint64_t>(t.files, UINT32_MAX));
            s.answer.rootFolders = static_cast<std::uint32_t>(std::min<std::uint64_t>(t.folders, UINT32_MAX));
        }
        setFolderError(0);
        return clamp32(s.items.size());
    }
    const Options& o = options();
    std::vector<ListedItem> items;
    if (const int error = listEntries(path, o.hidden.load(), o.system.load(), nullptr, items)) {
        setFolderError(error);
        return -1;
    }
    sortItems(items, o.sortKey.load(), o.ascending.load());
    const bool sizes = o.folderSize.load();
    return s.install(path, std::move(items), sizes ? readRoot(path, nullptr) : nullptr, sizes);
}

int32_t BeginFolder(const char* path) {
    State& s = state();
    if (path == nullptr || path[0] == '\0' || openedScan()) {
        s.listed = SetFolder(path); // nothing to wait for
        signalProgress(Progress::tree);
        return path == nullptr || path[0] == '\0' ? -1 : 0;
    }
    SetFolder(nullptr); // stops what runs and sets no folder
    auto listing = std::make_shared<Listing>();
    const Options& o = options();
    listing->path = path;
    listing->sortKey = o.sortKey.load();
    listing->ascending = o.ascending.load();
    listing->hidden = o.hidden.load();
    listing->system = o.system.load();
    listing->sizes = o.folderSize.load();
    s.listing = listing;
    {
        std::lock_guard lock(g_runningMutex);
        g_listing = listing;
    }
    std::thread([listing] {
        Listing& l = *listing;
        std::vector<ListedItem> items;
        int error = listEntries(l.path, l.hidden, l.system, &l.stop, items);
        std::unique_ptr<RootRead> root;
        if (error == 0) {
            sortItems(items, l.sortKey, l.ascending);
            if (l.sizes)
                root = readRoot(l.path, &l.stop);
            if (l.stop.load())
                error = EINTR;
        }
        {
            std::lock_guard lock(l.mutex);
            l.error = error;
            l.items = std::move(items);
            l.root = std::move(root);
            l.done = true;
        }
        l.ended.notify_all();
        signalProgress(Progress::tree);
    }).detach();
    return 0;
}

int32_t FolderListed(void) {
    State& s = state();
    if (!s.listing)
        return s.listed;
    std::shared_ptr<Listing> l = s.listing;
    {
        std::lock_guard lock(l->mutex);
        if (!l->done)
            return TREESCAN_LISTING;
    }
    s.listing.reset();
    {
        std::lock_guard lock(g_runningMutex);
        g_listing.reset();
    }
    if (l->error != 0) {
        setFolderError(l->error);
        return -1;
    }
    return s.install(l->path, std::move(l->items), std::move(l->root), l->sizes);
}

// Starts a pass over the folder last set: reads the folder itself (every entry, hidden and
// system ones too), then measures its sub-folders on worker threads.
Pass State::startPass(bool trustCache) {
    return commitPass(readRoot(path, nullptr), trustCache);
}

// Enters what `root` read into the cache and sets the workers going. No walk without it.
Pass State::commitPass(std::unique_ptr<RootRead> root, bool trustCache) {
    Pass pass;
    pass.itemSub.assign(items.size(), -1);
    if (!root)
        return pass;
    std::uint32_t node = cache->find(cacheKey(path), true);
    if (node == kNoNode)
        return pass;
    std::vector<std::string_view> subNames;
    std::unordered_map<std::string_view, std::int32_t> subOf;
    std::size_t from = 0;
    for (std::size_t end : root->subNameEnds) {
        subOf.emplace(std::string_view(root->subNameBytes).substr(from, end - from),
                      static_cast<std::int32_t>(subNames.size()));
        subNames.emplace_back(root->subNameBytes.data() + from, end - from);
        from = end;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].attribs & TREESCAN_FOLDER && !(items[i].attribs & TREESCAN_LINK))
            if (auto it = subOf.find(items[i].name); it != subOf.end())
                pass.itemSub[i] = it->second;
    std::vector<std::uint32_t> childNodes;
    const struct stat& rootSt = root->st;
    commitFolder(*cache, node,
                 FolderFacts{static_cast<std::uint64_t>(rootSt.st_dev),
                             static_cast<std::uint64_t>(rootSt.st_ino), mtimeKey(rootSt), root->ownBytes,
                             root->ownFiles, mtimeKey(rootSt) < settledBefore()},
                 root->links, subNames, childNodes);
    std::vector<FolderWalk::Start> subs = std::move(root->subs);
    for (std::size_t i = 0; i < subs.size(); ++i)
        subs[i].node = childNodes[i];
    pass.walk = std::make_shared<FolderWalk>(cache, kWorkers, trustCache);
    pass.rootFiles = root->ownFiles;
    pass.rootFolders = static_cast<std::uint32_t>(subs.size());
    pass.rootBytes = root->ownBytes + pass.walk->countLinks(root->links);
    const int fd = std::exchange(root->fd, -1);
    pass.walk->start(fd, node, static_cast<std::uint64_t>(rootSt.st_dev), std::move(subs),
                     normalisePath(path));
    return pass;
}

int32_t State::install(const std::string& folder, std::vector<ListedItem> listed,
                       std::unique_ptr<RootRead> root, bool withSizes) {
    setFolderError(0);
    items = std::move(listed);
    path = folder;
    if (withSizes) {
        sizes = true;
        applyInvalidations();
        answer = commitPass(std::move(root), true);
        passState = answer.walk ? TREESCAN_PASS_RUNNING : TREESCAN_PASS_VERIFIED;
        setRunning(answer.walk);
    }
    return clamp32(items.size());
}

int32_t WaitForTree(int32_t) {
    state().stopWalk();
    return 0;
}

int32_t NextTree(void) {
    State& s = state();
    progressSeen(Progress::tree);
    if (s.listing)
        return 2;
    std::string folder;
    if (s.verify.walk) {
        // Behind a cached answer: its per-folder progress is no news; its end is.
        int r;
        while ((r = s.verify.walk->next(folder)) == 1) {
        }
        if (r == 2)
            return 2;
        const bool whole = !s.verify.walk->stopped();
        s.settle(s.verify);
        if (!whole) {
            s.verify = Pass{};
            return 0;
        }
        s.answer = std::move(s.verify);
        s.verify = Pass{};
        s.passState = s.answer.walk->errors() ? TREESCAN_PASS_INCOMPLETE : TREESCAN_PASS_VERIFIED;
        if (s.passState == TREESCAN_PASS_VERIFIED)
            recordExactPass(*s.cache, cacheKey(s.path));
        setCurrentFolder(normalisePath(s.path));
        return 1;
    }
    if (!s.answer.walk || s.passState != TREESCAN_PASS_RUNNING)
        return 0;
    int r = s.answer.walk->next(folder);
    if (r == 1)
        setCurrentFolder(folder);
    if (r != 0)
        return r;
    const FolderWalk& w = *s.answer.walk;
    const bool stopped = w.stopped() && !w.finished();
    s.settle(s.answer); // the workers are leaving anyway: no thread outlives the pass
    if (stopped)
        s.passState = TREESCAN_PASS_STOPPED;
    else if (w.errors())
        s.passState = TREESCAN_PASS_INCOMPLETE;
    else if (w.foldersFromCache() == 0) {
        s.passState = TREESCAN_PASS_VERIFIED;
        recordExactPass(*s.cache, cacheKey(s.path));
    } else {
        // Partly from the cache: a first answer, made exact by a full pass right behind it.
        s.passState = TREESCAN_PASS_CACHED;
        s.verify = s.startPass(false);
        setRunning(s.verify.walk);
    }
    return 0;
}

int32_t GetPassState(void) {
    return state().passState;
}

int32_t GetFileCount(void) {
    return clamp32(state().items.size());
}

int32_t GetFile(int32_t index, char* buffer, int32_t max) {
    const ListedItem* item = itemAt(index);
    return item ? writeText(item->name, buffer, max) : 0;
}

int32_t GetFileLength(int32_t index) {
    const ListedItem* item = itemAt(index);
    return item ? clamp32(item->name.size()) : 0;
}

int32_t GetTime(int32_t index, char* buffer, int32_t max) {
    const ListedItem* item = itemAt(index);
    if (item == nullptr || item->mtimeSec == kNoTime)
        return 0;
    char text[kTimeTextBytes];
    return writeText(std::string_view(text, formatTime(item->mtimeSec, text)), buffer, max);
}

int32_t GetAttribs(int32_t index) {
    const ListedItem* item = itemAt(index);
    return item ? static_cast<int32_t>(item->attribs) : 0;
}

int32_t GetFileId(int32_t index, uint64_t* device, uint64_t* inode) {
    const ListedItem* item = itemAt(index);
    if (item == nullptr || device == nullptr || inode == nullptr || openedScan())
        return 0; // an item of a scan read from a file is on another machine, or gone
    *device = item->device;
    *inode = item->inode;
    return 1;
}

double GetSize(int32_t index) {
    return itemAt(index) ? static_cast<double>(sizeNow(static_cast<std::size_t>(index))) : 0;
}

int32_t GetFolderError(void) {
    return folderError();
}

int32_t ResortFolder(void) {
    State& s = state();
    std::vector<std::int64_t> sizes(s.items.size());
    const Options& o = options();
    int key = o.sortKey.load();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sizes[i] = sizeNow(i);
        if (key == TREESCAN_SORT_CHANGE) {
            // Sorted as sizes: the signed change, with no earlier state below every change.
            double earlier = 0;
            const int32_t change = GetChange(static_cast<int32_t>(i), &earlier, nullptr);
            sizes[i] =
                change == TREESCAN_CHANGE_UNKNOWN ? INT64_MIN : sizes[i] - static_cast<std::int64_t>(earlier);
        }
    }
    if (key == TREESCAN_SORT_CHANGE)
        key = TREESCAN_SORT_SIZE;
    const std::vector<std::uint32_t> order = sortedOrder(s.items, sizes, key, o.ascending.load());
    permute(s.items, order);
    permute(s.answer.itemSub, order);
    permute(s.verify.itemSub, order);
    return clamp32(s.items.size());
}

int32_t GetTotalFileCount(void) {
    const State& s = state();
    if (!s.sizes)
        return 0;
    std::uint64_t n = s.answer.rootFiles;
    if (s.answer.walk)
        for (std::size_t i = 0; i < s.answer.walk->size(); ++i)
            n += s.answer.walk->files(i);
    return clamp32(n);
}

int32_t GetTotalFolderCount(void) {
    const State& s = state();
    if (!s.sizes)
        return 0;
    std::uint64_t n = s.answer.rootFolders;
    if (s.answer.walk)
        for (std::size_t i = 0; i < s.answer.walk->size(); ++i)
            n += s.answer.walk->folders(i);
    return clamp32(n);
}

double GetTotalSize(void) {
    const State& s = state();
    if (!s.sizes)
        return 0;
    std::uint64_t n = s.answer.rootBytes;
    if (s.answer.walk)
        for (std::size_t i = 0; i < s.answer.walk->size(); ++i)
            n += s.answer.walk->bytes(i);
    return static_cast<double>(n);
}

void InvalidateFolder(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return;
    State& s = state();
    s.invalidations.push_back(cacheKey(path));
    // While a pass runs its workers use the cache; the next SetFolder applies it instead.
    if (!s.walkRunning() && !s.cacheStranded)
        s.applyInvalidations();
}

int32_t LoadFolderList(const char*) {
    State& s = state();
    s.stopWalk();
    loadHistory();
    return s.loadCacheFile() ? clamp32(s.cache->readCount()) : 0;
}

int32_t SaveFolderList(const char*) {
    State& s = state();
    s.stopWalk();
    s.applyInvalidations();
    std::string file = cacheFilePath();
    if (file.empty())
        return -ENOENT;
    // Each file is replaced whole or not at all, and either stands on its own beside the other.
    if (int err = saveHistory())
        return -err;
    // Unchanged since it was loaded from (or saved to) this very file: nothing to write.
    struct stat st;
    if (!s.cache->dirty() && file == s.cacheFileLoaded && ::stat(file.c_str(), &st) == 0 &&
        static_cast<std::size_t>(st.st_size) == s.cacheFileSize)
        return clamp32(s.cache->readCount());
    std::string data;
    std::size_t count = s.cache->serialise(data);
    if (!writeFileAtomically(file, data))
        return errno > 0 ? -errno : -EIO;
    s.cache->setDirty(false);
    s.cacheFileLoaded = file;
    s.cacheFileSize = data.size();
    return clamp32(count);
}

} // extern "C"
