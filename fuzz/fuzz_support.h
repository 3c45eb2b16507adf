// What the fuzz targets share: a scratch file that each input is written to, for readers that
// take a path, and a check that stops the run at a broken promise (libFuzzer saves the input).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A file of this process's own in the temporary folder, rewritten with each input. `suffix`
// ends its name. The last one written is removed when the run ends.
inline std::string WriteScratch(const std::string& suffix, const void* data, std::size_t size) {
    static std::string* last = nullptr;
    if (!last) {
        last = new std::string;
        std::atexit([] { std::remove(last->c_str()); });
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/ketra-fuzz-" +
                             std::to_string(static_cast<long>(getpid())) + suffix;
    *last = path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::fprintf(stderr, "fuzz: can't write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "fuzz: broken promise at %s:%d: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

} // namespace fuzz
