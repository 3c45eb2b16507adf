// The scanner's folder-cache file and the history beside it: any bytes as a stored cache (and
// history), and any bytes as the payload of one with a sound header and checksum, so that the
// records themselves are reached. What is accepted must store and read back to the same bytes.
#include "cache.h"
#include "cache_history.h"
#include "fuzz_support.h"

#include <cstring>
#include <string>

namespace {

// The stored form's header: magic (8 bytes), version, byte order (4 each), record count, payload
// size, payload checksum (8 each). The first 16 bytes are taken from what the cache itself writes.
template <class Stored> std::string soundHeader(std::uint64_t count, std::string_view payload) {
    static const std::string start = [] { // made once: a cache is a megabyte of tables
        std::string empty;
        Stored().serialise(empty);
        return empty.substr(0, 16);
    }();
    std::string header = start;
    const std::uint64_t size = payload.size(), sum = treescan::cacheChecksum(payload);
    header.append(reinterpret_cast<const char*>(&count), 8);
    header.append(reinterpret_cast<const char*>(&size), 8);
    header.append(reinterpret_cast<const char*>(&sum), 8);
    return header;
}

void historyRoundTrip(std::string_view stored) {
    treescan::FolderHistory history;
    if (!history.deserialise(stored))
        return;
    std::string again, third;
    history.serialise(again);
    treescan::FolderHistory second;
    FUZZ_CHECK(second.deserialise(again));
    second.serialise(third);
    FUZZ_CHECK(third == again);
    std::vector<treescan::FolderHistory::Report> changes;
    std::uint64_t bytes = 0;
    second.changes("/", changes);
    second.removedBelow("/", bytes);
    second.mark("/");
}

void roundTrip(std::string_view stored) {
    treescan::FolderCache cache;
    if (!cache.deserialise(stored))
        return;
    std::string again;
    cache.serialise(again);
    treescan::FolderCache second;
    FUZZ_CHECK(second.deserialise(again));
    std::string third;
    second.serialise(third);
    FUZZ_CHECK(third == again);
    for (std::uint32_t i = 0; i < 64 && i < cache.readCount(); ++i)
        FUZZ_CHECK(cache.find(cache.path(i), false) != treescan::kNoNode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    roundTrip(input);
    if (size >= 2) {
        // The first two bytes give the record count; the rest is the payload.
        const std::uint64_t count = data[0] | (std::uint64_t{data[1]} << 8);
        const std::string_view payload = input.substr(2);
        roundTrip(soundHeader<treescan::FolderCache>(count, payload) + std::string(payload));
        historyRoundTrip(input);
        historyRoundTrip(soundHeader<treescan::FolderHistory>(count, payload) + std::string(payload));
    }
    return 0;
}
