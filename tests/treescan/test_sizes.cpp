// The folder-size pass: totals, progress, hard links, links, unreadable and vanishing folders,
// pseudo file systems and the ways a pass is stopped.
#include "helpers.h"
#include "scan_state.h"
#include "scan_walk.h"

#include <csignal>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/syscall.h>

using namespace scantest;

namespace {

// Everything awkward in one tree; sizes are chosen so that each rule shows in the totals:
//   R/top.txt 100, .hidden 10, pipe (FIFO, 0), c-link -> "a" (1), hl-top (hard link of a/hl1,
//       300, counted here first)                                        5 files, 411 bytes
//   R/a/one 1000, hl1, hl2 (= hl1), to-one -> "one" (3), loop1 <-> loop2 (5 + 5), up -> ".." (2)
//                                                                       7 files, 1015 bytes
//   R/a/.dot/inner 50; R/a/empty/                                       1 file, 50 bytes
//   R/b/hl3 (= a/hl1), sparse 1,000,000 apparent, "name with space\nand newline" 7,
//       "bad\xff\xfe" 9, to-a -> "../a" (4)                             5 files, 1,000,020
//   R/.dotdir/x 20                                                      1 file, 20 bytes
// Totals: 19 files, 5 folders (a, a/.dot, a/empty, b, .dotdir), 1,001,516 bytes.
struct AwkwardTree {
    TempTree t;
    AwkwardTree() {
        t.file("top.txt", 100);
        t.file(".hidden", 10);
        t.fifo("pipe");
        t.file("a/one", 1000);
        t.file("a/hl1", 300);
        t.hardlink("a/hl1", "a/hl2");
        t.hardlink("a/hl1", "hl-top");
        t.symlink("one", "a/to-one");
        t.symlink("loop2", "a/loop1");
        t.symlink("loop1", "a/loop2");
        t.symlink("..", "a/up");
        t.file("a/.dot/inner", 50);
        t.dir("a/empty");
        t.dir("b");
        t.hardlink("a/hl1", "b/hl3");
        t.sparse("b/sparse", 1000000);
        t.file("b/name with space\nand newline", 7);
        t.file("b/bad\xff\xfe", 9);
        t.symlink("../a", "b/to-a");
        t.file(".dotdir/x", 20);
        t.symlink("a", "c-link");
    }
};

// `folders` x `subs` folders of one 1-byte file each: a pass that takes a while.
void manyFolders(TempTree& t, int folders, int subs) {
    for (int i = 0; i < folders; ++i)
        for (int j = 0; j < subs; ++j)
            t.file("d" + std::to_string(i) + "/s" + std::to_string(j) + "/f", 1);
}

} // namespace

TEST(Sizes, TotalsFollowTheRules) {
    AwkwardTree a;
    // Twice: hidden items are counted either way, and the hard links are counted once in each pass.
    for (int hidden : {1, 0}) {
        defaults();
        IncludeHidden(hidden);
        std::vector<std::string> progress;
        ASSERT_GE(measure(a.t.root(), &progress), 0);
        EXPECT_EQ(totals(), (Totals{1001516, 19, 5})) << "hidden " << hidden;
        // Every sub-folder reported once by its full path, hidden ones too.
        std::sort(progress.begin(), progress.end());
        EXPECT_EQ(progress, (std::vector<std::string>{a.t.path(".dotdir"), a.t.path("a"), a.t.path("b")}));
        EXPECT_EQ(NextTree(), 0);
    }
    EXPECT_EQ(sizeOf("a"), 1065);
    EXPECT_EQ(sizeOf("b"), 1000020);
    EXPECT_EQ(sizeOf("c-link"), 1); // a link to a folder is never measured
    EXPECT_EQ(sizeOf("top.txt"), 100);
    EXPECT_EQ(sizeOf("hl-top"), 300); // a file always reports its own size
    // A long current folder keeps its end behind "...".
    char buf[16];
    std::string tail(buf, static_cast<std::size_t>(GetCurrentFolder(buf, sizeof buf)));
    EXPECT_TRUE(tail.starts_with(".../") && currentFolder().ends_with(tail.substr(3))) << tail;

    // With folder sizes off a folder reports its own size and there are no totals.
    defaults();
    WaitForTree(0);
    ASSERT_GE(SetFolder(a.t.root().c_str()), 0);
    struct stat st;
    ASSERT_EQ(::stat(a.t.path("a").c_str(), &st), 0);
    EXPECT_EQ(sizeOf("a"), static_cast<double>(st.st_size));
    EXPECT_EQ(NextTree(), 0);
    EXPECT_EQ(totals(), (Totals{0, 0, 0}));
}

// Many entries: 16-bit counts would wrap, and a folder that takes many directory reads is read
// to its end.
// ResortFolder orders folders by their totals for sort by size; each item's figures and identity
// move with it.
TEST(Sizes, ResortOrdersFoldersByTheirTotals) {
    TempTree t;
    t.file("big/x", 300);
    t.file("mid/deeper/x", 200);
    t.file("small/x", 100);
    t.file("file", 150);
    const std::map<std::string, double> sizes = {{"big", 300}, {"mid", 200}, {"small", 100}, {"file", 150}};
    struct Case {
        int key, ascending;
        std::vector<std::string> order;
    };
    const Case cases[] = {{TREESCAN_SORT_SIZE, 1, {"small", "mid", "big", "file"}},
                          {TREESCAN_SORT_SIZE, 0, {"big", "mid", "small", "file"}},
                          {TREESCAN_SORT_NAME, 0, {"small", "mid", "big", "file"}}};
    for (const Case& c : cases) {
        defaults();
        SortBy(c.key, c.ascending);
        ASSERT_EQ(measure(t.root()), 4);
        EXPECT_EQ(ResortFolder(), 4);
        EXPECT_EQ(names(), c.order) << c.key << c.ascending;
        for (int32_t i = 0; i < 4; ++i) {
            const std::string name = textOf(GetFile, i);
            EXPECT_EQ(GetSize(i), sizes.at(name)) << name;
            struct stat st {};
            std::uint64_t device = 0, inode = 0;
            ASSERT_EQ(::lstat(t.path(name).c_str(), &st), 0);
            ASSERT_EQ(GetFileId(i, &device, &inode), 1);
            EXPECT_EQ(inode, st.st_ino) << name;
        }
    }
}

TEST(Sizes, WideFolderIsListedAndCountedWhole) {
    TempTree t;
    const int n = 33000;
    t.dir("big");
    for (int i = 0; i < n; ++i) {
        int fd = ::open(t.path("big/n" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(fd, "abc", i % 100 ? 0 : 3), i % 100 ? 0 : 3);
        ::close(fd);
    }
    defaults();
    EXPECT_EQ(SetFolder(t.path("big").c_str()), n);
    EXPECT_EQ(GetFileCount(), n);
    ASSERT_EQ(measure(t.root()), 1);
    EXPECT_EQ(totals(), (Totals{3 * 330, n, 1}));
}

// A signal makes getdents64 come back short; a folder ends only where it returns nothing. A
// caller that keeps signalling every thread (a handler without SA_RESTART) still gets exact totals.
TEST(Sizes, SignalsNeverCutAFolderShort) {
    TempTree t;
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 5000; ++i)
            ::close(::open(t.dir("d" + std::to_string(d)).append("/" + std::to_string(i)).c_str(), O_CREAT,
                           0644));
    struct sigaction quiet {
    }, old{};
    quiet.sa_handler = [](int) {};
    ::sigaction(SIGUSR1, &quiet, &old);
    std::atomic<bool> signalling{true};
    std::thread signaller([&, owner = ::gettid()] {
        while (signalling) // every thread but the caller's own, which may be starting threads
            for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
                if (int tid = std::stoi(task.path().filename()); tid != owner && tid != ::gettid())
                    ::syscall(SYS_tgkill, ::getpid(), tid, SIGUSR1);
    });
    defaults();
    for (int round = 0; round < 5; ++round) {
        InvalidateFolder(t.root().c_str());
        ASSERT_EQ(measure(t.root()), 4);
        EXPECT_EQ(totals(), (Totals{0, 20000, 4})) << "round " << round;
    }
    signalling = false;
    signaller.join();
    ::sigaction(SIGUSR1, &old, nullptr);
}

// A sub-folder that vanishes between being listed and being read is skipped quietly.
TEST(Sizes, FolderVanishingMidPassIsSkipped) {
    TempTree t;
    t.file("stays/f", 10);
    t.file("goes/sub/h", 30);
    auto cache = std::make_shared<treescan::FolderCache>();
    auto walk = std::make_shared<treescan::FolderWalk>(cache, 2);
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    std::vector<treescan::FolderWalk::Start> starts;
    std::vector<std::uint32_t> nodes;
    cache->allocate({"goes", "stays"}, nodes);
    for (std::uint32_t node : nodes) {
        struct stat st;
        ASSERT_EQ(::fstatat(fd, std::string(cache->name(node)).c_str(), &st, 0), 0);
        starts.push_back({node, st.st_dev, st.st_ino, 0});
    }
    std::filesystem::remove_all(t.path("goes"));
    walk->start(fd, cache->root(), starts[0].dev, starts, t.root());
    std::string folder;
    std::set<std::string> reported;
    EXPECT_TRUE(pollToEnd([&] { return walk->next(folder); },
                          [&](int32_t r) {
                              if (r == 1)
                                  reported.insert(folder);
                          }));
    EXPECT_EQ(reported, (std::set<std::string>{t.path("goes"), t.path("stays")}));
    EXPECT_EQ(walk->bytes(0) * 1000 + walk->bytes(1), 10u);
    EXPECT_EQ(walk->unreadable(), 0u);
}

TEST(Sizes, PseudoFileSystemsAreNeverEntered) {
    struct stat st;
    if (::stat("/proc/self", &st) != 0)
        GTEST_SKIP() << "no /proc here";
    defaults();
    ASSERT_GT(measure("/proc"), 0);
    EXPECT_EQ(totals(), (Totals{0, 0, 0}));
    EXPECT_EQ(treescan::lastPassFigures().foldersRead, 0u);
    EXPECT_EQ(search("/proc", "status", "", {.hidden = true}), std::vector<std::string>{});
}

// Every way a pass is stopped ends it at once and leaves nothing that spoils the next pass, even
// with a worker held in the kernel by a stalled mount (so the pass can't end by itself, and
// waiting for that worker would hang the caller for good).
TEST(Sizes, EveryWayToStopAPass) {
    TempTree t, o;
    manyFolders(t, 4, 10);
    t.dir("stuck/mnt");
    o.file("x", 7);
    fixture::CacheHome home;
    const std::string other = o.root();
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"ResetFileTree", [] { ResetFileTree(); }},
        {"ResetFileTree from another thread", [] { std::thread(ResetFileTree).join(); }},
        {"WaitForTree", [] { WaitForTree(0); }},
        {"SetFolder of another folder", [&] { EXPECT_EQ(SetFolder(other.c_str()), 1); }},
        {"SaveFolderList", [&] { SaveFolderList(other.c_str()); }},
        {"LoadFolderList", [&] { LoadFolderList(other.c_str()); }},
    };
    for (const auto& [what, stop] : ways) {
        fixture::StalledMount stall(t.path("stuck/mnt"));
        if (!stall.mounted())
            GTEST_SKIP() << "no FUSE mount here";
        defaults();
        IncludeFolderSize(1);
        WaitForTree(0);
        ASSERT_EQ(SetFolder(t.root().c_str()), 5);
        stop();
        EXPECT_EQ(NextTree(), 0) << what;
        stall.release();
        ASSERT_EQ(measure(t.root()), 5) << what;
        EXPECT_EQ(totals(), (Totals{40, 40, 46})) << what;
        ASSERT_EQ(measure(other), 1) << what;
        EXPECT_EQ(totals(), (Totals{7, 1, 0})) << what;
    }
}

// Running out of file descriptors is no unreadable folder: the pass waits for some, and when
// none come it says that its totals are short.
TEST(Sizes, RunningOutOfDescriptorsIsReported) {
#if defined(__SANITIZE_ADDRESS__) // gcc
    GTEST_SKIP() << "the sanitizers' own checks need descriptors";
#elif defined(__has_feature) // clang
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors";
#endif
#endif
    TempTree t;
    t.file("a/f", 1);
    const std::string root = t.root();
    EXPECT_EQ(fixture::runAsNobody([&] {
                  // Room for one more: the listed folder opens, "a" can't.
                  int last;
                  while ((last = ::dup(0)) < 50) {
                  }
                  ::close(last);
                  struct rlimit few = {51, 51};
                  ::setrlimit(RLIMIT_NOFILE, &few);
                  defaults();
                  if (measure(root) != 1)
                      return 10;
                  return GetPassState() == TREESCAN_PASS_INCOMPLETE &&
                                 treescan::lastPassFigures().unreadable == 0
                             ? 0
                             : 11;
              }),
              0);
}

// What an ordinary user may not read is skipped or refused, never fatal; what it may not write is
// read-only.
TEST(Access, AnOrdinaryUserSkipsWhatItCannotRead) {
    TempTree t;
    t.file("open/a", 10);
    t.text("open/n1.txt", "needle");
    t.file("locked/secret", 1000);
    t.text("locked/n2.txt", "needle");
    t.file("noexec/hidden-size", 500);
    t.text("secret.txt", "needle");
    t.file("mine-to-write", 1);
    t.chmod("mine-to-write", 0666);
    t.chmod("locked", 0);
    t.chmod("noexec", 0744); // listable, but its entries can't be statted
    t.chmod("secret.txt", 0);
    const std::string root = t.root();
    int rc = fixture::runAsNobody([&] {
        defaults();
        if (SetFolder(t.path("locked").c_str()) >= 0 || GetFolderError() != EACCES ||
            SetFolder(t.path("noexec").c_str()) >= 0 || GetFolderError() != EACCES)
            return 10;
        if (SetFolder(root.c_str()) != 5 || GetAttribs(3) != TREESCAN_ARCHIVE ||
            GetAttribs(4) != (TREESCAN_ARCHIVE | TREESCAN_READONLY))
            return 11;
        // open/a, open/n1.txt, mine-to-write, secret.txt; the two unreadable folders are
        // counted as folders, not entered.
        if (measure(root) != 5 || !(totals() == Totals{23, 4, 3}) ||
            treescan::lastPassFigures().unreadable != 2)
            return 12;
        if (search(root, "", "needle") != std::vector<std::string>{"open/n1.txt"})
            return 13;
        return FindStr(t.path("locked").c_str(), "", "") < 0 && GetFolderError() == EACCES ? 0 : 14;
    });
    EXPECT_EQ(rc, 0);
}
