// Scans in the export format of ncdu and gdu: any bytes as a scan file. A scan that is accepted
// must hold a sound tree (every folder's entries inside it, the root a folder) that its own paths
// lead back into; one that is refused must say why, naming the file.
#include "fuzz_support.h"
#include "scan_import.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    treescan::ScanTree scan;
    std::string error;
    if (!treescan::parseScan(input, "scan.json", scan, error)) {
        FUZZ_CHECK(error.rfind("scan.json: ", 0) == 0);
        return 0;
    }
    const auto count = static_cast<std::uint32_t>(scan.entries.size());
    FUZZ_CHECK(count > 0 && scan.entries[0].kind == treescan::ScanEntry::folder &&
               scan.entries[0].end == count);
    std::vector<std::uint32_t> open; // ends of the folders around entry i
    for (std::uint32_t i = 0; i < count; ++i) {
        const treescan::ScanEntry& e = scan.entries[i];
        while (!open.empty() && i >= open.back())
            open.pop_back();
        FUZZ_CHECK(e.end > i && e.end <= count && (open.empty() || e.end <= open.back()));
        FUZZ_CHECK(e.kind == treescan::ScanEntry::folder || e.end == i + 1);
        FUZZ_CHECK(std::size_t{e.nameOffset} + e.nameLength <= scan.names.size() && e.nameLength > 0);
        FUZZ_CHECK(e.link == ~std::uint32_t{0} || e.link < scan.links);
        if (e.kind == treescan::ScanEntry::folder)
            open.push_back(e.end);
    }
    FUZZ_CHECK(treescan::findScanFolder(scan, scan.name(0)) == 0);
    // The first sub-folder is found by its path.
    for (std::uint32_t i = 1; i < count && i < scan.entries[0].end; i = scan.entries[i].end)
        if (scan.entries[i].kind == treescan::ScanEntry::folder && scan.entries[i].end > i + 1) {
            const std::string path = std::string(scan.name(0)) + "/" + std::string(scan.name(i));
            const std::uint32_t found = treescan::findScanFolder(scan, path);
            FUZZ_CHECK(found != ~std::uint32_t{0} && scan.name(found) == scan.name(i));
            break;
        }
    return 0;
}
