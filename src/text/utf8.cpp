#include "text/utf8.h"

#include <cstdint>

#include "text/ascii_run.h"
#include "text/utf8_lead_rules.h"

namespace sarnavel {

bool isWellFormedUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  char32_t codePoint = 0;
  std::size_t errorLength = 0;
  for (std::size_t i = asciiRunEnd(p, 0, n); i < n; i = asciiRunEnd(p, i, n)) {
    const std::size_t length = readUtf8Sequence(p + i, n - i, codePoint, errorLength);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool isUtf8Text(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  // Bytes that follow the rules and are not all ASCII hold a lead byte.
  const std::size_t firstHigh = asciiRunEnd(p, 0, n);
  const bool multiByte = firstHigh < n && followsUtf8LeadRules(p + firstHigh, n - firstHigh);
  return multiByte;
}

std::u16string utf8ToUtf16(std::string_view bytes) {
  struct Collect {
    std::u16string out;
    void ascii(const char* s, std::size_t n) { out.append(s, s + n); }
    void unit(char16_t u, std::size_t) { out.push_back(u); }
    void irregular(std::size_t) { out.push_back(u'\uFFFD'); }
  } collect;
  collect.out.reserve(bytes.size());
  decodeUtf8Into(bytes, collect);
  return std::move(collect.out);
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t readUtf8Sequence(const unsigned char* p, std::size_t n, char32_t& codePoint, std::size_t& errorLength) {
  const unsigned char b = p[0];
  std::size_t needed = 0;
  char32_t cp = 0;
  unsigned char lower = 0x80, upper = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    needed = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    needed = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lower = 0xA0;
    if (b == 0xED) upper = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    needed = 3;
    cp = b & 0x07;
    if (b == 0xF0) lower = 0x90;
    if (b == 0xF4) upper = 0x8F;
  } else {
    errorLength = 1;
    return 0;
  }
  std::size_t j = 1;
  while (j <= needed && j < n) {
    const unsigned char c = p[j];
    if (c < lower || c > upper) break;
    lower = 0x80;
    upper = 0xBF;
    cp = cp << 6 | (c & 0x3F);
    ++j;
  }
  if (j <= needed) {
    errorLength = j;  // the maximal subpart is one error
    return 0;
  }
  codePoint = cp;
  return j;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (isHighSurrogate(u) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      appendUtf8(out, combineSurrogates(u, text[i + 1]));
      ++i;
    } else {
      appendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace sarnavel
