// JIS code positions: the common ground of Shift_JIS, EUC-JP and ISO-2022-JP.
//
// A JIS X 0208 position is a row and a cell, each 1 to 94. Shift_JIS reaches further: its
// lead bytes F0-F9 are rows 95-114 (the user-defined area) and FA-FC rows 115-120 (the IBM
// extensions), which EUC-JP and ISO-2022-JP cannot reach. Conversion between the Japanese
// encodings goes through these positions, never through Unicode, so no character changes.
//
// JIS X 0212 (the supplementary kanji of EUC-JP, lead byte 8F) is decoded with ICU's EUC-JP
// table, read once on first use.
#pragma once

#include <cstdint>

namespace sarnavel::jis {

struct Position {
  std::uint8_t row;   // 1-120 for Shift_JIS double-byte codes
  std::uint8_t cell;  // 1-94
};

// The geta mark U+3013, written where a character has no place in the target.
inline constexpr Position kGetaMark{2, 14};

// The position of a Shift_JIS double-byte code (lead << 8 | trail, both bytes valid).
inline Position fromShiftJis(std::uint8_t lead, std::uint8_t trail) {
  unsigned pair = lead <= 0x9F ? lead - 0x81u : lead - 0xC1u;
  if (trail >= 0x9F) return {static_cast<std::uint8_t>(pair * 2 + 2), static_cast<std::uint8_t>(trail - 0x9E)};
  return {static_cast<std::uint8_t>(pair * 2 + 1),
          static_cast<std::uint8_t>(trail < 0x80 ? trail - 0x3F : trail - 0x40)};
}

// The Shift_JIS code (lead << 8 | trail) of a position, rows 1-120.
inline std::uint16_t toShiftJis(Position p) {
  unsigned pair = (p.row - 1u) / 2;
  unsigned lead = pair < 31 ? 0x81 + pair : 0xC1 + pair;
  unsigned trail;
  if (p.row % 2 == 0) {
    trail = p.cell + 0x9Eu;
  } else {
    trail = p.cell + 0x3Fu;
    if (trail >= 0x7F) ++trail;
  }
  return static_cast<std::uint16_t>(lead << 8 | trail);
}

// A byte of an EUC-JP double-byte character (0xA1-0xFE).
inline bool isEucByte(std::uint8_t b) { return b >= 0xA1 && b <= 0xFE; }

// The unit of a JIS X 0212 position (rows and cells 1-94); 0xFFFF when there is none.
char16_t jis0212ToUnicode(Position p);

}  // namespace sarnavel::jis
