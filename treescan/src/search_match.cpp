#include "search_match.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TREESCAN_X86 1
#endif

namespace treescan {

std::string foldText(std::string_view text) {
    std::string out(text);
    unsigned char prev = 0;
    for (auto& ch : out) {
        auto c = static_cast<unsigned char>(ch);
        ch = static_cast<char>(foldByte(prev, c));
        prev = c;
    }
    return out;
}

Pattern::Pattern(std::string_view needle, bool ignoreCase)
    : m_needle(ignoreCase ? foldText(needle) : std::string(needle)), m_ignoreCase(ignoreCase) {
    m_orMask = ignoreCase ? 0x20 : 0;
    if (!m_needle.empty()) {
        m_first = static_cast<unsigned char>(m_needle.front()) | m_orMask;
        m_last = static_cast<unsigned char>(m_needle.back()) | m_orMask;
    }
}

bool Pattern::matchesAt(const unsigned char* p) const {
    const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.data());
    const std::size_t m = m_needle.size();
    if (!m_ignoreCase)
        return std::memcmp(p, needle, m) == 0;
    // The first byte folds without context, as the needle's own first byte did.
    if (foldByte(0, p[0]) != needle[0])
        return false;
    for (std::size_t k = 1; k < m; ++k)
        if (foldByte(p[k - 1], p[k]) != needle[k])
            return false;
    return true;
}

namespace {

// The candidates are the positions whose first and last needle bytes agree (with bit 0x20 set
// on both sides when folding, which is a superset of every case variant of a letter); each
// candidate is then compared in full. This looks at every byte about twice, in wide registers.
// Each wide loop returns where it stopped (the rest is left to the byte loop), or npos when it
// found the needle.
constexpr std::size_t kFound = static_cast<std::size_t>(-1);

#ifdef TREESCAN_X86
bool cpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

__attribute__((target("avx2"))) std::size_t scanAvx2(const Pattern& pat, const unsigned char* data,
                                                     std::size_t lastStart, unsigned char firstByte,
                                                     unsigned char lastByte, unsigned char orByte) {
    const std::size_t m = pat.size();
    const __m256i first = _mm256_set1_epi8(static_cast<char>(firstByte));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(lastByte));
    const __m256i orMask = _mm256_set1_epi8(static_cast<char>(orByte));
    std::size_t i = 0;
    for (; i + 32 <= lastStart + 1; i += 32) {
        __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i)), orMask);
        __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + m - 1)), orMask);
        auto bits = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        while (bits != 0) {
            if (pat.matchesAt(data + i + static_cast<unsigned>(__builtin_ctz(bits))))
                return kFound;
            bits &= bits - 1;
        }
    }
    return i;
}
#endif

#ifdef __SSE2__
std::size_t scanSse2(const Pattern& pat, const unsigned char* data, std::size_t lastStart,
                     unsigned char firstByte, unsigned char lastByte, unsigned char orByte) {
    const std::size_t m = pat.size();
    const __m128i first = _mm_set1_epi8(static_cast<char>(firstByte));
    const __m128i last = _mm_set1_epi8(static_cast<char>(lastByte));
    const __m128i orMask = _mm_set1_epi8(static_cast<char>(orByte));
    std::size_t i = 0;
    for (; i + 16 <= lastStart + 1; i += 16) {
        __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), orMask);
        __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + m - 1)), orMask);
        auto bits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (bits != 0) {
            if (pat.matchesAt(data + i + static_cast<unsigned>(__builtin_ctz(bits))))
                return kFound;
            bits &= bits - 1;
        }
    }
    return i;
}
#endif

} // namespace

bool Pattern::foundIn(const unsigned char* data, std::size_t n) const {
    const std::size_t m = m_needle.size();
    if (m == 0)
        return true;
    if (n < m)
        return false;
    const std::size_t lastStart = n - m;
    std::size_t i = 0;
#ifdef TREESCAN_X86
    if (cpuHasAvx2())
        i = scanAvx2(*this, data, lastStart, m_first, m_last, m_orMask);
#ifdef __SSE2__
    else
        i = scanSse2(*this, data, lastStart, m_first, m_last, m_orMask);
#endif
#endif
    if (i == kFound)
        return true;
    for (; i <= lastStart; ++i)
        if ((data[i] | m_orMask) == m_first && (data[i + m - 1] | m_orMask) == m_last && matchesAt(data + i))
            return true;
    return false;
}

} // namespace treescan
