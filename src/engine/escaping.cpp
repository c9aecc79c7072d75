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

void Cp932Escaper::write(char16_t u) {
  std::uint16_t code = cp932::fromUnicode(u);
  if (code == cp932::kNoCode) appendEscape(out_, language_, u);
  else cp932::appendCode(out_, code);
}

void Cp932Escaper::finish() {
  if (pendingHigh_ != 0) write(pendingHigh_);
  pendingHigh_ = 0;
}

void Cp932Escaper::ascii(const char* s, std::size_t n) {
  finish();
  out_.append(s, n);
}

void Cp932Escaper::unit(char16_t u) {
  if (pendingHigh_ != 0) {
    char16_t high = pendingHigh_;
    pendingHigh_ = 0;
    if (isLowSurrogate(u)) {
      appendEscape(out_, language_, combineSurrogates(high, u));
      return;
    }
    write(high);
  }
  if (isHighSurrogate(u)) pendingHigh_ = u;
  else write(u);
}

std::string escapeFor(EscapeLanguage language, std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  Cp932Escaper escaper(out, language);
  for (char16_t u : text) escaper.unit(u);
  escaper.finish();
  return out;
}

std::string escapeUtf8(EscapeLanguage language, std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  Cp932Escaper escaper(out, language);
  decodeUtf8Into(utf8, escaper);
  escaper.finish();
  return out;
}

std::string escapeForHtml(std::u16string_view text) { return escapeFor(EscapeLanguage::Html, text); }
std::string escapeForCss(std::u16string_view text) { return escapeFor(EscapeLanguage::Css, text); }
std::string escapeForJavaScript(std::u16string_view text) { return escapeFor(EscapeLanguage::JavaScript, text); }

std::string_view withoutByteOrderMark(std::string_view utf8) {
  return utf8.starts_with("\xEF\xBB\xBF") ? utf8.substr(3) : utf8;
}

bool prepareUtf8Text(std::string& text, EscapeLanguage language) {
  if (!isUtf8Text(text)) return false;
  text = escapeUtf8(language, withoutByteOrderMark(text));
  return true;
}

}  // namespace sarnavel
