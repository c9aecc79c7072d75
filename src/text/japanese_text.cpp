#include "text/japanese_text.h"

#include <cstdint>

#include "text/cp932.h"
#include "text/jis.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

char16_t jis0208Unit(unsigned row, unsigned cell) {
  char16_t unit = cp932::toUnicode(jis::toShiftJis({static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell)}));
  return unit == cp932::kNoUnit ? kReplacement : unit;
}

std::u16string decodeEucJp(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    auto next = [&](std::size_t k) { return i + k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0; };
    if (b < 0x80) {
      out.push_back(b);
      i += 1;
    } else if (b == 0x8E && next(1) >= 0xA1 && next(1) <= 0xDF) {
      out.push_back(static_cast<char16_t>(0xFF61 + next(1) - 0xA1));
      i += 2;
    } else if (b == 0x8F && jis::isEucByte(next(1)) && jis::isEucByte(next(2))) {
      char16_t unit = jis::jis0212ToUnicode({static_cast<std::uint8_t>(next(1) - 0xA0), static_cast<std::uint8_t>(next(2) - 0xA0)});
      out.push_back(unit == 0xFFFF ? kReplacement : unit);
      i += 3;
    } else if (jis::isEucByte(b) && jis::isEucByte(next(1))) {
      out.push_back(jis0208Unit(b - 0xA0u, next(1) - 0xA0u));
      i += 2;
    } else {
      out.push_back(kReplacement);
      i += 1;
    }
  }
  return out;
}

std::u16string decodeIso2022Jp(std::string_view bytes) {
  enum class Mode { Ascii, Roman, Katakana, Jis0208 } mode = Mode::Ascii;
  std::u16string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b == 0x1B && i + 2 < n) {
      char c1 = bytes[i + 1], c2 = bytes[i + 2];
      if (c1 == '(' && c2 == 'B') { mode = Mode::Ascii; i += 3; continue; }
      if (c1 == '(' && c2 == 'J') { mode = Mode::Roman; i += 3; continue; }
      if (c1 == '(' && c2 == 'I') { mode = Mode::Katakana; i += 3; continue; }
      if (c1 == '$' && (c2 == '@' || c2 == 'B')) { mode = Mode::Jis0208; i += 3; continue; }
    }
    if (b == '\n' || b == '\r') {
      out.push_back(b);
      ++i;
      continue;
    }
    switch (mode) {
      case Mode::Ascii:
        out.push_back(b < 0x80 ? b : kReplacement);
        ++i;
        break;
      case Mode::Roman:
        out.push_back(b == 0x5C ? u'\u00A5' : b == 0x7E ? u'\u203E' : b < 0x80 ? b : kReplacement);
        ++i;
        break;
      case Mode::Katakana:
        out.push_back(b >= 0x21 && b <= 0x5F ? static_cast<char16_t>(0xFF61 - 0x21 + b) : kReplacement);
        ++i;
        break;
      case Mode::Jis0208: {
        auto b2 = i + 1 < n ? static_cast<std::uint8_t>(bytes[i + 1]) : 0;
        if (b >= 0x21 && b <= 0x7E && b2 >= 0x21 && b2 <= 0x7E) {
          out.push_back(jis0208Unit(b - 0x20u, b2 - 0x20u));
          i += 2;
        } else {
          out.push_back(kReplacement);
          ++i;
        }
        break;
      }
    }
  }
  return out;
}

}  // namespace

std::u16string decodeToWide(std::string_view bytes, TargetEncoding encoding) {
  switch (encoding) {
    case TargetEncoding::ShiftJis: return cp932ToWide(bytes);
    case TargetEncoding::EucJp: return decodeEucJp(bytes);
    case TargetEncoding::Iso2022Jp: return decodeIso2022Jp(bytes);
    case TargetEncoding::Utf8: return utf8ToUtf16(bytes);
  }
  return cp932ToWide(bytes);
}

}  // namespace sarnavel
