// The folder cache: reuse within a run and across runs, what makes a cached total stale, and
// stored files that must not be trusted.
#include "cache.h"
#include "cache_file.h"
#include "fixture.h"
#include "scan_state.h"
#include "test_scan_util.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using fixture::TempTree;
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

// a/ (1, 2), a/b/ (4), a/b/c/ (8, hard link of a/one), a/.d/ (16), e/ (32, hard link of a/one)
// -> 1+2+4+8... counted once: 1 + 2 + 4 + 8 + 16 + 32 = 63 bytes, 7 files, 5 folders
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
    static constexpr std::uint32_t folders = 5;
};

treescan::PassFigures figures() {
    return treescan::lastPassFigures();
}

std::string readFile(const std::string& path) {
    std::string data;
    EXPECT_TRUE(treescan::readWholeFile(path, data, 1 << 30)) << path;
    return data;
}

void writeFile(const std::string& path, const std::string& data) {
    ASSERT_TRUE(treescan::writeFileAtomically(path, data));
}

} // namespace

TEST(Cache, UnchangedFoldersAreConfirmedNotRead) {
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), CacheTree::expected);
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), CacheTree::expected);
    EXPECT_EQ(figures().foldersRead, 0u);
    EXPECT_EQ(figures().foldersFromCache, CacheTree::folders);
    // A sub-folder listed next reuses the same figures.
    ASSERT_GE(measure(c.t.path("a")), 0);
    EXPECT_EQ(totals(), (Totals{31, 6, 3}));
    EXPECT_EQ(figures().foldersRead, 0u);
}

TEST(Cache, ChangesAreSeenAndOnlyChangedFoldersReread) {
    struct Change {
        const char* what;
        std::function<void(TempTree&)> apply;
        Totals expected;
        std::uint32_t reread; // folders read from disk again
    };
    const Change changes[] = {
        {"file added deep", [](TempTree& t) { t.file("a/b/c/new", 100); }, {163, 9, 5}, 1},
        {"file removed", [](TempTree& t) { ::unlink(t.path("a/b/four").c_str()); }, {59, 7, 5}, 1},
        {"folder added", [](TempTree& t) { t.file("a/b/n/x", 64); }, {127, 9, 6}, 2},
        {"folder removed", [](TempTree& t) { std::filesystem::remove_all(t.path("a/.d")); }, {47, 7, 4}, 1},
        {"folder renamed",
         [](TempTree& t) { ::rename(t.path("a/b").c_str(), t.path("a/bee").c_str()); },
         {63, 8, 5},
         3},
        {"folder replaced by a file",
         [](TempTree& t) {
             std::filesystem::remove_all(t.path("e"));
             t.file("e", 5);
         },
         {36, 7, 4},
         0},
        {"hard link gone", [](TempTree& t) { ::unlink(t.path("e/one-more").c_str()); }, {63, 7, 5}, 1},
    };
    for (const Change& change : changes) {
        CacheTree c;
        defaults();
        ASSERT_GE(measure(c.t.root()), 0);
        change.apply(c.t);
        ASSERT_GE(measure(c.t.root()), 0);
        EXPECT_EQ(totals(), change.expected) << change.what;
        EXPECT_EQ(figures().foldersRead, change.reread) << change.what;
    }
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
    // ...until the folder is invalidated.
    InvalidateFolder(c.t.path("a/b").c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), (Totals{459, 8, 5}));
    EXPECT_EQ(figures().foldersRead, 3u); // a/b, its sub-folder c, and the ancestor a

    // Invalidating the listed folder measures everything below it again.
    InvalidateFolder(c.t.root().c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(figures().foldersRead, CacheTree::folders);
    EXPECT_EQ(figures().foldersFromCache, 0u);

    // During a pass the request waits for the next one; it is not lost.
    c.t.file("e/thirty-two", 3200);
    IncludeFolderSize(1);
    ASSERT_GE(SetFolder(c.t.root().c_str()), 0);
    InvalidateFolder(c.t.path("e").c_str());
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), (Totals{459 + 3168, 8, 5}));
}

TEST(Cache, RoundTripThroughTheFile) {
    CacheHome home;
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    int32_t stored = SaveFolderList(c.t.root().c_str());
    EXPECT_GE(stored, static_cast<int32_t>(CacheTree::folders) + 1); // the listed folder too

    struct stat st;
    ASSERT_EQ(::stat(home.file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the cache file is left in its folder (no temporary files).
    std::size_t entries = 0;
    for (auto& e : std::filesystem::directory_iterator(home.folder())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);

    // Forget everything in memory, as a new run would start, then load the file.
    InvalidateFolder("/");
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), stored);
    ASSERT_GE(measure(c.t.root()), 0);
    EXPECT_EQ(totals(), CacheTree::expected); // hard links still once
    EXPECT_EQ(figures().foldersRead, 0u);
    EXPECT_EQ(figures().foldersFromCache, CacheTree::folders);
}

TEST(Cache, DamagedOrForeignFilesAreIgnored) {
    CacheHome home;
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
    auto flip = [&](std::size_t at) {
        std::string d = good;
        d[at] = static_cast<char>(d[at] ^ 0x10);
        return d;
    };
    std::string secondParent = good; // the second record names itself as its parent
    std::uint32_t self = 1;
    std::memcpy(secondParent.data() + header + 46, &self, 4);
    std::string slashName = good; // a name holding "/"
    slashName[header + 46 + 46] = '/';
    std::string version = good;
    version[8] = 2;

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
        {"other version", version},
        {"foreign text", std::string("# some other program's cache\nkey=value\n")},
        {"parent not before the child", resum(secondParent)},
        {"name with a slash", resum(slashName)},
    };
    for (const Case& k : cases) {
        writeFile(home.file(), k.data);
        EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0) << k.what;
        // The cache in memory is kept as it was; the figures stay right.
        ASSERT_GE(measure(c.t.root()), 0);
        EXPECT_EQ(totals(), CacheTree::expected) << k.what;
        EXPECT_EQ(figures().foldersFromCache, CacheTree::folders) << k.what;
    }
    // Something other than a file in its place: refused, without hanging on the FIFO.
    ::unlink(home.file().c_str());
    ASSERT_EQ(::mkfifo(home.file().c_str(), 0600), 0);
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0);
    ::unlink(home.file().c_str());
    ASSERT_EQ(::mkdir(home.file().c_str(), 0700), 0);
    EXPECT_EQ(LoadFolderList(c.t.root().c_str()), 0);
    ::rmdir(home.file().c_str());

    // A changed checksum helper would make every case above pass for the wrong reason: the
    // good file must still load.
    writeFile(home.file(), good);
    EXPECT_GT(LoadFolderList(c.t.root().c_str()), 0);
}

TEST(Cache, ASaveThatFailsLeavesTheOldFile) {
    CacheHome home;
    CacheTree c;
    defaults();
    ASSERT_GE(measure(c.t.root()), 0);
    ASSERT_GT(SaveFolderList(c.t.root().c_str()), 0);
    const std::string before = readFile(home.file());
    InvalidateFolder(c.t.root().c_str()); // something to write
    ::chmod(home.folder().c_str(), 0755);
    // An unprivileged user can't write into root's folder: the save fails and says so.
    int rc = fixture::runAsNobody([&] { return SaveFolderList(c.t.root().c_str()) < 0 ? 0 : 1; });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(home.file()), before);
}

TEST(Cache, FileLivesInTheUsersCacheFolder) {
    const char* oldXdg = std::getenv("XDG_CACHE_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";
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
        if (k.xdg)
            ::setenv("XDG_CACHE_HOME", k.xdg, 1);
        else
            ::unsetenv("XDG_CACHE_HOME");
        ::setenv("HOME", k.home, 1);
        EXPECT_EQ(treescan::cacheFilePath(), k.file) << (k.xdg ? k.xdg : "(unset)");
    }
    oldXdg ? ::setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CACHE_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

TEST(Cache, RecentlyChangedFoldersAreNotTrusted) {
    // A folder changed within the last moments may change again within the same clock tick
    // without its time moving; such a folder is read again rather than trusted.
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
}

TEST(Cache, NodesStayCompact) {
    treescan::FolderCache cache;
    std::vector<std::string> names;
    for (int i = 0; i < 10000; ++i)
        names.push_back("folder-" + std::to_string(i));
    std::vector<std::string_view> views(names.begin(), names.end());
    std::vector<std::uint32_t> nodes;
    cache.allocate(views, nodes);
    // 64 bytes a folder plus its name, rounded up to whole chunks.
    EXPECT_LE(cache.bytesUsed(), 2 * 512 * 1024u + 2 * 64 * 1024u);
    // Freed nodes are used again.
    for (auto n : nodes)
        cache.release(n);
    std::vector<std::uint32_t> again;
    cache.allocate(views, again);
    EXPECT_LE(cache.bytesUsed(), 2 * 512 * 1024u + 4 * 64 * 1024u);
    EXPECT_EQ(cache.name(again[5]), "folder-5");
}
