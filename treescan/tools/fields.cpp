// Output fields shared by the commands.
#include "commands.h"

#include <cstdio>
#include <string>

namespace treescan_cmd {

// Every byte other than those escaped, valid UTF-8 or not, is written as it is.
void putField(const char* name, int32_t length) {
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
    std::fwrite(out.data(), 1, out.size(), stdout);
}

} // namespace treescan_cmd
