// Listing a folder: what SetFolder reports for each kind of entry, the options and orders, and
// the text every call writes into a caller's buffer.
#include "helpers.h"

#include <ctime>
#include <map>

using namespace scantest;

// One entry of every kind the scanner tells apart, listed with each choice of options; alone, and
// among thousands of plain and hidden files, which several threads look at.
class ListingAmong : public ::testing::TestWithParam<int> {};

TEST_P(ListingAmong, EveryKindOfEntryAndWhatTheOptionsShow) {
    TempTree t;
    for (const char* name : {"folder", ".dotfolder"})
        t.dir(name);
    t.file("plain.txt", 12);
    t.file(".hidden", 3);
    t.fifo("pipe");
    t.symlink("plain.txt", "to-file");
    t.symlink("folder", "to-folder");
    t.symlink("missing", "dangling");
    t.file("new\nline", 2);
    t.file("bad\xff\xfe", 4);
    struct Expected {
        int attribs;
        double size;
    };
    // A link reports its own size (its target's length); nothing can be written through a
    // dangling link, so it is read-only for every user.
    std::map<std::string, Expected> all = {
        {"plain.txt", {TREESCAN_ARCHIVE, 12}},
        {"folder", {TREESCAN_FOLDER, -1}},
        {".hidden", {TREESCAN_ARCHIVE | TREESCAN_HIDDEN, 3}},
        {".dotfolder", {TREESCAN_FOLDER | TREESCAN_HIDDEN, -1}},
        {"pipe", {TREESCAN_SYSTEM, 0}},
        {"to-file", {TREESCAN_LINK | TREESCAN_ARCHIVE, 9}},
        {"to-folder", {TREESCAN_LINK | TREESCAN_FOLDER, 6}},
        {"dangling", {TREESCAN_LINK | TREESCAN_READONLY, 7}},
        {"new\nline", {TREESCAN_ARCHIVE, 2}},
        {"bad\xff\xfe", {TREESCAN_ARCHIVE, 4}},
    };
    std::vector<std::string> hiddenPadding;
    for (int i = 0; i < GetParam(); ++i) {
        const std::string name = (i % 3 ? "pad" : ".pad") + std::to_string(i);
        t.file(name, static_cast<std::uint64_t>(i % 7));
        all[name] = {TREESCAN_ARCHIVE | (i % 3 ? 0 : TREESCAN_HIDDEN), static_cast<double>(i % 7)};
        if (i % 3 == 0)
            hiddenPadding.push_back(name);
    }
    struct Case {
        int hidden, system;
        std::vector<std::string> absent;
    };
    const Case cases[] = {{1, 1, {}},
                          {0, 1, {".hidden", ".dotfolder"}},
                          {1, 0, {"pipe"}},
                          {0, 0, {".hidden", ".dotfolder", "pipe"}}};
    for (const Case& c : cases) {
        defaults();
        IncludeHidden(c.hidden);
        IncludeSystem(c.system);
        std::map<std::string, Expected> want = all;
        for (const auto& name : c.absent)
            want.erase(name);
        if (!c.hidden)
            for (const auto& name : hiddenPadding)
                want.erase(name);
        EXPECT_EQ(SetFolder(t.root().c_str()), static_cast<int32_t>(want.size()));
        std::map<std::string, Expected> got;
        for (const Item& item : items())
            got[item.name] = {item.attribs, item.size};
        ASSERT_EQ(got.size(), want.size()) << c.hidden << c.system;
        for (const auto& [name, e] : want) {
            EXPECT_EQ(got[name].attribs, e.attribs) << name;
            // A folder's own size depends on the file system.
            EXPECT_TRUE(e.size < 0 || got[name].size == e.size) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Padding, ListingAmong, ::testing::Values(0, 5000));

TEST(Listing, EveryKeyAndDirectionGivesItsOrder) {
    TempTree t;
    // Names in mixed case, sizes and times chosen so that every key orders differently.
    struct F {
        const char* name;
        int size;
        int64_t mtime;
    };
    for (const F& f : {F{"b.TXT", 30, 1000}, F{"A.c", 10, 3000}, F{"a.c", 10, 2000}, F{"c", 20, 2000},
                       F{"d.Bin", 5, 500}}) {
        t.file(f.name, static_cast<std::uint64_t>(f.size));
        t.mtime(f.name, f.mtime);
    }
    t.dir("Zeta.d");
    t.dir("alpha");
    t.mtime("Zeta.d", 100);
    t.mtime("alpha", 200);
    struct Case {
        int key;
        int ascending;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        // Case-insensitive, then bytes ("A.c" < "a.c"); folders first either way.
        {TREESCAN_SORT_NAME, 1, {"alpha", "Zeta.d", "A.c", "a.c", "b.TXT", "c", "d.Bin"}},
        {TREESCAN_SORT_NAME, 0, {"Zeta.d", "alpha", "d.Bin", "c", "b.TXT", "a.c", "A.c"}},
        // Lower-cased extension ("" < bin < c < txt), then name.
        {TREESCAN_SORT_TYPE, 1, {"alpha", "Zeta.d", "c", "d.Bin", "A.c", "a.c", "b.TXT"}},
        {TREESCAN_SORT_TYPE, 0, {"Zeta.d", "alpha", "b.TXT", "a.c", "A.c", "d.Bin", "c"}},
        // Size, ties by name.
        {TREESCAN_SORT_SIZE, 1, {"alpha", "Zeta.d", "d.Bin", "A.c", "a.c", "c", "b.TXT"}},
        {TREESCAN_SORT_SIZE, 0, {"Zeta.d", "alpha", "b.TXT", "c", "a.c", "A.c", "d.Bin"}},
        // Date, ties by name.
        {TREESCAN_SORT_DATE, 1, {"Zeta.d", "alpha", "d.Bin", "b.TXT", "a.c", "c", "A.c"}},
        {TREESCAN_SORT_DATE, 0, {"alpha", "Zeta.d", "A.c", "c", "a.c", "b.TXT", "d.Bin"}},
    };
    for (const Case& c : cases) {
        defaults();
        SortBy(c.key, c.ascending);
        ASSERT_EQ(SetFolder(t.root().c_str()), 7);
        EXPECT_EQ(names(), c.order) << "key " << c.key << " ascending " << c.ascending;
    }
}

// Names alike in their first 8 or 16 bytes, or the start of one another, and alike but for case.
TEST(Listing, LongAlikeNamesSortByTheirWholeName) {
    TempTree t;
    const std::vector<std::string> order = {"Photo_2",           "photo_20",           "photo_2023_01_0",
                                            "photo_2023_01_01",  "PHOTO_2023_01_01_a", "photo_2023_01_01_A",
                                            "Photo_2023_01_01_b"};
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        t.file(*it);
    for (const int ascending : {1, 0}) {
        defaults();
        SortBy(TREESCAN_SORT_NAME, ascending);
        ASSERT_EQ(SetFolder(t.root().c_str()), static_cast<int32_t>(order.size()));
        EXPECT_EQ(names(), ascending ? order : std::vector<std::string>(order.rbegin(), order.rend()));
    }
}

TEST(Listing, TimeIsLocalTimeText) {
    TempTree t;
    t.file("f");
    t.mtime("f", 1000000000); // 2001-09-09 01:46:40 UTC
    t.file("a-late-one");
    t.mtime("a-late-one", 10413835200); // 2300-01-01 noon: past what ns since 1970 hold in 64 bits
    for (auto [tz, text] :
         {std::pair{"UTC0", "2001-09-09 01:46:40"}, std::pair{"EST5", "2001-09-08 20:46:40"}}) {
        fixture::SetEnv zone("TZ", tz);
        ::tzset();
        defaults();
        SortBy(TREESCAN_SORT_DATE, 1);
        ASSERT_EQ(SetFolder(t.root().c_str()), 2);
        EXPECT_EQ(textOf(GetTime, 0), text);
        EXPECT_EQ(textOf(GetTime, 1).substr(0, 4), "2300");
        // Asked again last, so that the next zone's first question is this same time.
        EXPECT_EQ(textOf(GetTime, 0), text);
    }
    ::tzset();
}

TEST(Listing, IsAlwaysReadAfresh) {
    TempTree t;
    t.file("first");
    for (int sizes : {0, 1}) {
        defaults();
        IncludeFolderSize(sizes);
        WaitForTree(0);
        int32_t before = SetFolder(t.root().c_str());
        t.file("added" + std::to_string(sizes), 5);
        WaitForTree(0);
        EXPECT_EQ(SetFolder(t.root().c_str()), before + 1);
        auto listed = names();
        EXPECT_NE(std::find(listed.begin(), listed.end(), "added" + std::to_string(sizes)), listed.end());
        WaitForTree(0);
    }
}

// A folder that can't be read is refused with the system's reason; the next success clears it.
TEST(Listing, FolderThatCannotBeReadGivesNegativeAndTheReason) {
    TempTree t;
    t.file("a-file", 1);
    defaults();
    const std::pair<std::string, int32_t> cases[] = {{"/does-not-exist-at-all", ENOENT},
                                                     {t.path("a-file"), ENOTDIR},
                                                     {t.path("a-file/x"), ENOTDIR},
                                                     {"", ENOENT}};
    for (const auto& [bad, error] : cases) {
        ASSERT_EQ(SetFolder(t.root().c_str()), 1);
        EXPECT_EQ(GetFolderError(), 0);
        EXPECT_LT(SetFolder(bad.c_str()), 0) << bad;
        EXPECT_EQ(GetFolderError(), error) << bad;
        ASSERT_EQ(FindStr(t.root().c_str(), "", ""), 0);
        EXPECT_EQ(GetFolderError(), 0);
        EXPECT_LT(FindStr(bad.c_str(), "", ""), 0) << bad;
        EXPECT_EQ(GetFolderError(), error) << bad;
    }
    EXPECT_LT(SetFolder(nullptr), 0);
    EXPECT_EQ(GetFolderError(), ENOENT);
    EXPECT_EQ(GetFileCount(), 0);
}

// An item's identity is the entry's own (a link's, not its target's), in every order.
TEST(Listing, FileIdIsTheEntrysOwn) {
    TempTree t;
    t.file("b-file", 5);
    t.dir("a-folder");
    t.symlink("b-file", "c-link");
    for (int ascending : {1, 0}) {
        defaults();
        SortBy(TREESCAN_SORT_NAME, ascending);
        ASSERT_EQ(SetFolder(t.root().c_str()), 3);
        for (int32_t i = 0; i < 3; ++i) {
            struct stat st {};
            ASSERT_EQ(::lstat(t.path(textOf(GetFile, i)).c_str(), &st), 0);
            std::uint64_t device = 0, inode = 0;
            ASSERT_EQ(GetFileId(i, &device, &inode), 1);
            EXPECT_TRUE(device == st.st_dev && inode == st.st_ino) << i;
        }
    }
    std::uint64_t device = 7, inode = 7;
    EXPECT_EQ(GetFileId(3, &device, &inode) + GetFileId(-1, &device, &inode) + GetFileId(0, nullptr, &inode) +
                  GetFileId(0, &device, nullptr),
              0);
    EXPECT_EQ(device + inode, 14u);
}

// Every call that writes text: never past the capacity, never inside a UTF-8 sequence, nothing
// for a bad index or buffer.
TEST(Listing, TextNeverGoesPastTheCapacity) {
    TempTree t;
    const std::string name = "a\xc3\xa9z\xe2\x82\xac"; // "aéz€"
    t.text(name, "x");
    defaults();
    ASSERT_EQ(SetFolder(t.root().c_str()), 1);
    setSearchOptions({});
    ASSERT_EQ(FindStr(t.root().c_str(), "z", ""), 0);
    ASSERT_TRUE(pollToEnd(NextFind));
    ASSERT_EQ(GetSearchFileCount(), 1);
    struct Writer {
        const char* what;
        int32_t (*get)(int32_t, char*, int32_t);
        std::string full;
    };
    char when[32];
    const Writer writers[] = {
        {"GetFile", GetFile, name},
        {"GetTime", GetTime, std::string(when, static_cast<std::size_t>(GetTime(0, when, sizeof when)))},
        {"GetSearchFile", GetSearchFile, name},
        {"GetSearchFolder", GetSearchFolder, t.root()},
    };
    for (const Writer& w : writers) {
        ASSERT_GE(w.full.size(), 7u) << w.what;
        for (int32_t cap = -1; cap <= static_cast<int32_t>(w.full.size()) + 2; ++cap) {
            // The longest prefix of at most `cap` bytes that ends on a character boundary.
            std::size_t want =
                std::min<std::size_t>(static_cast<std::size_t>(std::max(cap, 0)), w.full.size());
            while (want < w.full.size() && (static_cast<unsigned char>(w.full[want]) & 0xC0) == 0x80)
                --want;
            char buf[64];
            std::memset(buf, '#', sizeof buf);
            int32_t n = w.get(0, buf, cap);
            EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max(n, 0))), w.full.substr(0, want))
                << w.what << " " << cap;
            EXPECT_EQ(std::count(buf, buf + sizeof buf, '#'), static_cast<long>(sizeof buf - want)) << w.what;
        }
        EXPECT_EQ(w.get(0, nullptr, 10), 0) << w.what;
        for (int32_t bad : {-1, 1, 1000})
            EXPECT_EQ(w.get(bad, when, sizeof when), 0) << w.what << " " << bad;
    }
    for (int32_t bad : {-1, 1}) {
        EXPECT_EQ(GetAttribs(bad) + GetSize(bad) + GetFileLength(bad) + GetSearchSize(bad), 0) << bad;
    }
}

// BeginFolder lists on a thread of the library's: the same items and totals as SetFolder, and a
// listing stopped, replaced or of a folder that can't be read ends with the reason.
TEST(Listing, BegunFolderMatchesSetFolderAndEndsWithTheReason) {
    TempTree t;
    for (int i = 0; i < 40; ++i)
        t.file("f" + std::to_string(i), static_cast<std::uint64_t>(i));
    t.file("sub/a/b", 700);
    defaults();
    auto shown = [] {
        std::vector<std::pair<std::string, double>> out;
        for (const Item& i : items())
            out.emplace_back(i.name + "/" + std::to_string(i.attribs), i.size);
        return out;
    };
    auto listed = [] { // polls FolderListed as an event loop would, waking on the descriptor
        int32_t r;
        while ((r = FolderListed()) == TREESCAN_LISTING)
            WaitForProgress(1000);
        return r;
    };
    for (int sizes : {0, 1}) {
        IncludeFolderSize(sizes);
        const int32_t n = SetFolder(t.root().c_str());
        ASSERT_TRUE(pollToEnd(NextTree));
        const auto expected = shown();
        const Totals expectedTotals = totals();
        ASSERT_EQ(BeginFolder(t.root().c_str()), 0);
        EXPECT_EQ(listed(), n);
        EXPECT_EQ(GetFolderError(), 0);
        ASSERT_TRUE(pollToEnd(NextTree));
        EXPECT_EQ(shown(), expected);
        EXPECT_EQ(totals(), expectedTotals);
        EXPECT_EQ(FolderListed(), -1) << "the end is told once";
    }
    EXPECT_EQ(BeginFolder(t.path("missing").c_str()), 0);
    EXPECT_EQ(listed(), -1);
    EXPECT_EQ(GetFolderError(), ENOENT);
    EXPECT_EQ(BeginFolder(""), -1);
    EXPECT_EQ(listed(), -1);

    SlowDownScans(20000); // 40 entries: most of a second
    ASSERT_EQ(BeginFolder(t.root().c_str()), 0);
    EXPECT_EQ(FolderListed(), TREESCAN_LISTING);
    EXPECT_EQ(NextTree(), 2);
    EXPECT_EQ(GetFileCount(), 0);
    std::thread([] { ResetFileTree(); }).join();
    EXPECT_EQ(listed(), -1);
    EXPECT_EQ(GetFolderError(), EINTR);
    ASSERT_EQ(BeginFolder(t.root().c_str()), 0);
    SlowDownScans(0);
    EXPECT_EQ(SetFolder(t.path("sub").c_str()), 1) << "a listing begun gives way to SetFolder";
    EXPECT_EQ(FolderListed(), -1);
    EXPECT_EQ(names(), std::vector<std::string>{"a"});
    IncludeFolderSize(0);
}
