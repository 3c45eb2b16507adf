// treescan: the scanning library's command, for scripting and benchmarks.
// It calls only the library's C interface.
#include "commands.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2) {
        const char* cmd = argv[1];
        if (std::strcmp(cmd, "size") == 0)
            return treescan_cmd::size(argc - 2, argv + 2);
        if (std::strcmp(cmd, "list") == 0)
            return treescan_cmd::list(argc - 2, argv + 2);
        if (std::strcmp(cmd, "find") == 0)
            return treescan_cmd::find(argc - 2, argv + 2);
        if (std::strcmp(cmd, "--help") == 0 || std::strcmp(cmd, "-h") == 0) {
            std::fputs(treescan_cmd::usage, stdout);
            return treescan_cmd::kOk;
        }
    }
    std::fputs(treescan_cmd::usage, stderr);
    return treescan_cmd::kUsage;
}
