#include "cache.h"
#include "cache_file.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace treescan {

namespace {

// The stored form. All numbers in the byte order of the machine that wrote it; kByteOrder tells
// a file from a machine of the other order, which is then ignored like any foreign file.
constexpr char kMagic[8] = {'K', 'e', 't', 'r', 'a', 'F', 'L', 'D'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = kCacheHeaderBytes; // magic, version, order, count, size, sum
// parent, dev, ino, mtime, ownBytes, ownFiles, flags, nameLength, link count
constexpr std::size_t kRecordSize = 4 + 8 + 8 + 8 + 8 + 4 + 1 + 1 + 4;
constexpr std::size_t kLinkSize = 3 * 8;

class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}
    template <typename T> bool get(T& value) {
        if (m_data.size() - m_pos < sizeof value)
            return false;
        std::memcpy(&value, m_data.data() + m_pos, sizeof value);
        m_pos += sizeof value;
        return true;
    }
    bool bytes(std::size_t n, std::string_view& out) {
        if (m_data.size() - m_pos < n)
            return false;
        out = m_data.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    std::size_t left() const { return m_data.size() - m_pos; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// FNV-1a, then mixed: enough to spread folder names over a table.
std::uint64_t nameHash(std::string_view name) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : name)
        h = (h ^ c) * 0x100000001B3ull;
    return h ^ (h >> 32);
}

// The next non-empty "/"-separated part of `path` from `pos` on (doubled and trailing "/" are
// skipped); false when there is none left.
bool nextPathPart(std::string_view path, std::size_t& pos, std::string_view& part) {
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        part = path.substr(pos, end - pos);
        pos = end + 1;
        if (!part.empty())
            return true;
    }
    return false;
}

} // namespace

// A 64-bit checksum over the payload, eight bytes at a time: it catches truncation, stray
// bytes and bit flips; it is not meant to resist a forger (the file is the user's own).
std::uint64_t cacheChecksum(std::string_view data) {
    constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ull, k2 = 0xC2B2AE3D27D4EB4Full;
    std::uint64_t h = 0x27D4EB2F165667C5ull ^ (data.size() * k1);
    std::size_t i = 0;
    for (; i + 8 <= data.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data.data() + i, 8);
        h ^= w * k2;
        h = ((h << 31) | (h >> 33)) * k1;
    }
    std::uint64_t tail = 0;
    if (i < data.size())
        std::memcpy(&tail, data.data() + i, data.size() - i);
    h ^= tail * k2;
    h ^= h >> 29;
    h *= k1;
    h ^= h >> 32;
    return h;
}

FolderCache::FolderCache()
    : m_chunks(static_cast<FolderNode**>(std::calloc(kMaxChunks, sizeof(FolderNode*)))),
      m_nameChunks(static_cast<char**>(std::calloc(kMaxNameChunks, sizeof(char*)))) {
    if (m_chunks == nullptr || m_nameChunks == nullptr)
        throw std::bad_alloc();
    std::lock_guard lock(m_mutex);
    newNodeLocked({});
}

FolderCache::~FolderCache() {
    clear();
    std::free(m_chunks);
    std::free(m_nameChunks);
}

void FolderCache::clear() {
    for (std::uint32_t i = 0; i < kMaxChunks && m_chunks[i] != nullptr; ++i) {
        std::free(m_chunks[i]);
        m_chunks[i] = nullptr;
    }
    for (std::uint32_t i = 0; i < m_nameChunkCount; ++i) {
        std::free(m_nameChunks[i]);
        m_nameChunks[i] = nullptr;
    }
    m_nodeCount = 0;
    m_freeList = kNoNode;
    m_nameChunkCount = 0;
    m_nameUsed = 0;
    m_links.clear();
    m_freeLinks.clear();
}

std::uint32_t FolderCache::newNodeLocked(std::string_view name) {
    std::uint32_t index;
    if (m_freeList != kNoNode) {
        index = m_freeList;
        m_freeList = node(index).nextSibling;
    } else {
        if ((m_nodeCount >> kChunkShift) >= kMaxChunks)
            throw std::bad_alloc();
        index = m_nodeCount++;
        FolderNode*& chunk = m_chunks[index >> kChunkShift];
        if (chunk == nullptr) {
            // malloc, not new[]: pages of a chunk are only touched as nodes are used.
            chunk = static_cast<FolderNode*>(std::malloc(sizeof(FolderNode) * kChunkSize));
            if (chunk == nullptr)
                throw std::bad_alloc();
        }
    }
    // The name goes into the arena; a name never straddles two chunks.
    constexpr std::uint32_t chunkBytes = 1u << kNameChunkShift;
    if (m_nameChunkCount == 0 || m_nameUsed + name.size() + 1 > chunkBytes) {
        if (m_nameChunkCount >= kMaxNameChunks)
            throw std::bad_alloc();
        char* chunk = static_cast<char*>(std::malloc(chunkBytes));
        if (chunk == nullptr)
            throw std::bad_alloc();
        m_nameChunks[m_nameChunkCount++] = chunk;
        m_nameUsed = 0;
    }
    std::uint32_t offset = ((m_nameChunkCount - 1) << kNameChunkShift) | m_nameUsed;
    if (!name.empty())
        std::memcpy(m_nameChunks[m_nameChunkCount - 1] + m_nameUsed, name.data(), name.size());
    m_nameChunks[m_nameChunkCount - 1][m_nameUsed + name.size()] = '\0';
    m_nameUsed += static_cast<std::uint32_t>(name.size()) + 1;

    FolderNode& n = node(index);
    n = FolderNode{};
    n.parent = kNoNode;
    n.firstChild = kNoNode;
    n.nextSibling = kNoNode;
    n.nameOffset = offset;
    n.nameLength = static_cast<std::uint8_t>(name.size());
    n.links = kNoNode;
    return index;
}

std::string_view FolderCache::name(std::uint32_t index) const {
    const FolderNode& n = node(index);
    const char* chunk = m_nameChunks[n.nameOffset >> kNameChunkShift];
    return {chunk + (n.nameOffset & ((1u << kNameChunkShift) - 1)), n.nameLength};
}

std::uint32_t FolderCache::child(std::uint32_t parent, std::string_view name) const {
    for (std::uint32_t c = node(parent).firstChild; c != kNoNode; c = node(c).nextSibling)
        if (this->name(c) == name)
            return c;
    return kNoNode;
}

std::uint32_t FolderCache::find(std::string_view path, bool create) {
    std::uint32_t cur = root();
    std::size_t pos = 0;
    std::string_view part;
    while (nextPathPart(path, pos, part)) {
        if (part.size() > 255)
            return kNoNode;
        std::uint32_t next = child(cur, part);
        if (next == kNoNode) {
            if (!create)
                return kNoNode;
            {
                std::lock_guard lock(m_mutex);
                next = newNodeLocked(part);
            }
            FolderNode& n = node(next);
            n.parent = cur;
            n.nextSibling = node(cur).firstChild;
            node(cur).firstChild = next;
        }
        cur = next;
    }
    return cur;
}

std::uint32_t FolderCache::deepest(std::string_view path) const {
    std::uint32_t cur = root();
    std::size_t pos = 0;
    std::string_view part;
    while (nextPathPart(path, pos, part)) {
        std::uint32_t next = child(cur, part);
        if (next == kNoNode)
            break;
        cur = next;
    }
    return cur;
}

std::string FolderCache::path(std::uint32_t index) const {
    std::vector<std::string_view> parts;
    for (std::uint32_t i = index; i != root() && i != kNoNode; i = node(i).parent)
        parts.push_back(name(i));
    if (parts.empty())
        return "/";
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        out += '/';
        out.append(*it);
    }
    return out;
}

void FolderCache::allocate(const std::vector<std::string_view>& names, std::vector<std::uint32_t>& out) {
    std::lock_guard lock(m_mutex);
    for (std::string_view n : names)
        out.push_back(newNodeLocked(n));
}

void FolderCache::release(std::uint32_t index) {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint32_t> stack{index};
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        FolderNode& n = node(i);
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = node(c).nextSibling)
            stack.push_back(c);
        if (n.links != kNoNode) {
            m_links[n.links].clear();
            m_links[n.links].shrink_to_fit();
            m_freeLinks.push_back(n.links);
        }
        n.flags = kFree;
        n.links = kNoNode;
        n.firstChild = kNoNode;
        n.nextSibling = m_freeList;
        m_freeList = i;
    }
    m_dirty.store(true, std::memory_order_relaxed);
}

std::uint32_t FolderCache::storeLinks(const std::vector<LinkRecord>& records) {
    std::lock_guard lock(m_mutex);
    std::uint32_t index;
    if (!m_freeLinks.empty()) {
        index = m_freeLinks.back();
        m_freeLinks.pop_back();
        m_links[index] = records;
    } else {
        index = static_cast<std::uint32_t>(m_links.size());
        m_links.push_back(records);
    }
    return index;
}

void FolderCache::dropLinks(std::uint32_t index) {
    if (index == kNoNode)
        return;
    std::lock_guard lock(m_mutex);
    m_links[index].clear();
    m_links[index].shrink_to_fit();
    m_freeLinks.push_back(index);
}

void FolderCache::copyLinks(std::uint32_t index, std::vector<LinkRecord>& out) const {
    if (index == kNoNode)
        return;
    std::lock_guard lock(m_mutex);
    const auto& list = m_links[index];
    out.insert(out.end(), list.begin(), list.end());
}

void FolderCache::invalidate(std::uint32_t index, bool below) {
    if (index == kNoNode)
        return;
    std::vector<std::uint32_t> stack{index};
    while (below && !stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        FolderNode& n = node(i);
        n.flags &= static_cast<std::uint8_t>(~(kRead | kUnreadable));
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = node(c).nextSibling)
            stack.push_back(c);
    }
    node(index).flags &= static_cast<std::uint8_t>(~(kRead | kUnreadable));
    for (std::uint32_t i = node(index).parent; i != kNoNode; i = node(i).parent)
        node(i).flags &= static_cast<std::uint8_t>(~(kRead | kUnreadable));
    setDirty(true);
}

std::size_t FolderCache::readCount() const {
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < m_nodeCount; ++i)
        if ((node(i).flags & (kRead | kFree)) == kRead)
            ++count;
    return count;
}

std::size_t FolderCache::bytesUsed() const {
    std::size_t chunks = 0;
    for (std::uint32_t i = 0; i < kMaxChunks && m_chunks[i] != nullptr; ++i)
        ++chunks;
    return chunks * kChunkSize * sizeof(FolderNode) + (std::size_t{m_nameChunkCount} << kNameChunkShift);
}

std::size_t FolderCache::serialise(std::string& out) const {
    out.clear();
    out.resize(kHeaderSize);
    std::string payload;
    payload.reserve(static_cast<std::size_t>(m_nodeCount) * (kRecordSize + 12));
    // Pre-order walk: a node's parent is always written before it, as an index into the file.
    struct Item {
        std::uint32_t index;
        std::uint32_t parentInFile;
    };
    std::vector<Item> stack{{root(), kNoNode}};
    std::uint64_t written = 0;
    std::size_t readFolders = 0;
    std::vector<LinkRecord> links;
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        const FolderNode& n = node(item.index);
        auto self = static_cast<std::uint32_t>(written++);
        // Only "read" is worth keeping: an unreadable folder is tried again next time anyway.
        std::uint8_t flags = n.flags & kRead;
        readFolders += flags != 0;
        links.clear();
        if (n.links != kNoNode && flags)
            copyLinks(n.links, links);
        put(payload, item.parentInFile);
        put(payload, n.dev);
        put(payload, n.ino);
        put(payload, n.mtimeNs);
        put(payload, n.ownBytes);
        put(payload, n.ownFiles);
        put(payload, flags);
        put(payload, n.nameLength);
        put(payload, static_cast<std::uint32_t>(links.size()));
        payload.append(name(item.index));
        for (const LinkRecord& l : links) {
            put(payload, l.dev);
            put(payload, l.ino);
            put(payload, l.size);
        }
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = node(c).nextSibling)
            stack.push_back({c, self});
    }
    std::string header;
    header.append(kMagic, sizeof kMagic);
    put(header, kVersion);
    put(header, kByteOrder);
    put(header, written);
    put(header, static_cast<std::uint64_t>(payload.size()));
    put(header, cacheChecksum(payload));
    out = std::move(header);
    out += payload;
    return readFolders;
}

bool cacheHeaderFits(std::string_view head, std::uint64_t fileSize) {
    if (head.size() < kCacheHeaderBytes || std::memcmp(head.data(), kMagic, sizeof kMagic) != 0)
        return false;
    Reader r(head.substr(sizeof kMagic));
    std::uint32_t version = 0, order = 0;
    std::uint64_t count = 0, size = 0;
    r.get(version);
    r.get(order);
    r.get(count);
    r.get(size);
    return version == kVersion && order == kByteOrder && size == fileSize - kCacheHeaderBytes;
}

bool FolderCache::deserialise(std::string_view data) {
    if (!cacheHeaderFits(data, data.size()))
        return false;
    Reader head(data.substr(sizeof kMagic + 8));
    std::uint64_t count = 0, size = 0, sum = 0;
    head.get(count);
    head.get(size);
    head.get(sum);
    std::string_view payload = data.substr(kHeaderSize);
    if (cacheChecksum(payload) != sum)
        return false;
    if (count == 0 || count > payload.size() / kRecordSize || count >= kNoNode)
        return false;

    // Two passes over the same bytes: the first checks everything without touching the cache,
    // the second builds the nodes from what is now known to be sound.
    struct Record {
        std::uint32_t parent;
        FolderNode n;
        std::string_view name;
        std::uint32_t linkCount;
    };
    auto parse = [&](Reader& r, std::size_t i, Record& p) {
        std::uint8_t flags = 0, nameLength = 0;
        if (!r.get(p.parent) || !r.get(p.n.dev) || !r.get(p.n.ino) || !r.get(p.n.mtimeNs) ||
            !r.get(p.n.ownBytes) || !r.get(p.n.ownFiles) || !r.get(flags) || !r.get(nameLength) ||
            !r.get(p.linkCount) || !r.bytes(nameLength, p.name))
            return false;
        if (i == 0 ? (p.parent != kNoNode || nameLength != 0) : (p.parent >= i || !validName(p.name)))
            return false;
        if ((flags & ~kRead) != 0 || p.linkCount > r.left() / kLinkSize)
            return false;
        p.n.flags = flags;
        return true;
    };
    {
        Reader r(payload);
        Record p;
        std::string_view links;
        // A folder named twice in one parent would be counted twice: (parent, name) pairs go
        // into an open-addressed table of record numbers, the names left where they lie.
        std::vector<std::uint32_t> parents(count);
        std::vector<std::string_view> names(count);
        std::size_t slots = 64;
        while (slots < count * 2)
            slots *= 2;
        std::vector<std::uint32_t> table(slots, kNoNode);
        for (std::size_t i = 0; i < count; ++i) {
            if (!parse(r, i, p) || !r.bytes(std::size_t{p.linkCount} * kLinkSize, links))
                return false;
            if (i == 0)
                continue;
            parents[i] = p.parent;
            names[i] = p.name;
            std::size_t h = (nameHash(p.name) ^ (p.parent * 0x9E3779B97F4A7C15ull)) & (slots - 1);
            for (; table[h] != kNoNode; h = (h + 1) & (slots - 1))
                if (parents[table[h]] == p.parent && names[table[h]] == p.name)
                    return false;
            table[h] = static_cast<std::uint32_t>(i);
        }
        if (r.left() != 0)
            return false;
    }

    std::lock_guard lock(m_mutex);
    clear();
    Reader r(payload);
    Record p;
    for (std::size_t i = 0; i < count; ++i) {
        parse(r, i, p);
        std::uint32_t index = newNodeLocked(p.name); // indexes follow the file's order
        FolderNode& n = node(index);
        n.dev = p.n.dev;
        n.ino = p.n.ino;
        n.mtimeNs = p.n.mtimeNs;
        n.ownBytes = p.n.ownBytes;
        n.ownFiles = p.n.ownFiles;
        n.flags = p.n.flags;
        if (p.linkCount > 0) {
            std::vector<LinkRecord> links(p.linkCount);
            for (LinkRecord& l : links) {
                r.get(l.dev);
                r.get(l.ino);
                r.get(l.size);
            }
            n.links = static_cast<std::uint32_t>(m_links.size());
            m_links.push_back(std::move(links));
        }
        if (i > 0) {
            n.parent = p.parent;
            n.nextSibling = node(p.parent).firstChild;
            node(p.parent).firstChild = index;
        }
    }
    return true;
}

} // namespace treescan
