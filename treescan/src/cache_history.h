// What each folder held at an earlier exact pass, kept beside the folder cache so that a later
// visit can tell what grew, shrank, appeared or went away.
//
// A tree of its own, keyed by folder names (the cache's nodes are freed and reused as folders
// come and go, and a folder that went away is exactly what must be remembered here). Each folder
// keeps up to three totals, each with the time of its pass:
//   earlier - the state changes are told against: the last exact pass at least 12 hours older
//             than the newest, so that looking twice in an hour does not erase last week's state
//             (or the state the user marked);
//   window  - the oldest pass of the last 12 hours, which becomes the earlier state once the
//             newest is 12 hours past it;
//   newest  - the last exact pass.
// A total may be "absent": the folder did not exist at that pass (its parent was measured
// without it). Only exact passes are recorded, only on the owner thread, after their workers
// have ended.
#pragma once

#include "cache.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace treescan {

// How a folder's total compares with its earlier state (the TREESCAN_CHANGE_* values).
enum class Change : std::int32_t { unknown = 0, same = 1, grown = 2, shrunk = 3, added = 4, removed = 5 };

// Seconds since the epoch for the passes recorded from now on; nullptr restores the system
// clock. For tests: the 12-hour rule is then checked without waiting.
void setHistoryClock(std::int64_t (*now)());
std::int64_t historyNow();

inline constexpr std::int64_t kEarlierAge = 12 * 3600; // seconds

class FolderHistory {
public:
    static constexpr std::uint64_t kAbsent = ~std::uint64_t{0};

    struct Total {
        std::uint32_t time = 0;  // seconds since the epoch
        std::uint64_t bytes = 0; // kAbsent: the folder did not exist then
    };
    // The state of one folder, as reported.
    struct Report {
        Change change = Change::unknown;
        std::uint64_t earlierBytes = 0; // 0 for a folder that did not exist then
        std::uint64_t newBytes = 0;     // 0 for a folder gone now
        std::int64_t earlierTime = 0;
        std::string path;
    };

    FolderHistory();

    // Records an exact pass over the cache's folder `key` (an absolute path) and everything
    // below it, at historyNow(). Totals are summed from the cache as the pass counted them:
    // apparent sizes of everything that is not a folder, each hard-linked file once (where it is
    // met first), nothing below an unreadable folder (whose history is left as it was).
    // Folders below `key` known here but no longer in the cache are recorded as gone.
    void recordPass(FolderCache& cache, std::string_view key);

    // Makes the newest totals of `key` and of every folder below it their earlier state. Returns
    // the number of folders marked; -1 when no exact pass of `key` was recorded.
    std::int32_t mark(std::string_view key);

    // The state of folder `key`, compared with `currentBytes` (what is shown now) when given,
    // else with its newest total. A folder unknown here whose parent has an earlier state did
    // not exist then: added.
    Report report(std::string_view key, const std::uint64_t* currentBytes = nullptr) const;

    // Folders at or below `key` whose total differs from their earlier state, biggest change
    // first (then by path). False when neither `key` nor anything below it has an earlier
    // state.
    bool changes(std::string_view key, std::vector<Report>& out) const;

    // Folders below `key` that existed at their earlier state and are gone now, and what they
    // held then (a folder inside another that went away is counted, but its bytes only once).
    std::uint32_t removedBelow(std::string_view key, std::uint64_t& bytes) const;

    bool dirty() const { return m_dirty; }
    void setDirty(bool d) { m_dirty = d; }
    std::size_t size() const { return m_nodes.size() - m_free.size(); }

    // The stored form: magic, version, byte order, count, payload size, checksum, then one
    // record per folder in pre-order. deserialise accepts only a whole, sound file of this
    // version and replaces the history only then.
    void serialise(std::string& out) const;
    bool deserialise(std::string_view data);

private:
    struct Node {
        std::uint32_t parent;
        std::uint32_t firstChild;
        std::uint32_t nextSibling;
        std::uint32_t nameOffset;
        std::uint8_t nameLength;
        std::uint8_t has; // kHasEarlier | kHasWindow | kHasNewest
        std::uint16_t reserved;
        std::uint32_t time[3];
        std::uint64_t bytes[3];
    };
    enum : std::uint8_t { kEarlier = 0, kWindow = 1, kNewest = 2 };

    std::uint32_t newNode(std::string_view name, std::uint32_t parent);
    void freeSubtree(std::uint32_t index);
    std::string_view name(std::uint32_t index) const;
    std::string path(std::uint32_t index) const;
    std::uint32_t find(std::string_view key, bool create);
    std::uint32_t child(std::uint32_t parent, std::string_view name) const;
    void push(Node& n, std::uint32_t time, std::uint64_t bytes);
    Report reportOf(std::uint32_t index, const std::uint64_t* currentBytes) const;
    bool hasEarlier(std::uint32_t index) const { return (m_nodes[index].has >> kEarlier) & 1; }
    bool hasNewest(std::uint32_t index) const { return (m_nodes[index].has >> kNewest) & 1; }
    bool dead(const Node& n) const;
    void clear();

    std::vector<Node> m_nodes; // 0 is the root "/"
    std::vector<std::uint32_t> m_free;
    std::string m_names;
    bool m_dirty = false;
    std::uint64_t m_generation = 0; // counts changes of the tree's shape
    // The sub-folders of the folder reported on last, by name: a listing asks for each of them.
    mutable std::string m_lookupKey;
    mutable std::uint32_t m_lookupNode = kNoNode;
    mutable std::uint64_t m_lookupGeneration = ~std::uint64_t{0};
    mutable std::unordered_map<std::string_view, std::uint32_t> m_lookup;
};

} // namespace treescan

namespace treescan {

// True when `head`, the first bytes of a file of `size` bytes, may start a stored history.
bool historyHeaderFits(std::string_view head, std::uint64_t size);

// The scanner's history (owner thread): kept from the first loadHistory() on, which reads the
// stored one (a missing or unsound file leaves the one in memory); saveHistory() stores it when
// it changed and returns 0, or the errno of the failure (the stored file is then as it was).
FolderHistory& folderHistory();
void loadHistory();
int saveHistory();
// Records an exact pass over the cache's folder `key`, when the history is kept.
void recordExactPass(FolderCache& cache, const std::string& key);

} // namespace treescan
