#include "engine/escaping.h"

#include <cstdint>
#include <cstdio>

#include "text/cp932.h"
#include "text/utf8.h"

namespace sarnavel {

void appendEscape(std::string& out, EscapeLanguage language, char32_t codePoint) {
  char buffer[32];
  int n = 0;
  switch (language) {
    case EscapeLanguage::Html:
      n = std::snprintf(buffer, sizeof buffer, "&#%u;", static_cast<unsigned>(codePoint));
      break;
    case EscapeLanguage::Css:
      n = std::snprintf(buffer, sizeof buffer, "\\%X ", static_cast<unsigned>(codePoint));
      break;
    case EscapeLanguage::JavaScript:
      if (codePoint > 0xFFFF) {
        char32_t v = codePoint - 0x10000;
        n = std::snprintf(buffer, sizeof buffer, "\\u%04X\\u%04X", static_cast<unsigned>(0xD800 + (v >> 10)),
                          static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
      } else {
        n = std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(codePoint));
      }
      break;
  }
  out.append(buffer, static_cast<std::size_t>(n));
}

std::string escapeFor(EscapeLanguage language, std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      appendEscape(out, language, combineSurrogates(unit, text[i + 1]));
      ++i;
      continue;
    }
    std::uint16_t code = cp932::fromUnicode(unit);
    if (code == cp932::kNoCode) {
      appendEscape(out, language, unit);
    } else if (code < 0x100) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    }
  }
  return out;
}

std::string escapeForHtml(std::u16string_view text) { return escapeFor(EscapeLanguage::Html, text); }
std::string escapeForCss(std::u16string_view text) { return escapeFor(EscapeLanguage::Css, text); }
std::string escapeForJavaScript(std::u16string_view text) { return escapeFor(EscapeLanguage::JavaScript, text); }

bool prepareUtf8Text(std::string& text, EscapeLanguage language) {
  if (!isUtf8Text(text)) return false;
  std::u16string wide = decodeUtf8(text);
  std::u16string_view rest = wide;
  if (!rest.empty() && rest.front() == 0xFEFF) rest.remove_prefix(1);
  text = escapeFor(language, rest);
  return true;
}

}  // namespace sarnavel
