// The byte rules of EUC-JP: what the sequence at a non-ASCII byte is.
//
//   A1-FE A1-FE       JIS X 0208 (rows and cells 1-94: byte - 0xA0)
//   8E A1-DF          half-width katakana (the second byte is the Shift_JIS byte)
//   8F A1-FE A1-FE    JIS X 0212
// Anything else is an error, as long as browsers read it (the Encoding Standard's decoder): a
// lead byte (A1-FE, 8E, 8F) and the bytes it takes that cannot go on form one error, except an
// ASCII byte, which ends the error and is read again as itself; any other byte is an error
// alone. So A1 FF is one error of two bytes, B0 41 an error and "A", 8F A1 41 an error of two
// bytes and "A". A position the tables leave empty is a sequence of its kind all the same; the
// reader that looks it up counts it as one error. This is the one place the rules are
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
  // An error spans the bytes after the lead up to the first that is ASCII (or the end).
  auto error = [&](std::size_t taken) {
    EucSequence s;
    s.length = taken < left && p[taken] >= 0x80 ? taken + 1 : taken;
    return s;
  };
  if (jis::isEucByte(b)) {
    if (left >= 2 && jis::isEucByte(p[1]))
      return {EucKind::Jis0208, 2, {static_cast<std::uint8_t>(b - 0xA0), static_cast<std::uint8_t>(p[1] - 0xA0)}, 0};
    return error(1);
  }
  if (b == 0x8E) {
    if (left >= 2 && p[1] >= 0xA1 && p[1] <= 0xDF) return {EucKind::Katakana, 2, {}, p[1]};
    return error(1);
  }
  if (b == 0x8F) {
    if (left < 2 || !jis::isEucByte(p[1])) return error(1);
    if (left >= 3 && jis::isEucByte(p[2]))
      return {EucKind::Jis0212, 3, {static_cast<std::uint8_t>(p[1] - 0xA0), static_cast<std::uint8_t>(p[2] - 0xA0)}, 0};
    return error(2);
  }
  return {};
}

}  // namespace sarnavel
