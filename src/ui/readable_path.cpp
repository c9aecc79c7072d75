#include "ui/readable_path.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/encoding_detection.h"
#include "report/visible_path.h"
#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// One character of strict UTF-8 at the start of `bytes`: no overlong forms, no surrogates,
// nothing above U+10FFFF. Sets `length`; nullopt when the bytes there are no such character.
std::optional<char32_t> utf8CharacterAt(std::string_view bytes, std::size_t& length) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  const unsigned b = p[0];
  length = 1;
  if (b < 0x80) return b;
  std::size_t count;
  char32_t value, least;
  if (b >= 0xC2 && b <= 0xDF) {
    count = 1, value = b & 0x1F, least = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    count = 2, value = b & 0x0F, least = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    count = 3, value = b & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (n < count + 1) return std::nullopt;
  for (std::size_t k = 1; k <= count; ++k) {
    if ((p[k] & 0xC0) != 0x80) return std::nullopt;
    value = value << 6 | (p[k] & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  length = count + 1;
  return value;
}

void appendByteEscape(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0xF]);
}

// A character as it is, unless it is a control character (the log's rule, visible_path.h) or
// a backslash, which is doubled so that no name can look like an escape.
void appendVisible(std::string& out, char32_t c) {
  if (c == '\\') {
    out += "\\\\";
  } else if (isControlCharacter(c)) {
    appendVisibleControl(out, c);
  } else {
    appendUtf8(out, c);
  }
}

void appendVisible(std::string& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      c = combineSurrogates(text[i], text[i + 1]);
      ++i;
    }
    appendVisible(out, c);
  }
}

// The reading of bytes in a Japanese encoding, when every byte belongs to a character. A C1
// control (Shift_JIS 0x80) is no character anyone names a file with.
std::optional<std::u16string> readingAs(std::string_view bytes, TargetEncoding encoding) {
  std::u16string text = decodeToWide(bytes, encoding);
  for (char16_t unit : text) {
    if (unit == u'\uFFFD' || (unit >= 0x80 && unit <= 0x9F)) return std::nullopt;
  }
  return text;
}

enum class Reading { Utf8, ShiftJis, EucJp, Bytes };

// Appends a component that is valid UTF-8, copying its bytes but for the characters to be
// escaped; false, with `out` as it was, when the component is not valid UTF-8.
bool appendUtf8Component(std::string& out, std::string_view component) {
  const std::size_t mark = out.size();
  std::size_t copied = 0;
  for (std::size_t i = 0, length = 1; i < component.size(); i += length) {
    const auto b = static_cast<unsigned char>(component[i]);
    length = 1;
    if (b >= 0x20 && b < 0x7F && b != '\\') continue;
    const std::optional<char32_t> c = utf8CharacterAt(component.substr(i), length);
    if (!c) {
      out.resize(mark);
      return false;
    }
    if (*c != '\\' && !isControlCharacter(*c)) continue;
    out.append(component.substr(copied, i - copied));
    appendVisible(out, *c);
    copied = i + length;
  }
  out.append(component.substr(copied));
  return true;
}

Reading appendComponent(std::string& out, std::string_view component) {
  if (appendUtf8Component(out, component)) return Reading::Utf8;
  std::optional<std::u16string> shiftJis = readingAs(component, TargetEncoding::ShiftJis);
  std::optional<std::u16string> eucJp = readingAs(component, TargetEncoding::EucJp);
  // Bytes valid in both are judged the way the converter judges a document.
  if (eucJp && (!shiftJis || detectInputEncoding(component) == InputEncoding::EucJp)) {
    appendVisible(out, *eucJp);
    return Reading::EucJp;
  }
  if (shiftJis) {
    appendVisible(out, *shiftJis);
    return Reading::ShiftJis;
  }
  for (std::size_t i = 0, length = 0; i < component.size(); i += length) {
    if (std::optional<char32_t> c = utf8CharacterAt(component.substr(i), length)) {
      appendVisible(out, *c);
    } else {
      appendByteEscape(out, static_cast<unsigned char>(component[i]));
    }
  }
  return Reading::Bytes;
}

}  // namespace

std::string readablePath(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 16);
  bool shiftJisUsed = false, eucJpUsed = false;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = bytes.find('/', start);
    const Reading reading = appendComponent(
        out, bytes.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    shiftJisUsed |= reading == Reading::ShiftJis;
    eucJpUsed |= reading == Reading::EucJp;
    if (slash == std::string_view::npos) break;
    out.push_back('/');
    start = slash + 1;
  }
  if (shiftJisUsed && eucJpUsed) {
    out += " [Shift_JIS, EUC-JP]";
  } else if (shiftJisUsed) {
    out += " [Shift_JIS]";
  } else if (eucJpUsed) {
    out += " [EUC-JP]";
  }
  return out;
}

}  // namespace sarnavel
