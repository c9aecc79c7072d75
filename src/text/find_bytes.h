// Finding a string of bytes in a text: the search for a word that may stand anywhere in a page
// ("document.write", "-->").
//
// std::string_view::find looks for the needle's first byte with memchr and compares at every
// hit, which on a page full of that byte ('d', '-') costs a call per hit. With SSE2, which every
// x86-64 processor has, findBytes instead looks at 16 starts at a time for the needle's first
// byte together with its last byte where it would end, and compares the whole needle only where
// both stand: in text such a pair is rare. Elsewhere it is the standard search. Both are exposed
// so that each can be tested on any machine. Pure functions, callable from any thread.
//
// Contract: the offset of the first occurrence of `needle` at or after `from`, or npos; the same
// answer as std::string_view::find. Never reads outside the text.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {

inline std::size_t findBytesPlain(std::string_view text, std::size_t from, std::string_view needle) {
  return text.find(needle, from);
}

#if defined(__SSE2__)
inline std::size_t findBytesBySse2(std::string_view text, std::size_t from, std::string_view needle) {
  const std::size_t m = needle.size(), n = text.size();
  if (m < 2 || from > n || n - from < m) return text.find(needle, from);
  const char* p = text.data();
  const __m128i first = _mm_set1_epi8(needle[0]), last = _mm_set1_epi8(needle[m - 1]);
  std::size_t i = from;
  // The block at i holds the starts i to i + 15, whose last bytes end at i + 15 + m - 1.
  for (; n - i >= 16 + m - 1; i += 16) {
    const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (std::memcmp(p + at + 1, needle.data() + 1, m - 2) == 0) return at;
    }
  }
  return text.find(needle, i);
}
#endif

// The fastest way this machine has.
inline std::size_t findBytes(std::string_view text, std::size_t from, std::string_view needle) {
#if defined(__SSE2__)
  return findBytesBySse2(text, from, needle);
#else
  return findBytesPlain(text, from, needle);
#endif
}

// Whether `needle` stands in `text`, looked for around each occurrence of its byte at `rare`,
// which memchr finds in long strides: quicker than findBytes when that byte is rare in the
// text (the 'w' of "document.write", the 'E' of "createElement" in a page).
inline bool holdsAround(std::string_view text, std::string_view needle, std::size_t rare) {
  for (std::size_t at = rare; at < text.size();) {
    const void* hit = std::memchr(text.data() + at, needle[rare], text.size() - at);
    if (hit == nullptr) return false;
    const auto found = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    if (text.substr(found - rare, needle.size()) == needle) return true;
    at = found + 1;
  }
  return false;
}

}  // namespace sarnavel
