// The folder cache: what a folder-size scan learnt about each folder, kept so that a later scan
// can give a first answer at once, before the pass that reads everything again.
//
// Only folders are kept, never files: a folder remembers its identity (device, inode), its
// modification time when it was read, the sizes and count of the non-folder entries directly in
// it, and its sub-folders. A folder whose modification time is unchanged still has the same
// entries, so its own figures hold; its sub-folders are checked the same way, one by one.
// Hard-linked files (link count > 1) are kept apart, as (device, inode, size) records, so every
// scan can count each of them once however many folders name it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace treescan {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

// One folder. Keep this at 64 bytes: there is one per folder of every tree ever measured.
struct FolderNode {
    std::uint64_t dev; // identity when read
    std::uint64_t ino;
    std::int64_t mtimeNs;     // modification time when read, in ns since the epoch
    std::uint64_t ownBytes;   // apparent sizes of the non-folder entries directly inside,
                              // hard-linked files excluded (see the link records)
    std::uint32_t ownFiles;   // non-folder entries directly inside, hard links included
    std::uint32_t parent;     // kNoNode for the root "/"
    std::uint32_t firstChild; // sub-folders, linked through nextSibling
    std::uint32_t nextSibling;
    std::uint32_t nameOffset; // into the name arena
    std::uint8_t nameLength;  // file names are at most 255 bytes
    std::uint8_t flags;       // kRead, kUnreadable, kPseudo, kFree
    std::uint16_t reserved;
    std::uint32_t links; // index of this folder's hard-link records, or kNoNode
};
static_assert(sizeof(FolderNode) == 64, "a folder node is 64 bytes");

enum : std::uint8_t {
    kRead = 1,       // the figures and the sub-folder list are complete for mtimeNs
    kUnreadable = 2, // the last attempt to read it failed (permission, I/O error)
    kPseudo = 4,     // a pseudo file system: never entered
    kFree = 8,       // on the free list
};

struct LinkRecord {
    std::uint64_t dev;
    std::uint64_t ino;
    std::uint64_t size;
};

// The checksum of the stored form's payload.
std::uint64_t cacheChecksum(std::string_view payload);

// The stored form's header: magic, version, byte order, count, payload size, checksum.
inline constexpr std::size_t kCacheHeaderBytes = 8 + 4 + 4 + 8 + 8 + 8;
// True when `head` (the first kCacheHeaderBytes of a file of `fileSize` bytes) is the header
// of this version and machine, for a payload of exactly the rest of the file: checked before
// the rest is read.
bool cacheHeaderFits(std::string_view head, std::uint64_t fileSize);

class FolderCache {
public:
    FolderCache();
    ~FolderCache();
    FolderCache(const FolderCache&) = delete;
    FolderCache& operator=(const FolderCache&) = delete;

    static constexpr std::uint32_t root() { return 0; }

    // Access by index. Nodes never move, so a reference stays valid while the node lives, and
    // different threads may use different nodes at the same time.
    FolderNode& node(std::uint32_t index) const {
        return m_chunks[index >> kChunkShift][index & (kChunkSize - 1)];
    }
    // The node's name; its data() is NUL-terminated (the root's name is empty).
    std::string_view name(std::uint32_t index) const;

    // The node of an absolute, normalised path ("/a/b"); with `create`, missing nodes are made
    // (unread). Returns kNoNode when it is missing and not created. Not thread-safe.
    std::uint32_t find(std::string_view path, bool create);
    // The deepest node on `path` that exists (the root at worst).
    std::uint32_t deepest(std::string_view path) const;
    // The absolute path of a node.
    std::string path(std::uint32_t index) const;

    // Makes new unread nodes named `names[i]`, children of nothing yet (the caller links them).
    // Thread-safe.
    void allocate(const std::vector<std::string_view>& names, std::vector<std::uint32_t>& out);
    // Returns `index` and everything below it to the free list. Thread-safe; the caller has
    // already unlinked it.
    void release(std::uint32_t index);

    // Hard-link records of a folder. Thread-safe.
    std::uint32_t storeLinks(const std::vector<LinkRecord>& records);
    void dropLinks(std::uint32_t index);
    // Appends the records of list `index` to `out`. Thread-safe.
    void copyLinks(std::uint32_t index, std::vector<LinkRecord>& out) const;

    // Forgets what was read of `index` and of every folder above it, and with `below` of
    // everything below it too.
    void invalidate(std::uint32_t index, bool below);

    // Folders whose figures are known (read).
    std::size_t readCount() const;

    // Set whenever something worth saving changed; cleared by the caller after saving/loading.
    bool dirty() const { return m_dirty.load(std::memory_order_relaxed); }
    void setDirty(bool d) { m_dirty.store(d, std::memory_order_relaxed); }

    // The stored form: versioned and checksummed. deserialise accepts only a complete, intact
    // file of this version written on a machine of the same byte order, and replaces the cache
    // only then. `serialise` returns the number of read folders stored.
    std::size_t serialise(std::string& out) const;
    bool deserialise(std::string_view data);

    // Memory held by the nodes and names (for measurements).
    std::size_t bytesUsed() const;

private:
    static constexpr unsigned kChunkShift = 13; // 8192 nodes (512 KiB) per chunk
    static constexpr std::uint32_t kChunkSize = 1u << kChunkShift;
    static constexpr std::uint32_t kMaxChunks = 1u << 16;
    static constexpr unsigned kNameChunkShift = 16; // 64 KiB of names per chunk
    static constexpr std::uint32_t kMaxNameChunks = 1u << 16;

    std::uint32_t newNodeLocked(std::string_view name);
    std::uint32_t child(std::uint32_t parent, std::string_view name) const;
    void clear();

    // Fixed tables of chunk pointers, so readers never see them move.
    FolderNode** m_chunks;
    char** m_nameChunks;
    std::uint32_t m_nodeCount = 0; // nodes handed out (including freed ones)
    std::uint32_t m_freeList = kNoNode;
    std::uint32_t m_nameChunkCount = 0;
    std::uint32_t m_nameUsed = 0; // bytes used in the last name chunk
    std::vector<std::vector<LinkRecord>> m_links;
    std::vector<std::uint32_t> m_freeLinks;
    mutable std::mutex m_mutex; // guards allocation, release and the link lists
    std::atomic<bool> m_dirty{false};
};

} // namespace treescan
