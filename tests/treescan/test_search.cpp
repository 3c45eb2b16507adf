// The search: criteria over a tree of awkward entries, big and sparse files, progress, the ways
// a search is stopped, and the matcher itself.
#include "helpers.h"
#include "search_content.h"
#include "search_engine.h"

#include <malloc.h>
#include <random>
#include <set>
#include <sys/mman.h>

using namespace scantest;
using Paths = std::vector<std::string>;

namespace {

// Every kind of awkward entry the search meets.
struct SearchTree {
    TempTree t;
    SearchTree() {
        t.text("a.txt", "hello Needle world");
        t.text("sub/b.log", "needle");
        t.text("sub/needle.c", "int x;");
        t.text("sub/deep/c.dat", "xNEEDLE");
        t.text("sub/deep/My Needle File.txt", "nothing");
        t.text(".hid/h.txt", "needle");
        t.text(".dot.txt", "needle");
        t.file("sizes/999.bin", 999);
        t.file("sizes/1000.bin", 1000);
        t.file("sizes/1001.bin", 1001);
        t.text("empty.txt", "");
        t.text("\xC3\xA9t\xC3\xA9/\xC3\x89t\xC3\xA9.txt", "\xC3\x87"
                                                          "a va");
        t.fifo("needle.fifo");
        t.symlink("a.txt", "link.txt");
        t.symlink("sub", "linkdir");
        t.symlink(".", "loop");
        t.symlink("nowhere", "dangling.txt");
    }
};

// Many folders of many small files: a search that takes a while.
void manyFiles(TempTree& t, int folders, int files, const std::string& content) {
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f)
            t.text("d" + std::to_string(d) + "/hit" + std::to_string(f), content);
}

} // namespace

TEST(Search, EachCriterionAndTheirCombinations) {
    SearchTree t;
    const std::string ete = "\xC3\xA9t\xC3\xA9/\xC3\x89t\xC3\xA9.txt";
    struct Case {
        const char* what;
        std::string name, content;
        SearchOptions o;
        Paths want;
    };
    // clang-format off
    const Case cases[] = {
        {"name, case kept", "needle", "", {}, {"sub/needle.c"}},
        {"name, any case", "needle", "", {.ignoreCase = true}, {"sub/deep/My Needle File.txt", "sub/needle.c"}},
        {"name, hidden on", "txt", "", {.hidden = true},
         {".dot.txt", ".hid/h.txt", "a.txt", "empty.txt", "sub/deep/My Needle File.txt", ete}},
        {"text, case kept", "", "needle", {}, {"sub/b.log"}},
        {"text, case kept, hidden", "", "needle", {.hidden = true}, {".dot.txt", ".hid/h.txt", "sub/b.log"}},
        {"text, any case", "", "needle", {.ignoreCase = true}, {"a.txt", "sub/b.log", "sub/deep/c.dat"}},
        {"both bounds at exactly 1000", "", "", {.min = 1000, .max = 1000}, {"sizes/1000.bin"}},
        {"min only", "", "", {.min = 1000}, {"sizes/1000.bin", "sizes/1001.bin"}},
        {"max only", "", "", {.max = 6}, {"empty.txt", "sub/b.log", "sub/needle.c", ete}},
        {"name + text + max, hidden", "txt", "NEEDLE", {.ignoreCase = true, .hidden = true, .max = 10},
         {".dot.txt", ".hid/h.txt"}},
        {"name + min", "bin", "", {.min = 1001}, {"sizes/1001.bin"}},
        {"text + bounds exclude all", "", "needle", {.ignoreCase = true, .min = 100}, {}},
        {"Latin letters in a name, any case", "\xC3\x89T\xC3\x89", "", {.ignoreCase = true}, {ete}},
        {"Latin letters in a name, case kept", "\xC3\x89T\xC3\x89", "", {}, {}},
        {"Latin letters in text, any case", "", "\xC3\xa7" "A", {.ignoreCase = true}, {ete}},
        {"nothing asked: every visible file", "", "", {},
         {"a.txt", "empty.txt", "sizes/1000.bin", "sizes/1001.bin", "sizes/999.bin", "sub/b.log",
          "sub/deep/My Needle File.txt", "sub/deep/c.dat", "sub/needle.c", ete}},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(search(t.t.root(), c.name, c.content, c.o), c.want) << c.what;
    // A hidden folder asked for is searched; its folder text has no doubled or trailing "/".
    EXPECT_EQ(search(t.t.path(".hid"), "", "needle"), Paths{"h.txt"});
    setSearchOptions({});
    ASSERT_EQ(FindStr((t.t.root() + "//").c_str(), "b.log", ""), 0);
    ASSERT_TRUE(pollToEnd(NextFind));
    EXPECT_EQ(GetSearchFileCount() == 1 ? textOf(GetSearchFolder, 0) : "", t.t.path("sub"));
    EXPECT_EQ(treescan::childPath("/", "bin"), "/bin");
    EXPECT_EQ(treescan::searchRoot("///"), "/");
    // A folder that can't be read: refused, and the search has ended.
    for (const char* bad : {"/nonexistent/treescan-search", ""}) {
        EXPECT_LT(FindStr(bad, "x", ""), 0) << bad;
        EXPECT_EQ(NextFind(), 0);
        EXPECT_EQ(GetSearchFileCount(), 0);
    }
}

// Only data is read: a match far out in a sparse file is found, one split by a hole is not, one
// across two read blocks or at the very end is.
TEST(Search, BigAndSparseFiles) {
    TempTree t;
    auto writeAt = [](const std::string& path, off_t at, const std::string& bytes) {
        int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    };
    writeAt(t.sparse("far.img", 16ull << 30), (12ull << 30) + 262144 - 5, "zephyr NEEDLE");
    auto split = t.sparse("split.img", 4 << 20);
    writeAt(split, 4096 - 3, "nee");
    writeAt(split, 2 << 20, "dle");
    writeAt(t.sparse("tail.img", 3 << 20), (3 << 20) - 6, "needle");
    std::string straddle(300 * 1024, 'x');
    straddle.replace(256 * 1024 - 3, 6, "NEEDLE");
    t.text("straddle.txt", straddle);
    EXPECT_EQ(search(t.root(), "", "needle", {.ignoreCase = true}),
              (Paths{"far.img", "straddle.txt", "tail.img"}));
    EXPECT_EQ(search(t.root(), "", "needle"), Paths{"tail.img"});
}

// Searching a sparse file reads its data, not its holes: no pages of zeros are left in the page
// cache, where they would push out the data of the files around them.
TEST(Search, HolesOfSparseFilesStayOutOfThePageCache) {
    TempTree t;
    const std::string text(4096, 't');
    std::vector<std::string> files;
    for (std::uint64_t size : {20u << 10, 200u << 10, 1u << 20}) {
        files.push_back(t.sparse("sparse-" + std::to_string(size), size));
        int fd = ::open(files.back().c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    auto resident = [](const std::string& path) {
        int fd = ::open(path.c_str(), O_RDONLY);
        struct stat st;
        ::fstat(fd, &st);
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        std::vector<unsigned char> in((static_cast<std::size_t>(st.st_size) + page - 1) / page);
        ::mincore(map, static_cast<std::size_t>(st.st_size), in.data());
        ::munmap(map, static_cast<std::size_t>(st.st_size));
        return std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; });
    };
    for (const std::string& f : files) {
        struct stat st;
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        if (st.st_blocks * 512 >= st.st_size || resident(f) != 0)
            GTEST_SKIP() << "this file system keeps no holes, or its pages can't be dropped";
    }
    EXPECT_EQ(search(t.root(), "", "needle"), Paths{});
    for (const std::string& f : files)
        EXPECT_LE(resident(f), 1) << f; // the page of text only
}

TEST(Search, ResultsKeepTheirIndexWhileTheSearchRuns) {
    TempTree t;
    manyFiles(t, 60, 40, "needle");
    setSearchOptions({});
    ASSERT_EQ(FindStr(t.root().c_str(), "hit", "needle"), 0);
    std::vector<std::string> seen;
    std::set<std::string> folders;
    ASSERT_TRUE(pollToEnd(NextFind, [&](int32_t r) {
        for (int32_t i = static_cast<int32_t>(seen.size()); i < GetSearchFileCount(); ++i)
            seen.push_back(found(i));
        // An early result, read again while workers append.
        EXPECT_TRUE(seen.empty() || found(0) == seen.front());
        if (r == 1)
            folders.insert(currentFolder());
    }));
    ASSERT_EQ(GetSearchFileCount(), 60 * 40);
    ASSERT_EQ(seen.size(), 60u * 40u);
    for (int32_t i = 0; i < GetSearchFileCount(); ++i)
        ASSERT_EQ(found(i), seen[static_cast<std::size_t>(i)]);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), seen.size());
    // Progress names folders of the search.
    EXPECT_FALSE(folders.empty());
    for (const auto& f : folders)
        EXPECT_TRUE(f == t.root() || f.starts_with(t.root() + "/d")) << f;
}

// Every way a search is stopped ends it, even with a worker held in the kernel by a stalled
// mount (so it can't end by itself, and waiting for that worker would hang the caller).
TEST(Search, EveryWayToStopASearch) {
    TempTree big, small;
    manyFiles(big, 10, 20, "needle");
    big.dir("stuck/mnt");
    small.text("sub/needle.c", "x");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"ResetFileTree", [] { ResetFileTree(); }},
        {"ResetFileTree from another thread", [] { std::thread(ResetFileTree).join(); }},
        {"FindStr anew", [&] { FindStr(small.root().c_str(), "needle", ""); }},
    };
    for (const auto& [what, stop] : ways) {
        fixture::StalledMount stall(big.path("stuck/mnt"));
        if (!stall.mounted())
            GTEST_SKIP() << "no FUSE mount here";
        setSearchOptions({});
        ASSERT_EQ(FindStr(big.root().c_str(), "", "needle"), 0);
        stop();
        EXPECT_TRUE(pollToEnd(NextFind)) << what;
        // What it found stays readable.
        for (int32_t i = 0; i < GetSearchFileCount(); ++i)
            EXPECT_TRUE(found(i).starts_with(big.root() + "/d") || found(i) == small.path("sub/needle.c"));
        stall.release();
        EXPECT_EQ(search(big.path("d7"), "hit1", "").size(), 11u) << what; // hit1, hit10..hit19
    }
}

// A tree 1,000 folders deep (paths of 11,000 bytes, far past PATH_MAX) is searched in full, and
// its results cost their names, not their paths.
TEST(Search, DeepTrees) {
    TempTree t;
    const int levels = 1000;
    std::string deepest = t.root();
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels; ++i, deepest += "/dddddddddd") {
        ::close(::openat(fd, "hit", O_CREAT | O_WRONLY, 0644));
        ASSERT_EQ(::mkdirat(fd, "dddddddddd", 0755), 0);
        int next = ::openat(fd, "dddddddddd", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    int file = ::openat(fd, "deep-needle.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "needle", 6), 6);
    ::close(file);
    ::close(fd);
    setSearchOptions({});
    ASSERT_EQ(FindStr(t.root().c_str(), "needle", "needle"), 0);
    EXPECT_TRUE(pollToEnd(NextFind));
    ASSERT_EQ(GetSearchFileCount(), 1);
    EXPECT_TRUE(found(0) == deepest + "/deep-needle.txt");
    const std::size_t before = ::mallinfo2().uordblks;
    ASSERT_EQ(FindStr(t.root().c_str(), "hit", ""), 0);
    EXPECT_TRUE(pollToEnd(NextFind));
    EXPECT_EQ(GetSearchFileCount(), levels);
    EXPECT_LT(::mallinfo2().uordblks, before + (2 << 20)); // 1,000 whole paths would be 5.5 MB
}

TEST(SearchPattern, CaseAndLatinLetters) {
    struct Case {
        const char* needle;
        const char* text;
        bool ignoreCase;
        bool found;
    };
    // clang-format off
    const Case cases[] = {
        {"needle", "a needle here", false, true}, {"needle", "a Needle here", false, false},
        {"needle", "a Needle here", true, true},  {"NEEDLE", "xneedlex", true, true},
        {"needle", "needl", true, false},         {"n", "N", true, true}, {"n", "N", false, false},
        {"\xC3\x89t\xC3\xA9", "l'\xC3\xA9t\xC3\xA9", true, true}, // "Été" in "l'été"
        {"\xC3\x89t\xC3\xA9", "l'\xC3\xA9t\xC3\xA9", false, false},
        {"\xC3\xA7" "a", "\xC3\x87" "A va", true, true}, // "ça" in "ÇA va"
        {"\xC3\x97", "\xC3\xB7", true, false},          // × is no letter: not ÷
        {"[x]", "{x}", true, false},                     // 0x20 apart, but no letters
        {"@", "`", true, false},
        {"\x89", "\xA9", true, false},                   // a lone byte is no letter
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(treescan::Pattern(c.needle, c.ignoreCase).foundIn(c.text), c.found)
            << c.needle << " in " << c.text << " ic=" << c.ignoreCase;
}

// Random texts over an alphabet full of near misses, at every length around the vector widths,
// against the plain definition.
TEST(SearchPattern, AgreesWithThePlainDefinition) {
    auto reference = [](const std::string& hay, const std::string& needle, bool ignoreCase) {
        if (!ignoreCase)
            return hay.find(needle) != std::string::npos;
        std::string n = treescan::foldText(needle);
        for (std::size_t i = 0; i + n.size() <= hay.size(); ++i) {
            std::size_t k = 0;
            while (k < n.size() && treescan::foldByte(k ? static_cast<unsigned char>(hay[i + k - 1]) : 0,
                                                      static_cast<unsigned char>(hay[i + k])) ==
                                       static_cast<unsigned char>(n[k]))
                ++k;
            if (k == n.size())
                return true;
        }
        return false;
    };
    const std::string alphabet = "nNeEdDlL[{\xC3\x89\xA9 x";
    const std::string needles[] = {"n",      "ne",        "nEe", "needle",
                                   "NEEDLE", "\xC3\x89l", "x[n", std::string(34, 'e')};
    std::mt19937 rng(12345);
    int matches = 0;
    for (std::size_t len = 0; len < 140; ++len) {
        for (int round = 0; round < 20; ++round) {
            std::string hay(len, ' ');
            for (auto& ch : hay)
                ch = alphabet[rng() % alphabet.size()];
            for (const auto& needle : needles) {
                // Plant the needle (in some case) now and then, so both answers occur.
                if (round % 3 == 0 && needle.size() <= len) {
                    std::size_t at = rng() % (len - needle.size() + 1);
                    for (std::size_t k = 0; k < needle.size(); ++k)
                        hay[at + k] =
                            needle[k] >= 'a' && needle[k] <= 'z' && rng() % 2 ? needle[k] - 32 : needle[k];
                }
                for (bool ic : {false, true}) {
                    bool want = reference(hay, needle, ic);
                    matches += want;
                    ASSERT_EQ(treescan::Pattern(needle, ic).foundIn(hay), want)
                        << "needle '" << needle << "' ic=" << ic << " in '" << hay << "'";
                }
            }
        }
    }
    EXPECT_GT(matches, 1000);
}

// A match that straddles two read blocks, at every offset, with blocks smaller than the needle
// too; a stopped search reads nothing.
TEST(SearchContent, MatchStraddlingBlocks) {
    TempTree t;
    std::atomic<bool> stop{false};
    treescan::Pattern pattern("needle", true);
    auto contains = [&](treescan::ContentReader& reader, const std::string& path) {
        int fd = ::open(path.c_str(), O_RDONLY);
        struct stat st;
        bool found = ::fstat(fd, &st) == 0 && reader.contains(fd, st, pattern, stop);
        ::close(fd);
        return found;
    };
    for (std::size_t block : {1, 2, 3, 5, 7, 16}) {
        treescan::ContentReader reader(block);
        for (std::size_t at = 0; at + 6 <= 40; ++at) {
            std::string content(40, 'x');
            content.replace(at, 6, "NEEDLE");
            EXPECT_TRUE(contains(reader, t.text("hit", content))) << block << " " << at;
            content[at + 3] = 'x';
            EXPECT_FALSE(contains(reader, t.text("miss", content))) << block << " " << at;
        }
    }
    stop = true;
    treescan::ContentReader reader(16);
    EXPECT_FALSE(contains(reader, t.text("f", std::string(100, 'x') + "needle")));
}
