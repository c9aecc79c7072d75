#include "engine/escaping.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

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

bool Cp932Escaper::holds(char16_t u, std::uint16_t code) const {
  if (code == cp932::kNoCode) return false;
  const bool jisRows = target_.target == TargetEncoding::EucJp || target_.target == TargetEncoding::Iso2022Jp;
  return !jisRows || cp932::jisReachable(u) != cp932::kNoCode;
}

void Cp932Escaper::escape(char32_t codePoint, std::size_t offset) {
  appendEscape(out_, language_, codePoint);
  if (target_.findings != nullptr) target_.findings->escaped(codePoint, offset);
}

void Cp932Escaper::write(char16_t u, std::size_t offset) {
  std::uint16_t code = cp932::fromUnicode(u);
  if (holds(u, code)) cp932::appendCode(out_, code);
  else escape(u, offset);
}

void Cp932Escaper::finish() {
  if (pendingHigh_ != 0) write(pendingHigh_, pendingOffset_);
  pendingHigh_ = 0;
}

void Cp932Escaper::ascii(const char* s, std::size_t n, std::size_t offset) {
  finish();
  if (target_.target != TargetEncoding::Iso2022Jp) {
    out_.append(s, n);
    return;
  }
  // An escape byte written as it is would join the text after it into a designation.
  for (const char* esc; (esc = static_cast<const char*>(std::memchr(s, 0x1B, n))) != nullptr;) {
    const auto before = static_cast<std::size_t>(esc - s);
    out_.append(s, before);
    escape(0x1B, offset == Findings::kNoOffset ? offset : offset + before);
    n -= before + 1;
    s = esc + 1;
    if (offset != Findings::kNoOffset) offset += before + 1;
  }
  out_.append(s, n);
}

void Cp932Escaper::irregular(std::size_t offset) {
  finish();
  out_.push_back('?');
  if (target_.findings != nullptr) target_.findings->invalid(offset);
}

void Cp932Escaper::unit(char16_t u, std::size_t offset) {
  if (pendingHigh_ != 0) {
    char16_t high = pendingHigh_;
    pendingHigh_ = 0;
    if (isLowSurrogate(u)) {
      escape(combineSurrogates(high, u), pendingOffset_);
      return;
    }
    write(high, pendingOffset_);
  }
  if (isHighSurrogate(u)) {
    pendingHigh_ = u;
    pendingOffset_ = offset;
  } else {
    write(u, offset);
  }
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

bool prepareUtf8Text(std::string& text, EscapeLanguage language) {
  if (!isUtf8Text(text)) return false;
  text = escapeUtf8(language, withoutByteOrderMark(text));
  return true;
}

std::string_view withoutByteOrderMark(std::string_view utf8) {
  return utf8.starts_with("\xEF\xBB\xBF") ? utf8.substr(3) : utf8;
}

}  // namespace sarnavel
