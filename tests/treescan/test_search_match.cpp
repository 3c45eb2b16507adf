// Pattern matching and reading file contents block by block.
#include "fixture.h"
#include "search_content.h"
#include "search_match.h"

#include <gtest/gtest.h>

#include <random>

using treescan::ContentReader;
using treescan::Pattern;

namespace {

// The plain definition the fast matcher must agree with.
bool referenceFind(const std::string& hay, const std::string& needle, bool ignoreCase) {
    if (!ignoreCase)
        return hay.find(needle) != std::string::npos;
    std::string n = treescan::foldText(needle);
    for (std::size_t i = 0; i + n.size() <= hay.size(); ++i) {
        bool ok = true;
        for (std::size_t k = 0; ok && k < n.size(); ++k) {
            unsigned char prev = k == 0 ? 0 : static_cast<unsigned char>(hay[i + k - 1]);
            ok = treescan::foldByte(prev, static_cast<unsigned char>(hay[i + k])) ==
                 static_cast<unsigned char>(n[k]);
        }
        if (ok)
            return true;
    }
    return false;
}

} // namespace

TEST(SearchPattern, CaseAndLatinLetters) {
    struct Case {
        const char* needle;
        const char* text;
        bool ignoreCase;
        bool found;
    };
    const Case cases[] = {
        {"needle", "a needle here", false, true},
        {"needle", "a Needle here", false, false},
        {"needle", "a Needle here", true, true},
        {"NEEDLE", "xneedlex", true, true},
        {"needle", "needl", true, false},
        {"n", "N", true, true},
        {"n", "N", false, false},
        {"\xC3\x89t\xC3\xA9", "l'\xC3\xA9t\xC3\xA9", true, true}, // "Été" in "l'été"
        {"\xC3\x89t\xC3\xA9", "l'\xC3\xA9t\xC3\xA9", false, false},
        {"\xC3\xA7"
         "a",
         "\xC3\x87"
         "A va",
         true, true},                          // "ça" in "ÇA va"
        {"\xC3\x97", "\xC3\xB7", true, false}, // × is no letter: not ÷
        {"[x]", "{x}", true, false},           // 0x20 apart, but no letters
        {"@", "`", true, false},
        {"\x89", "\xA9", true, false}, // a lone byte is no letter
    };
    for (const auto& c : cases) {
        Pattern p(c.needle, c.ignoreCase);
        EXPECT_EQ(p.foundIn(c.text), c.found) << c.needle << " in " << c.text << " ic=" << c.ignoreCase;
    }
}

// Random texts over an alphabet full of near misses, at every length around the vector widths.
TEST(SearchPattern, AgreesWithThePlainDefinition) {
    const std::string alphabet = "nNeEdDlL[{\xC3\x89\xA9 x";
    std::mt19937 rng(12345);
    auto randomText = [&](std::size_t n) {
        std::string s(n, ' ');
        for (auto& ch : s)
            ch = alphabet[rng() % alphabet.size()];
        return s;
    };
    const std::string needles[] = {"n",      "ne",        "nEe", "needle",
                                   "NEEDLE", "\xC3\x89l", "x[n", "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee"};
    int found = 0;
    for (std::size_t len = 0; len < 140; ++len) {
        for (int round = 0; round < 20; ++round) {
            std::string hay = randomText(len);
            for (const auto& needle : needles) {
                // Plant the needle (in some case) now and then, so both answers occur.
                if (round % 3 == 0 && needle.size() <= len) {
                    std::size_t at = rng() % (len - needle.size() + 1);
                    for (std::size_t k = 0; k < needle.size(); ++k) {
                        char ch = needle[k];
                        if (ch >= 'a' && ch <= 'z' && rng() % 2)
                            ch = static_cast<char>(ch - 32);
                        hay[at + k] = ch;
                    }
                }
                for (bool ic : {false, true}) {
                    bool want = referenceFind(hay, needle, ic);
                    found += want;
                    ASSERT_EQ(Pattern(needle, ic).foundIn(hay), want)
                        << "needle '" << needle << "' ic=" << ic << " in '" << hay << "'";
                }
            }
        }
    }
    EXPECT_GT(found, 1000); // the test did exercise matches
}

namespace {

struct OpenFile {
    int fd = -1;
    struct stat st {};
    explicit OpenFile(const std::string& path) {
        fd = ::open(path.c_str(), O_RDONLY);
        fixture::check(fd >= 0 && ::fstat(fd, &st) == 0, "open " + path);
    }
    ~OpenFile() { ::close(fd); }
};

void writeAt(const std::string& path, off_t at, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY);
    fixture::check(fd >= 0 &&
                       ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size()),
                   "pwrite " + path);
    ::close(fd);
}

} // namespace

// A match that straddles two read blocks, at every offset, with blocks smaller than the needle too.
TEST(SearchContent, MatchStraddlingBlocks) {
    fixture::TempTree tree;
    const std::atomic<bool> running{false};
    Pattern pattern("needle", true);
    for (std::size_t block : {1, 2, 3, 5, 7, 16}) {
        ContentReader reader(block);
        for (std::size_t at = 0; at + 6 <= 40; ++at) {
            std::string content(40, 'x');
            content.replace(at, 6, "NEEDLE");
            OpenFile hit(tree.text("hit", content));
            EXPECT_TRUE(reader.contains(hit.fd, hit.st, pattern, running)) << block << " " << at;
            content[at + 3] = 'x'; // broken: must not be found
            OpenFile miss(tree.text("miss", content));
            EXPECT_FALSE(reader.contains(miss.fd, miss.st, pattern, running)) << block << " " << at;
        }
    }
}

// Sparse files: only their data is read; a match can't span a hole; data far out is found.
TEST(SearchContent, SparseFiles) {
    fixture::TempTree tree;
    const std::atomic<bool> running{false};
    ContentReader reader(4096);
    Pattern pattern("needle", false);

    // "nee" ends the first block, a hole follows, "dle" starts a later block.
    auto split = tree.sparse("split", 1 << 20);
    writeAt(split, 4096 - 3, "nee");
    writeAt(split, 512 * 1024, "dle");
    OpenFile s(split);
    EXPECT_FALSE(reader.contains(s.fd, s.st, pattern, running));

    // Inside a data extent far out, straddling two read blocks of that extent.
    auto far = tree.sparse("far", 8ull << 30);
    writeAt(far, (6ull << 30) + 4096 - 2, "needle");
    OpenFile f(far);
    EXPECT_LT(f.st.st_blocks * 512, f.st.st_size) << "the file system keeps no holes";
    EXPECT_TRUE(reader.contains(f.fd, f.st, pattern, running));

    // Data right at the end of the file.
    auto tail = tree.sparse("tail", 3 << 20);
    writeAt(tail, (3 << 20) - 6, "needle");
    OpenFile t(tail);
    EXPECT_TRUE(reader.contains(t.fd, t.st, pattern, running));
}

TEST(SearchContent, StopsBeforeReading) {
    fixture::TempTree tree;
    const std::atomic<bool> stopped{true};
    ContentReader reader(16);
    OpenFile f(tree.text("f", std::string(100, 'x') + "needle"));
    EXPECT_FALSE(reader.contains(f.fd, f.st, Pattern("needle", false), stopped));
}
