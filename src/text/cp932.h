// Windows code page 932 (the Windows variant of Shift_JIS) as one table used in both directions.
//
// The table is ICU's windows-31j converter with fallbacks off, read once on first use. It is
// also how browsers decode Shift_JIS: 0x5C is a backslash, 0x8160 is U+FF5E, the NEC row 13
// and IBM extensions are included, F040-F9FC are the private-use characters U+E000-U+E757.
// Two corrections to ICU's data:
//  - bytes and units below 0x80 are always themselves (ICU's table swaps 0x1A, 0x1C and 0x7F);
//  - byte 0x80 is U+0080, as browsers read it.
// A unit counts as held by code page 932 only when it maps there and back to itself: no
// best-fit substitution (U+00A5 does not become a backslash, U+00E9 does not become 'e').
//
// Thread safety: the table is immutable after its first use; every function may be called
// from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sarnavel::cp932 {

inline constexpr char16_t kNoUnit = 0xFFFF;
inline constexpr std::uint16_t kNoCode = 0xFFFF;

// 0x81-0x9F and 0xE0-0xFC start a double-byte character.
inline bool isLeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
// 0x40-0x7E and 0x80-0xFC can follow a lead byte.
inline bool isTrailByte(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The unit of a single byte (code < 0x100) or of a double-byte code (lead << 8 | trail);
// kNoUnit when the code has no character.
char16_t toUnicode(std::uint16_t code);

// The code that holds the unit (single byte < 0x100, else lead << 8 | trail); kNoCode when
// code page 932 cannot hold it. Of several codes for one character (NEC row 13 and the IBM
// extensions) the one Windows writes is chosen.
std::uint16_t fromUnicode(char16_t unit);

// The code that EUC-JP and ISO-2022-JP can reach for the unit: a byte below 0x80, a half-width
// katakana byte, or the smallest Shift_JIS code in JIS rows 1-94 (so an IBM extension finds its
// NEC-selected or JIS twin); kNoCode when those encodings cannot hold the unit (the
// user-defined area, U+0080, what code page 932 lacks).
std::uint16_t jisReachable(char16_t unit);

// The tables behind fromUnicode and jisReachable, indexed by the unit (0x10000 entries each),
// for loops that look up every character of a text.
const std::uint16_t* fromUnicodeTable();
const std::uint16_t* jisReachableTable();

// What the bytes at p[0] form when read as browsers read Shift_JIS (the Encoding Standard's
// decoder): `length` bytes, and the code of their character (the byte below 0x100, else
// lead << 8 | trail) or kNoCode for an error. A lead byte and a byte from 0x80 that form no
// character together are one error of two bytes; a lead byte before an ASCII byte, or at the
// end, is an error alone, and the ASCII byte is read again as itself. `left` >= 1.
struct Sequence {
  std::uint16_t code;
  std::uint8_t length;
};
inline Sequence sequenceAt(const std::uint8_t* p, std::size_t left) {
  const std::uint8_t b = p[0];
  if (!isLeadByte(b)) return {toUnicode(b) == kNoUnit ? kNoCode : std::uint16_t{b}, 1};
  if (left < 2) return {kNoCode, 1};
  const auto code = static_cast<std::uint16_t>(b << 8 | p[1]);
  if (isTrailByte(p[1]) && toUnicode(code) != kNoUnit) return {code, 2};
  return {kNoCode, static_cast<std::uint8_t>(p[1] < 0x80 ? 1 : 2)};
}

// Appends the one or two bytes of a code that fromUnicode gave.
inline void appendCode(std::string& out, std::uint16_t code) {
  if (code >= 0x100) out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

}  // namespace sarnavel::cp932

namespace sarnavel {

// The code page 932 bytes of a wide string; units without a mapping become '?', the code
// page's default character. Zero units are kept.
std::string wideToCp932(std::u16string_view text);

// The wide string of code page 932 bytes; each error of sequenceAt becomes one U+FFFD.
std::u16string cp932ToWide(std::string_view bytes);

}  // namespace sarnavel
