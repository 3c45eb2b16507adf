// Reading a scan in the JSON export format of ncdu and gdu, and serving it in the disk's place.
//
// The reader is a small JSON parser of our own: names are bytes, and a library that insists on
// UTF-8 would refuse (or change) the names that ncdu writes raw. It reads the file in blocks and
// never recurses, so neither a huge file nor a deep one costs more than its entries.
#include "scan_import.h"

#include "common.h"
#include "progress.h"
#include "treescan.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace treescan {

namespace {

constexpr std::uint32_t kNoLink = ~std::uint32_t{0};
constexpr std::uint32_t kMaxRootName = 65'535;
constexpr int kMaxValueDepth = 64;                        // nesting of values not read (unknown keys)
constexpr std::size_t kMaxSkipped = std::size_t{1} << 20; // bytes of a string not read

// The bytes of the file, a block at a time (or all of them, from memory).
class Input {
public:
    Input(std::string_view data)
        : m_origin(data.data()), m_p(data.data()), m_end(data.data() + data.size()) {}
    Input(int fd) : m_fd(fd), m_buffer(new char[kBlock]), m_p(m_buffer.get()), m_end(m_buffer.get()) {}

    int peek() { return m_p < m_end || refill() ? static_cast<unsigned char>(*m_p) : -1; }
    int get() { return m_p < m_end || refill() ? static_cast<unsigned char>(*m_p++) : -1; }
    std::uint64_t pos() const { return m_before + static_cast<std::uint64_t>(m_p - m_start()); }
    int error() const { return m_error; }
    // Bytes up to (not including) the next '"' or '\' in the block at hand.
    std::string_view plainRun() {
        const char* q = m_p;
        while (q < m_end && *q != '"' && *q != '\\')
            ++q;
        std::string_view run(m_p, static_cast<std::size_t>(q - m_p));
        m_p = q;
        return run;
    }
    void skipSpace() {
        for (int c; (c = peek()) == ' ' || c == '\n' || c == '\r' || c == '\t';)
            ++m_p;
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;
    const char* m_start() const { return m_buffer ? m_buffer.get() : m_origin; }
    bool refill() {
        if (m_fd < 0)
            return false;
        m_before += static_cast<std::uint64_t>(m_end - m_buffer.get());
        ssize_t n;
        while ((n = ::read(m_fd, m_buffer.get(), kBlock)) < 0 && errno == EINTR) {
        }
        if (n < 0)
            m_error = errno;
        m_p = m_buffer.get();
        m_end = m_p + (n > 0 ? n : 0);
        return n > 0;
    }

    int m_fd = -1;
    std::unique_ptr<char[]> m_buffer;
    const char* m_origin = nullptr;
    const char* m_p;
    const char* m_end;
    std::uint64_t m_before = 0;
    int m_error = 0;
};

// What an information object says.
struct Info {
    std::string name;
    bool hasName = false, hasDev = false, hasIno = false, hasMode = false;
    bool hlnkc = false, notreg = false, readError = false, excluded = false, excludedFs = false;
    std::uint64_t asize = 0, dev = 0, ino = 0, mode = 0;
    std::int64_t mtime = kNoTime;
};

struct LinkKey {
    std::uint64_t dev, ino;
    bool operator==(const LinkKey&) const = default;
};
struct LinkHash {
    std::size_t operator()(const LinkKey& k) const { return (k.ino * 0x9E3779B97F4A7C15ull) ^ k.dev; }
};

class Parser {
public:
    Parser(Input& in, std::string_view label, ScanTree& out) : m_in(in), m_label(label), m_out(out) {}

    bool run();
    const std::string& error() const { return m_error; }

private:
    bool fail(const std::string& why) {
        if (m_error.empty())
            m_error = std::string(m_label) + ": " + why + " at byte " + std::to_string(m_at);
        return false;
    }
    bool failHere(const std::string& why) {
        m_at = m_in.pos();
        return fail(why);
    }
    bool expect(char c) {
        m_in.skipSpace();
        m_at = m_in.pos();
        if (m_in.get() == static_cast<unsigned char>(c))
            return true;
        return fail(m_in.error() ? std::string("read error (") + std::strerror(m_in.error()) + ")"
                    : m_in.peek() < 0 && m_at == m_in.pos()
                        ? std::string("the file ends early: expected '") + c + "'"
                        : std::string("expected '") + c + "'");
    }
    bool string(std::string& out, std::size_t max);
    bool number(double& real, std::uint64_t& whole, bool& negative);
    bool unsignedNumber(std::uint64_t& value);
    bool boolean(bool& value);
    bool skipValue();
    bool metadata();
    bool info(Info& info, std::size_t maxName);
    bool addEntry(const Info& info, ScanEntry::Kind kind, std::uint64_t dev);

    Input& m_in;
    std::string_view m_label;
    ScanTree& m_out;
    std::string m_error;
    std::uint64_t m_at = 0;
    std::string m_text, m_key;                                    // scratch
    std::unordered_map<LinkKey, std::uint32_t, LinkHash> m_links; // one number per file
};

bool Parser::string(std::string& out, std::size_t max) {
    out.clear();
    if (!expect('"'))
        return false;
    for (;;) {
        std::string_view run = m_in.plainRun();
        out.append(run);
        if (out.size() > max)
            return fail("a string longer than " + std::to_string(max) + " bytes");
        int c = m_in.peek();
        if (c < 0)
            return failHere(m_in.error() ? "read error" : "the file ends inside a string");
        if (c != '"' && c != '\\')
            continue; // plainRun stopped at the end of a block
        m_in.get();
        if (c == '"')
            return true;
        c = m_in.get();
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += static_cast<char>(c);
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            auto hex4 = [&](std::uint32_t& v) {
                v = 0;
                for (int i = 0; i < 4; ++i) {
                    int h = m_in.get();
                    int d = h >= '0' && h <= '9'   ? h - '0'
                            : h >= 'a' && h <= 'f' ? h - 'a' + 10
                            : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                   : -1;
                    if (d < 0)
                        return false;
                    v = v * 16 + static_cast<std::uint32_t>(d);
                }
                return true;
            };
            std::uint32_t cp;
            if (!hex4(cp))
                return failHere("a bad \\u escape");
            // A pair of surrogates is one character; a lone one keeps its three bytes.
            if (cp >= 0xD800 && cp < 0xDC00 && m_in.peek() == '\\') {
                m_in.get();
                std::uint32_t low;
                if (m_in.get() != 'u' || !hex4(low))
                    return failHere("a bad \\u escape");
                if (low >= 0xDC00 && low < 0xE000)
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                else {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                    cp = low;
                }
            }
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (cp >> 18));
                out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
            break;
        }
        default:
            return failHere(c < 0 ? "the file ends inside a string" : "a bad escape in a string");
        }
    }
}

// A JSON number: `whole` is its integer part (saturated), `real` its value.
bool Parser::number(double& real, std::uint64_t& whole, bool& negative) {
    m_in.skipSpace();
    m_at = m_in.pos();
    m_text.clear();
    negative = m_in.peek() == '-';
    if (negative)
        m_text += static_cast<char>(m_in.get());
    bool digits = false, fraction = false;
    whole = 0;
    for (int c; (c = m_in.peek()) >= '0' && c <= '9';) {
        digits = true;
        m_text += static_cast<char>(m_in.get());
        const auto d = static_cast<std::uint64_t>(c - '0');
        whole = whole > (UINT64_MAX - d) / 10 ? UINT64_MAX : whole * 10 + d;
    }
    for (int c; (c = m_in.peek()) == '.' || c == 'e' || c == 'E' || c == '+' || c == '-' ||
                (c >= '0' && c <= '9');) {
        fraction = true;
        m_text += static_cast<char>(m_in.get());
        if (m_text.size() > 64)
            return fail("a number too long");
    }
    if (!digits)
        return fail("expected a number");
    real = fraction ? std::strtod(m_text.c_str(), nullptr) : static_cast<double>(whole);
    if (fraction && std::isfinite(real) && real >= 0)
        whole = real >= 1.8e19 ? UINT64_MAX : static_cast<std::uint64_t>(real);
    return std::isfinite(real) || fail("a number out of range");
}

bool Parser::unsignedNumber(std::uint64_t& value) {
    double real;
    bool negative;
    if (!number(real, value, negative))
        return false;
    return (!negative || value == 0) || fail("a negative number where a size or count belongs");
}

bool Parser::boolean(bool& value) {
    m_in.skipSpace();
    m_at = m_in.pos();
    const char* word = m_in.peek() == 't' ? "true" : m_in.peek() == 'f' ? "false" : "null";
    for (const char* w = word; *w; ++w)
        if (m_in.get() != static_cast<unsigned char>(*w))
            return fail("expected true or false");
    value = word[0] == 't';
    return true;
}

// Any JSON value, read and dropped.
bool Parser::skipValue() {
    std::string closers;
    for (;;) {
        m_in.skipSpace();
        m_at = m_in.pos();
        int c = m_in.peek();
        if (c == '"') {
            if (!string(m_text, kMaxSkipped))
                return false;
        } else if (c == '{' || c == '[') {
            if (closers.size() >= kMaxValueDepth)
                return fail("values nested more than " + std::to_string(kMaxValueDepth) + " deep");
            m_in.get();
            m_in.skipSpace();
            if (m_in.peek() == (c == '{' ? '}' : ']')) {
                m_in.get();
            } else {
                closers += c == '{' ? '}' : ']';
                if (c == '{' && (!string(m_text, kMaxSkipped) || !expect(':')))
                    return false;
                continue;
            }
        } else if (c == 't' || c == 'f' || c == 'n') {
            bool b;
            if (!boolean(b))
                return false;
        } else {
            double real;
            std::uint64_t whole;
            bool negative;
            if (!number(real, whole, negative))
                return false;
        }
        // After a value: the next one of the container, or its end.
        for (;;) {
            if (closers.empty())
                return true;
            m_in.skipSpace();
            m_at = m_in.pos();
            int d = m_in.get();
            if (d == closers.back()) {
                closers.pop_back();
                continue;
            }
            if (d != ',')
                return fail(d < 0 ? "the file ends early" : "expected ',' or the end of a value");
            if (closers.back() == '}' && (!string(m_text, kMaxSkipped) || !expect(':')))
                return false;
            break;
        }
    }
}

bool Parser::metadata() {
    if (!expect('{'))
        return false;
    m_in.skipSpace();
    if (m_in.peek() == '}')
        return m_in.get(), true;
    std::string key, progname, progver;
    do {
        if (!string(key, 256) || !expect(':'))
            return false;
        if (key == "progname" || key == "progver") {
            if (!string(key == "progname" ? progname : progver, 256))
                return false;
        } else if (key == "timestamp") {
            double real;
            std::uint64_t whole;
            bool negative;
            if (!number(real, whole, negative))
                return false;
            m_out.timestamp =
                negative ? 0 : static_cast<std::int64_t>(std::min<std::uint64_t>(whole, INT64_MAX));
        } else if (!skipValue()) {
            return false;
        }
        m_in.skipSpace();
    } while (m_in.peek() == ',' && m_in.get() == ',');
    m_out.program = progname + (progver.empty() || progname.empty() ? "" : " ") + progver;
    return expect('}');
}

bool Parser::info(Info& in, std::size_t maxName) {
    std::string name = std::move(in.name); // its buffer is used again
    in = Info{};
    in.name = std::move(name);
    m_in.skipSpace();
    m_at = m_in.pos();
    const std::uint64_t at = m_at;
    if (m_in.get() != '{')
        return fail("expected '{', an entry");
    m_in.skipSpace();
    std::string& key = m_key;
    if (m_in.peek() != '}') {
        do {
            if (!string(key, 64) || !expect(':'))
                return false;
            if (key == "name") {
                if (!string(in.name, maxName))
                    return false;
                in.hasName = true;
            } else if (key == "asize") {
                if (!unsignedNumber(in.asize))
                    return false;
            } else if (key == "dev" || key == "ino" || key == "mode") {
                std::uint64_t& v = key == "dev" ? in.dev : key == "ino" ? in.ino : in.mode;
                (key == "dev" ? in.hasDev : key == "ino" ? in.hasIno : in.hasMode) = true;
                if (!unsignedNumber(v))
                    return false;
            } else if (key == "mtime") {
                double real;
                std::uint64_t whole;
                bool negative;
                if (!number(real, whole, negative))
                    return false;
                in.mtime = negative ? static_cast<std::int64_t>(std::max(real, -9.2e18))
                                    : static_cast<std::int64_t>(std::min<std::uint64_t>(whole, INT64_MAX));
            } else if (key == "hlnkc" || key == "notreg" || key == "read_error") {
                if (!boolean(key == "hlnkc" ? in.hlnkc : key == "notreg" ? in.notreg : in.readError))
                    return false;
            } else if (key == "excluded") {
                m_in.skipSpace();
                if (m_in.peek() == '"') {
                    if (!string(key, 64))
                        return false;
                    in.excluded = true;
                    in.excludedFs = key == "otherfs" || key == "kernfs" || key == "frmlnk";
                } else if (!boolean(in.excluded)) {
                    return false;
                }
            } else if (!skipValue()) {
                return false;
            }
            m_in.skipSpace();
        } while (m_in.peek() == ',' && m_in.get() == ',');
    }
    if (!expect('}'))
        return false;
    m_at = at;
    return in.hasName || fail("an entry without a name");
}

bool Parser::addEntry(const Info& in, ScanEntry::Kind kind, std::uint64_t dev) {
    const bool root = m_out.entries.empty();
    if (m_out.entries.size() >= kMaxScanEntries)
        return fail("more than " + std::to_string(kMaxScanEntries) + " entries, the most a scan may hold");
    if (in.name.empty() ||
        (!root && (in.name == "." || in.name == ".." || in.name.find('/') != std::string::npos)) ||
        in.name.find('\0') != std::string::npos)
        return fail("an entry whose name is no file name");
    ScanEntry e{};
    e.size = in.asize;
    e.mtime = in.mtime;
    e.nameOffset = static_cast<std::uint32_t>(m_out.names.size());
    e.nameLength = static_cast<std::uint16_t>(std::min<std::size_t>(in.name.size(), UINT16_MAX));
    e.end = static_cast<std::uint32_t>(m_out.entries.size() + 1);
    e.link = kNoLink;
    e.kind = kind;
    e.flags = static_cast<std::uint8_t>((in.readError ? ScanEntry::readError : 0) |
                                        (in.excluded ? ScanEntry::excluded : 0));
    if (kind != ScanEntry::folder && in.hlnkc && in.hasIno) {
        auto [it, added] = m_links.try_emplace(LinkKey{dev, in.ino}, m_out.links);
        m_out.links += added;
        e.link = it->second;
    }
    m_out.names.append(in.name, 0, e.nameLength);
    m_out.entries.push_back(e);
    return true;
}

bool Parser::run() {
    std::uint64_t major = 0, minor = 0;
    m_in.skipSpace();
    if (m_in.peek() != '[') {
        m_error =
            std::string(m_label) + ": not a scan in the export format of ncdu and gdu (no '[' at its start)";
        return false;
    }
    m_in.get();
    if (!unsignedNumber(major))
        return false;
    if (major != 1)
        return fail("format version " + std::to_string(major) + " (only version 1 is read: ncdu 1.x, gdu)");
    if (!expect(',') || !unsignedNumber(minor) || !expect(',') || !metadata() || !expect(',') || !expect('['))
        return false;
    Info in;
    if (!info(in, kMaxRootName) || !addEntry(in, ScanEntry::folder, in.dev))
        return false;
    struct Open {
        std::uint32_t index;
        std::uint64_t dev;
    };
    std::vector<Open> open{{0, in.dev}};
    while (!open.empty()) {
        m_in.skipSpace();
        m_at = m_in.pos();
        int c = m_in.get();
        if (c == ']') {
            m_out.entries[open.back().index].end = static_cast<std::uint32_t>(m_out.entries.size());
            open.pop_back();
            continue;
        }
        if (c != ',')
            return fail(c < 0 ? "the file ends early, " + std::to_string(open.size()) + " folders still open"
                              : "expected ',' or ']' after an entry");
        m_in.skipSpace();
        const std::uint64_t parentDev = open.back().dev;
        if (m_in.peek() == '[') {
            m_in.get();
            if (open.size() >= kMaxScanDepth)
                return fail("more than " + std::to_string(kMaxScanDepth) +
                            " levels of folders, the most a scan may hold");
            if (!info(in, kMaxScanName))
                return false;
            const std::uint64_t dev = in.hasDev ? in.dev : parentDev;
            open.push_back({static_cast<std::uint32_t>(m_out.entries.size()), dev});
            if (!addEntry(in, ScanEntry::folder, dev))
                return false;
            continue;
        }
        if (!info(in, kMaxScanName))
            return false;
        ScanEntry::Kind kind = ScanEntry::file;
        if (in.excludedFs)
            kind = ScanEntry::folder; // a mount point not entered
        else if (in.hasMode && (in.mode & S_IFMT) == S_IFDIR)
            kind = ScanEntry::folder;
        else if (in.notreg || (in.hasMode && (in.mode & S_IFMT) != S_IFREG))
            kind = (in.hasMode ? (in.mode & S_IFMT) == S_IFLNK : in.asize > 0) ? ScanEntry::symlink
                                                                               : ScanEntry::other;
        if (!addEntry(in, kind, in.hasDev ? in.dev : parentDev))
            return false;
    }
    if (!expect(']'))
        return false;
    m_in.skipSpace();
    m_at = m_in.pos();
    if (m_in.peek() >= 0)
        return fail("more after the end of the scan");
    if (m_in.error() != 0)
        return fail(std::string("read error (") + std::strerror(m_in.error()) + ")");
    return true;
}

std::shared_ptr<const ScanTree> g_scan;
std::string g_scanError;

// A read BeginScan runs on a thread of its own. The thread fills in the result, then sets `done`
// under the mutex; the owner reads the result only after seeing `done` there.
struct ScanRead {
    std::string file;
    std::mutex mutex;
    bool done = false;
    bool ok = false;
    ScanTree tree;
    std::string error;
};
std::shared_ptr<ScanRead> g_scanRead; // owner thread: the read begun, its end not yet reported
int32_t g_scanOpened = -1;            // what ScanOpened reports when no read is pending

bool parseInput(Input& in, std::string_view label, ScanTree& out, std::string& error) {
    out.entries.clear();
    out.names.clear();
    Parser parser(in, label, out);
    if (parser.run())
        return true;
    error = parser.error();
    out = ScanTree{};
    return false;
}

// The children of folder `i`: each one's index, in the file's order.
template <class F> void forChildren(const ScanTree& scan, std::uint32_t i, F each) {
    for (std::uint32_t j = i + 1; j < scan.entries[i].end; j = std::max(j + 1, scan.entries[j].end))
        each(j);
}

} // namespace

bool parseScan(std::string_view data, std::string_view label, ScanTree& out, std::string& error) {
    Input in(data);
    return parseInput(in, label, out, error);
}

bool readScan(const std::string& file, ScanTree& out, std::string& error) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = file + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool ok = false;
    if (!S_ISREG(st.st_mode))
        error = file + ": not a regular file";
    else if (static_cast<std::uint64_t>(st.st_size) > kMaxScanFile)
        error = file + ": bigger than " + std::to_string(kMaxScanFile >> 30) + " GiB, the most a scan may be";
    else {
        // An entry takes some 70 bytes of the file: room for them at once, not by doubling.
        out.entries.reserve(
            static_cast<std::size_t>(std::min<std::uint64_t>(st.st_size / 64, kMaxScanEntries)));
        Input in(fd);
        ok = parseInput(in, file, out, error);
        if (ok)
            out.entries.shrink_to_fit();
    }
    ::close(fd);
    return ok;
}

std::shared_ptr<const ScanTree> openedScan() {
    return g_scan;
}

std::uint32_t findScanFolder(const ScanTree& scan, std::string_view path) {
    // Both paths as lists of names, "." and empty ones dropped, ".." going up.
    auto split = [](std::string_view p) {
        std::vector<std::string_view> out;
        std::size_t pos = 0;
        while (pos <= p.size()) {
            std::size_t end = std::min(p.find('/', pos), p.size());
            std::string_view part = p.substr(pos, end - pos);
            if (part == "..") {
                if (!out.empty())
                    out.pop_back();
            } else if (!part.empty() && part != ".") {
                out.push_back(part);
            }
            pos = end + 1;
        }
        return out;
    };
    if (scan.entries.empty() || path.empty())
        return kNoLink;
    const std::string_view rootName = scan.name(0);
    if ((rootName.front() == '/') != (path.front() == '/'))
        return kNoLink;
    const auto root = split(rootName), want = split(path);
    if (want.size() < root.size() || !std::equal(root.begin(), root.end(), want.begin()))
        return kNoLink;
    std::uint32_t at = 0;
    for (std::size_t k = root.size(); k < want.size(); ++k) {
        std::uint32_t found = kNoLink;
        forChildren(scan, at, [&](std::uint32_t j) {
            if (found == kNoLink && scan.entries[j].kind == ScanEntry::folder && scan.name(j) == want[k])
                found = j;
        });
        if (found == kNoLink)
            return kNoLink;
        at = found;
    }
    return at;
}

std::int32_t listScanFolder(const std::string& path, bool folderSizes, std::vector<ListedItem>& items,
                            ScanTotals& totals) {
    items.clear();
    totals = ScanTotals{};
    const std::shared_ptr<const ScanTree> scan = g_scan;
    const std::uint32_t at = scan ? findScanFolder(*scan, path) : kNoLink;
    if (at == kNoLink)
        return -1;
    const Options& o = options();
    const bool hidden = o.hidden.load(), system = o.system.load();
    // Everything below, in the file's order, each hard-linked file counted where it is met first.
    std::vector<bool> counted(scan->links);
    auto bytesOf = [&](const ScanEntry& e) -> std::uint64_t {
        if (e.kind == ScanEntry::folder)
            return 0;
        if (e.link != kNoLink) {
            if (counted[e.link])
                return 0;
            counted[e.link] = true;
        }
        return e.size;
    };
    forChildren(*scan, at, [&](std::uint32_t j) {
        const ScanEntry& e = scan->entries[j];
        ListedItem item;
        item.name.assign(scan->name(j));
        item.mtimeSec = e.mtime;
        item.size = static_cast<std::int64_t>(e.size);
        item.attribs = e.kind == ScanEntry::folder    ? TREESCAN_FOLDER
                       : e.kind == ScanEntry::file    ? TREESCAN_ARCHIVE
                       : e.kind == ScanEntry::symlink ? TREESCAN_LINK
                                                      : TREESCAN_SYSTEM;
        if (item.name.front() == '.')
            item.attribs |= TREESCAN_HIDDEN;
        std::uint64_t below = bytesOf(e);
        totals.files += e.kind != ScanEntry::folder;
        totals.folders += e.kind == ScanEntry::folder;
        for (std::uint32_t k = j + 1; k < e.end; ++k) {
            const ScanEntry& d = scan->entries[k];
            below += bytesOf(d);
            totals.files += d.kind != ScanEntry::folder;
            totals.folders += d.kind == ScanEntry::folder;
        }
        totals.bytes += below;
        if (e.kind == ScanEntry::folder && folderSizes)
            item.size = static_cast<std::int64_t>(std::min<std::uint64_t>(below, INT64_MAX));
        if (((item.attribs & TREESCAN_HIDDEN) && !hidden) || ((item.attribs & TREESCAN_SYSTEM) && !system))
            return;
        items.push_back(std::move(item));
    });
    sortItems(items, o.sortKey.load(), o.ascending.load());
    return items.size() > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(items.size());
}

} // namespace treescan

using namespace treescan;

extern "C" {

int32_t OpenScan(const char* file) {
    g_scanRead.reset();
    g_scanError.clear();
    if (file == nullptr || file[0] == '\0') {
        g_scanError = "no scan file named";
        return -1;
    }
    WaitForTree(0);
    stopSearch();
    auto scan = std::make_shared<ScanTree>();
    if (!readScan(file, *scan, g_scanError))
        return -1;
    g_scan = std::move(scan);
    return g_scan->entries.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(g_scan->entries.size());
}

int32_t GetScanError(char* buffer, int32_t max) {
    return writeText(g_scanError, buffer, max);
}

int32_t BeginScan(const char* file) {
    g_scanRead.reset(); // a read still running finishes into a result nobody reads
    g_scanError.clear();
    g_scanOpened = -1;
    if (file == nullptr || file[0] == '\0') {
        g_scanError = "no scan file named";
        signalProgress(Progress::tree);
        return -1;
    }
    auto read = std::make_shared<ScanRead>();
    read->file = file;
    g_scanRead = read;
    std::thread([read] {
        ScanTree tree;
        std::string error;
        const bool ok = readScan(read->file, tree, error);
        {
            std::lock_guard lock(read->mutex);
            read->ok = ok;
            read->tree = std::move(tree);
            read->error = std::move(error);
            read->done = true;
        }
        signalProgress(Progress::tree);
    }).detach();
    return 0;
}

int32_t ScanOpened(void) {
    if (!g_scanRead)
        return g_scanOpened;
    const std::shared_ptr<ScanRead> read = g_scanRead;
    {
        std::lock_guard lock(read->mutex);
        if (!read->done)
            return TREESCAN_LISTING;
    }
    g_scanRead.reset();
    g_scanOpened = -1;
    if (!read->ok) {
        g_scanError = std::move(read->error);
        return -1;
    }
    WaitForTree(0);
    stopSearch();
    g_scan = std::make_shared<const ScanTree>(std::move(read->tree));
    return g_scan->entries.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(g_scan->entries.size());
}

void CloseScan(void) {
    g_scanRead.reset();
    WaitForTree(0);
    stopSearch();
    g_scan.reset();
}

int64_t GetScanTime(void) {
    return g_scan ? g_scan->timestamp : -1;
}

int32_t GetScanRoot(char* buffer, int32_t max) {
    return g_scan ? writeText(g_scan->name(0), buffer, max) : 0;
}

int32_t GetScanProgram(char* buffer, int32_t max) {
    return g_scan ? writeText(g_scan->program, buffer, max) : 0;
}

} // extern "C"
