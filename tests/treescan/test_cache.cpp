// The folder cache: reuse within a run and across runs, what makes a cached total stale, and
// stored files that must not be trusted.
#include "cache_file.h"
#include "helpers.h"
#include "scan_state.h"

#include <fstream>

using namespace scantest;

namespace {

constexpr std::int64_t kLongAgo = 1500000000; // 2017: well settled

// Folders changed within the last moments are never trusted from the cache (a change in the
// same clock tick would not move their time), so the tests date every folder back.
void ageFolders(TempTree& t) {
    for (auto& e : std::filesystem::recursive_directory_iterator(t.root()))
        if (e.is_directory() && !e.is_symlink())
            t.mtime(std::filesystem::relative(e.path(), t.root()).string(), kLongAgo);
    t.mtime("", kLongAgo);
}

// a/ (1, 2), a/b/ (4), a/b/c/ (8, hard link of a/one), a/.d/ (16), e/ (32, hard link of a/one):
// 63 bytes, 8 files, 5 folders.
struct CacheTree {
    TempTree t;
    CacheTree() {
        t.file("a/one", 1);
        t.file("a/two", 2);
        t.file("a/b/four", 4);
        t.file("a/b/c/eight", 8);
        t.hardlink("a/one", "a/b/c/one-again");
        t.file("a/.d/sixteen", 16);
        t.file("e/thirty-two", 32);
        t.hardlink("a/one", "e/one-more");
        ageFolders(t);
    }
    static constexpr Totals expected{63, 8, 5};
};

treescan::PassFigures figures() {
    return treescan::lastPassFigures();
}

std::string readFile(const std::string& path) {
    std::string data;
    EXPECT_TRUE(treescan::readWholeFile(path, data, 1 << 30)) << path;
    return data;
}

// Bytes this process has read so far.
std::uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t n = 0;
    io >> key >> n; // "rchar: N"
    return n;
}

} // namespace

// The first answer reads the listed folder and whatever changed on the way down: a sub-folder
// whose time is unchanged comes from the cache with everything below it, so a change deeper
// down waits for the exact answer, which always follows.
TEST(Cache, FirstAnswerReadsChangedFoldersAndTheExactOneEverything) {
    struct Change {
        const char* what;
        std::function<void(TempTree&)> apply;
        Totals first;
        std::uint32_t reread; // folders read from disk for the first answer
        Totals exact;
    };
    constexpr Totals same = CacheTree::expected;
    // clang-format off
    const Change changes[] = {
        {"nothing", [](TempTree&) {}, same, 0, same},
        {"file added in a sub-folder", [](TempTree& t) { t.file("e/new", 100); }, {163, 9, 5}, 1, {163, 9, 5}},
        {"file added deep", [](TempTree& t) { t.file("a/b/c/new", 100); }, same, 0, {163, 9, 5}},
        {"file removed deep", [](TempTree& t) { ::unlink(t.path("a/b/four").c_str()); }, same, 0, {59, 7, 5}},
        {"folder added deep", [](TempTree& t) { t.file("a/b/n/x", 64); }, same, 0, {127, 9, 6}},
        {"folder removed", [](TempTree& t) { std::filesystem::remove_all(t.path("a/.d")); }, {47, 7, 4}, 1,
         {47, 7, 4}},
        {"folder renamed", [](TempTree& t) { std::filesystem::rename(t.path("a/b"), t.path("a/bee")); },
         same, 3, same},
        {"folder replaced by a file", [](TempTree& t) { std::filesystem::remove_all(t.path("e")); t.file("e", 5); },
         {36, 7, 4}, 0, {36, 7, 4}},
        {"hard link gone", [](TempTree& t) { ::unlink(t.path("e/one-more").c_str()); }, {63, 7, 5}, 1, {63, 7, 5}},
    };
    // clang-format on
    for (const Change& change : changes) {
        CacheTree c;
        defaults();
        ASSERT_GE(measure(c.t.root()), 0);
        change.apply(c.t);
        ASSERT_GE(measure(c.t.root()), 0);
        EXPECT_EQ(totals(), change.first) << change.what;
        EXPECT_EQ(figures().foldersRead, change.reread) << change.what;
        EXPECT_EQ(figures().foldersRead + figures().foldersFromCache, static_cast<std::uint32_t>(change.first.folders))
            << change.what;
        EXPECT_EQ(GetPassState(), change.reread == 5 ? TREESCAN_PASS_VERIFIED : TREESCAN_PASS_CACHED) << change.what;
        EXPECT_TRUE(pollToEnd(NextTree));
        EXPECT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED) << change.what;
        EXPECT_EQ(totals(), change.exact) << change.what;
        if (change.reread == 0 && change.first == change.exact) { // "a" unchanged: listed next,
            ASSERT_GE(measure(c.t.path("a")), 0);                   // it reuses the same figures
            EXPECT_EQ(totals(), (Totals{31, 6, 3})) << change.what;
            EXPECT_EQ(figures().foldersRead, 0u) << change.what;
        }
    }
}

// A file that grows in place, or gets a second name in a folder read again, leaves its own
// folder's time alone: the answer from the cache is a first one, and an exact one follows.
TEST(Cache, ACachedAnswerIsFollowedByAnExactOne) {
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED); // nothing was cached: every folder read
    c.t.file("a/b/four", 400);
    c.t.mtime("a/b", kLongAgo);
    c.t.hardlink("a/two", "e/two-again");
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(GetPassState(), TREESCAN_PASS_CACHED);
    EXPECT_EQ(totals(), (Totals{65, 9, 5})); // "four" as it was, "two" twice
    std::vector<std::string> news;
    EXPECT_TRUE(pollToEnd(NextTree, [&](int32_t r) {
        if (r == 1)
            news.push_back(currentFolder());
    }));
    EXPECT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED);
    EXPECT_EQ(news, std::vector<std::string>{c.t.root()});
    EXPECT_EQ(totals(), (Totals{459, 9, 5}));
}

// A re-sort behind a cached answer: the exact figures that replace it still belong to their items.
TEST(Cache, ResortKeepsEachFoldersFiguresThroughTheExactAnswer) {
    TempTree t;
    t.file("big/x", 300);
    t.file("mid/x", 200);
    t.file("small/x", 100);
    ageFolders(t);
    defaults();
    SortBy(TREESCAN_SORT_SIZE, 1);
    ASSERT_EQ(measure(t.root()), 3);
    t.file("small/x", 500); // grows in place: the folder's time stays
    ASSERT_EQ(measure(t.root()), 3);
    ASSERT_EQ(GetPassState(), TREESCAN_PASS_CACHED);
    EXPECT_EQ(ResortFolder(), 3);
    EXPECT_EQ(names(), (std::vector<std::string>{"small", "mid", "big"}));
    ASSERT_TRUE(pollToEnd(NextTree));
    ASSERT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED);
    EXPECT_EQ(sizeOf("small"), 500);
    EXPECT_EQ(sizeOf("big"), 300);
    ResortFolder();
    EXPECT_EQ(names(), (std::vector<std::string>{"mid", "big", "small"}));
}

TEST(Cache, InvalidateFolderDropsItsTotals) {
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    // A file that grows in place leaves its folder's time alone: the cached total stands...
    c.t.file("a/b/four", 400);
    c.t.mtime("a/b", kLongAgo);
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), CacheTree::expected);
    // ...until the folder is invalidated: it, its sub-folder c and the ancestor a are read again.
    InvalidateFolder(c.t.path("a/b").c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), (Totals{459, 8, 5}));
    EXPECT_EQ(figures().foldersRead, 3u);

    // Invalidating the listed folder measures everything below it again.
    InvalidateFolder(c.t.root().c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(figures().foldersRead, 5u);

    // During a pass the request waits for the next one; it is not lost.
    c.t.file("e/thirty-two", 3200);
    IncludeFolderSize(1);
    ASSERT_GE(SetFolder(c.t.root().c_str()), 0);
    InvalidateFolder(c.t.path("e").c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), (Totals{459 + 3168, 8, 5}));
}

TEST(Cache, RoundTripThroughTheFile) {
    fixture::CacheHome home;
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    // What a save killed half-way left behind goes with the next save.
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    std::filesystem::create_directories(home.folder());
    ::close(::open((home.file() + ".tmp." + std::to_string(gone)).c_str(), O_CREAT | O_WRONLY, 0600));
    int32_t stored = SaveFolderList(c.t.root().c_str());
    EXPECT_GE(stored, 6); // the listed folder too

    struct stat st;
    ASSERT_EQ(::stat(home.file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the cache file is left in its folder (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.folder()), {}), 1);

    // Forget everything in memory, as a new run would start, then load the file.
    InvalidateFolder("/");
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), stored);
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), CacheTree::expected); // hard links still once
    EXPECT_EQ(figures().foldersFromCache, 5u);

    // A save that fails (an ordinary user can't write into root's folder) says so and leaves the
    // old file.
    const std::string before = readFile(home.file());
    InvalidateFolder(c.t.root().c_str()); // something to write
    ::chmod(home.folder().c_str(), 0755);
    EXPECT_EQ(fixture::runAsNobody([&] { return SaveFolderList(c.t.root().c_str()) < 0 ? 0 : 1; }), 0);
    EXPECT_EQ(readFile(home.file()), before);
}

TEST(Cache, DamagedOrForeignFilesAreIgnored) {
    fixture::CacheHome home;
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    ASSERT_GT(SaveFolderList(c.t.root().c_str()), 0);
    const std::string good = readFile(home.file());
    ASSERT_GT(good.size(), 100u);
    const std::size_t header = 40;

    // Rewrites the payload's checksum, so only the deeper checks can refuse it.
    auto resum = [&](std::string data) {
        std::uint64_t sum = treescan::cacheChecksum(std::string_view(data).substr(header));
        std::memcpy(data.data() + header - 8, &sum, 8);
        return data;
    };
    auto patched = [&](std::size_t at, std::string_view bytes) {
        std::string d = good;
        d.replace(at, bytes.size(), bytes);
        return d;
    };
    auto flip = [&](std::size_t at) {
        return patched(at, std::string(1, static_cast<char>(good[at] ^ 0x10)));
    };
    struct Case {
        const char* what;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"only the magic", good.substr(0, 8)},
        {"header only", good.substr(0, header)},
        {"cut in the first record", good.substr(0, header + 10)},
        {"cut by one byte", good.substr(0, good.size() - 1)},
        {"one byte more", good + "x"},
        {"flipped magic", flip(2)},
        {"flipped count", flip(16)},
        {"flipped payload", flip(header + 5)},
        {"flipped last byte", flip(good.size() - 1)},
        {"other version", patched(8, "\x02")},
        {"foreign text", "# some other program's cache\nkey=value\n"},
        {"parent not before the child", resum(patched(header + 46, std::string("\x01\0\0\0", 4)))},
        {"name with a slash", resum(patched(header + 46 + 46, "/"))},
        {"one name twice in a folder",
         [&] {
             treescan::FolderCache twice;
             twice.find("/name-one", true), twice.find("/name-two", true);
             std::string data;
             twice.serialise(data);
             return resum(data.replace(data.find("name-two"), 8, "name-one"));
         }()},
    };
    for (const Case& k : cases) {
        ASSERT_TRUE(treescan::writeFileAtomically(home.file(), k.data));
        EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0) << k.what;
        // The cache in memory is kept as it was; the figures stay right.
        ASSERT_GE(measure(c.t.root()), 0);
        EXPECT_EQ(totals(), CacheTree::expected) << k.what;
        EXPECT_EQ(figures().foldersFromCache, 5u) << k.what;
    }
    // Something other than a file in its place: refused, without hanging on the FIFO.
    ::unlink(home.file().c_str());
    ASSERT_EQ(::mkfifo(home.file().c_str(), 0600), 0);
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0);
    ::unlink(home.file().c_str());
    // A big file of junk in its place is refused from its header, without being read.
    ASSERT_TRUE(treescan::writeFileAtomically(home.file(), "junk"));
    ASSERT_EQ(::truncate(home.file().c_str(), 1 << 30), 0);
    const std::uint64_t before = bytesRead();
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0);
    EXPECT_LT(bytesRead() - before, 1u << 20);
    // The good file still loads: the cases above were refused for their faults.
    ASSERT_TRUE(treescan::writeFileAtomically(home.file(), good));
    EXPECT_GT(LoadFolderList(c.t.root().c_str()), 0);
}

TEST(Cache, FileLivesInTheUsersCacheFolder) {
    struct Case {
        const char* xdg; // nullptr = unset
        const char* home;
        std::string file;
    };
    const Case cases[] = {
        {"/x/cache", "/home/u", "/x/cache/ketra/folders.cache"},
        {"/x/cache/", "/home/u", "/x/cache/ketra/folders.cache"},
        {"relative/not/used", "/home/u", "/home/u/.cache/ketra/folders.cache"},
        {"", "/home/u", "/home/u/.cache/ketra/folders.cache"},
        {nullptr, "/home/v", "/home/v/.cache/ketra/folders.cache"},
    };
    for (const Case& k : cases) {
        fixture::SetEnv xdg("XDG_CACHE_HOME", k.xdg), home("HOME", k.home);
        EXPECT_EQ(treescan::cacheFilePath(), k.file) << (k.xdg ? k.xdg : "(unset)");
    }
}

TEST(Cache, RecentlyChangedFoldersAreNotTrusted) {
    TempTree t;
    t.file("fresh/f", 1);
    defaults();
    ASSERT_GE(measure(t.root()), 0);
    ASSERT_GE(measure(t.root()), 0);
    EXPECT_EQ(figures().foldersRead, 1u);
    t.mtime("fresh", kLongAgo);
    ASSERT_GE(measure(t.root()), 0);
    ASSERT_GE(measure(t.root()), 0);
    EXPECT_EQ(figures().foldersRead, 0u);

    // Deep below folders that did not change: the first answer after the one that saw the change
    // reads it again, though it takes the rest from the cache.
    TempTree u;
    u.file("a/b/c/f", 1);
    ageFolders(u);
    ASSERT_GE(measure(u.root()), 0);
    u.file("a/b/c/g", 2);
    ASSERT_GE(measure(u.root()), 0);
    EXPECT_EQ(totals(), (Totals{1, 1, 3})); // "a" unchanged: all of it from the cache
    EXPECT_TRUE(pollToEnd(NextTree));
    EXPECT_EQ(totals(), (Totals{3, 2, 3}));
    ASSERT_GE(measure(u.root()), 0);
    EXPECT_EQ(totals(), (Totals{3, 2, 3}));
    EXPECT_EQ(figures().foldersRead, 1u);
    EXPECT_EQ(figures().foldersFromCache, 2u);
}

// Nodes given back are used again: revisiting changed trees does not grow the cache.
TEST(Cache, FreedNodesAreReused) {
    treescan::FolderCache cache;
    std::vector<std::string> names;
    for (int i = 0; i < 10000; ++i)
        names.push_back("folder-" + std::to_string(i));
    std::vector<std::string_view> views(names.begin(), names.end());
    std::vector<std::uint32_t> nodes;
    cache.allocate(views, nodes);
    const std::size_t used = cache.bytesUsed();
    for (auto n : nodes)
        cache.release(n);
    nodes.clear();
    cache.allocate(views, nodes);
    EXPECT_LE(cache.bytesUsed(), used + 2 * 64 * 1024u); // names only
    EXPECT_EQ(cache.name(nodes[5]), "folder-5");
}
