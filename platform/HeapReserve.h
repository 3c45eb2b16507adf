// Room on the heap, asked for before a large scene is built, backed by huge pages where the
// kernel gives them on request. Building a scene of many items allocates a few hundred megabytes
// in small pieces; with 4 KiB pages each page costs a fault of its own when first touched, and on
// a virtual machine those faults were most of the build's time and most of its spread between
// runs. A reserve is heap memory taken and given back at once (so it costs nothing until
// used), marked for huge pages and kept by the allocator for the pieces that follow.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// Whether huge pages come only on request: `mode` is the text of
// /sys/kernel/mm/transparent_hugepage/enabled, the chosen mode in brackets ("always" needs no
// request, "never" grants none).
bool HugePagesOnRequest(std::string_view mode);

// Makes the heap's free room at least `bytes` long (up to 1.5 GiB) and marks it for huge pages;
// returns the bytes so marked (0 where huge pages are not given on request). From the first call
// on, blocks up to 32 MiB come from the heap and it keeps freed memory up to the largest reserve
// (at least 128 MiB) rather than giving it back at once. Main thread, outside of any drawing.
std::size_t ReserveHugePageHeap(std::size_t bytes);

} // namespace platform
