#include "text/line_breaks.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {
namespace {

#if defined(__SSE2__)
// The sum of the 16 byte lanes.
std::size_t laneSum(__m128i counts) {
  const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
  return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}
#endif

}  // namespace

LineBreakCounts countLineBreaks(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t lf = 0, cr = 0, crlf = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Each lane counts the LFs, CRs and CR+LF pairs (an LF whose byte before is a CR) that fell
  // in it, up to 255 blocks at a time; the byte before a block is read with an unaligned load.
  if (n >= 17) {
    const __m128i lfs = _mm_set1_epi8('\n'), crs = _mm_set1_epi8('\r');
    // The first byte is counted below, so every block has a byte before it.
    i = 1;
    // Most texts hold no CR at all: rounds are counted for LFs alone, CRs only noticed, until a
    // round holds one; that round and all after it are counted in full. A CR in the first byte
    // (before the first block) may pair with an LF in it.
    bool crSeen = p[0] == '\r';
    while (n - i >= 16) {
      // The number of blocks is fixed before the loop, which then keeps nothing but the
      // counts and one pointer in registers.
      const std::size_t blocks = std::min<std::size_t>((n - i) / 16, 255);
      const unsigned char* q = p + i;
      if (!crSeen) {
        __m128i lfCount = _mm_setzero_si128(), crAny = _mm_setzero_si128();
        const unsigned char* const stop = q + 16 * blocks;
        // Two blocks a turn: the loop's own count and test are paid half as often.
        for (; stop - q >= 32; q += 32) {
          const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
          const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16));
          lfCount = _mm_sub_epi8(_mm_sub_epi8(lfCount, _mm_cmpeq_epi8(block, lfs)), _mm_cmpeq_epi8(next, lfs));
          crAny = _mm_or_si128(crAny, _mm_or_si128(_mm_cmpeq_epi8(block, crs), _mm_cmpeq_epi8(next, crs)));
        }
        if (q != stop) {
          const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
          lfCount = _mm_sub_epi8(lfCount, _mm_cmpeq_epi8(block, lfs));
          crAny = _mm_or_si128(crAny, _mm_cmpeq_epi8(block, crs));
        }
        if (_mm_movemask_epi8(crAny) == 0) {
          i += 16 * blocks;
          lf += laneSum(lfCount);
          continue;
        }
        crSeen = true;
        q = p + i;
      }
      __m128i lfCount = _mm_setzero_si128(), crCount = _mm_setzero_si128(), pairCount = _mm_setzero_si128();
      for (const unsigned char* const stop = q + 16 * blocks; q != stop; q += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 1));
        const __m128i isLf = _mm_cmpeq_epi8(block, lfs);
        lfCount = _mm_sub_epi8(lfCount, isLf);
        crCount = _mm_sub_epi8(crCount, _mm_cmpeq_epi8(block, crs));
        pairCount = _mm_sub_epi8(pairCount, _mm_and_si128(isLf, _mm_cmpeq_epi8(before, crs)));
      }
      i += 16 * blocks;
      lf += laneSum(lfCount);
      cr += laneSum(crCount);
      crlf += laneSum(pairCount);
    }
    // The first byte: a break of its own (an LF there has no CR before it).
    if (p[0] == '\n') ++lf;
    if (p[0] == '\r') ++cr;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == '\n') {
      ++lf;
      if (i > 0 && p[i - 1] == '\r') ++crlf;
    } else if (p[i] == '\r') {
      ++cr;
    }
  }
  return {crlf, lf - crlf, cr - crlf};  // the members of each pair were counted as CR and LF too
}

}  // namespace sarnavel
