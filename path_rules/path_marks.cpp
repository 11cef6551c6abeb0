// The search for the bytes every path holds one of.
#include "path_marks.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Which of sixteen bytes are marks, a bit each.
unsigned marks_in(__m128i block)
{
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, _mm_set1_epi8(':')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\\')))));
}

__m128i block_at(const unsigned char *bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
}
#endif

} // namespace

size_t find_mark(const unsigned char *bytes, size_t length)
{
    // Where the compiler targets SSE2: sixteen bytes at a time, four such
    // blocks at a time while they last, and the last sixteen read again
    // rather than past the end. Four blocks of zeros, as most old bytes of a
    // field are, hold no mark and cost one test. Fewer than sixteen bytes go
    // one by one.
#if defined(__SSE2__)
    constexpr size_t LANES = sizeof(__m128i);
    constexpr unsigned ALL_LANES = (1u << LANES) - 1;
    if (length >= LANES) {
        size_t at = 0;
        for (; length - at >= 4 * LANES; at += 4 * LANES) {
            __m128i first = block_at(bytes + at);
            __m128i second = block_at(bytes + at + LANES);
            __m128i third = block_at(bytes + at + 2 * LANES);
            __m128i fourth = block_at(bytes + at + 3 * LANES);
            __m128i any = _mm_or_si128(_mm_or_si128(first, second), _mm_or_si128(third, fourth));
            if (static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128()))) == ALL_LANES)
                continue;
            if ((marks_in(first) | marks_in(second) | marks_in(third) | marks_in(fourth)) != 0)
                break;
        }
        for (;; at += LANES) {
            at = std::min(at, length - LANES);
            unsigned marks = marks_in(block_at(bytes + at));
            if (marks != 0)
                return at + static_cast<size_t>(__builtin_ctz(marks));
            if (at == length - LANES)
                return length;
        }
    }
#endif
    for (size_t at = 0; at < length; ++at) {
        if (bytes[at] == ':' || bytes[at] == '\\')
            return at;
    }
    return length;
}
