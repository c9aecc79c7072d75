#include "text/utf8.h"

#include <cstdint>

namespace sarnavel {

bool isUtf8Text(std::string_view bytes) {
  int pending = 0;
  bool multiByte = false;
  for (char c : bytes) {
    auto b = static_cast<std::uint8_t>(c);
    if (b < 0x80) {
      if (pending > 0) return false;
    } else if (pending > 0) {
      if ((b & 0xC0) != 0x80) return false;
      --pending;
    } else {
      if ((b & 0xE0) == 0xC0) pending = 1;
      else if ((b & 0xF0) == 0xE0) pending = 2;
      else if ((b & 0xF8) == 0xF0) pending = 3;
      else if ((b & 0xFC) == 0xF8) pending = 4;
      else if ((b & 0xFE) == 0xFC) pending = 5;
      else return false;
      multiByte = true;
    }
  }
  return multiByte;
}

namespace {

bool isContinuation(std::string_view bytes, std::size_t from, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    if ((static_cast<std::uint8_t>(bytes[from + k]) & 0xC0) != 0x80) return false;
  }
  return true;
}

}  // namespace

std::u16string decodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    std::size_t left = n - i;
    auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + k])) & 0x3F; };
    if (b < 0x80) {
      out.push_back(b);
      i += 1;
    } else if ((b & 0xE0) == 0xC0 && left >= 2 && isContinuation(bytes, i + 1, 1)) {
      out.push_back(static_cast<char16_t>((b & 0x1F) << 6 | at(1)));
      i += 2;
    } else if ((b & 0xF0) == 0xE0 && left >= 3 && isContinuation(bytes, i + 1, 2)) {
      out.push_back(static_cast<char16_t>((b & 0x0F) << 12 | at(1) << 6 | at(2)));
      i += 3;
    } else if ((b & 0xF8) == 0xF0 && left >= 4 && isContinuation(bytes, i + 1, 3)) {
      std::uint32_t v = (b & 0x07u) << 18 | at(1) << 12 | at(2) << 6 | at(3);
      // Above U+10FFFF no surrogate pair can be formed; such a sequence is irregular.
      if (v < 0x10000 || v > 0x10FFFF) {
        out.push_back(v < 0x10000 ? static_cast<char16_t>(v) : u'?');
      } else {
        v -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
      }
      i += 4;
    } else if ((b & 0xFC) == 0xF8 && left >= 5 && isContinuation(bytes, i + 1, 4)) {
      out.push_back(u'?');
      i += 5;
    } else if ((b & 0xFE) == 0xFC && left >= 6 && isContinuation(bytes, i + 1, 5)) {
      out.push_back(u'?');
      i += 6;
    } else {
      out.push_back(u'?');
      ++i;
      while (i < n && (static_cast<std::uint8_t>(bytes[i]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
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

std::u16string utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int needed = 0;
    char32_t cp = 0;
    std::uint8_t lower = 0x80, upper = 0xBF;
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
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int got = 0;
    while (got < needed && j < n) {
      auto c = static_cast<std::uint8_t>(bytes[j]);
      if (c < lower || c > upper) break;
      lower = 0x80;
      upper = 0xBF;
      cp = cp << 6 | (c & 0x3F);
      ++j;
      ++got;
    }
    if (got < needed) {
      out.push_back(0xFFFD);
      i = j;  // the maximal subpart is one error
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
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
