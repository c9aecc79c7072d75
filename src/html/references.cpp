#include "html/references.h"

#include <cstdint>
#include <vector>

#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isScriptJavaScript(const ScannedTag& tag, std::string_view defaultScriptType) {
  auto type = tag.attributes.find("type");
  if (type == tag.attributes.end()) return defaultScriptType == "text/javascript";
  return lowercaseCopy(type->second) == "text/javascript";
}

void record(const ScannedTag& tag, PARSE2INFO& info) {
  info.elements.push_back(ELEMENT{tag.name, tag.span.tagStart, tag.span.tagEnd, tag.attributes, tag.span.selfClosing});
}

bool startsWith(std::u16string_view text, std::size_t pos, std::u16string_view prefix) {
  return text.substr(pos, prefix.size()) == prefix;
}

// Replaces every `pattern` by `unit`, left to right, never re-reading a replacement.
void replaceAll(std::u16string& text, std::u16string_view pattern, char16_t unit) {
  if (text.find(pattern) == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (startsWith(text, i, pattern)) {
      out += unit;
      i += pattern.size();
    } else {
      out += text[i++];
    }
  }
  text.swap(out);
}

int hexValue(char16_t u) {
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

bool isPercentByte(std::u16string_view text, std::size_t pos) {
  return pos + 2 < text.size() && text[pos] == '%' && hexValue(text[pos + 1]) >= 0 && hexValue(text[pos + 2]) >= 0;
}

void appendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// The length of the well-formed UTF-8 multi-byte sequence at bytes[pos] (0 when there is
// none) and its code point.
std::size_t utf8SequenceAt(const std::vector<std::uint8_t>& bytes, std::size_t pos, char32_t& cp) {
  if (bytes[pos] < 0x80) return 0;
  std::size_t errorLength = 0;
  return readUtf8Sequence(bytes.data() + pos, bytes.size() - pos, cp, errorLength);
}

void decodePercentEscapes(std::u16string& text) {
  if (text.find(u'%') == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '%') {
      out += text[i++];
    } else if (isPercentByte(text, i)) {
      bytes.clear();
      for (; isPercentByte(text, i); i += 3) {
        bytes.push_back(static_cast<std::uint8_t>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      }
      for (std::size_t k = 0; k < bytes.size();) {
        char32_t cp = 0;
        std::size_t length = utf8SequenceAt(bytes, k, cp);
        if (length == 0) {
          out += static_cast<char16_t>(bytes[k++]);
        } else {
          appendCodePoint(out, cp);
          k += length;
        }
      }
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      out += u'%';
      i += 2;
    } else {
      out += text[i++];
    }
  }
  text.swap(out);
}

bool isSpaceUnit(char16_t u) { return u == ' ' || (u >= '\t' && u <= '\r'); }

// Reads a number from text[pos] the way wcstol does. `end` receives the offset after the
// number, or `pos` itself when no digit was read (the value is then 0). `inRange` is false
// for a value that is no code point (negative or above U+10FFFF).
char32_t readReferenceNumber(std::u16string_view text, std::size_t pos, int base, std::size_t& end, bool& inRange) {
  std::size_t q = pos;
  while (q < text.size() && isSpaceUnit(text[q])) ++q;
  bool negative = false;
  if (q < text.size() && (text[q] == '+' || text[q] == '-')) negative = text[q++] == '-';
  if (base == 16 && q + 2 < text.size() && text[q] == '0' && (text[q + 1] == 'x' || text[q + 1] == 'X') &&
      hexValue(text[q + 2]) >= 0) {
    q += 2;
  }
  std::uint32_t value = 0;
  bool overflow = false;
  std::size_t digitsStart = q;
  for (; q < text.size(); ++q) {
    int digit = hexValue(text[q]);
    if (digit < 0 || digit >= base) break;
    value = value * base + digit;
    if (value > 0x10FFFF) {
      overflow = true;
      value = 0x10FFFF;
    }
  }
  if (q == digitsStart) {
    end = pos;
    inRange = true;
    return 0;
  }
  end = q;
  inRange = !overflow && !(negative && value != 0);
  return value;
}

void decodeNumericReferences(std::u16string& text) {
  if (text.find(u"&#") == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (!startsWith(text, i, u"&#")) {
      out += text[i++];
      continue;
    }
    std::size_t numberStart = i + 2;
    int base = 10;
    if (numberStart < text.size() && (text[numberStart] == 'x' || text[numberStart] == 'X')) {
      base = 16;
      ++numberStart;
    }
    std::size_t end = 0;
    bool inRange = true;
    char32_t value = readReferenceNumber(text, numberStart, base, end, inRange);
    if (end < text.size() && text[end] == ';') {
      appendCodePoint(out, inRange ? value : kReplacement);
      i = end + 1;
    } else {
      out += u"&#";
      i += 2;
    }
  }
  text.swap(out);
}

}  // namespace

bool readReferenceTag(const ScannedTag& tag, PARSE2INFO& info) {
  if (tag.name == "link") {
    auto rel = tag.attributes.find("rel");
    if (rel != tag.attributes.end() && lowercaseCopy(rel->second) == "stylesheet") record(tag, info);
  } else if (tag.name == "script") {
    if (!isScriptJavaScript(tag, info.defaultScriptType) || !tag.attributes.contains("src")) return true;
    record(tag, info);
  }
  return false;
}

void collectReferences(std::string_view page, PARSE2INFO& info) {
  TagWalk walk(page, [](std::string_view name) { return name == "link" || name == "script"; });
  ScannedTag tag;
  while (walk.next(tag)) {
    if (readReferenceTag(tag, info)) walk.skipScriptBody(tag.span);
  }
}

bool resolveLocalReference(std::u16string& path, std::string_view value, TargetEncoding pageEncoding) {
  if (value.size() > 5 && value.starts_with("http:")) return false;
  if (value.size() > 4 && value.starts_with("ftp:")) return false;
  std::string_view rest = value;
  if (value.size() > 7 && value.starts_with("file://")) {
    rest.remove_prefix(7);
  } else if (value.size() > 5 && value.starts_with("file:")) {
    rest.remove_prefix(5);
  }
  std::u16string decoded = decodeToWide(rest, pageEncoding);
  // A query or a fragment names no part of the file. "&#" begins a character reference; an
  // escaped "?" or "#" (%3F, %23) is part of the name.
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == u'?' || (decoded[i] == u'#' && (i == 0 || decoded[i - 1] != u'&'))) {
      decoded.resize(i);
      break;
    }
  }
  decodeReferenceText(decoded);
  path = std::move(decoded);
  return true;
}

void decodeReferenceText(std::u16string& text) {
  replaceAll(text, u"&quot;", u'"');
  replaceAll(text, u"&lt;", u'<');
  replaceAll(text, u"&gt;", u'>');
  replaceAll(text, u"&amp;", u'&');
  decodePercentEscapes(text);
  decodeNumericReferences(text);
}

std::u16string replaceUnit(std::u16string_view text, char16_t from, char16_t to) {
  std::u16string out(text);
  for (char16_t& u : out) {
    if (u == from) u = to;
  }
  return out;
}

}  // namespace sarnavel
