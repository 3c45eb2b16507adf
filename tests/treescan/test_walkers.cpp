// The folder-size pass with many workers, joining while it runs as they do on a cold disk: the
// same totals (hard links once across workers, unreadable folders recorded, links not followed),
// read from disk and confirmed from the cache, and a stop while workers join ends every one.
#include "common.h"
#include "helpers.h"
#include "scan_walk.h"

using namespace scantest;
using treescan::FolderWalk;

namespace {

// Workers at the start, most workers, whether they join as on a cold disk.
struct Walkers {
    unsigned threads, most;
    bool growAlways;
};
constexpr Walkers kWalkers[] = {{1, 8, true}, {2, 16, true}, {8, 8, false}};

// Measures d0 .. d11 (`nodes`) below `root`, or stops after `polls` looks at it. 0 when all is
// as it should be: unreadable are d7, d3/s1 and d5/s2 (listable, entries can't be statted);
// the other 42 folders hold f (10 bytes) and hl (one file of 300 bytes), d0/s0 also up -> "..".
int walkOnce(const std::shared_ptr<treescan::FolderCache>& cache, const std::vector<std::uint32_t>& nodes,
             const std::string& root, const Walkers& w, bool trust, int polls = -1) {
    auto walk = std::make_shared<FolderWalk>(cache, w.threads, trust, w.most);
    if (w.growAlways)
        walk->growAlways();
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<FolderWalk::Start> starts;
    for (std::uint32_t node : nodes) {
        struct stat st;
        ::fstatat(fd, std::string(cache->name(node)).c_str(), &st, AT_SYMLINK_NOFOLLOW);
        starts.push_back({node, st.st_dev, st.st_ino, treescan::mtimeKey(st)});
    }
    walk->start(fd, cache->root(), starts[0].dev, starts, root);
    std::string folder;
    for (int k = 0; k != polls && walk->next(folder) != 0; ++k)
        std::this_thread::yield();
    if (polls >= 0)
        walk->stop();
    if (!walk->stopAndJoin(std::chrono::seconds(10)))
        return 1;
    Totals sum{0, 0, 0};
    for (std::size_t i = 0; i < walk->size(); ++i)
        sum = {sum.bytes + walk->bytes(i), sum.files + static_cast<int32_t>(walk->files(i)),
               sum.folders + static_cast<int32_t>(walk->folders(i))};
    const bool exact = sum == Totals{42 * 10 + 300 + 2, 42 * 2 + 1, 44} && walk->unreadable() == 3 &&
                       walk->foldersRead() == (trust ? 0u : 11 + 42) &&
                       (walk->foldersFromCache() > 0) == trust;
    return polls >= 0 || exact ? 0 : 2;
}

} // namespace

TEST(ManyWalkers, SameTotalsFromDiskAndCacheAndStopEndsThemAll) {
    TempTree t;
    std::vector<std::string> tops;
    for (int i = 0; i < 12; ++i) {
        tops.push_back("d" + std::to_string(i));
        for (int j = 0; j < 4; ++j) {
            const std::string sub = tops.back() + "/s" + std::to_string(j);
            t.file(sub + "/f", 10);
            i + j == 0 ? (void)t.file(sub + "/hl", 300) : t.hardlink("d0/s0/hl", sub + "/hl");
            if (i + j == 0)
                t.symlink("..", "d0/s0/up");
            t.mtime(sub, 1'000'000'000); // settled long ago: the cache may be trusted
        }
        t.mtime(tops.back(), 1'000'000'000);
    }
    t.chmod("d7", 0);
    t.chmod("d3/s1", 0);
    t.chmod("d5/s2", 0444);
    for (const Walkers& w : kWalkers)
        EXPECT_EQ(fixture::runAsNobody([&] {
                      auto cache = std::make_shared<treescan::FolderCache>();
                      std::vector<std::uint32_t> nodes;
                      cache->allocate(std::vector<std::string_view>(tops.begin(), tops.end()), nodes);
                      int failed = 0;
                      for (bool trust : {false, true})
                          failed =
                              failed ? failed : walkOnce(cache, nodes, t.root(), w, trust) * (trust ? 10 : 1);
                      for (int polls = 0; polls < 30 && !failed; ++polls)
                          failed = walkOnce(cache, nodes, t.root(), w, false, polls) * 100;
                      return failed;
                  }),
                  0)
            << w.threads << " to " << w.most << " workers";
}
