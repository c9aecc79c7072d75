// Skipping ASCII quickly: the one scan every reader of Japanese byte text starts with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sarnavel {

// The offset of the first byte from 0x80 at or after `i` (or `n`), eight bytes at a time.
inline std::size_t skipAscii(const std::uint8_t* p, std::size_t i, std::size_t n) {
  while (n - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) break;
    i += 8;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

}  // namespace sarnavel
