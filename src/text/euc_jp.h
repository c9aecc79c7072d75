// The byte rules of EUC-JP: what the sequence at a non-ASCII byte is.
//
//   A1-FE A1-FE       JIS X 0208 (rows and cells 1-94: byte - 0xA0)
//   8E A1-DF          half-width katakana (the second byte is the Shift_JIS byte)
//   8F A1-FE A1-FE    JIS X 0212
// Anything else is one byte that forms no character. This is the one place the rules are
// written; the converter, the detection and the decoder of reference paths all step through
// EUC-JP text with eucSequenceAt. Pure, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/jis.h"

namespace sarnavel {

enum class EucKind { Jis0208, Katakana, Jis0212, Invalid };

struct EucSequence {
  EucKind kind = EucKind::Invalid;
  std::size_t length = 1;
  jis::Position position{};  // JIS X 0208 and JIS X 0212
  std::uint8_t kana = 0;     // the Shift_JIS byte of a half-width katakana
};

// The sequence at p[0] (a byte from 0x80), with `left` bytes from p on.
inline EucSequence eucSequenceAt(const std::uint8_t* p, std::size_t left) {
  const std::uint8_t b = p[0];
  if (jis::isEucByte(b) && left >= 2 && jis::isEucByte(p[1])) {
    return {EucKind::Jis0208, 2, {static_cast<std::uint8_t>(b - 0xA0), static_cast<std::uint8_t>(p[1] - 0xA0)}, 0};
  }
  if (b == 0x8E && left >= 2 && p[1] >= 0xA1 && p[1] <= 0xDF) return {EucKind::Katakana, 2, {}, p[1]};
  if (b == 0x8F && left >= 3 && jis::isEucByte(p[1]) && jis::isEucByte(p[2])) {
    return {EucKind::Jis0212, 3, {static_cast<std::uint8_t>(p[1] - 0xA0), static_cast<std::uint8_t>(p[2] - 0xA0)}, 0};
  }
  return {};
}

}  // namespace sarnavel
