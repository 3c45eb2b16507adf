// How soon a folder-size pass answers Stop: starts the pass over FOLDER as the window does
// (SetFolder with folder sizes on, NextTree between waits for progress), lets it run AFTER ms,
// then calls ResetFileTree and times until NextTree returns 0 (by then every worker of the pass
// has ended or been let go). Run it right after dropping the page cache for the cold figure.
//
//   treescan_stop_bench [--after MS] FOLDER
//   -> stop_ms=<ms from ResetFileTree to NextTree's 0> ran_ms=<ms the pass had run> ended=<0|1>
#include "treescan.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    long after = 1000;
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--after") == 0 && i + 1 < argc)
            after = std::strtol(argv[++i], nullptr, 10);
        else
            folder = argv[i];
    }
    if (folder == nullptr) {
        std::fprintf(stderr, "usage: treescan_stop_bench [--after MS] FOLDER\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    IncludeHidden(1);
    IncludeSystem(1);
    IncludeFolderSize(1);
    WaitForTree(0);
    const auto begin = Clock::now();
    if (SetFolder(folder) < 0) {
        std::fprintf(stderr, "treescan_stop_bench: cannot read folder \"%s\"\n", folder);
        return 1;
    }
    // The window's loop: a look at the pass whenever there is news, at least every 10 ms.
    int32_t r = 2;
    while (r != 0 && Clock::now() - begin < std::chrono::milliseconds(after))
        if ((r = NextTree()) == 2)
            WaitForProgress(10);
    const bool ended = r == 0;
    const auto stop = Clock::now();
    ResetFileTree();
    while (NextTree() != 0)
        WaitForProgress(10);
    const auto done = Clock::now();
    std::printf("stop_ms=%.1f ran_ms=%.0f ended=%d\n", ms(done - stop), ms(stop - begin), ended ? 1 : 0);
    return 0;
}
