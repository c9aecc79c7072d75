#include "engine/encoding_detection.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "text/cp932.h"
#include "text/jis.h"

namespace sarnavel {
namespace {

// Log shares (natural log of the share of one character of the class in Japanese prose).
struct Scores {
  double hiragana = std::log(0.37 / 83);
  double katakana = std::log(0.34 / 86);
  double symbols = std::log(0.055 / 94);
  double kanji1 = std::log(0.22 / (32 * 94));
  double kanji2 = std::log(0.01 / (37 * 94));
  double otherRows = std::log(0.003 / (5 * 94));
  double halfWidthKana = std::log(0.02 / 63);
  double vendor = std::log(0.0005 / (5 * 94));
  double jis0212 = std::log(0.0001 / 6000);
  double userDefined = std::log(1e-7);
};

const Scores& scores() {
  static const Scores s;
  return s;
}

double rowScore(unsigned row) {
  const Scores& s = scores();
  if (row == 4) return s.hiragana;
  if (row == 5) return s.katakana;
  if (row == 1) return s.symbols;
  if (row >= 16 && row <= 47) return s.kanji1;
  if (row >= 48 && row <= 84) return s.kanji2;
  if (row <= 8) return s.otherRows;
  if (row >= 95 && row <= 114) return s.userDefined;
  return s.vendor;  // NEC row 13, NEC-selected rows 89-92, IBM rows 115-120
}

struct Reading {
  std::size_t errors = 0;
  double score = 0;
};

bool isMapped(std::uint16_t sjisCode) { return cp932::toUnicode(sjisCode) != cp932::kNoUnit; }

Reading readAsShiftJis(std::string_view text) {
  Reading r;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    std::uint8_t b = p[i];
    if (b < 0x80) {
      ++i;
    } else if (b >= 0xA1 && b <= 0xDF) {
      r.score += scores().halfWidthKana;
      ++i;
    } else if (cp932::isLeadByte(b) && i + 1 < n && cp932::isTrailByte(p[i + 1])) {
      if (isMapped(static_cast<std::uint16_t>(b << 8 | p[i + 1]))) {
        r.score += rowScore(jis::fromShiftJis(b, p[i + 1]).row);
      } else {
        ++r.errors;
      }
      i += 2;
    } else {
      ++r.errors;
      ++i;
    }
  }
  return r;
}

bool isEucByte(std::uint8_t b) { return b >= 0xA1 && b <= 0xFE; }

Reading readAsEucJp(std::string_view text) {
  Reading r;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    std::uint8_t b = p[i];
    std::size_t left = n - i;
    if (b < 0x80) {
      ++i;
    } else if (b == 0x8E && left >= 2 && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
      r.score += scores().halfWidthKana;
      i += 2;
    } else if (b == 0x8F && left >= 3 && isEucByte(p[i + 1]) && isEucByte(p[i + 2])) {
      char16_t unit = jis::jis0212ToUnicode({static_cast<std::uint8_t>(p[i + 1] - 0xA0), static_cast<std::uint8_t>(p[i + 2] - 0xA0)});
      if (unit == 0xFFFF) ++r.errors;
      else r.score += scores().jis0212;
      i += 3;
    } else if (isEucByte(b) && left >= 2 && isEucByte(p[i + 1])) {
      jis::Position pos{static_cast<std::uint8_t>(b - 0xA0), static_cast<std::uint8_t>(p[i + 1] - 0xA0)};
      if (isMapped(jis::toShiftJis(pos))) r.score += rowScore(pos.row);
      else ++r.errors;
      i += 2;
    } else {
      ++r.errors;
      ++i;
    }
  }
  return r;
}

bool hasJapaneseDesignation(std::string_view text) {
  for (std::size_t i = text.find('\x1B'); i != std::string_view::npos; i = text.find('\x1B', i + 1)) {
    std::string_view rest = text.substr(i + 1, 3);
    if (rest.starts_with("$@") || rest.starts_with("$B") || rest.starts_with("$(D") || rest.starts_with("(I")) return true;
  }
  return false;
}

bool hasHighByte(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return true;
  }
  for (; i < n; ++i) {
    if (p[i] & 0x80) return true;
  }
  return false;
}

}  // namespace

InputEncoding detectInputEncoding(std::string_view text) {
  if (hasJapaneseDesignation(text)) return InputEncoding::Iso2022Jp;
  if (!hasHighByte(text)) return InputEncoding::Ascii;
  Reading sjis = readAsShiftJis(text);
  Reading euc = readAsEucJp(text);
  if (sjis.errors != euc.errors) return sjis.errors < euc.errors ? InputEncoding::ShiftJis : InputEncoding::EucJp;
  return euc.score > sjis.score ? InputEncoding::EucJp : InputEncoding::ShiftJis;
}

}  // namespace sarnavel
