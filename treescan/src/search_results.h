// The files found by a search: append-only, readable while workers append.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace treescan {

// A list that writers append to (serialised by a lock) while readers read what was counted,
// without a lock: segment s holds 1024 << s items, so an item never moves once made.
template <class T> class AppendOnly {
public:
    // Number of items that may be read; an item, once counted, never moves or changes.
    std::uint32_t count() const { return m_count.load(std::memory_order_acquire); }

    // Item `index`, or nullptr when it is not (yet) there. Any thread.
    const T* at(std::uint32_t index) const {
        if (index >= count())
            return nullptr;
        auto [segment, offset] = locate(index);
        return &m_segments[segment][offset];
    }

    // Appends `item` and returns its index; nothing past 2^31 - 1 items (returns kFull). Writers.
    static constexpr std::uint32_t kFull = 0x7FFFFFFFu;
    std::uint32_t append(T item) {
        std::lock_guard lock(m_mutex);
        std::uint32_t n = m_count.load(std::memory_order_relaxed);
        if (n == kFull)
            return kFull;
        auto [segment, offset] = locate(n);
        if (!m_segments[segment])
            m_segments[segment] = std::make_unique<T[]>(std::size_t{kFirst} << segment);
        m_segments[segment][offset] = std::move(item);
        m_count.store(n + 1, std::memory_order_release);
        return n;
    }

private:
    static constexpr std::uint32_t kFirstBits = 10;
    static constexpr std::uint32_t kFirst = 1u << kFirstBits;
    static constexpr std::size_t kSegments = 32 - kFirstBits;

    struct Place {
        std::size_t segment;
        std::size_t offset;
    };
    static Place locate(std::uint32_t index) {
        std::uint64_t j = std::uint64_t{index} + kFirst;
        auto segment = static_cast<std::size_t>(std::bit_width(j) - 1 - kFirstBits);
        return {segment, static_cast<std::size_t>(j - (std::uint64_t{kFirst} << segment))};
    }

    std::array<std::unique_ptr<T[]>, kSegments> m_segments;
    std::mutex m_mutex;
    std::atomic<std::uint32_t> m_count{0};
};

// Folders are kept as (parent, name), so a tree thousands of folders deep costs its names once;
// a folder's path is built only when it is asked for.
struct SearchResults {
    static constexpr std::uint32_t kNoFolder = 0xFFFFFFFFu;
    struct Folder {
        std::uint32_t parent; // kNoFolder for the searched folder, whose name is its path
        std::string name;
    };
    struct Item {
        std::uint32_t folder;
        std::string name;
        double size;
    };
    AppendOnly<Folder> folders;
    AppendOnly<Item> items;

    std::int32_t count() const { return static_cast<std::int32_t>(items.count()); }
    const Item* at(std::int32_t index) const {
        return index < 0 ? nullptr : items.at(static_cast<std::uint32_t>(index));
    }

    // The path of `folder`: the searched folder, "/" and the names below it.
    std::string path(std::uint32_t folder) const {
        std::vector<const Folder*> chain;
        for (std::uint32_t f = folder; f != kNoFolder; f = folders.at(f)->parent)
            chain.push_back(folders.at(f));
        std::string out;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!out.empty() && out.back() != '/')
                out += '/';
            out += (*it)->name;
        }
        return out;
    }
};

} // namespace treescan
