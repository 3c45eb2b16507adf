#include "HeapReserve.h"

#include <malloc.h>

#include <algorithm>
#include <mutex>

namespace platform {

void KeepHeapRoom(std::size_t bytes) {
    // Blocks below this come from the heap rather than being mapped and unmapped each time.
    constexpr std::size_t kLargestHeapBlock = std::size_t(32) << 20;
    // The allocator's trim threshold is an int.
    bytes = std::clamp(bytes, std::size_t(128) << 20, std::size_t(3) << 29);
    static std::mutex mutex;
    static std::size_t kept = 0;
    const std::lock_guard lock(mutex);
    if (bytes <= kept)
        return;
    kept = bytes;
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapBlock));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kept));
}

} // namespace platform
