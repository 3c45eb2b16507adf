// Changes since an earlier state: what a folder held at an earlier exact pass, the 12-hour rule
// that picks that pass, and a cache folder that can't be written.
#include "cache_file.h"
#include "cache_history.h"
#include "helpers.h"

#include <sys/mount.h>

using namespace scantest;

namespace {

std::int64_t g_now = 1'700'000'000;
std::int64_t testClock() {
    return g_now;
}

// The test's clock stands in for the system's while it lives.
struct Clock {
    Clock() { treescan::setHistoryClock(testClock); }
    ~Clock() { treescan::setHistoryClock(nullptr); }
};

struct Changed {
    std::string path;
    int32_t state;
    double earlier, now;
    bool operator==(const Changed&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Changed& c) {
        return os << "{" << c.path << " " << c.state << " " << c.earlier << " -> " << c.now << "}";
    }
};

std::vector<Changed> changesBelow(const std::string& root) {
    std::vector<Changed> out;
    const int32_t n = ListChanges(root.c_str());
    for (int32_t i = 0; i < n; ++i) {
        Changed c{textOf(GetChangedFolder, i), 0, 0, 0};
        c.state = GetChangedSizes(i, &c.earlier, &c.now, nullptr);
        c.path = c.path.substr(std::min(c.path.size(), root.size()));
        out.push_back(c);
    }
    return out;
}

// Measures `path` to its exact answer (a first one from the cache is followed by it).
void measureExactly(const std::string& path) {
    ASSERT_GE(measure(path), 0);
    if (GetPassState() == TREESCAN_PASS_CACHED) {
        ASSERT_TRUE(pollToEnd(NextTree));
    }
    ASSERT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED);
}

} // namespace

// Made, measured and marked; then a file grown, one added and a folder removed; measured again.
TEST(Changes, AreListedExactlyAfterAMark) {
    fixture::CacheHome home;
    Clock clock;
    TempTree t;
    t.file("a/one", 100);
    t.file("a/b/two", 200);
    t.file("gone/three", 300);
    t.file("gone/deeper/four", 400);
    t.file("same/five", 5);
    defaults();
    LoadFolderList(t.root().c_str());
    measureExactly(t.root());
    EXPECT_EQ(ListChanges(t.root().c_str()), -1); // no earlier state yet
    EXPECT_EQ(MarkEarlierState(t.root().c_str()), 6);
    EXPECT_TRUE(changesBelow(t.root()).empty());

    g_now += 60;
    t.file("a/b/two", 250);
    t.file("a/new/six", 6);
    std::filesystem::remove_all(t.path("gone"));
    measureExactly(t.root());
    const std::vector<Changed> expected = {
        {"/gone", TREESCAN_CHANGE_REMOVED, 700, 0},        {"", TREESCAN_CHANGE_SHRUNK, 1005, 361},
        {"/gone/deeper", TREESCAN_CHANGE_REMOVED, 400, 0}, {"/a", TREESCAN_CHANGE_GROWN, 300, 356},
        {"/a/b", TREESCAN_CHANGE_GROWN, 200, 250},         {"/a/new", TREESCAN_CHANGE_NEW, 0, 6},
    };
    EXPECT_EQ(changesBelow(t.root()), expected);

    // The same through the listing the window reads: each sub-folder, the folder itself, and
    // what went away below it.
    struct Row {
        std::string name;
        int32_t state;
        double earlier;
    };
    std::vector<Row> rows;
    for (int32_t i = 0; i < GetFileCount(); ++i) {
        double earlier = -1;
        std::int64_t when = -1;
        rows.push_back({textOf(GetFile, i), GetChange(i, &earlier, &when), earlier});
        EXPECT_EQ(when, 1'700'000'000);
    }
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name + " " + std::to_string(rows[0].state) + " " + std::to_string(rows[0].earlier),
              "a " + std::to_string(TREESCAN_CHANGE_GROWN) + " " + std::to_string(300.0));
    EXPECT_EQ(rows[1].state, TREESCAN_CHANGE_SAME);
    double earlier = 0, gone = 0;
    EXPECT_EQ(GetFolderChange(&earlier, nullptr), TREESCAN_CHANGE_SHRUNK);
    EXPECT_EQ(earlier, 1005);
    EXPECT_EQ(GetRemovedFolders(&gone), 2);
    EXPECT_EQ(gone, 700); // "deeper" inside "gone" adds nothing more
    measureExactly(t.path("a"));
    EXPECT_EQ(GetChange(1, nullptr, nullptr), TREESCAN_CHANGE_NEW); // "new", after "b"

    // Stored and read back by a new run: the same changes.
    ASSERT_GE(SaveFolderList(t.root().c_str()), 0);
    treescan::folderHistory() = treescan::FolderHistory();
    LoadFolderList(t.root().c_str());
    EXPECT_EQ(changesBelow(t.root()), expected);
}

// The earlier state is the last exact pass at least 12 hours older than the newest.
TEST(Changes, EarlierStateIsTheLastPassTwelveHoursOlder) {
    struct Case {
        const char* what;
        std::vector<int> hours; // when each pass ran; the folder holds 10 * (pass number + 1) bytes
        int marked;             // the pass after which it was marked, or -1
        double earlier;         // 0: no earlier state
    };
    const Case cases[] = {
        {"one pass", {0}, -1, 0},
        {"twice in an hour", {0, 1}, -1, 0},
        {"a day apart", {0, 24}, -1, 10},
        {"an hour after a day", {0, 24, 25}, -1, 10},
        {"every ten hours", {0, 10, 20, 30}, -1, 20},
        {"looking twice in an hour keeps last week", {0, 168, 169}, -1, 10},
        {"just 12 hours", {0, 12}, -1, 10},
        {"marked, then an hour later", {0, 1}, 0, 10},
        {"marked after the second", {0, 1, 2}, 1, 20},
        {"marked, then a day later", {0, 1, 25}, 0, 20},
    };
    for (const Case& k : cases) {
        treescan::FolderCache cache;
        treescan::FolderHistory history;
        Clock clock;
        const std::uint32_t node = cache.find("/x", true);
        for (std::size_t i = 0; i < k.hours.size(); ++i) {
            cache.node(node).ownBytes = 10 * (i + 1);
            g_now = 1'700'000'000 + k.hours[i] * 3600;
            history.recordPass(cache, "/x");
            if (k.marked == static_cast<int>(i))
                history.mark("/x");
        }
        const treescan::FolderHistory::Report r = history.report("/x");
        EXPECT_EQ(r.change == treescan::Change::unknown ? 0.0 : static_cast<double>(r.earlierBytes),
                  k.earlier)
            << k.what;
    }
}

// A cache that can't be written (no space, no permission) says so and leaves the stored one.
TEST(Changes, AnUnwritableCacheLeavesTheStoredOne) {
    fixture::CacheHome home;
    TempTree t;
    t.file("a/one", 1);
    defaults();
    LoadFolderList(t.root().c_str());
    ASSERT_GE(measure(t.root()), 0);
    ASSERT_GE(SaveFolderList(t.root().c_str()), 0);
    std::string cache, history;
    ASSERT_TRUE(treescan::readWholeFile(home.file(), cache, 1 << 30));
    ASSERT_TRUE(treescan::readWholeFile(home.folder() + "/folders.history", history, 1 << 30));
    t.file("a/two", 2);
    ASSERT_GE(measure(t.root()), 0); // something new to store

    ::chmod(home.folder().c_str(), 0755);
    EXPECT_EQ(fixture::runAsNobody([&] { return SaveFolderList(t.root().c_str()) == -EACCES ? 0 : 1; }), 0);
    // A full disk: a file system of a few pages, filled (only where this test may mount one).
    if (::geteuid() == 0 && ::mount("ketra-full", home.folder().c_str(), "tmpfs", 0, "size=64k") == 0) {
        ASSERT_TRUE(treescan::writeFileAtomically(home.file(), cache));
        ASSERT_TRUE(treescan::writeFileAtomically(home.folder() + "/folders.history", history));
        int fd = ::open((home.folder() + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
        InvalidateFolder(t.root().c_str());
        EXPECT_EQ(SaveFolderList(t.root().c_str()), -ENOSPC);
        std::string after;
        EXPECT_TRUE(treescan::readWholeFile(home.file(), after, 1 << 30) && after == cache);
        EXPECT_TRUE(treescan::readWholeFile(home.folder() + "/folders.history", after, 1 << 30) &&
                    after == history);
        ::umount2(home.folder().c_str(), MNT_DETACH);
    }
    // What was stored before still loads, and the scan goes on showing.
    EXPECT_GE(LoadFolderList(t.root().c_str()), 0);
    ASSERT_GE(measure(t.root()), 0);
    EXPECT_EQ(GetTotalSize(), 3);
}
