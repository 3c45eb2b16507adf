// Output fields shared by the commands.
#include "commands.h"

#include "treescan.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace treescan_cmd {

// Every byte other than those escaped, valid UTF-8 or not, is written as it is.
void putField(const char* name, int32_t length, std::FILE* file) {
    std::string out;
    out.reserve(static_cast<std::size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    std::fwrite(out.data(), 1, out.size(), file);
}

int unreadable(const char* path) {
    const int32_t error = GetFolderError();
    std::fputs("treescan: ", stderr);
    putField(path, static_cast<int32_t>(std::strlen(path)), stderr);
    std::fprintf(stderr, ": %s\n", error != 0 ? std::strerror(error) : "cannot be read");
    return kUnreadable;
}

} // namespace treescan_cmd
