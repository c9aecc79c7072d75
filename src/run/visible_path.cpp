#include "run/visible_path.h"

#include <cstdint>

namespace sarnavel {
namespace {

void appendByteEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (byte) {
    case '\a': out += "\\a"; return;
    case '\b': out += "\\b"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\v': out += "\\v"; return;
    case '\f': out += "\\f"; return;
    case '\r': out += "\\r"; return;
    default: break;
  }
  out += "\\x";
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0x0F]);
}

// The length of the well-formed UTF-8 sequence at p (no overlong forms, no surrogates, nothing
// above U+10FFFF), with its code point; 0 when the bytes there form none.
std::size_t sequenceAt(const unsigned char* p, std::size_t left, char32_t& codePoint) {
  const unsigned lead = p[0];
  std::size_t length;
  unsigned lower = 0x80, upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) lower = 0xA0;
    if (lead == 0xED) upper = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) lower = 0x90;
    if (lead == 0xF4) upper = 0x8F;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if (p[k] < lower || p[k] > upper) return 0;
    lower = 0x80;
    upper = 0xBF;
    codePoint = codePoint << 6 | (p[k] & 0x3F);
  }
  return length;
}

}  // namespace

bool isControlCharacter(char32_t codePoint) {
  if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) return true;
  return codePoint == 0x2028 || codePoint == 0x2029 || codePoint == 0x200E || codePoint == 0x200F ||
         (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

void appendVisibleControl(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    appendByteEscape(out, static_cast<unsigned char>(codePoint));
    return;
  }
  // The UTF-8 bytes of the character, lead byte first.
  const int trailing = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
  constexpr unsigned char kLeadMark[] = {0, 0xC0, 0xE0, 0xF0};
  appendByteEscape(out, static_cast<unsigned char>(kLeadMark[trailing] | codePoint >> (6 * trailing)));
  for (int k = trailing - 1; k >= 0; --k)
    appendByteEscape(out, static_cast<unsigned char>(0x80 | ((codePoint >> (6 * k)) & 0x3F)));
}

std::string visiblePath(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char byte = p[i];
    if (byte < 0x80) {
      if (byte == '\\') out += "\\\\";
      else if (isControlCharacter(byte)) appendByteEscape(out, byte);
      else out.push_back(static_cast<char>(byte));
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const std::size_t length = sequenceAt(p + i, n - i, codePoint);
    if (length == 0) {
      appendByteEscape(out, byte);
      ++i;
    } else if (isControlCharacter(codePoint)) {
      appendVisibleControl(out, codePoint);
      i += length;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace sarnavel
