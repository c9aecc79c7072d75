// Finding the next of two bytes: the search the tag walk makes for `<` or `>` while minding the
// escape byte that opens an ISO-2022-JP run, in one pass instead of one search for each.
//
// Tags lie a few dozen bytes apart, so the search is inline: a call into the C library for
// every tag costs more than the scan itself. findEitherByte looks at 16 bytes at a time with
// SSE2, which every x86-64 processor has, and elsewhere at 8 bytes at a time in a machine word;
// both finish the last few bytes one by one and never read past p[n - 1]. byteMasks says where
// three bytes lie in 64 bytes at once, as bit masks, for a walk that reads the tags of a block
// from them. The ways are exposed separately so that each can be tested on any machine. Pure
// functions, callable from any thread.
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

// Two searches made one after the other: `first`, the first `open` or `stop` at or after `i`
// (or n); when that is an `open`, `second`, the first `close` or `stop` after it (or n), else n.
// The tag walk's `<` then `>`, minding the escape byte.
struct BytePairAt {
  std::size_t first;
  std::size_t second;
};

struct BytePair {
  char open;
  char close;
  char stop;
};

inline BytePairAt findOpenThenCloseByWords(const char* p, std::size_t i, std::size_t n, BytePair pair) {
  const auto [open, close, stop] = pair;
  const std::size_t first = findEitherByteByWords(p, i, n, open, stop);
  if (first == n || p[first] != open) return {first, n};
  return {first, findEitherByteByWords(p, first + 1, n, close, stop)};
}

#if defined(__SSE2__)
// Tags are short: the `>` most often lies in the 16 bytes where the `<` was found, so the block
// loaded for the one is searched for the other before the scan goes on.
inline BytePairAt findOpenThenCloseBySse2(const char* p, std::size_t i, std::size_t n, BytePair pair) {
  const auto [open, close, stop] = pair;
  const __m128i opens = _mm_set1_epi8(open), closes = _mm_set1_epi8(close), stops = _mm_set1_epi8(stop);
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const auto stopMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, stops)));
    const auto openMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, opens))) | stopMask;
    if (openMask == 0) continue;
    const auto at = static_cast<unsigned>(std::countr_zero(openMask));
    const std::size_t first = i + at;
    if (p[first] != open) return {first, n};
    const unsigned after =
        (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, closes))) | stopMask) & (~1u << at);
    if (after != 0) return {first, i + static_cast<std::size_t>(std::countr_zero(after))};
    return {first, findEitherByteBySse2(p, i + 16, n, close, stop)};
  }
  return findOpenThenCloseByWords(p, i, n, pair);
}
#endif

// The fastest way this machine has.
inline BytePairAt findOpenThenClose(const char* p, std::size_t i, std::size_t n, BytePair pair) {
#if defined(__SSE2__)
  return findOpenThenCloseBySse2(p, i, n, pair);
#else
  return findOpenThenCloseByWords(p, i, n, pair);
#endif
}

// Where three bytes lie in a block of up to 64 bytes: bit k of a mask is set when byte k of
// the block is that byte. A walk that asks about every `<` of a page reads the masks instead
// of scanning from each `<` to the next.
struct ByteMasks {
  std::uint64_t first = 0, second = 0, third = 0;
};

// The masks of the `size` bytes at p (size <= 64), a byte at a time.
inline ByteMasks byteMasksByBytes(const char* p, std::size_t size, char a, char b, char c) {
  ByteMasks masks;
  for (std::size_t k = 0; k < size; ++k) {
    masks.first |= std::uint64_t{p[k] == a} << k;
    masks.second |= std::uint64_t{p[k] == b} << k;
    masks.third |= std::uint64_t{p[k] == c} << k;
  }
  return masks;
}

#if defined(__SSE2__)
// The same, 16 bytes at a time; a block shorter than 64 bytes is copied out first, so that
// nothing past p[size - 1] is read.
inline ByteMasks byteMasksBySse2(const char* p, std::size_t size, char a, char b, char c) {
  char padded[64];
  if (size < 64) {
    std::memset(padded, 0, sizeof padded);
    std::memcpy(padded, p, size);
    p = padded;
  }
  const __m128i blocks[4] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))};
  // Written out for the four blocks, so that every shift is a constant.
  const auto maskOf = [&blocks](char byte) {
    const __m128i wanted = _mm_set1_epi8(byte);
    const auto bits = [&](int k) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(blocks[k], wanted)))};
    };
    return bits(0) | bits(1) << 16 | bits(2) << 32 | bits(3) << 48;
  };
  ByteMasks masks{maskOf(a), maskOf(b), maskOf(c)};
  if (size < 64) {
    const std::uint64_t inBlock = (std::uint64_t{1} << size) - 1;  // a zero byte may be sought
    masks.first &= inBlock;
    masks.second &= inBlock;
    masks.third &= inBlock;
  }
  return masks;
}
#endif

// The fastest way this machine has.
inline ByteMasks byteMasks(const char* p, std::size_t size, char a, char b, char c) {
#if defined(__SSE2__)
  return byteMasksBySse2(p, size, a, b, c);
#else
  return byteMasksByBytes(p, size, a, b, c);
#endif
}

}  // namespace sarnavel
