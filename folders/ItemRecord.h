// An item of the folder shown, as the folder side knows it: its names, size, date, the scanner's
// attribute bits and which file it was. The 3D view's entry (graph/DataEntry.h) is one of these
// with the view's own state beside it; the details list and the commands on an item read only
// this part.
#pragma once

#include "folders/FileId.h"

#include <QByteArray>
#include <QString>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ketra {

// Attribute bit of a folder, as the scanner reports it.
inline constexpr std::int32_t kFolderAttribute = 16;

// How a folder's total compares with what it held at an earlier exact pass of the scanner.
// Files have no earlier state.
enum class ItemChange : std::uint8_t { Unknown, Same, Grown, Shrunk, New };

struct ItemRecord {
    // Earlier: no earlier state is known / the folder was not there at the earlier state.
    static constexpr double kNoEarlierState = -2;
    static constexpr double kNotThereEarlier = -1;

    QString Name;                  // item name as shown (no path); display text only
    QByteArray NameBytes;          // the name as the system knows it: what every path is made of
    double Size = 0;               // size in bytes, never logged
    QString Modified;              // last-modified text as the scanner gives it
    std::int32_t Attributes = 0;   // the scanner's attribute bits; kFolderAttribute marks a folder
    std::uint32_t EarlierTime = 0; // when the earlier state was taken (seconds since the epoch)
    FileId Id;                     // the file the item was when it was read
    // A folder's total at its earlier state in bytes, or one of the two values above. One number
    // an item: a list of a million items pays 8 bytes each for it (the time fills padding).
    double Earlier = kNoEarlierState;

    bool isFolder() const { return (Attributes & kFolderAttribute) != 0; }
    ItemChange change() const {
        if (Earlier == kNoEarlierState || !isFolder())
            return ItemChange::Unknown;
        if (Earlier == kNotThereEarlier)
            return ItemChange::New;
        return Size > Earlier ? ItemChange::Grown : Size < Earlier ? ItemChange::Shrunk : ItemChange::Same;
    }
    // The change of the total in bytes (a new folder's whole total; 0 when unknown).
    double changeBytes() const {
        const ItemChange c = change();
        return c == ItemChange::Unknown ? 0 : c == ItemChange::New ? Size : Size - Earlier;
    }
};

// A look at a vector of items, or of records that are items and more (the view's entries): it
// reads the vector as it is at each call (its size too), so it never holds a stale count. It owns
// nothing; the vector must outlive every call.
class ItemList {
public:
    ItemList() = default;
    ItemList(std::nullptr_t) {}
    template <std::derived_from<ItemRecord> T>
    ItemList(const std::vector<T>* items)
        : m_items(items), m_size([](const void* v) { return static_cast<const std::vector<T>*>(v)->size(); }),
          m_at([](const void* v, std::size_t i) -> const ItemRecord& {
              return (*static_cast<const std::vector<T>*>(v))[i];
          }) {}
    template <std::derived_from<ItemRecord> T> ItemList(const std::vector<T>& items) : ItemList(&items) {}

    explicit operator bool() const { return m_items != nullptr; }
    std::size_t size() const { return m_items ? m_size(m_items) : 0; }
    // Item `i` (below size()).
    const ItemRecord& operator[](std::size_t i) const { return m_at(m_items, i); }

private:
    const void* m_items = nullptr; // not owned
    std::size_t (*m_size)(const void*) = nullptr;
    const ItemRecord& (*m_at)(const void*, std::size_t) = nullptr;
};

} // namespace ketra
