#include "text/japanese_text.h"

#include <cstdint>

#include "text/cp932.h"
#include "text/euc_jp.h"
#include "text/iso2022.h"
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
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      out.push_back(p[i++]);
      continue;
    }
    const EucSequence s = eucSequenceAt(p + i, n - i);
    switch (s.kind) {
      case EucKind::Jis0208: out.push_back(jis0208Unit(s.position.row, s.position.cell)); break;
      case EucKind::Katakana: out.push_back(static_cast<char16_t>(0xFF61 + s.kana - 0xA1)); break;
      case EucKind::Jis0212: {
        const char16_t unit = jis::jis0212ToUnicode(s.position);
        out.push_back(unit == 0xFFFF ? kReplacement : unit);
        break;
      }
      case EucKind::Invalid: out.push_back(kReplacement); break;
    }
    i += s.length;
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
    // Browsers know no JIS X 0212 in ISO-2022-JP: its escape sequence is read as text.
    if (const std::optional<Designation> d = designationAt(bytes, i); d && d->set != Iso2022Set::Jis0212) {
      mode = d->set == Iso2022Set::Ascii      ? Mode::Ascii
             : d->set == Iso2022Set::Roman    ? Mode::Roman
             : d->set == Iso2022Set::Katakana ? Mode::Katakana
                                              : Mode::Jis0208;
      i += d->length;
      continue;
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

std::optional<std::string> encodeFromWide(std::u16string_view text, TargetEncoding encoding) {
  if (encoding != TargetEncoding::ShiftJis && encoding != TargetEncoding::EucJp) return std::nullopt;
  std::string out;
  out.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    if (encoding == TargetEncoding::ShiftJis) {
      const std::uint16_t code = cp932::fromUnicode(unit);
      if (code == cp932::kNoCode) return std::nullopt;
      cp932::appendCode(out, code);
      continue;
    }
    const std::uint16_t code = cp932::jisReachable(unit);
    if (code == cp932::kNoCode) return std::nullopt;
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x100) {  // half-width katakana
      out.push_back('\x8E');
      out.push_back(static_cast<char>(code));
    } else {
      const jis::Position at = jis::fromShiftJis(static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code));
      out.push_back(static_cast<char>(0xA0 + at.row));
      out.push_back(static_cast<char>(0xA0 + at.cell));
    }
  }
  return out;
}

}  // namespace sarnavel
