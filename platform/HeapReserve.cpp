#include "HeapReserve.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Blocks below the allocator's largest mmap threshold (32 MiB), so that they come from the heap.
constexpr std::size_t kBlock = std::size_t(16) << 20;

bool onRequest() {
    static const bool answer = [] {
        char text[128] = {};
        if (FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re")) {
            text[std::fread(text, 1, sizeof text - 1, f)] = 0;
            std::fclose(f);
        }
        return HugePagesOnRequest(text);
    }();
    return answer;
}

} // namespace

bool HugePagesOnRequest(std::string_view mode) {
    return mode.find("[madvise]") != std::string_view::npos;
}

std::size_t ReserveHugePageHeap(std::size_t bytes) {
    // The allocator's trim threshold is an int: reserves stop at 1.5 GiB.
    bytes = std::min(bytes, (std::size_t(3) << 29));
    // Blocks up to 32 MiB from the heap rather than mapped and unmapped each time (the software
    // rasteriser takes and frees large blocks on every frame); and freed room kept up to the
    // reserve (at least 128 MiB), else the frees below would hand it straight back.
    static std::size_t kept = 0;
    if (kept == 0 || bytes + kBlock > kept) {
        kept = std::max(bytes + kBlock, std::size_t(128) << 20);
        mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kBlock));
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(kept));
    }
    if (bytes < kHugePage || !onRequest())
        return 0;
    std::vector<std::uintptr_t> blocks;
    blocks.reserve(bytes / kBlock + 1);
    for (std::size_t taken = 0; taken < bytes; taken += kBlock) {
        void* block = std::malloc(kBlock);
        if (!block)
            break;
        blocks.push_back(reinterpret_cast<std::uintptr_t>(block));
    }
    std::sort(blocks.begin(), blocks.end());
    // Runs of blocks that follow each other on the heap (a header apart) are marked as one span:
    // the whole huge pages inside it. Untouched so far, they are made huge when first used.
    std::size_t marked = 0;
    for (std::size_t i = 0; i < blocks.size();) {
        std::size_t j = i + 1;
        while (j < blocks.size() && blocks[j] - blocks[j - 1] <= kBlock + 64)
            ++j;
        const std::uintptr_t start = (blocks[i] + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t end = (blocks[j - 1] + kBlock) & ~(kHugePage - 1);
        if (end > start && madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0)
            marked += end - start;
        i = j;
    }
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
        std::free(reinterpret_cast<void*>(*it));
    return marked;
}

} // namespace platform
