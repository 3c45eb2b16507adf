// Listing a folder: what SetFolder reports for each kind of entry, the options, the orders and
// the text written into caller buffers.
#include "fixture.h"
#include "test_scan_util.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <map>

using fixture::TempTree;
using namespace scantest;

namespace {

// A folder holding one entry of every kind the scanner tells apart.
struct KindsTree {
    TempTree t;
    KindsTree() {
        t.file("plain.txt", 12);
        t.dir("folder");
        t.file(".hidden", 3);
        t.dir(".dotfolder");
        t.fifo("pipe");
        t.symlink("plain.txt", "to-file");
        t.symlink("folder", "to-folder");
        t.symlink("missing", "dangling");
        t.file("with space", 1);
        t.file("new\nline", 2);
        t.file("bad\xff\xfe", 4);
    }
};

std::map<std::string, int> attributesByName() {
    std::map<std::string, int> out;
    for (const Item& item : items())
        out[item.name] = item.attribs;
    return out;
}

} // namespace

TEST(ScanList, ReportsEveryKindOfEntry) {
    KindsTree k;
    defaults();
    ASSERT_EQ(SetFolder(k.t.root().c_str()), 11);
    const std::map<std::string, int> expected = {
        {"plain.txt", TREESCAN_ARCHIVE},
        {"folder", TREESCAN_FOLDER},
        {".hidden", TREESCAN_ARCHIVE | TREESCAN_HIDDEN},
        {".dotfolder", TREESCAN_FOLDER | TREESCAN_HIDDEN},
        {"pipe", TREESCAN_SYSTEM},
        {"to-file", TREESCAN_LINK | TREESCAN_ARCHIVE},
        {"to-folder", TREESCAN_LINK | TREESCAN_FOLDER},
        {"dangling", TREESCAN_LINK},
        {"with space", TREESCAN_ARCHIVE},
        {"new\nline", TREESCAN_ARCHIVE},
        {"bad\xff\xfe", TREESCAN_ARCHIVE},
    };
    auto got = attributesByName();
    // Nothing can be written through a dangling link: it is read-only for every user.
    EXPECT_EQ(got["dangling"] & TREESCAN_READONLY, TREESCAN_READONLY);
    got["dangling"] &= ~TREESCAN_READONLY;
    EXPECT_EQ(got, expected);

    std::map<std::string, double> sizes;
    for (const Item& item : items())
        sizes[item.name] = item.size;
    EXPECT_EQ(sizes["plain.txt"], 12);
    EXPECT_EQ(sizes["to-file"], 9); // a link's own size: its target's length
    EXPECT_EQ(sizes["bad\xff\xfe"], 4);
    EXPECT_EQ(sizes["pipe"], 0);
}

TEST(ScanList, HiddenAndSystemOptionsDecideWhatIsListed) {
    KindsTree k;
    struct Case {
        int hidden, system;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {1, 1, {}},
        {0, 1, {".hidden", ".dotfolder"}},
        {1, 0, {"pipe"}},
        {0, 0, {".hidden", ".dotfolder", "pipe"}},
    };
    for (const Case& c : cases) {
        defaults();
        IncludeHidden(c.hidden);
        IncludeSystem(c.system);
        int32_t n = SetFolder(k.t.root().c_str());
        auto listed = names();
        EXPECT_EQ(n, static_cast<int32_t>(11 - c.absent.size())) << c.hidden << c.system;
        EXPECT_EQ(static_cast<int32_t>(listed.size()), n);
        for (const auto& name : c.absent)
            EXPECT_EQ(std::count(listed.begin(), listed.end(), name), 0) << name;
    }
}

TEST(ScanList, EveryKeyAndDirectionGivesItsOrder) {
    TempTree t;
    // Files: names in mixed case, sizes and times chosen so that every key orders differently.
    struct F {
        const char* name;
        int size;
        int64_t mtime;
    };
    const F files[] = {
        {"b.TXT", 30, 1000}, {"A.c", 10, 3000}, {"a.c", 10, 2000}, {"c", 20, 2000}, {"d.Bin", 5, 500},
    };
    for (const F& f : files) {
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
        // Case-insensitive, then bytes ("A.c" < "a.c").
        {TREESCAN_SORT_NAME, 1, {"alpha", "Zeta.d", "A.c", "a.c", "b.TXT", "c", "d.Bin"}},
        {TREESCAN_SORT_NAME, 0, {"Zeta.d", "alpha", "d.Bin", "c", "b.TXT", "a.c", "A.c"}},
        // Lower-cased extension ("" < bin < c < txt), then name.
        {TREESCAN_SORT_TYPE, 1, {"alpha", "Zeta.d", "c", "d.Bin", "A.c", "a.c", "b.TXT"}},
        {TREESCAN_SORT_TYPE, 0, {"Zeta.d", "alpha", "b.TXT", "a.c", "A.c", "d.Bin", "c"}},
        // Size, ties by name; folders have equal sizes here, so they keep name order.
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

TEST(ScanList, TimeIsLocalTimeText) {
    TempTree t;
    t.file("f");
    t.mtime("f", 1000000000); // 2001-09-09 01:46:40 UTC
    const char* oldTz = std::getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    struct Zone {
        const char* tz;
        const char* text;
    };
    for (Zone z : {Zone{"UTC0", "2001-09-09 01:46:40"}, Zone{"EST5", "2001-09-08 20:46:40"}}) {
        ::setenv("TZ", z.tz, 1);
        ::tzset();
        defaults();
        ASSERT_EQ(SetFolder(t.root().c_str()), 1);
        EXPECT_EQ(items()[0].time, z.text);
    }
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(ScanList, ListingIsAlwaysFresh) {
    TempTree t;
    t.file("first");
    for (int sizes : {0, 1}) {
        defaults();
        IncludeFolderSize(sizes);
        WaitForTree(0);
        int32_t before = SetFolder(t.root().c_str());
        std::string added = "added" + std::to_string(sizes);
        t.file(added, 5);
        WaitForTree(0);
        EXPECT_EQ(SetFolder(t.root().c_str()), before + 1);
        auto listed = names();
        EXPECT_NE(std::find(listed.begin(), listed.end(), added), listed.end());
        WaitForTree(0);
    }
}

TEST(ScanList, FolderThatCannotBeReadGivesNegative) {
    TempTree t;
    t.file("a-file", 1);
    t.dir("locked");
    t.file("locked/inside", 1);
    t.chmod("locked", 0);
    defaults();
    EXPECT_LT(SetFolder((t.root() + "/does-not-exist").c_str()), 0);
    EXPECT_LT(SetFolder((t.root() + "/a-file").c_str()), 0);
    EXPECT_LT(SetFolder(""), 0);
    EXPECT_LT(SetFolder(nullptr), 0);
    EXPECT_EQ(GetFileCount(), 0);
    t.file("listable/inside", 1);
    t.chmod("listable", 0744); // others may read it but not search it
    std::string locked = t.path("locked"), listable = t.path("listable");
    int rc = fixture::runAsNobody(
        [&] { return (SetFolder(locked.c_str()) < 0 ? 0 : 1) | (SetFolder(listable.c_str()) < 0 ? 0 : 2); });
    EXPECT_EQ(rc, 0);
}

TEST(ScanList, ReadOnlyMeansTheUserMayNotWrite) {
    TempTree t;
    t.file("mine-to-write", 1);
    t.file("not-mine", 1);
    t.chmod("mine-to-write", 0666);
    t.chmod("not-mine", 0644);
    std::string root = t.root();
    // As nobody, a root-owned 0644 file is read-only and a 0666 one is not.
    int rc = fixture::runAsNobody([&] {
        defaults();
        if (SetFolder(root.c_str()) != 2)
            return 10;
        auto a = attributesByName();
        if (a["mine-to-write"] != TREESCAN_ARCHIVE)
            return 11;
        if (a["not-mine"] != (TREESCAN_ARCHIVE | TREESCAN_READONLY))
            return 12;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(ScanList, TextNeverGoesPastTheCapacity) {
    TempTree t;
    t.file("a\xc3\xa9z"); // "aéz": the é is two bytes
    defaults();
    ASSERT_EQ(SetFolder(t.root().c_str()), 1);
    struct Case {
        int32_t max;
        std::string written;
    };
    // A cut inside the é keeps only the "a".
    const Case cases[] = {{0, ""},          {1, "a"},          {2, "a"},
                          {3, "a\xc3\xa9"}, {4, "a\xc3\xa9z"}, {100, "a\xc3\xa9z"}};
    for (const Case& c : cases) {
        char buf[128];
        std::memset(buf, '#', sizeof buf);
        int32_t n = GetFile(0, buf, c.max);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), c.written) << c.max;
        for (std::size_t i = static_cast<std::size_t>(n); i < sizeof buf; ++i)
            ASSERT_EQ(buf[i], '#') << "byte " << i << " written with max " << c.max;
    }
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetTime(0, buf, 4), 4);
    EXPECT_EQ(buf[4], '#');
    EXPECT_EQ(GetFile(0, nullptr, 10), 0);
    EXPECT_EQ(GetFile(0, buf, -1), 0);
    // Bad indexes write nothing and report nothing.
    std::memset(buf, '#', sizeof buf);
    for (int32_t bad : {-1, 1, 1000}) {
        EXPECT_EQ(GetFile(bad, buf, sizeof buf), 0);
        EXPECT_EQ(GetTime(bad, buf, sizeof buf), 0);
        EXPECT_EQ(GetAttribs(bad), 0);
        EXPECT_EQ(GetSize(bad), 0);
        EXPECT_EQ(GetFileLength(bad), 0);
    }
    EXPECT_EQ(buf[0], '#');
}

TEST(ScanList, WideFolderCountsBeyondSixteenBits) {
    // 16-bit counts would wrap at 32768 items; the count stays exact.
    TempTree t;
    const int n = 33000;
    for (int i = 0; i < n; ++i) {
        std::string p = t.path("f" + std::to_string(i));
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    defaults();
    EXPECT_EQ(SetFolder(t.root().c_str()), n);
    EXPECT_EQ(GetFileCount(), n);
    EXPECT_EQ(fileName(n - 1), "f9999"); // name order: "f9999" is the greatest
}
