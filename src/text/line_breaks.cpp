#include "text/line_breaks.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {

LineBreakCounts countLineBreaks(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t lf = 0, cr = 0, crlf = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Per block: the LF and CR positions as bit masks; a CR+LF is a CR bit followed by an LF bit,
  // across the block boundary too (carried in previousCr).
  const __m128i lfs = _mm_set1_epi8('\n'), crs = _mm_set1_epi8('\r');
  unsigned previousCr = 0;
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const unsigned lfMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lfs)));
    const unsigned crMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, crs)));
    if ((lfMask | crMask) == 0) {
      previousCr = 0;
      continue;
    }
    lf += static_cast<std::size_t>(std::popcount(lfMask));
    cr += static_cast<std::size_t>(std::popcount(crMask));
    crlf += static_cast<std::size_t>(std::popcount(((crMask << 1) | previousCr) & lfMask));
    previousCr = crMask >> 15;
  }
  if (previousCr != 0 && i < n && p[i] == '\n') {  // the CR ended the last block
    ++crlf;
    ++lf;
    ++i;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == '\n') {
      ++lf;
    } else if (p[i] == '\r') {
      ++cr;
      if (i + 1 < n && p[i + 1] == '\n') {
        ++crlf;
        ++lf;
        ++i;
      }
    }
  }
  return {crlf, lf - crlf, cr - crlf};  // the members of each pair were counted as CR and LF too
}

}  // namespace sarnavel
