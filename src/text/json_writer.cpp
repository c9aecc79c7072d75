#include "text/json_writer.h"

#include <charconv>

#include "text/utf8.h"

namespace sarnavel {
namespace {

// The escape of an ASCII byte, or none for one written as it is.
std::string_view asciiEscape(unsigned char c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return {};
  }
}

void appendControl(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

void appendJsonString(std::string& out, std::string_view value) {
  const auto* p = reinterpret_cast<const unsigned char*>(value.data());
  const std::size_t n = value.size();
  out += '"';
  std::size_t plain = 0;  // the start of the bytes not yet appended, all written as they are
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c >= 0x20 && c != '"' && c != '\\' && c < 0x80) {
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    std::size_t errorLength = 1;
    const std::size_t length = c < 0x80 ? 1 : readUtf8Sequence(p + i, n - i, codePoint, errorLength);
    if (length != 0 && c >= 0x80) {  // a well-formed character, written as it is
      i += length;
      continue;
    }
    out.append(value.data() + plain, i - plain);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      i += errorLength;
    } else {
      const std::string_view escape = asciiEscape(c);
      if (escape.empty()) appendControl(out, c);
      else out += escape;
      ++i;
    }
    plain = i;
  }
  out.append(value.data() + plain, n - plain);
  out += '"';
}

void JsonWriter::key(std::string_view name) {
  startValue();
  appendJsonString(text_, name);
  text_ += ':';
  first_ = true;
}

void JsonWriter::string(std::string_view value) {
  startValue();
  appendJsonString(text_, value);
}

void JsonWriter::number(std::uint64_t value) {
  startValue();
  char digits[24];
  text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void JsonWriter::boolean(bool value) {
  startValue();
  text_ += value ? "true" : "false";
}

void JsonWriter::null() {
  startValue();
  text_ += "null";
}

}  // namespace sarnavel
