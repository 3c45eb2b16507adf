// How the heap keeps its room while a large scene is built and drawn. Building the scene of many
// items allocates a few hundred megabytes in small pieces, and the software rasteriser takes and
// frees blocks of several megabytes on every frame. By default the allocator maps each such block
// anew and hands freed room at the heap's top straight back, so every frame pays page faults for
// memory it had a moment before.
//
// The room is not asked for on huge pages. Each huge page is cleared whole (2 MiB) when first
// touched, and on a virtual machine whose host takes freed memory back (free page reporting) it is
// fresh host memory every time: marked for huge pages, a folder of 100,000 items took twice as
// long to its first picture, and the first frame of 10,000 items took 160 to 470 ms from one run
// to the next.
#pragma once

#include <cstddef>

namespace platform {

// From the first call on, blocks up to 32 MiB come from the heap, and the heap keeps up to `bytes`
// of freed room (at least 128 MiB, at most 1.5 GiB) rather than giving it back at once; a smaller
// `bytes` than an earlier call's changes nothing. Any thread.
void KeepHeapRoom(std::size_t bytes);

} // namespace platform
