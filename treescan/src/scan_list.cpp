#include "scan_list.h"

#include "treescan.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace treescan {

namespace {

unsigned char lowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

int compareBytes(std::string_view a, std::string_view b) {
    int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0)
        return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int compareFolded(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = lowerAscii(static_cast<unsigned char>(a[i]));
        unsigned char y = lowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

std::uint32_t attributesOf(std::string_view name, const struct stat& st, const struct stat* target) {
    std::uint32_t a = 0;
    if (!name.empty() && name[0] == '.')
        a |= TREESCAN_HIDDEN;
    const mode_t mode = st.st_mode;
    if (S_ISDIR(mode)) {
        a |= TREESCAN_FOLDER;
    } else if (S_ISREG(mode)) {
        a |= TREESCAN_ARCHIVE;
    } else if (S_ISLNK(mode)) {
        a |= TREESCAN_LINK;
        if (target != nullptr && S_ISDIR(target->st_mode))
            a |= TREESCAN_FOLDER;
        else if (target != nullptr && S_ISREG(target->st_mode))
            a |= TREESCAN_ARCHIVE;
    } else {
        a |= TREESCAN_SYSTEM; // device, FIFO or socket
    }
    return a;
}

int compareNames(std::string_view a, std::string_view b) {
    int c = compareFolded(a, b);
    return c != 0 ? c : compareBytes(a, b);
}

std::string_view extensionOf(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

namespace {

// Whether `a` (compared by size `sa`) goes before `b` (size `sb`) in the order `key`.
bool goesBefore(const ListedItem& a, std::int64_t sa, const ListedItem& b, std::int64_t sb, int key,
                bool ascending) {
    bool fa = (a.attribs & TREESCAN_FOLDER) != 0, fb = (b.attribs & TREESCAN_FOLDER) != 0;
    if (fa != fb)
        return fa;
    int c = 0;
    switch (key) {
    case TREESCAN_SORT_TYPE:
        c = compareFolded(extensionOf(a.name), extensionOf(b.name));
        break;
    case TREESCAN_SORT_SIZE:
        c = sa < sb ? -1 : sa > sb ? 1 : 0;
        break;
    case TREESCAN_SORT_DATE:
        c = a.mtimeSec != b.mtimeSec     ? (a.mtimeSec < b.mtimeSec ? -1 : 1)
            : a.mtimeNsec != b.mtimeNsec ? (a.mtimeNsec < b.mtimeNsec ? -1 : 1)
                                         : 0;
        break;
    default:
        break;
    }
    if (c == 0)
        c = compareNames(a.name, b.name);
    return ascending ? c < 0 : c > 0;
}

} // namespace

void sortItems(std::vector<ListedItem>& items, int key, bool ascending) {
    std::sort(items.begin(), items.end(), [&](const ListedItem& a, const ListedItem& b) {
        return goesBefore(a, a.size, b, b.size, key, ascending);
    });
}

std::vector<std::uint32_t> sortedOrder(const std::vector<ListedItem>& items,
                                       const std::vector<std::int64_t>& sizes, int key, bool ascending) {
    std::vector<std::uint32_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return goesBefore(items[a], sizes[a], items[b], sizes[b], key, ascending);
    });
    return order;
}

std::string formatTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    struct tm tm {};
    if (localtime_r(&t, &tm) == nullptr)
        return "0000-00-00 00:00:00";
    char buf[64];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(buf, n);
}

} // namespace treescan
