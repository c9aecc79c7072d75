#include "report/visible_path.h"

#include <cstdint>

#include "text/utf8.h"

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
  std::string bytes;  // the UTF-8 bytes of the character, each written as an escape
  appendUtf8(bytes, codePoint);
  for (char byte : bytes) appendByteEscape(out, static_cast<unsigned char>(byte));
}

std::string visiblePath(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    // Printable ASCII but the backslash, most of a path, is copied a run at a time.
    std::size_t plain = i;
    while (plain < n && p[plain] >= 0x20 && p[plain] < 0x7F && p[plain] != '\\') ++plain;
    out.append(bytes.data() + i, plain - i);
    i = plain;
    if (i >= n) break;
    const unsigned char byte = p[i];
    if (byte < 0x80) {
      if (byte == '\\') out += "\\\\";
      else if (isControlCharacter(byte)) appendByteEscape(out, byte);
      else out.push_back(static_cast<char>(byte));
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    std::size_t errorLength = 0;
    const std::size_t length = readUtf8Sequence(p + i, n - i, codePoint, errorLength);
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
