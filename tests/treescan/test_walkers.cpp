// The folder-size pass with many workers, joining while it runs as they do on a cold disk: the
// same totals (hard links once across workers, unreadable folders recorded, links not followed),
// read from disk and confirmed from the cache, and a stop while workers join ends every one.
#include "common.h"
#include "helpers.h"
#include "scan_walk.h"

using namespace scantest;
using treescan::FolderWalk;

namespace {

struct Walkers {
    unsigned threads, most;
    bool growAlways;
    friend void PrintTo(const Walkers& w, std::ostream* os) {
        *os << w.threads << " to " << w.most << (w.growAlways ? " workers, growing" : " workers");
    }
};

constexpr int kTops = 12, kSubs = 4;

// Measures the sub-folders `nodes` of `root`; 0, or the number of the first check that failed.
int walkOnce(const std::shared_ptr<treescan::FolderCache>& cache, const std::vector<std::uint32_t>& nodes,
             const std::string& root, const Walkers& w, bool trust, int polls = -1) {
    auto walk = std::make_shared<FolderWalk>(cache, w.threads, trust, w.most);
    if (w.growAlways)
        walk->growAlways();
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<FolderWalk::Start> starts;
    for (std::uint32_t node : nodes) {
        struct stat st;
        if (::fstatat(fd, std::string(cache->name(node)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return 1;
        starts.push_back({node, st.st_dev, st.st_ino, treescan::mtimeKey(st)});
    }
    walk->start(fd, cache->root(), starts[0].dev, starts, root);
    std::string folder;
    for (int k = 0; k != polls && walk->next(folder) != 0; ++k)
        std::this_thread::yield();
    if (polls >= 0)
        walk->stop();
    if (!walk->stopAndJoin(std::chrono::seconds(10)))
        return 2;
    if (polls >= 0)
        return 0;
    Totals sum{0, 0, 0};
    for (std::size_t i = 0; i < walk->size(); ++i)
        sum = {sum.bytes + walk->bytes(i), sum.files + static_cast<int32_t>(walk->files(i)),
               sum.folders + static_cast<int32_t>(walk->folders(i))};
    // Unreadable: d7 (whole), d3/s1, d5/s2 (listable, entries can't be statted). 42 folders of
    // f (10 bytes) and hl (one file of 300 bytes in all of them), and d0/s0/up -> "..".
    if (!(sum == Totals{42 * 10 + 300 + 2, 42 * 2 + 1, (kTops - 1) * kSubs}))
        return 3;
    if (walk->unreadable() != 3)
        return 4;
    return walk->foldersRead() == (trust ? 0u : kTops - 1 + 42) && (walk->foldersFromCache() > 0) == trust
               ? 0
               : 5;
}

class ManyWalkers : public testing::TestWithParam<Walkers> {};

} // namespace

TEST_P(ManyWalkers, SameTotalsFromDiskAndCacheAndStopEndsThemAll) {
    TempTree t;
    std::vector<std::string> tops;
    for (int i = 0; i < kTops; ++i) {
        tops.push_back("d" + std::to_string(i));
        for (int j = 0; j < kSubs; ++j) {
            const std::string sub = tops.back() + "/s" + std::to_string(j);
            t.file(sub + "/f", 10);
            i + j == 0 ? (void)t.file(sub + "/hl", 300) : t.hardlink("d0/s0/hl", sub + "/hl");
        }
    }
    t.symlink("..", "d0/s0/up");
    // Settled long ago, so that the second pass may take folders from the cache.
    for (int i = 0; i < kTops; ++i)
        for (int j = 0; j <= kSubs; ++j)
            t.mtime(tops[i] + (j < kSubs ? "/s" + std::to_string(j) : ""), 1'000'000'000);
    t.chmod("d7", 0);
    t.chmod("d3/s1", 0);
    t.chmod("d5/s2", 0444);
    const Walkers w = GetParam();
    EXPECT_EQ(fixture::runAsNobody([&] {
                  auto cache = std::make_shared<treescan::FolderCache>();
                  std::vector<std::string_view> names(tops.begin(), tops.end());
                  std::vector<std::uint32_t> nodes;
                  cache->allocate(names, nodes);
                  for (bool trust : {false, true})
                      if (int failed = walkOnce(cache, nodes, t.root(), w, trust))
                          return failed + (trust ? 10 : 0);
                  for (int polls = 0; polls < 30; ++polls)
                      if (int failed = walkOnce(cache, nodes, t.root(), w, false, polls))
                          return failed + 20;
                  return 0;
              }),
              0);
}

INSTANTIATE_TEST_SUITE_P(Walk, ManyWalkers,
                         testing::Values(Walkers{1, 8, true}, Walkers{2, 16, true}, Walkers{8, 8, false}),
                         [](const auto& info) {
                             return "From" + std::to_string(info.param.threads) + "To" +
                                    std::to_string(info.param.most);
                         });
