// ExportScan: a scan of a folder tree written as it is walked, in the JSON export format that
// ncdu and gdu read (format 1.2).
//
// One folder at a time, depth first: a folder's entries are read and looked at whole (so that its
// information object, written first, can say whether it was read in full), its files are written
// at once, and only its sub-folders are kept until they have been walked. Memory follows the
// widest folder and the depth, never the size of the tree.
#include "treescan.h"

#include "common.h"
#include "pseudofs.h"
#include "scan_state.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef TREESCAN_VERSION
#define TREESCAN_VERSION "0"
#endif

namespace treescan {

namespace {

std::atomic<bool> g_stop{false};

// Buffered output to a descriptor; the first failure is kept and ends all writing.
class JsonOut {
public:
    explicit JsonOut(int fd) : m_fd(fd) { m_buf.reserve(kFlushAt + 4096); }
    int error() const { return m_error; }

    void raw(std::string_view text) {
        m_buf.append(text);
        if (m_buf.size() >= kFlushAt)
            flush();
    }
    void number(const char* key, std::uint64_t value) {
        char text[48];
        int n = std::snprintf(text, sizeof text, ",\"%s\":%llu", key, static_cast<unsigned long long>(value));
        raw({text, static_cast<std::size_t>(n)});
    }
    // A JSON string of `bytes` as they are: only '"', '\' and control bytes are escaped, so a name
    // that is not UTF-8 keeps its bytes.
    void string(std::string_view bytes) {
        m_buf += '"';
        for (unsigned char c : bytes) {
            if (c == '"' || c == '\\') {
                m_buf += '\\';
                m_buf += static_cast<char>(c);
            } else if (c == '\n') {
                m_buf += "\\n";
            } else if (c == '\t') {
                m_buf += "\\t";
            } else if (c == '\r') {
                m_buf += "\\r";
            } else if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                m_buf += esc;
            } else {
                m_buf += static_cast<char>(c);
            }
        }
        m_buf += '"';
    }
    void flush() {
        std::size_t done = 0;
        while (m_error == 0 && done < m_buf.size()) {
            ssize_t n = ::write(m_fd, m_buf.data() + done, m_buf.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                m_error = n < 0 ? errno : ENOSPC;
            else
                done += static_cast<std::size_t>(n);
        }
        m_buf.clear();
    }

private:
    static constexpr std::size_t kFlushAt = 256 * 1024;
    int m_fd;
    int m_error = 0;
    std::string m_buf;
};

struct Entry {
    std::uint32_t nameOffset;
    std::uint32_t nameLength;
    struct stat st;
};

// A folder being walked: its descriptor and the sub-folders still to walk.
struct Level {
    int fd = -1;
    std::uint64_t dev = 0;
    std::string names;
    std::vector<Entry> subs;
    std::size_t next = 0;
    ~Level() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The information object of an entry, without its closing brace.
void writeInfo(JsonOut& out, std::string_view name, const struct stat& st, std::uint64_t parentDev) {
    out.raw("{\"name\":");
    out.string(name);
    if (st.st_size > 0)
        out.number("asize", static_cast<std::uint64_t>(st.st_size));
    if (st.st_blocks > 0)
        out.number("dsize", static_cast<std::uint64_t>(st.st_blocks) * 512);
    if (static_cast<std::uint64_t>(st.st_dev) != parentDev)
        out.number("dev", static_cast<std::uint64_t>(st.st_dev));
    if (!S_ISDIR(st.st_mode) && st.st_nlink > 1) {
        out.number("ino", static_cast<std::uint64_t>(st.st_ino));
        out.raw(",\"hlnkc\":true");
        out.number("nlink", static_cast<std::uint64_t>(st.st_nlink));
    }
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
        out.raw(",\"notreg\":true");
        out.number("mode", static_cast<std::uint64_t>(st.st_mode));
    }
    if (st.st_mtim.tv_sec > 0)
        out.number("mtime", static_cast<std::uint64_t>(st.st_mtim.tv_sec));
}

// Reads the open folder `level.fd`: writes its information object and its files, and keeps its
// sub-folders in `level`. `parentDev` is its parent's device (none for the root).
void writeFolder(JsonOut& out, Level& level, std::string_view name, const struct stat& self,
                 std::uint64_t parentDev, std::vector<char>& buffer, std::vector<Entry>& files,
                 std::string& fileNames) {
    files.clear();
    fileNames.clear();
    bool failed = false;
    DirReader reader(level.fd, buffer.data(), buffer.size());
    DirReader::Entry e;
    while (reader.next(e) && !g_stop.load(std::memory_order_relaxed)) {
        Entry entry{};
        if (::fstatat(level.fd, e.name, &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
            failed = failed || errno != ENOENT; // vanished since it was read: fine
            continue;
        }
        std::string& names = S_ISDIR(entry.st.st_mode) ? level.names : fileNames;
        entry.nameOffset = static_cast<std::uint32_t>(names.size());
        entry.nameLength = static_cast<std::uint32_t>(e.nameLength);
        names.append(e.name, e.nameLength);
        (S_ISDIR(entry.st.st_mode) ? level.subs : files).push_back(entry);
    }
    out.raw(",\n[");
    writeInfo(out, name, self, parentDev);
    if (failed || reader.error() != 0)
        out.raw(",\"read_error\":true");
    out.raw("}");
    for (const Entry& f : files) {
        out.raw(",\n");
        writeInfo(out, std::string_view(fileNames).substr(f.nameOffset, f.nameLength), f.st, level.dev);
        out.raw("}");
    }
}

} // namespace

void stopExport() noexcept {
    g_stop.store(true);
}

} // namespace treescan

using namespace treescan;

extern "C" int32_t ExportScan(const char* folder, int32_t fd) {
    g_stop.store(false);
    if (folder == nullptr || folder[0] == '\0')
        return -ENOENT;
    int rootFd = openFolderPath(folder, true);
    if (rootFd < 0)
        return -errno;
    std::vector<std::unique_ptr<Level>> stack;
    stack.push_back(std::make_unique<Level>());
    stack.back()->fd = rootFd;
    struct stat st;
    if (::fstat(rootFd, &st) != 0)
        return -errno;
    stack.back()->dev = static_cast<std::uint64_t>(st.st_dev);

    JsonOut out(fd);
    out.raw("[1,2,{\"progname\":\"treescan\",\"progver\":\"" TREESCAN_VERSION "\"");
    out.number("timestamp", static_cast<std::uint64_t>(std::time(nullptr)));
    out.raw("}");
    std::vector<char> buffer(kDirReadBuffer);
    std::vector<Entry> files;
    std::string fileNames;
    const std::string root = normalisePath(folder);
    if (isPseudoFileSystem(rootFd)) {
        out.raw(",\n[");
        writeInfo(out, root, st, ~std::uint64_t{0});
        out.raw(",\"excluded\":\"kernfs\"}]");
        stack.clear();
    } else {
        writeFolder(out, *stack.back(), root, st, ~std::uint64_t{0}, buffer, files, fileNames);
    }
    while (!stack.empty() && out.error() == 0 && !g_stop.load(std::memory_order_relaxed)) {
        Level& level = *stack.back();
        if (level.next == level.subs.size()) {
            out.raw("]");
            stack.pop_back();
            continue;
        }
        const Entry& sub = level.subs[level.next++];
        const std::string_view name = std::string_view(level.names).substr(sub.nameOffset, sub.nameLength);
        const std::string nameText(name);
        int subFd = ::openat(level.fd, nameText.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (subFd < 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                continue; // gone, or no longer a folder, since it was read
            if (errno == EMFILE || errno == ENFILE)
                return -errno; // one descriptor a level: a folder that can be read is no read error
            out.raw(",\n[");
            writeInfo(out, name, sub.st, level.dev);
            out.raw(",\"read_error\":true}]");
            continue;
        }
        if (static_cast<std::uint64_t>(sub.st.st_dev) != level.dev && isPseudoFileSystem(subFd)) {
            ::close(subFd);
            out.raw(",\n");
            writeInfo(out, name, sub.st, level.dev);
            out.raw(",\"excluded\":\"kernfs\"}");
            continue;
        }
        auto next = std::make_unique<Level>();
        next->fd = subFd;
        next->dev = static_cast<std::uint64_t>(sub.st.st_dev);
        const struct stat subSt = sub.st;
        const std::uint64_t parentDev = level.dev;
        stack.push_back(std::move(next));
        writeFolder(out, *stack.back(), nameText, subSt, parentDev, buffer, files, fileNames);
    }
    if (g_stop.load())
        return -EINTR;
    out.raw("]\n");
    out.flush();
    return out.error() != 0 ? -out.error() : 0;
}
