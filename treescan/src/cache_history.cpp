#include "cache_history.h"

#include "cache_file.h"
#include "scan_walk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

namespace treescan {

namespace {

std::atomic<std::int64_t (*)()> g_clock{nullptr};

constexpr char kHistoryMagic[8] = {'K', 'e', 't', 'r', 'a', 'H', 'S', 'T'};
constexpr std::uint32_t kHistoryVersion = 1;
constexpr std::size_t kHistoryHeaderSize = 8 + 4 + 4 + 8 + 8 + 8;
// parent, slots present, name length, three times, three totals
constexpr std::size_t kHistoryRecordSize = 4 + 1 + 1 + 3 * 4 + 3 * 8;

template <typename T> bool get(std::string_view& in, T& value) {
    if (in.size() < sizeof value)
        return false;
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return true;
}

// The "/"-separated parts of `key`, empty ones skipped.
std::vector<std::string_view> parts(std::string_view key) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < key.size()) {
        std::size_t end = std::min(key.find('/', pos), key.size());
        if (end > pos)
            out.push_back(key.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

std::uint64_t magnitude(const FolderHistory::Report& r) {
    return r.newBytes > r.earlierBytes ? r.newBytes - r.earlierBytes : r.earlierBytes - r.newBytes;
}

} // namespace

void setHistoryClock(std::int64_t (*now)()) {
    g_clock.store(now);
}

std::int64_t historyNow() {
    auto clock = g_clock.load();
    return clock != nullptr ? clock() : static_cast<std::int64_t>(std::time(nullptr));
}

FolderHistory::FolderHistory() {
    clear();
}

void FolderHistory::clear() {
    m_nodes.clear();
    m_free.clear();
    m_names.clear();
    m_nodes.push_back(Node{kNoNode, kNoNode, kNoNode, 0, 0, 0, 0, {}, {}});
}

std::uint32_t FolderHistory::newNode(std::string_view name, std::uint32_t parent) {
    ++m_generation;
    Node n{parent,
           kNoNode,
           kNoNode,
           static_cast<std::uint32_t>(m_names.size()),
           static_cast<std::uint8_t>(name.size()),
           0,
           0,
           {},
           {}};
    m_names.append(name);
    std::uint32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
        m_nodes[index] = n;
    } else {
        index = static_cast<std::uint32_t>(m_nodes.size());
        m_nodes.push_back(n);
    }
    if (parent != kNoNode) {
        m_nodes[index].nextSibling = m_nodes[parent].firstChild;
        m_nodes[parent].firstChild = index;
    }
    return index;
}

void FolderHistory::freeSubtree(std::uint32_t index) {
    ++m_generation;
    // Unlink from the parent, then give back everything below.
    std::uint32_t parent = m_nodes[index].parent;
    for (std::uint32_t* link = &m_nodes[parent].firstChild; *link != kNoNode;
         link = &m_nodes[*link].nextSibling)
        if (*link == index) {
            *link = m_nodes[index].nextSibling;
            break;
        }
    std::vector<std::uint32_t> stack{index};
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        for (std::uint32_t c = m_nodes[i].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            stack.push_back(c);
        m_nodes[i].has = 0;
        m_nodes[i].firstChild = kNoNode;
        m_free.push_back(i);
    }
}

std::string_view FolderHistory::name(std::uint32_t index) const {
    return std::string_view(m_names).substr(m_nodes[index].nameOffset, m_nodes[index].nameLength);
}

std::string FolderHistory::path(std::uint32_t index) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = index; i != 0; i = m_nodes[i].parent)
        chain.push_back(i);
    if (chain.empty())
        return "/";
    std::string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        out += '/';
        out.append(name(*it));
    }
    return out;
}

std::uint32_t FolderHistory::child(std::uint32_t parent, std::string_view n) const {
    for (std::uint32_t c = m_nodes[parent].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
        if (name(c) == n)
            return c;
    return kNoNode;
}

std::uint32_t FolderHistory::find(std::string_view key, bool create) {
    std::uint32_t cur = 0;
    for (std::string_view part : parts(key)) {
        std::uint32_t next = child(cur, part);
        if (next == kNoNode) {
            if (!create || !validName(part) || part.size() > 255)
                return kNoNode;
            next = newNode(part, cur);
            // A folder its parent was measured without did not exist at those passes.
            const Node& p = m_nodes[cur];
            Node& n = m_nodes[next];
            n.has = p.has;
            for (int s = 0; s < 3; ++s) {
                n.time[s] = p.time[s];
                n.bytes[s] = kAbsent;
            }
        }
        cur = next;
    }
    return cur;
}

void FolderHistory::push(Node& n, std::uint32_t time, std::uint64_t bytes) {
    const std::int64_t cutoff = std::int64_t{time} - kEarlierAge;
    const bool hasWindow = (n.has >> kWindow) & 1, hasNewest = (n.has >> kNewest) & 1;
    const bool windowOld = hasWindow && n.time[kWindow] <= cutoff;
    const bool newestOld = hasNewest && n.time[kNewest] <= cutoff;
    auto copy = [&](int to, int from) {
        n.time[to] = n.time[from];
        n.bytes[to] = n.bytes[from];
        n.has |= static_cast<std::uint8_t>(1 << to);
    };
    // The earlier state moves on to the latest pass at least 12 hours older than this one; with
    // none, it stays where it was (it may be one the user marked).
    if (newestOld)
        copy(kEarlier, kNewest);
    else if (windowOld)
        copy(kEarlier, kWindow);
    // The window keeps the oldest pass of the last 12 hours.
    if (!(hasWindow && !windowOld)) {
        if (hasNewest && !newestOld)
            copy(kWindow, kNewest);
        else
            n.has &= static_cast<std::uint8_t>(~(1 << kWindow));
    }
    n.time[kNewest] = time;
    n.bytes[kNewest] = bytes;
    n.has |= 1 << kNewest;
}

bool FolderHistory::dead(const Node& n) const {
    if (n.has == 0)
        return false; // a folder not measured yet keeps its place
    for (int s = 0; s < 3; ++s)
        if ((n.has >> s) & 1 && n.bytes[s] != kAbsent)
            return false;
    return true;
}

void FolderHistory::recordPass(FolderCache& cache, std::string_view key) {
    const std::uint32_t cacheRoot = cache.find(key, false);
    const std::uint32_t root = cacheRoot == kNoNode ? kNoNode : find(key, true);
    if (root == kNoNode)
        return;
    const auto now = static_cast<std::uint32_t>(std::clamp<std::int64_t>(historyNow(), 0, UINT32_MAX));

    // Pre-order over the cache below `key`, each folder paired with its node here.
    struct Item {
        std::uint32_t cacheNode, node, parentItem;
        bool skip; // unreadable: its history stays as it was
        std::uint64_t total;
    };
    std::vector<Item> items{{cacheRoot, root, kNoNode, false, 0}};
    std::vector<std::uint32_t> stack{0}, gone, missingFor, oldChildren;
    std::vector<std::string_view> missing;
    std::vector<char> matched;
    std::unordered_map<std::string_view, std::uint32_t> byName;
    std::vector<LinkRecord> links;
    HardLinkSet seen;
    while (!stack.empty()) {
        const std::uint32_t at = stack.back();
        stack.pop_back();
        const FolderNode& cn = cache.node(items[at].cacheNode);
        if (cn.flags & kUnreadable) {
            items[at].skip = true;
            continue;
        }
        if (cn.flags & kPseudo)
            continue;
        // Own figures, hard links counted where first met in this order.
        items[at].total = cn.ownBytes;
        links.clear();
        cache.copyLinks(cn.links, links);
        for (const LinkRecord& l : links)
            if (seen.insert(l.dev, l.ino))
                items[at].total += l.size;
        // Sub-folders: matched by name with what is known here; the rest of what is known here
        // is gone. Nodes are made only after the matching, as making one moves the names.
        const std::uint32_t node = items[at].node;
        oldChildren.clear();
        for (std::uint32_t c = m_nodes[node].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            oldChildren.push_back(c);
        matched.assign(oldChildren.size(), 0);
        byName.clear();
        if (oldChildren.size() > 8)
            for (std::size_t j = 0; j < oldChildren.size(); ++j)
                byName.emplace(name(oldChildren[j]), static_cast<std::uint32_t>(j));
        missing.clear();
        missingFor.clear();
        const std::size_t first = items.size();
        for (std::uint32_t c = cn.firstChild; c != kNoNode; c = cache.node(c).nextSibling) {
            std::string_view cname = cache.name(c);
            std::uint32_t j = kNoNode;
            if (oldChildren.size() > 8) {
                if (auto it = byName.find(cname); it != byName.end())
                    j = it->second;
            } else {
                for (std::size_t k = 0; k < oldChildren.size() && j == kNoNode; ++k)
                    if (name(oldChildren[k]) == cname)
                        j = static_cast<std::uint32_t>(k);
            }
            if (j != kNoNode && !matched[j]) {
                matched[j] = 1;
                items.push_back({c, oldChildren[j], at, false, 0});
            } else {
                missing.push_back(cname); // cache names stay where they are
                missingFor.push_back(static_cast<std::uint32_t>(items.size()));
                items.push_back({c, kNoNode, at, false, 0});
            }
        }
        for (std::size_t j = 0; j < oldChildren.size(); ++j)
            if (!matched[j])
                gone.push_back(oldChildren[j]);
        for (std::size_t k = 0; k < missing.size(); ++k) {
            std::uint32_t made = newNode(missing[k], node);
            Node& n = m_nodes[made];
            const Node& p = m_nodes[node];
            n.has = p.has; // not there at the parent's passes
            for (int s = 0; s < 3; ++s) {
                n.time[s] = p.time[s];
                n.bytes[s] = kAbsent;
            }
            items[missingFor[k]].node = made;
        }
        for (std::size_t i = items.size(); i-- > first;)
            stack.push_back(static_cast<std::uint32_t>(i));
    }
    // Totals bottom-up (a child always comes after its parent), then the new state.
    for (std::size_t i = items.size(); i-- > 1;)
        items[items[i].parentItem].total += items[i].total;
    for (const Item& item : items)
        if (!item.skip)
            push(m_nodes[item.node], now, item.total);
    // What went away, and everything below it: absent now; a folder with nothing left to tell
    // is dropped.
    for (std::uint32_t g : gone) {
        std::vector<std::uint32_t> below{g}, order;
        while (!below.empty()) {
            std::uint32_t i = below.back();
            below.pop_back();
            order.push_back(i);
            push(m_nodes[i], now, kAbsent);
            for (std::uint32_t c = m_nodes[i].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
                below.push_back(c);
        }
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (m_nodes[*it].firstChild == kNoNode && dead(m_nodes[*it]))
                freeSubtree(*it);
    }
    m_dirty = true;
}

std::int32_t FolderHistory::mark(std::string_view key) {
    const std::uint32_t root = find(key, false);
    if (root == kNoNode || !hasNewest(root) || m_nodes[root].bytes[kNewest] == kAbsent)
        return -1;
    std::int32_t marked = 0;
    std::vector<std::uint32_t> stack{root}, order;
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        order.push_back(i);
        Node& n = m_nodes[i];
        if (hasNewest(i)) {
            n.time[kEarlier] = n.time[kNewest];
            n.bytes[kEarlier] = n.bytes[kNewest];
            n.has = (1 << kEarlier) | (1 << kNewest);
            ++marked;
        }
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            stack.push_back(c);
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (*it != root && m_nodes[*it].firstChild == kNoNode && dead(m_nodes[*it]))
            freeSubtree(*it);
    m_dirty = true;
    return marked;
}

FolderHistory::Report FolderHistory::reportOf(std::uint32_t index, const std::uint64_t* currentBytes) const {
    Report r;
    const Node& n = m_nodes[index];
    if (!hasEarlier(index))
        return r;
    r.earlierTime = n.time[kEarlier];
    std::uint64_t now;
    if (currentBytes != nullptr)
        now = *currentBytes;
    else if (hasNewest(index))
        now = n.bytes[kNewest];
    else
        return r;
    const std::uint64_t then = n.bytes[kEarlier];
    if (then == kAbsent && now == kAbsent)
        return r;
    r.earlierBytes = then == kAbsent ? 0 : then;
    r.newBytes = now == kAbsent ? 0 : now;
    r.change = then == kAbsent  ? Change::added
               : now == kAbsent ? Change::removed
               : now > then     ? Change::grown
               : now < then     ? Change::shrunk
                                : Change::same;
    return r;
}

FolderHistory::Report FolderHistory::report(std::string_view key, const std::uint64_t* currentBytes) const {
    auto self = const_cast<FolderHistory*>(this);
    while (key.size() > 1 && key.back() == '/')
        key.remove_suffix(1);
    const std::size_t slash = key.find_last_of('/');
    if (slash == std::string_view::npos || slash + 1 == key.size()) {
        std::uint32_t index = self->find(key, false);
        return index == kNoNode ? Report{} : reportOf(index, currentBytes);
    }
    // The parent's sub-folders by name, kept while the same folder is asked about.
    const std::string_view parent = slash == 0 ? std::string_view("/") : key.substr(0, slash);
    if (m_lookupGeneration != m_generation || parent != m_lookupKey) {
        m_lookupKey.assign(parent);
        m_lookupGeneration = m_generation;
        m_lookupNode = self->find(parent, false);
        m_lookup.clear();
        if (m_lookupNode != kNoNode)
            for (std::uint32_t c = m_nodes[m_lookupNode].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
                m_lookup.emplace(name(c), c);
    }
    const std::uint32_t p = m_lookupNode;
    if (p == kNoNode)
        return Report{};
    if (auto it = m_lookup.find(key.substr(slash + 1)); it != m_lookup.end())
        return reportOf(it->second, currentBytes);
    // Unknown here: when its parent was measured, it was not there.
    Report r;
    if (p != kNoNode && hasEarlier(p) && m_nodes[p].bytes[kEarlier] != kAbsent) {
        r.change = Change::added;
        r.earlierTime = m_nodes[p].time[kEarlier];
        r.newBytes = currentBytes != nullptr ? *currentBytes : 0;
    }
    return r;
}

bool FolderHistory::changes(std::string_view key, std::vector<Report>& out) const {
    out.clear();
    std::uint32_t root = const_cast<FolderHistory*>(this)->find(key, false);
    if (root == kNoNode)
        return false;
    bool any = false;
    std::vector<std::uint32_t> stack{root};
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        any = any || hasEarlier(i);
        Report r = reportOf(i, nullptr);
        if (r.change != Change::unknown && r.change != Change::same) {
            r.path = path(i);
            out.push_back(std::move(r));
        }
        for (std::uint32_t c = m_nodes[i].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            stack.push_back(c);
    }
    std::sort(out.begin(), out.end(), [](const Report& a, const Report& b) {
        std::uint64_t ma = magnitude(a), mb = magnitude(b);
        return ma != mb ? ma > mb : a.path < b.path;
    });
    return any;
}

std::uint32_t FolderHistory::removedBelow(std::string_view key, std::uint64_t& bytes) const {
    bytes = 0;
    std::uint32_t root = const_cast<FolderHistory*>(this)->find(key, false);
    if (root == kNoNode)
        return 0;
    auto gone = [&](std::uint32_t i) { return reportOf(i, nullptr).change == Change::removed; };
    std::uint32_t count = 0;
    std::vector<std::uint32_t> stack;
    for (std::uint32_t c = m_nodes[root].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
        stack.push_back(c);
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        if (gone(i)) {
            ++count;
            if (m_nodes[i].parent == root || !gone(m_nodes[i].parent))
                bytes += m_nodes[i].bytes[kEarlier];
        }
        for (std::uint32_t c = m_nodes[i].firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            stack.push_back(c);
    }
    return count;
}

bool historyHeaderFits(std::string_view head, std::uint64_t size) {
    return head.size() >= sizeof kHistoryMagic && size >= kHistoryHeaderSize &&
           std::memcmp(head.data(), kHistoryMagic, sizeof kHistoryMagic) == 0;
}

void FolderHistory::serialise(std::string& out) const {
    std::string payload;
    payload.reserve(size() * (kHistoryRecordSize + 12));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{0, kNoNode}}; // node, parent in file
    std::uint64_t written = 0;
    while (!stack.empty()) {
        auto [i, parent] = stack.back();
        stack.pop_back();
        const Node& n = m_nodes[i];
        auto self = static_cast<std::uint32_t>(written++);
        put(payload, parent);
        put(payload, n.has);
        put(payload, n.nameLength);
        for (int s = 0; s < 3; ++s)
            put(payload, n.time[s]);
        for (int s = 0; s < 3; ++s)
            put(payload, n.bytes[s]);
        payload.append(name(i));
        for (std::uint32_t c = n.firstChild; c != kNoNode; c = m_nodes[c].nextSibling)
            stack.push_back({c, self});
    }
    out.assign(kHistoryMagic, sizeof kHistoryMagic);
    put(out, kHistoryVersion);
    put(out, kByteOrder);
    put(out, written);
    put(out, static_cast<std::uint64_t>(payload.size()));
    put(out, cacheChecksum(payload));
    out += payload;
}

bool FolderHistory::deserialise(std::string_view data) {
    if (data.size() < kHistoryHeaderSize || std::memcmp(data.data(), kHistoryMagic, sizeof kHistoryMagic) != 0)
        return false;
    std::string_view head = data.substr(sizeof kHistoryMagic, kHistoryHeaderSize - sizeof kHistoryMagic);
    std::uint32_t version = 0, order = 0;
    std::uint64_t count = 0, size = 0, sum = 0;
    get(head, version), get(head, order), get(head, count), get(head, size), get(head, sum);
    std::string_view payload = data.substr(kHistoryHeaderSize);
    if (version != kHistoryVersion || order != kByteOrder || size != payload.size() ||
        cacheChecksum(payload) != sum || count == 0 || count > payload.size() / kHistoryRecordSize)
        return false;
    FolderHistory fresh;
    fresh.m_nodes.reserve(count);
    std::unordered_set<std::string> names; // "parent/name": a folder named twice in one parent
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t parent = 0;
        Node n{};
        std::string_view name;
        if (!get(payload, parent) || !get(payload, n.has) || !get(payload, n.nameLength))
            return false;
        for (int s = 0; s < 3; ++s)
            if (!get(payload, n.time[s]))
                return false;
        for (int s = 0; s < 3; ++s)
            if (!get(payload, n.bytes[s]))
                return false;
        if (payload.size() < n.nameLength || n.has > 7)
            return false;
        name = payload.substr(0, n.nameLength);
        payload.remove_prefix(n.nameLength);
        if (i == 0) {
            if (parent != kNoNode || !name.empty())
                return false;
            fresh.m_nodes[0].has = n.has;
            std::copy(std::begin(n.time), std::end(n.time), fresh.m_nodes[0].time);
            std::copy(std::begin(n.bytes), std::end(n.bytes), fresh.m_nodes[0].bytes);
            continue;
        }
        if (parent >= i || !validName(name) ||
            !names.insert(std::to_string(parent) + "/" + std::string(name)).second)
            return false;
        std::uint32_t index = fresh.newNode(name, parent);
        Node& made = fresh.m_nodes[index];
        made.has = n.has;
        std::copy(std::begin(n.time), std::end(n.time), made.time);
        std::copy(std::begin(n.bytes), std::end(n.bytes), made.bytes);
    }
    if (!payload.empty())
        return false;
    const std::uint64_t generation = m_generation + fresh.m_generation + 1;
    *this = std::move(fresh);
    m_generation = generation;
    m_dirty = false;
    return true;
}

} // namespace treescan
