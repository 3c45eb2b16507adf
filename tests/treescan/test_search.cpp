// The search through the C interface: criteria, the awkward files of a tree, progress, stopping.
#include "fixture.h"
#include "search_engine.h"
#include "treescan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    bool ignoreCase = false;
    bool hidden = false;
    double min = -1;
    double max = -1;
};

struct Found {
    std::string folder, name;
    double size;
    bool operator==(const Found&) const = default;
};

std::string text(int32_t (*get)(int32_t, char*, int32_t), int32_t i) {
    std::vector<char> buf(8192);
    int32_t n = get(i, buf.data(), static_cast<int32_t>(buf.size()));
    return {buf.data(), static_cast<std::size_t>(n)};
}

Found result(int32_t i) {
    return {text(GetSearchFolder, i), text(GetSearchFile, i), GetSearchSize(i)};
}

// Polls until the search ends; fails (and unblocks a reader stuck on a FIFO) after a deadline.
bool waitForEnd(const std::string& fifoToRelease = {}) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (NextFind() != 0) {
        if (Clock::now() > deadline) {
            if (!fifoToRelease.empty()) {
                int fd = ::open(fifoToRelease.c_str(), O_WRONLY | O_NONBLOCK);
                ResetFileTree();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (fd >= 0)
                    ::close(fd);
            }
            ResetFileTree();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void setOptions(const Options& o) {
    IgnoreCase(o.ignoreCase);
    IncludeHidden(o.hidden);
    IncludeSystem(o.hidden);
    FileGTE(o.min);
    FileLTE(o.max);
}

// Runs a search to its end; returns the found files' paths below `root` (sorted), checking each
// result's folder and size against the disk.
std::vector<std::string> search(const std::string& root, const std::string& name, const std::string& content,
                                const Options& o, const std::string& fifo = {}) {
    setOptions(o);
    EXPECT_EQ(FindStr(root.c_str(), name.c_str(), content.c_str()), 0);
    EXPECT_TRUE(waitForEnd(fifo)) << "search did not end";
    std::vector<std::string> paths;
    for (int32_t i = 0; i < GetSearchFileCount(); ++i) {
        Found f = result(i);
        EXPECT_TRUE(f.folder == root || f.folder.starts_with(root + "/")) << f.folder;
        EXPECT_NE(f.folder.back(), '/');
        std::string full = f.folder + "/" + f.name;
        struct stat st {};
        EXPECT_EQ(::lstat(full.c_str(), &st), 0) << full;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << full;
        EXPECT_EQ(f.size, static_cast<double>(st.st_size)) << full;
        paths.push_back(full.substr(root.size() + 1));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

using Paths = std::vector<std::string>;

// A tree with every kind of awkward entry the search meets.
struct SearchTree {
    fixture::TempTree tree;
    std::string fifo;
    SearchTree() {
        tree.text("a.txt", "hello Needle world");
        tree.text("sub/b.log", "needle");
        tree.text("sub/needle.c", "int x;");
        tree.text("sub/deep/c.dat", "xNEEDLE");
        tree.text("sub/deep/My Needle File.txt", "nothing");
        tree.text(".hid/h.txt", "needle");
        tree.text(".dot.txt", "needle");
        tree.file("sizes/999.bin", 999);
        tree.file("sizes/1000.bin", 1000);
        tree.file("sizes/1001.bin", 1001);
        tree.text("empty.txt", "");
        tree.text("\xC3\xA9t\xC3\xA9/\xC3\x89t\xC3\xA9.txt", "\xC3\x87"
                                                             "a va");
        fifo = tree.fifo("needle.fifo");
        tree.symlink("a.txt", "link.txt");
        tree.symlink("sub", "linkdir");
        tree.symlink(".", "loop");
        tree.symlink("nowhere", "dangling.txt");
    }
    std::string root() const { return tree.root(); }
};

} // namespace

TEST(Search, EachCriterionAndTheirCombinations) {
    SearchTree t;
    const std::string ete = "\xC3\xA9t\xC3\xA9/\xC3\x89t\xC3\xA9.txt";
    const Paths allVisible = {"a.txt",
                              "empty.txt",
                              "sizes/1000.bin",
                              "sizes/1001.bin",
                              "sizes/999.bin",
                              "sub/b.log",
                              "sub/deep/My Needle File.txt",
                              "sub/deep/c.dat",
                              "sub/needle.c",
                              ete};
    struct Case {
        const char* what;
        std::string name, content;
        Options o;
        Paths want;
    };
    const Case cases[] = {
        {"name, case kept", "needle", "", {}, {"sub/needle.c"}},
        {"name, any case",
         "needle",
         "",
         {.ignoreCase = true},
         {"sub/deep/My Needle File.txt", "sub/needle.c"}},
        {"name, hidden on",
         "txt",
         "",
         {.hidden = true},
         {".dot.txt", ".hid/h.txt", "a.txt", "empty.txt", "sub/deep/My Needle File.txt", ete}},
        {"text, case kept", "", "needle", {}, {"sub/b.log"}},
        {"text, case kept, hidden", "", "needle", {.hidden = true}, {".dot.txt", ".hid/h.txt", "sub/b.log"}},
        {"text, any case", "", "needle", {.ignoreCase = true}, {"a.txt", "sub/b.log", "sub/deep/c.dat"}},
        {"both bounds at exactly 1000", "", "", {.min = 1000, .max = 1000}, {"sizes/1000.bin"}},
        {"min only", "", "", {.min = 1000}, {"sizes/1000.bin", "sizes/1001.bin"}},
        {"max only", "", "", {.max = 6}, {"empty.txt", "sub/b.log", "sub/needle.c", ete}},
        {"name + text + max, hidden",
         "txt",
         "NEEDLE",
         {.ignoreCase = true, .hidden = true, .max = 10},
         {".dot.txt", ".hid/h.txt"}},
        {"name + min", "bin", "", {.min = 1001}, {"sizes/1001.bin"}},
        {"text + bounds exclude all", "", "needle", {.ignoreCase = true, .min = 100}, {}},
        {"Latin letters in a name, any case", "\xC3\x89T\xC3\x89", "", {.ignoreCase = true}, {ete}},
        {"Latin letters in a name, case kept", "\xC3\x89T\xC3\x89", "", {}, {}},
        {"Latin letters in text, any case",
         "",
         "\xC3\xa7"
         "A",
         {.ignoreCase = true},
         {ete}},
        {"nothing asked: every visible file", "", "", {}, allVisible},
    };
    for (const auto& c : cases)
        EXPECT_EQ(search(t.root(), c.name, c.content, c.o, t.fifo), c.want) << c.what;
}

TEST(Search, FolderTextHasNoDoubledOrTrailingSlash) {
    SearchTree t;
    setOptions({});
    ASSERT_EQ(FindStr((t.root() + "//").c_str(), "b.log", ""), 0);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(GetSearchFileCount(), 1);
    EXPECT_EQ(result(0).folder, t.root() + "/sub");
    EXPECT_EQ(treescan::childPath("/", "bin"), "/bin");
    EXPECT_EQ(treescan::childPath("/home", "x"), "/home/x");
    EXPECT_EQ(treescan::searchRoot("/"), "/");
    EXPECT_EQ(treescan::searchRoot("///"), "/");
    EXPECT_EQ(treescan::searchRoot("/a/b/"), "/a/b");
}

TEST(Search, HiddenFolderAskedForIsSearched) {
    SearchTree t;
    EXPECT_EQ(search(t.root() + "/.hid", "", "needle", {}), Paths{"h.txt"});
}

TEST(Search, UnreadableStart) {
    setOptions({});
    EXPECT_LT(FindStr("/nonexistent/treescan-search", "x", ""), 0);
    EXPECT_EQ(NextFind(), 0);
    EXPECT_EQ(GetSearchFileCount(), 0);
    EXPECT_LT(FindStr("", "x", ""), 0);
    EXPECT_EQ(NextFind(), 0);
}

TEST(Search, PseudoFileSystemsAreNotEntered) {
    setOptions({.hidden = true});
    ASSERT_EQ(FindStr("/proc", "status", ""), 0);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(GetSearchFileCount(), 0);
}

TEST(Search, BigFiles) {
    fixture::TempTree tree;
    auto big = tree.sparse("big.img", 16ull << 30);
    int fd = ::open(big.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "zephyr NEEDLE", 13, (12ull << 30) + 262144 - 5), 13);
    ::close(fd);
    // Split by a hole: never found.
    auto split = tree.sparse("split.img", 4 << 20);
    fd = ::open(split.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "nee", 3, 4096 - 3), 3);
    ASSERT_EQ(::pwrite(fd, "dle", 3, 2 << 20), 3);
    ::close(fd);
    // Across the boundary of the library's 256 KiB read blocks.
    std::string straddle(300 * 1024, 'x');
    straddle.replace(256 * 1024 - 3, 6, "NEEDLE");
    tree.text("straddle.txt", straddle);
    EXPECT_EQ(search(tree.root(), "", "needle", {.ignoreCase = true}), (Paths{"big.img", "straddle.txt"}));
    EXPECT_EQ(search(tree.root(), "", "needle", {}), Paths{});
}

TEST(Search, UnreadableFoldersAndFilesAreSkipped) {
    fixture::TempTree tree;
    tree.text("open/n1.txt", "needle");
    tree.text("locked/n2.txt", "needle");
    tree.text("secret.txt", "needle");
    tree.chmod("locked", 0);
    tree.chmod("secret.txt", 0);
    std::string root = tree.root();
    int rc = fixture::runAsNobody([&] {
        setOptions({});
        if (FindStr(root.c_str(), "", "needle") != 0 || !waitForEnd())
            return 2;
        if (GetSearchFileCount() != 1 || result(0).name != "n1.txt")
            return 3;
        // An unreadable start folder is reported.
        return FindStr((root + "/locked").c_str(), "", "") < 0 ? 0 : 4;
    });
    EXPECT_EQ(rc, 0);
}

namespace {
// Many folders of many small files: a search that takes a while.
void manyFiles(fixture::TempTree& tree, int folders, int files, const std::string& content) {
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f)
            tree.text("d" + std::to_string(d) + "/hit" + std::to_string(f), content);
}
} // namespace

TEST(Search, ResultsKeepTheirIndexWhileTheSearchRuns) {
    fixture::TempTree tree;
    manyFiles(tree, 60, 40, "needle");
    setOptions({});
    ASSERT_EQ(FindStr(tree.root().c_str(), "hit", "needle"), 0);
    std::vector<Found> seen;
    int32_t last = 0;
    int progress = 0;
    auto deadline = Clock::now() + std::chrono::seconds(60);
    for (int r; (r = NextFind()) != 0 && Clock::now() < deadline;) {
        int32_t n = GetSearchFileCount();
        ASSERT_GE(n, last);
        for (int32_t i = last; i < n; ++i)
            seen.push_back(result(i));
        if (!seen.empty()) { // an early result, read again while workers append
            ASSERT_EQ(result(0), seen.front());
        }
        last = n;
        progress += r == 1;
        if (r == 2)
            std::this_thread::yield();
    }
    ASSERT_EQ(GetSearchFileCount(), 60 * 40);
    EXPECT_GT(progress, 0);
    for (int32_t i = 0; i < last; ++i)
        ASSERT_EQ(result(i), seen[static_cast<std::size_t>(i)]) << i;
    std::set<std::string> unique;
    for (int32_t i = 0; i < GetSearchFileCount(); ++i)
        unique.insert(result(i).folder + "/" + result(i).name);
    EXPECT_EQ(unique.size(), 60u * 40u);
}

TEST(Search, CurrentFolderNamesAFolderOfTheSearch) {
    fixture::TempTree tree;
    manyFiles(tree, 20, 5, "x");
    setOptions({});
    ASSERT_EQ(FindStr(tree.root().c_str(), "hit", ""), 0);
    int checked = 0;
    for (int r; (r = NextFind()) != 0;) {
        if (r != 1)
            continue;
        char buf[4096];
        int32_t n = GetCurrentFolder(buf, sizeof buf);
        std::string folder(buf, static_cast<std::size_t>(n));
        EXPECT_TRUE(folder == tree.root() || folder.starts_with(tree.root() + "/d")) << folder;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(Search, StopsMidSearch) {
    fixture::TempTree tree;
    manyFiles(tree, 30, 60, std::string(8000, 'x') + "needle");
    setOptions({});
    ASSERT_EQ(FindStr(tree.root().c_str(), "", "needle"), 0);
    std::thread([] { ResetFileTree(); }).join(); // from another thread
    ASSERT_TRUE(waitForEnd());
    // Stopped right after the start, it can't have read all 1,800 files.
    EXPECT_LT(GetSearchFileCount(), 1800);
    // What was found stays readable, and a new search runs normally.
    for (int32_t i = 0; i < GetSearchFileCount(); ++i)
        EXPECT_EQ(result(i).name.substr(0, 3), "hit");
    EXPECT_EQ(search(tree.root() + "/d7", "hit5", "", {}).size(), 11u); // hit5, hit50..hit59
}

TEST(Search, FindStrWhileRunningStartsAfresh) {
    fixture::TempTree big;
    manyFiles(big, 30, 60, std::string(8000, 'x') + "needle");
    SearchTree t;
    setOptions({});
    ASSERT_EQ(FindStr(big.root().c_str(), "", "needle"), 0);
    while (GetSearchFileCount() == 0 && NextFind() != 0) {
    }
    EXPECT_EQ(search(t.root(), "needle", "", {.ignoreCase = true}),
              (Paths{"sub/deep/My Needle File.txt", "sub/needle.c"}));
}

TEST(Search, TextFitsTheCallersBuffer) {
    fixture::TempTree tree;
    const std::string name = "\xC3\xA9\xC3\xA9-long.txt"; // 2-byte characters at the start
    tree.text(name, "z");
    setOptions({});
    ASSERT_EQ(FindStr(tree.root().c_str(), "long", ""), 0);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(GetSearchFileCount(), 1);
    for (int32_t cap = 0; cap <= static_cast<int32_t>(name.size()) + 2; ++cap) {
        std::vector<char> buf(static_cast<std::size_t>(cap) + 8, '#');
        int32_t n = GetSearchFile(0, buf.data(), cap);
        int32_t want = std::min<int32_t>(cap, static_cast<int32_t>(name.size()));
        if (want == 1 || want == 3) // never cut inside "é"
            --want;
        EXPECT_EQ(n, want) << cap;
        EXPECT_EQ(std::string(buf.data(), static_cast<std::size_t>(n)),
                  name.substr(0, static_cast<std::size_t>(n)));
        for (std::size_t i = static_cast<std::size_t>(cap); i < buf.size(); ++i)
            ASSERT_EQ(buf[i], '#') << "written past capacity " << cap;
        std::vector<char> fb(static_cast<std::size_t>(cap) + 8, '#');
        int32_t m = GetSearchFolder(0, fb.data(), cap);
        EXPECT_EQ(m, std::min<int32_t>(cap, static_cast<int32_t>(tree.root().size())));
        for (std::size_t i = static_cast<std::size_t>(cap); i < fb.size(); ++i)
            ASSERT_EQ(fb[i], '#') << "written past capacity " << cap;
    }
    char buf[16];
    EXPECT_EQ(GetSearchFile(0, nullptr, 10), 0);
    EXPECT_EQ(GetSearchFile(0, buf, -1), 0);
    EXPECT_EQ(GetSearchFile(1, buf, sizeof buf), 0);
    EXPECT_EQ(GetSearchFile(-1, buf, sizeof buf), 0);
    EXPECT_EQ(GetSearchFolder(1, buf, sizeof buf), 0);
    EXPECT_EQ(GetSearchSize(1), 0.0);
    EXPECT_EQ(GetSearchSize(0), 1.0);
}

// Folders deeper than PATH_MAX bytes are searched too (their paths can't be opened whole).
TEST(Search, PathsLongerThanPathMax) {
    fixture::TempTree tree;
    const std::string part(200, 'd');
    const int levels = 25; // about 5,000 bytes below the root
    std::vector<int> fds{::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(::mkdirat(fds.back(), part.c_str(), 0755), 0);
        fds.push_back(::openat(fds.back(), part.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(fds.back(), 0);
    }
    int file = ::openat(fds.back(), "deep-needle.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "needle", 6), 6);
    ::close(file);

    setOptions({});
    ASSERT_EQ(FindStr(tree.root().c_str(), "needle", "needle"), 0);
    EXPECT_TRUE(waitForEnd());
    ASSERT_EQ(GetSearchFileCount(), 1);
    std::string want = tree.root();
    for (int i = 0; i < levels; ++i)
        want += "/" + part;
    EXPECT_GT(want.size(), 4096u);
    EXPECT_EQ(result(0).folder, want);
    EXPECT_EQ(result(0).name, "deep-needle.txt");

    // Removed from the bottom up, through the open folders (the paths are too long to remove).
    ::unlinkat(fds.back(), "deep-needle.txt", 0);
    for (int i = levels; i > 0; --i) {
        ::close(fds[static_cast<std::size_t>(i)]);
        ::unlinkat(fds[static_cast<std::size_t>(i) - 1], part.c_str(), AT_REMOVEDIR);
    }
    ::close(fds[0]);
}
