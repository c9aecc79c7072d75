// Finding the next of two bytes: the search the tag walk makes for `<` or `>` while minding the
// escape byte that opens an ISO-2022-JP run, in one pass instead of one search for each.
//
// Tags lie a few dozen bytes apart, so the search is inline: a call into the C library for
// every tag costs more than the scan itself. findEitherByte looks at 16 bytes at a time with
// SSE2, which every x86-64 processor has, and elsewhere at 8 bytes at a time in a machine word;
// both finish the last few bytes one by one and never read past p[n - 1]. The two ways are
// exposed separately so that each can be tested on any machine. Pure functions, callable from
// any thread.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {

// The offset of the first byte equal to `a` or `b` at or after `i` (i <= n), or `n` when there
// is none; a machine word at a time, a word that holds either looked at byte by byte.
inline std::size_t findEitherByteByWords(const char* p, std::size_t i, std::size_t n, char a, char b) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighBits = 0x8080808080808080ULL;
  const std::uint64_t as = kOnes * static_cast<std::uint8_t>(a), bs = kOnes * static_cast<std::uint8_t>(b);
  while (n - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    const std::uint64_t xa = word ^ as, xb = word ^ bs;  // a zero byte where the byte is a, or b
    if ((((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb)) & kHighBits) break;
    i += 8;
  }
  while (i < n && p[i] != a && p[i] != b) ++i;
  return i;
}

#if defined(__SSE2__)
// The same, 16 bytes at a time: the equal bytes of a block, gathered into a mask, name the first.
inline std::size_t findEitherByteBySse2(const char* p, std::size_t i, std::size_t n, char a, char b) {
  const __m128i as = _mm_set1_epi8(a), bs = _mm_set1_epi8(b);
  while (n - i >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i found = _mm_or_si128(_mm_cmpeq_epi8(block, as), _mm_cmpeq_epi8(block, bs));
    if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(mask));
    i += 16;
  }
  while (i < n && p[i] != a && p[i] != b) ++i;
  return i;
}
#endif

// The fastest way this machine has.
inline std::size_t findEitherByte(const char* p, std::size_t i, std::size_t n, char a, char b) {
#if defined(__SSE2__)
  return findEitherByteBySse2(p, i, n, a, b);
#else
  return findEitherByteByWords(p, i, n, a, b);
#endif
}

}  // namespace sarnavel
