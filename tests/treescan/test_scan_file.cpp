// Scans in the export format of ncdu and gdu: written by ExportScan, read back by OpenScan and
// served through the listing and search calls; files that are not sound scans.
#include "helpers.h"

using namespace scantest;

namespace {

struct Listing {
    std::vector<std::string> lines; // name, folder bit, size
    Totals totals;
    bool operator==(const Listing&) const = default;
};

Listing listing(const std::string& path) {
    Listing out;
    IncludeFolderSize(1);
    WaitForTree(0);
    EXPECT_GE(SetFolder(path.c_str()), 0) << path;
    EXPECT_TRUE(pollToEnd(NextTree));
    for (const Item& item : items())
        out.lines.push_back(item.name + " " + std::to_string(item.attribs & TREESCAN_FOLDER) + " " +
                            std::to_string(static_cast<long long>(item.size)));
    out.totals = totals();
    return out;
}

std::string scanError() {
    return textOf([](int32_t, char* b, int32_t m) { return GetScanError(b, m); }, 0);
}

// A tree with the awkward cases: names that are not UTF-8, with a newline, a quote and a
// backslash, a hard link in two folders, a symbolic link, a FIFO, hidden and empty folders.
struct OddTree {
    TempTree t;
    OddTree() {
        t.file("bad\xff\xfe", 3);
        t.file("new\nline", 5);
        t.file("quote\"back\\slash", 7);
        t.file("sub/twenty", 20);
        t.file("sub/deep/\xc3\xa9t\xc3\xa9", 11);
        t.hardlink("sub/twenty", "sub/deep/twenty-again");
        t.file(".hidden/x", 13);
        t.dir("empty");
        t.symlink("sub/twenty", "link");
        t.fifo("pipe");
    }
};

} // namespace

TEST(ScanFile, ExportedScanReadsBackAsTheDisk) {
    OddTree tree;
    TempTree out;
    const std::string file = out.path("scan.json");
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(ExportScan(tree.t.root().c_str(), fd), 0);
    ::close(fd);
    defaults();
    const Listing top = listing(tree.t.root()), sub = listing(tree.t.path("sub"));
    const auto found = search(tree.t.root(), "t", "", {false, true, 5, 20});

    ASSERT_GT(OpenScan(file.c_str()), 10);
    EXPECT_EQ(listing(tree.t.root()), top);
    EXPECT_EQ(listing(tree.t.path("sub")), sub);
    EXPECT_EQ(GetPassState(), TREESCAN_PASS_VERIFIED);
    std::uint64_t device = 1, inode = 1;
    EXPECT_EQ(GetFileId(0, &device, &inode), 0); // nothing here may be acted on
    EXPECT_EQ(textOf([](int32_t, char* b, int32_t m) { return GetScanRoot(b, m); }, 0), tree.t.root());
    EXPECT_GT(GetScanTime(), 1'600'000'000);
    // Search by name and size bounds: the same files (checked against the disk, which is there).
    EXPECT_EQ(search(tree.t.root(), "t", "", {false, true, 5, 20}), found);
    EXPECT_EQ(FindStr(tree.t.root().c_str(), "", "text"), -ENOTSUP);
    EXPECT_LT(SetFolder(tree.t.path("missing").c_str()), 0);
    CloseScan();
    EXPECT_EQ(GetScanTime(), -1);
    EXPECT_EQ(listing(tree.t.root()), top);
}

TEST(ScanFile, UnsoundFilesAreRefusedWithAReason) {
    TempTree t;
    const std::string good = "[1,2,{\"progname\":\"x\"},\n[{\"name\":\"/r\"},{\"name\":\"f\",\"asize\":5}]]";
    auto nested = [](int depth) {
        std::string s = "[1,2,{},[{\"name\":\"/r\"}";
        for (int i = 0; i < depth; ++i)
            s += ",[{\"name\":\"d\"}";
        return s + std::string(depth + 1, ']') + "]";
    };
    struct Case {
        const char* what;
        std::string data;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", "", "not a scan"},
        {"text", "hello", "not a scan"},
        {"version 2", "[2,0,{},[{\"name\":\"/r\"}]]", "format version 2"},
        {"cut short", good.substr(0, good.size() - 9), "ends"},
        {"no closing bracket", good.substr(0, good.size() - 1), "ends early"},
        {"trailing junk", good + "x", "more after the end"},
        {"a slash in a name", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a/b\"}]]", "no file name"},
        {"a name of ..", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"..\"}]]", "no file name"},
        {"an entry without a name", "[1,2,{},[{\"name\":\"/r\"},{\"asize\":1}]]", "without a name"},
        {"a negative size", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"f\",\"asize\":-1}]]", "negative"},
        {"a bad escape", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"\\q\"}]]", "bad escape"},
        {"a name too long", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"" + std::string(4097, 'n') + "\"}]]",
         "longer than 4096 bytes"},
        {"too deep", nested(16384), "more than 16384 levels"},
        {"metadata too deep",
         "[1,2,{\"x\":" + std::string(65, '[') + std::string(65, ']') + "},[{\"name\":\"/r\"}]]",
         "nested more than 64"},
    };
    const std::string before = t.path("good.json");
    t.text("good.json", good);
    ASSERT_EQ(OpenScan(before.c_str()), 2);
    for (const Case& k : cases) {
        t.text("case.json", k.data);
        EXPECT_LT(OpenScan(t.path("case.json").c_str()), 0) << k.what;
        EXPECT_NE(scanError().find(k.reason), std::string::npos) << k.what << ": " << scanError();
        EXPECT_EQ(scanError().rfind(t.path("case.json"), 0), 0u) << k.what; // names the file
    }
    // What was open stays open.
    EXPECT_EQ(textOf([](int32_t, char* b, int32_t m) { return GetScanRoot(b, m); }, 0), "/r");
    // Neither something other than a regular file, nor a huge one, is read.
    EXPECT_LT(OpenScan(t.fifo("pipe").c_str()), 0);
    EXPECT_NE(scanError().find("not a regular file"), std::string::npos);
    t.sparse("huge.json", (std::uint64_t{2} << 30) + 1);
    EXPECT_LT(OpenScan(t.path("huge.json").c_str()), 0);
    EXPECT_NE(scanError().find("bigger than 2 GiB"), std::string::npos);
    // The version's minor number, unknown keys and values, and spaces are taken as they come.
    t.text("other.json",
           " [ 1 , 7 , { \"k\" : [ 1.5e3 , null , { } ] } , [ { \"name\" : \"/r\" , \"x\" : { \"y\" : "
           "\"z\" } } , { \"name\" : \"\\u00e9\\ud83d\\ude00\" , \"asize\" : 2.0 } ] ] ");
    ASSERT_EQ(OpenScan(t.path("other.json").c_str()), 2);
    defaults();
    ASSERT_EQ(SetFolder("/r"), 1);
    EXPECT_EQ(textOf(GetFile, 0), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(GetSize(0), 2);
    // A file read in several blocks: names and escapes across their edges.
    std::string big = "[1,2,{},[{\"name\":\"/r\"}";
    for (int i = 0; i < 40000; ++i)
        big += ",\n{\"name\":\"file \\\"" + std::to_string(i) +
               "\\\" of many\",\"asize\":" + std::to_string(i % 7) + "}";
    t.text("big.json", big + "]]");
    ASSERT_EQ(OpenScan(t.path("big.json").c_str()), 40001) << scanError();
    IncludeFolderSize(1);
    ASSERT_EQ(SetFolder("/r"), 40000);
    EXPECT_EQ(GetTotalSize(), 119995);
    EXPECT_EQ(textOf(GetFile, 39999), "file \"9999\" of many");
    CloseScan();
}

TEST(ScanFile, BegunReadsReportOnceAndNeverTakeThePlaceOfALaterOne) {
    TempTree t;
    t.text("a.json", "[1,2,{},[{\"name\":\"/a\"},{\"name\":\"f\",\"asize\":5}]]");
    t.text("b.json", "[1,2,{},[{\"name\":\"/b\"},{\"name\":\"f\"},{\"name\":\"g\"}]]");
    t.text("cut.json", "[1,2,{},[{\"name\":\"/c\"},{\"name\":\"f\"");
    auto opened = [] {
        int32_t r = TREESCAN_LISTING;
        for (int i = 0; i < 20000 && (r = ScanOpened()) == TREESCAN_LISTING; ++i)
            WaitForProgress(1);
        return r;
    };
    auto root = [] { return textOf([](int32_t, char* b, int32_t m) { return GetScanRoot(b, m); }, 0); };
    ASSERT_EQ(BeginScan(t.path("a.json").c_str()), 0);
    EXPECT_EQ(opened(), 2);
    EXPECT_EQ(ScanOpened(), -1); // reported once
    EXPECT_EQ(root(), "/a");
    // A cut file: the reason, and the scan open before stays.
    ASSERT_EQ(BeginScan(t.path("cut.json").c_str()), 0);
    EXPECT_EQ(opened(), -1);
    EXPECT_NE(scanError().find("cut.json"), std::string::npos) << scanError();
    EXPECT_EQ(root(), "/a");
    // A read dropped (by a later one, or by none named) never opens.
    ASSERT_EQ(BeginScan(t.path("a.json").c_str()), 0);
    ASSERT_EQ(BeginScan(t.path("b.json").c_str()), 0);
    EXPECT_EQ(opened(), 3);
    EXPECT_EQ(root(), "/b");
    ASSERT_EQ(BeginScan(t.path("a.json").c_str()), 0);
    EXPECT_EQ(BeginScan(nullptr), -1);
    EXPECT_EQ(opened(), -1);
    EXPECT_EQ(root(), "/b");
    CloseScan();
    EXPECT_EQ(GetScanTime(), -1);
}
