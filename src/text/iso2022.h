// The escape sequences of ISO-2022-JP: which character set each one designates.
//
//   ESC ( B    ASCII                 ESC $ @    JIS X 0208 (1978)
//   ESC ( J    JIS-Roman             ESC $ B    JIS X 0208
//   ESC ( I    half-width katakana   ESC $ ( D  JIS X 0212
//
// This is the one place the sequences are spelled; every reader of ISO-2022-JP text (the
// converter, the detection, the decoder of reference paths, the searches that step over the
// two-byte runs of a page) asks designationAt. What a reader makes of a set (whether JIS-Roman
// is read as ASCII, whether JIS X 0212 is read at all) is its own decision, said where it
// decides. Pure, callable from any thread.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

namespace sarnavel {

enum class Iso2022Set { Ascii, Roman, Katakana, Jis0208, Jis0212 };

struct Designation {
  Iso2022Set set = Iso2022Set::Ascii;
  std::size_t length = 0;  // bytes of the escape sequence, 3 or 4
};

// The designation whose escape sequence starts at `pos`; none when there is none.
inline std::optional<Designation> designationAt(std::string_view text, std::size_t pos) {
  if (pos >= text.size() || text[pos] != '\x1B' || text.size() - pos < 3) return std::nullopt;
  const char c1 = text[pos + 1], c2 = text[pos + 2];
  if (c1 == '(') {
    if (c2 == 'B') return Designation{Iso2022Set::Ascii, 3};
    if (c2 == 'J') return Designation{Iso2022Set::Roman, 3};
    if (c2 == 'I') return Designation{Iso2022Set::Katakana, 3};
  } else if (c1 == '$') {
    if (c2 == '@' || c2 == 'B') return Designation{Iso2022Set::Jis0208, 3};
    if (c2 == '(' && text.size() - pos >= 4 && text[pos + 3] == 'D') return Designation{Iso2022Set::Jis0212, 4};
  }
  return std::nullopt;
}

// Whether a set's bytes are halves of two-byte characters or katakana (a run the tag walk must
// not look into), rather than ASCII or JIS-Roman.
inline bool isNonAsciiSet(Iso2022Set set) { return set != Iso2022Set::Ascii && set != Iso2022Set::Roman; }

}  // namespace sarnavel
