// Listing a folder: the items SetFolder reports, their attribute bits and their order.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace treescan {

struct ListedItem {
    std::string name;
    std::int64_t size = 0;     // st_size (lstat: a link's own size)
    std::int64_t mtimeSec = 0; // modification time: seconds since the epoch, and ns
    std::int64_t mtimeNsec = 0;
    std::uint32_t attribs = 0;
    std::uint64_t device = 0; // st_dev and st_ino of the entry itself (lstat)
    std::uint64_t inode = 0;
};

// Attribute bits of an entry from its lstat `st` (and, for a link, `target`, the stat of what it
// points to, or nullptr when it dangles). The read-only bit is the caller's (it needs access()).
std::uint32_t attributesOf(std::string_view name, const struct stat& st, const struct stat* target);

// Case-insensitive (ASCII) comparison, then bytes as a tie-break: <0, 0, >0.
int compareNames(std::string_view a, std::string_view b);

// The extension used by the type order: what follows the last "." that is not the first
// character ("" for "Makefile" and ".bashrc").
std::string_view extensionOf(std::string_view name);

// Puts `v` (one value per listed item, or none) in the order `order` (new position -> old), in
// place: each value moves once, along the cycles of the order.
template <class T> void permute(std::vector<T>& v, std::vector<std::uint32_t> order) {
    if (v.size() != order.size())
        return;
    // A place filled points at itself.
    for (std::size_t first = 0; first < order.size(); ++first) {
        if (order[first] == first)
            continue;
        T held = std::move(v[first]);
        std::size_t place = first;
        while (order[place] != first) {
            const std::size_t from = order[place];
            v[place] = std::move(v[from]);
            order[place] = static_cast<std::uint32_t>(place);
            place = from;
        }
        v[place] = std::move(held);
        order[place] = static_cast<std::uint32_t>(place);
    }
}

// Folders first, then files; each group by `key` (TREESCAN_SORT_*), ties by name; descending
// reverses each group.
void sortItems(std::vector<ListedItem>& items, int key, bool ascending);

// The order sortItems gives, as a permutation of the indexes of `items`, comparing `sizes[i]`
// (one per item) in place of each item's own size: folders by their totals.
std::vector<std::uint32_t> sortedOrder(const std::vector<ListedItem>& items,
                                       const std::vector<std::int64_t>& sizes, int key, bool ascending);

// Lists the folder `path` into `items` (replacing what it held; unsorted), leaving out hidden and
// system items unless asked. Returns 0, or the errno that made it fail (EINTR when `stop` was
// raised). The names are read first; looking at each entry (its lstat, a link's target, whether
// it may be written) is then shared among a few threads when the folder is large: on a warm cache
// that is processor time in the kernel, which each core takes a share of, and on a cold one it
// keeps more reads of the disk in flight.
int listEntries(const std::string& path, bool showHidden, bool showSystem, const std::atomic<bool>* stop,
                std::vector<ListedItem>& items);

// Local time "YYYY-MM-DD HH:MM:SS" of `seconds` since the epoch, written to `out`; returns its
// length. A folder's listing asks this of every item, so it writes the digits itself.
inline constexpr std::size_t kTimeTextBytes = 64;
std::size_t formatTime(std::int64_t seconds, char (&out)[kTimeTextBytes]);

} // namespace treescan
