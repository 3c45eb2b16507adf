// The files found by a search: append-only, readable while workers append.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace treescan {

class SearchResults {
public:
    struct Item {
        const std::string* folder; // shared by the files of one folder
        std::string name;
        double size;
    };

    // Number of items that may be read; an item, once counted, never moves or changes.
    int32_t count() const { return m_count.load(std::memory_order_acquire); }

    // Item `index`, or nullptr when it is not (yet) there. Any thread.
    const Item* at(int32_t index) const {
        if (index < 0 || index >= count())
            return nullptr;
        auto [segment, offset] = locate(static_cast<uint32_t>(index));
        return &m_segments[segment][offset];
    }

    // Keeps `folder` for the items of one folder. Writers only, at most once per folder.
    const std::string* addFolder(std::string_view folder) {
        std::lock_guard lock(m_mutex);
        return &m_folders.emplace_back(folder);
    }

    // Appends an item (any writer thread). Items past 2^31 - 1 are dropped.
    void append(const std::string* folder, std::string_view name, double size) {
        std::lock_guard lock(m_mutex);
        int32_t n = m_count.load(std::memory_order_relaxed);
        if (n == INT32_MAX)
            return;
        auto [segment, offset] = locate(static_cast<uint32_t>(n));
        if (!m_segments[segment])
            m_segments[segment] = std::make_unique<Item[]>(std::size_t{kFirst} << segment);
        Item& item = m_segments[segment][offset];
        item.folder = folder;
        item.name.assign(name);
        item.size = size;
        m_count.store(n + 1, std::memory_order_release);
    }

    // Empties the list. Only while no writer runs and no reader holds an item.
    void clear() {
        for (auto& s : m_segments)
            s.reset();
        m_folders.clear();
        m_count.store(0, std::memory_order_release);
    }

private:
    // Segment s holds kFirst << s items, so 22 segments cover every 32-bit index and a segment,
    // once made, never moves: readers need no lock.
    static constexpr uint32_t kFirstBits = 10;
    static constexpr uint32_t kFirst = 1u << kFirstBits;
    static constexpr std::size_t kSegments = 32 - kFirstBits;

    struct Place {
        std::size_t segment;
        std::size_t offset;
    };
    static Place locate(uint32_t index) {
        uint64_t j = uint64_t{index} + kFirst;
        auto segment = static_cast<std::size_t>(std::bit_width(j) - 1 - kFirstBits);
        return {segment, static_cast<std::size_t>(j - (uint64_t{kFirst} << segment))};
    }

    std::array<std::unique_ptr<Item[]>, kSegments> m_segments;
    std::deque<std::string> m_folders; // deque: elements never move as it grows
    std::mutex m_mutex;                // serialises writers
    std::atomic<int32_t> m_count{0};
};

} // namespace treescan
