// Byte searches over page text that do not look inside the non-ASCII runs of ISO-2022-JP.
//
// A page in ISO-2022-JP switches character sets with escape sequences. A run starts at one of
// ESC $ @ or ESC $ B (JIS X 0208), ESC $ ( D (JIS X 0212) or ESC ( I (half-width katakana)
// and lasts until ESC ( B or ESC ( J, or to the end of the text. Its bytes 0x21-0x7E are
// halves of characters, not ASCII, so a `<`, `>`, `"` or `-` among them is no delimiter and
// the searches here never stop inside a run. Shift_JIS, EUC-JP and UTF-8 text never holds the
// escape byte 0x1B, so for such text every search is an ordinary forward search.
//
// Contract: a search starts at an offset that lies outside any run (0, or an offset found by
// an earlier search of the same text, or just after one); it runs forward only and looks at
// each byte once. It does not interpret characters and does not check that a run is
// well-formed.
#pragma once

#include <cstddef>
#include <string_view>

namespace sarnavel {

enum class RunShift { None, Opens, Closes };

// The escape sequence at `pos`, if one that opens or closes a run starts there; `length`
// receives its size in bytes (left unchanged for None).
RunShift runShiftAt(std::string_view text, std::size_t pos, std::size_t& length);

// The first offset at or after `from`, outside any run, for which `matches(offset)` holds;
// npos when there is none. The bytes of the escape sequences themselves are never offered.
template <typename Matches>
std::size_t findOutsideRuns(std::string_view text, std::size_t from, Matches&& matches) {
  bool inRun = false;
  std::size_t i = from;
  while (i < text.size()) {
    if (text[i] == '\x1b') {
      std::size_t length = 0;
      RunShift shift = runShiftAt(text, i, length);
      if (shift != RunShift::None) {
        inRun = shift == RunShift::Opens;
        i += length;
        continue;
      }
    }
    if (!inRun && matches(i)) return i;
    ++i;
  }
  return std::string_view::npos;
}

// The first `byte` at or after `from` outside any run; npos when none.
std::size_t findByteOutsideRuns(std::string_view text, std::size_t from, char byte);

// The first `a` or `b` at or after `from` outside any run; npos when neither.
std::size_t findEitherOutsideRuns(std::string_view text, std::size_t from, char a, char b);

// The first occurrence of `needle` (non-empty, without the escape byte) that starts at or
// after `from` outside any run; npos when none.
std::size_t findTextOutsideRuns(std::string_view text, std::size_t from, std::string_view needle);

}  // namespace sarnavel
