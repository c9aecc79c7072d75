// Finding where a run of ASCII bytes ends: the scan every reader of Japanese byte text spends
// most of its time in on a page (markup, program text, line breaks).
//
// asciiRunEnd looks at 16 bytes at a time with SSE2, which every x86-64 processor has, and
// elsewhere at 8 bytes at a time in a machine word; both finish the last few bytes one by one
// and never read past p[n - 1]. The two ways are exposed separately so that each can be tested
// on any machine. Pure functions, callable from any thread.
//
// copyAsciiBlocks finds a run's end and copies it in the same pass, for the short runs of a
// page (a tag, a line break and its indent between two Japanese words), where a call to
// memcpy per run costs more than the run: 16 bytes are stored whole, whatever part of them is
// ASCII, so it goes only as far as a whole block of input and of room is left, and leaves the
// last few bytes of a run to the caller.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {

// The offset of the first byte from 0x80 at or after `i` (i <= n), or `n` when there is none;
// a machine word at a time.
inline std::size_t asciiRunEndByWords(const std::uint8_t* p, std::size_t i, std::size_t n) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  while (n - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (const std::uint64_t high = word & kHighBits; high != 0) {
      // The first byte in memory is the lowest on a little-endian machine, the highest otherwise.
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(high) : std::countl_zero(high);
      return i + static_cast<std::size_t>(bit) / 8;
    }
    i += 8;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

#if defined(__SSE2__)
// The same, 16 bytes at a time: the sign bits of a 16-byte block, gathered into a mask, name
// the first byte from 0x80.
inline std::size_t asciiRunEndBySse2(const std::uint8_t* p, std::size_t i, std::size_t n) {
  while (n - i >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(block)); mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(mask));
    i += 16;
  }
  return asciiRunEndByWords(p, i, n);
}
#endif

// The offset of the first byte from 0x80 or equal to `stop` (an ASCII byte) at or after `i`
// (i <= n), or `n`: an ASCII run that also ends at a byte of interest, such as the escape byte
// of ISO-2022-JP. A machine word at a time; a word with such a byte is looked at byte by byte.
inline std::size_t asciiRunEndAtByWords(const std::uint8_t* p, std::size_t i, std::size_t n, std::uint8_t stop) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighBits = 0x8080808080808080ULL;
  const std::uint64_t stops = kOnes * stop;
  while (n - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    const std::uint64_t matches = word ^ stops;  // a zero byte where the byte is `stop`
    if (((word | ((matches - kOnes) & ~matches)) & kHighBits) != 0) break;
    i += 8;
  }
  while (i < n && p[i] < 0x80 && p[i] != stop) ++i;
  return i;
}

#if defined(__SSE2__)
inline std::size_t asciiRunEndAtBySse2(const std::uint8_t* p, std::size_t i, std::size_t n, std::uint8_t stop) {
  const __m128i stops = _mm_set1_epi8(static_cast<char>(stop));
  while (n - i >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i found = _mm_or_si128(block, _mm_cmpeq_epi8(block, stops));
    if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(mask));
    i += 16;
  }
  return asciiRunEndAtByWords(p, i, n, stop);
}
#endif

// Copies the ASCII bytes from p[0] on to `out`, a block of 16 (or 8) bytes at a time, for as
// long as `n` bytes of input and `room` bytes of output leave a whole block; returns how many
// ASCII bytes were copied. The run ends there when fewer than `n` were copied and p[copied]
// is from 0x80; otherwise the caller goes on the general way (little input or room was left).
// Bytes of out past the count may have been written, never past out[room - 1]; p is never
// read past p[n - 1].
inline std::size_t copyAsciiBlocksByWords(const std::uint8_t* p, std::size_t n, char* out, std::size_t room) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  const std::size_t limit = n < room ? n : room;
  std::size_t i = 0;
  while (limit - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    std::memcpy(out + i, &word, 8);
    if (const std::uint64_t high = word & kHighBits; high != 0) {
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(high) : std::countl_zero(high);
      return i + static_cast<std::size_t>(bit) / 8;
    }
    i += 8;
  }
  return i;
}

#if defined(__SSE2__)
inline std::size_t copyAsciiBlocksBySse2(const std::uint8_t* p, std::size_t n, char* out, std::size_t room) {
  const std::size_t limit = n < room ? n : room;
  std::size_t i = 0;
  while (limit - i >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
    if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(block)); mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(mask));
    i += 16;
  }
  return i;
}
#endif

inline std::size_t copyAsciiBlocks(const std::uint8_t* p, std::size_t n, char* out, std::size_t room) {
#if defined(__SSE2__)
  return copyAsciiBlocksBySse2(p, n, out, room);
#else
  return copyAsciiBlocksByWords(p, n, out, room);
#endif
}

// The fastest way this machine has.
inline std::size_t asciiRunEnd(const std::uint8_t* p, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
  return asciiRunEndBySse2(p, i, n);
#else
  return asciiRunEndByWords(p, i, n);
#endif
}

inline std::size_t asciiRunEndAt(const std::uint8_t* p, std::size_t i, std::size_t n, std::uint8_t stop) {
#if defined(__SSE2__)
  return asciiRunEndAtBySse2(p, i, n, stop);
#else
  return asciiRunEndAtByWords(p, i, n, stop);
#endif
}

}  // namespace sarnavel
