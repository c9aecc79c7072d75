// Where in a document a byte lies, as its reader sees it: line and column.
//
// Lines are 1-based and end at a CR+LF, an LF or a CR; columns are 1-based and count
// characters (a two-byte Shift_JIS character is one column, so is a surrogate pair of UTF-16;
// an ISO-2022-JP escape sequence and a byte-order mark are none). Positions are found only for the few places
// a document's report names (the first of each escaped character, say), so nothing is counted
// while a text is converted: a PositionFinder walks the source once, forward, as far as the
// offsets it is asked about, which must not decrease.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/iso2022.h"
#include "text/target_encoding.h"

namespace sarnavel {

struct TextPosition {
  std::uint32_t line = 0;  // 0: not known
  std::uint32_t column = 0;
  bool operator==(const TextPosition&) const = default;
};

// How the bytes of a source form characters.
enum class SourceForm { SingleByte, ShiftJis, EucJp, Iso2022Jp, Utf8, Utf16LittleEndian, Utf16BigEndian };

// How the bytes of a text written in a target form characters.
inline SourceForm sourceFormOf(TargetEncoding target) {
  switch (target) {
    case TargetEncoding::ShiftJis: return SourceForm::ShiftJis;
    case TargetEncoding::EucJp: return SourceForm::EucJp;
    case TargetEncoding::Iso2022Jp: return SourceForm::Iso2022Jp;
    case TargetEncoding::Utf8: break;
  }
  return SourceForm::Utf8;
}

class PositionFinder {
 public:
  PositionFinder(std::string_view source, SourceForm form) : source_(source), form_(form) {}
  // The position of the character that starts at byte `offset` (not below any earlier offset
  // asked about; an offset past the end is the end).
  TextPosition at(std::size_t offset);

 private:
  std::size_t characterLength(std::size_t i);  // bytes of the character at i, 0 for an escape sequence
  std::string_view source_;
  SourceForm form_;
  std::size_t offset_ = 0;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
  Iso2022Set set_ = Iso2022Set::Ascii;
  bool afterCr_ = false;
};

}  // namespace sarnavel
