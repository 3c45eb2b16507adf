// Substring matching for the search: file names and file contents, with or without letter case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace treescan {

// Folds one byte for case-insensitive comparison, given the byte before it (0 at the start):
// ASCII capitals become small letters, and the capital Latin-1 letters encoded in UTF-8
// (U+00C0..U+00DE but U+00D7, "\xC3\x80".."\xC3\x9E") become their small forms, whose second
// byte is 0x20 higher. Folding keeps the length, so a folded text lines up with the original.
inline unsigned char foldByte(unsigned char prev, unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 0x20);
    if (prev == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97)
        return static_cast<unsigned char>(c + 0x20);
    return c;
}

// Folds a whole text (see foldByte).
std::string foldText(std::string_view text);

// A needle to look for in blocks of bytes. Immutable once built, so worker threads share one.
class Pattern {
public:
    Pattern() = default;
    Pattern(std::string_view needle, bool ignoreCase);

    bool empty() const { return m_needle.empty(); }
    std::size_t size() const { return m_needle.size(); }
    bool ignoreCase() const { return m_ignoreCase; }

    // True when data[0..n) contains the needle.
    bool foundIn(const unsigned char* data, std::size_t n) const;
    bool foundIn(std::string_view text) const {
        return foundIn(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }

    // True when the size() bytes at p are the needle (folded when ignoring case).
    bool matchesAt(const unsigned char* p) const;

private:
    std::string m_needle; // folded when ignoring case
    bool m_ignoreCase = false;
    unsigned char m_first = 0, m_last = 0; // first and last byte of the needle, | 0x20 when folding
    unsigned char m_orMask = 0;            // 0x20 when folding, else 0
};

} // namespace treescan
