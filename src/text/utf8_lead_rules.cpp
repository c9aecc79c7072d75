#include "text/utf8_lead_rules.h"

#include <algorithm>

#include "text/ascii_run.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {
namespace {

bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// How many bytes after it the sequence a byte starts reaches (0 for ASCII, a continuation
// byte, FE and FF).
std::size_t reach(std::uint8_t b) {
  return b >= 0xFE ? 0 : b >= 0xFC ? 5 : b >= 0xF8 ? 4 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
}

// The neighbour test of bytes [from, to): each is a continuation byte exactly when a byte at
// most five before it (not before p) starts a sequence that reaches it, and none is FE or FF.
bool neighboursAgree(const std::uint8_t* p, std::size_t from, std::size_t to) {
  for (std::size_t j = from; j < to; ++j) {
    if (p[j] >= 0xFE) return false;
    bool reached = false;
    for (std::size_t k = 1; k <= std::min<std::size_t>(5, j); ++k) reached = reached || reach(p[j - k]) >= k;
    if (isContinuation(p[j]) != reached) return false;
  }
  return true;
}

#if defined(__SSE2__)
// Bytes of x at or above t (unsigned), as 0xFF.
__m128i atLeast(__m128i x, std::uint8_t t) {
  return _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(static_cast<char>(t))), x);
}
__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

}  // namespace

bool followsUtf8LeadRulesByBytes(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = asciiRunEnd(p, 0, n); i < n; i = asciiRunEnd(p, i, n)) {
    // The sequences up to the next ASCII byte.
    do {
      const std::size_t length = reach(p[i]) + 1;
      if (length == 1) return false;  // a continuation byte without its lead, or FE / FF
      const std::size_t end = std::min(n, i + length);
      for (std::size_t k = i + 1; k < end; ++k) {
        if (!isContinuation(p[k])) return false;
      }
      i = end;
    } while (i < n && p[i] >= 0x80);
  }
  return true;
}

#if defined(__SSE2__)
bool followsUtf8LeadRulesBySse2(const std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  if (n < 2 * kBlock) return followsUtf8LeadRulesByBytes(p, n);
  // The first block alone, so that every block after it can look five bytes back.
  if (!neighboursAgree(p, 0, kBlock)) return false;
  const __m128i continuationBelow = _mm_set1_epi8(-64);  // 80-BF are the signed bytes below C0
  std::size_t i = kBlock;
  for (; n - i >= kBlock; i += kBlock) {
    const __m128i bytes = load(p + i);
    const __m128i continuation = _mm_cmplt_epi8(bytes, continuationBelow);
    const __m128i reached =
        _mm_or_si128(_mm_or_si128(_mm_or_si128(atLeast(load(p + i - 1), 0xC0), atLeast(load(p + i - 2), 0xE0)),
                                  _mm_or_si128(atLeast(load(p + i - 3), 0xF0), atLeast(load(p + i - 4), 0xF8))),
                     atLeast(load(p + i - 5), 0xFC));
    const __m128i broken = _mm_or_si128(_mm_xor_si128(continuation, reached), atLeast(bytes, 0xFE));
    // Checked every block: a text in another encoding usually fails within its first characters.
    if (_mm_movemask_epi8(broken) != 0) return false;
  }
  return neighboursAgree(p, i, n);
}
#endif

}  // namespace sarnavel
