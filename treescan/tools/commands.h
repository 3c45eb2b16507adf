#pragma once

#include <cstdint>
#include <cstdio>

namespace treescan_cmd {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kUnreadable = 1; // PATH can't be read (a message goes to stderr)
inline constexpr int kUsage = 2;

inline constexpr const char* usage =
    "usage:\n"
    "  treescan size [--cache] [--quick] PATH\n"
    "      <bytes>\\t<files>\\t<folders>\\t<PATH> for everything below PATH\n"
    "      --cache: start from the folder cache (and store it); the answer is still exact, as\n"
    "      every folder is read again behind the cached answer. --quick: print the cached\n"
    "      answer at once, which may be stale (a file that grew in place, a new hard link)\n"
    "  treescan size --cache --mark PATH\n"
    "      as --cache, then make the totals found the earlier state that changes are told against\n"
    "  treescan size --changes PATH\n"
    "      as --cache, then <state>\\t<earlier bytes>\\t<new bytes>\\t<earlier time>\\t<folder> for\n"
    "      each folder at or below PATH whose total changed since its earlier state (the last exact\n"
    "      pass 12 hours or more before, or the one marked), biggest change first; state is grown,\n"
    "      shrunk, new or removed\n"
    "  treescan size --export FILE PATH\n"
    "      writes a scan of PATH to FILE (- for standard output) in the JSON export format that\n"
    "      ncdu and gdu read and write\n"
    "  treescan size --import FILE [PATH]\n"
    "      the size line of PATH (the scan's root when left out) in a scan that ncdu, gdu or\n"
    "      --export wrote\n"
    "  treescan list [--sort name|type|size|date] [--desc] [--sizes] [--hidden] [--system]\n"
    "                [--import FILE] PATH\n"
    "      <attributes>\\t<size>\\t<modified>\\t<name>, one line per item\n"
    "  treescan find PATH [--name S] [--text S] [--min BYTES] [--max BYTES] [--ignore-case]\n"
    "                [--hidden] [--count] [--import FILE]\n"
    "      <folder>/<name>\\t<size>, one line per file found, or only their count\n"
    "  treescan -h|--help\n"
    "      this text\n";

// Writes a name or path as one field of a line on `out`: backslash, tab, newline and other
// control bytes are escaped (\\, \t, \n, \xHH), so a line always keeps its fields.
void putField(const char* text, int32_t length, std::FILE* out = stdout);

// Says on stderr why the folder `path` could not be read: "treescan: PATH: <the system's
// reason>" (GetFolderError), PATH escaped as putField does. Returns kUnreadable.
int unreadable(const char* path);

// Each takes the arguments after the command word.
int size(int argc, char** argv);
int list(int argc, char** argv);
int find(int argc, char** argv);

} // namespace treescan_cmd
