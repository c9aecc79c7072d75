#include "engine/escaping.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/cp1252.h"
#include "text/cp932.h"
#include "text/jis.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

void appendReference(std::string& out, char32_t codePoint) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "&#%u;", static_cast<unsigned>(codePoint));
  out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

bool referenceShowsItself(char32_t codePoint) {
  if (codePoint < 0x80 || codePoint > 0x9F) return true;
  // The five bytes windows-1252 leaves undefined; a reference to them gives the control itself.
  return codePoint == 0x81 || codePoint == 0x8D || codePoint == 0x8F || codePoint == 0x90 || codePoint == 0x9D;
}

void appendEscape(std::string& out, EscapeLanguage language, char32_t codePoint) {
  char buffer[32];
  int n = 0;
  switch (language) {
    case EscapeLanguage::Html: appendReference(out, codePoint); return;
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

bool targetHolds(TargetEncoding target, char32_t codePoint) {
  if (target == TargetEncoding::Utf8) return true;
  if (codePoint > 0xFFFF) return false;
  const auto unit = static_cast<char16_t>(codePoint);
  if (target == TargetEncoding::ShiftJis) return cp932::fromUnicode(unit) != cp932::kNoCode;
  return cp932::fromUnicode(unit) != cp932::kNoCode && cp932::jisReachable(unit) != cp932::kNoCode;
}

void TextEscaper::escape(char32_t codePoint, std::size_t offset) {
  if (languageAt_) language_ = languageAt_(offset);
  if (!language_) {
    // Raw text reads no escape: the target's own bytes where it has them, else it is lost.
    if (utf8Output_) {
      appendUtf8(out_, codePoint);
      return;
    }
    if (rawTextStandIn_ == StandIn::GetaMark) {
      standIn(codePoint, offset);
      return;
    }
    appendReference(out_, codePoint);
    if (target_.findings != nullptr) target_.findings->lost(codePoint, offset, rawTextStandIn_);
    return;
  }
  if (*language_ == EscapeLanguage::Html && !referenceShowsItself(codePoint)) {
    standIn(codePoint, offset);
    return;
  }
  if (*language_ == EscapeLanguage::JavaScript) escapeInJavaScript(codePoint, offset);
  else appendEscape(out_, *language_, codePoint);
  if (target_.findings != nullptr) target_.findings->escaped(codePoint, offset);
}

// The escape that gives the character where it stands: in code a blank or a name's escape, in
// a String.raw template a substitution, elsewhere the escape of a literal.
void TextEscaper::escapeInJavaScript(char32_t codePoint, std::size_t offset) {
  const JavaScriptPlace place = placeOf_ ? placeOf_(offset) : JavaScriptPlace::Literal;
  if (place == JavaScriptPlace::RawTemplate) {
    out_ += "${\"";
    appendEscape(out_, EscapeLanguage::JavaScript, codePoint);
    out_ += "\"}";
  } else if (place == JavaScriptPlace::Code && codePoint > 0xFFFF) {
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "\\u{%X}", static_cast<unsigned>(codePoint));
    out_.append(buffer, static_cast<std::size_t>(n));
  } else if (place == JavaScriptPlace::Code && isJavaScriptWhiteSpace(codePoint)) {
    out_.push_back(' ');
  } else {
    appendEscape(out_, EscapeLanguage::JavaScript, codePoint);
  }
}

// A character no escape of the place carries: UTF-8 holds it as itself; the Japanese targets
// write the geta mark, in the bytes the text is written in, and it is lost.
void TextEscaper::standIn(char32_t codePoint, std::size_t offset) {
  if (utf8Output_) {
    appendUtf8(out_, codePoint);
    return;
  }
  // In EUC-JP, else in code page 932 (which the converter carries into the target).
  if (targetBytes_ && target_.target == TargetEncoding::EucJp) {
    out_.push_back(static_cast<char>(0xA0 + jis::kGetaMark.row));
    out_.push_back(static_cast<char>(0xA0 + jis::kGetaMark.cell));
  } else {
    cp932::appendCode(out_, jis::toShiftJis(jis::kGetaMark));
  }
  if (target_.findings != nullptr) target_.findings->lost(codePoint, offset, StandIn::GetaMark);
}

void TextEscaper::write(char32_t codePoint, std::size_t offset) {
  if (target_.keepCharacters) {
    appendUtf8(out_, codePoint);
    return;
  }
  const std::uint16_t code = codePoint > 0xFFFF ? cp932::kNoCode : cp932::fromUnicode(static_cast<char16_t>(codePoint));
  const bool held = code != cp932::kNoCode && (!jisRows_ || targetHolds(target_.target, codePoint));
  if (!held) escape(codePoint, offset);
  else if (utf8Output_) appendUtf8(out_, codePoint);
  else cp932::appendCode(out_, code);
}

void TextEscaper::finish() {
  if (pendingHigh_ != 0) irregular(pendingOffset_);
  pendingHigh_ = 0;
}

void TextEscaper::ascii(const char* s, std::size_t n, std::size_t offset) {
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

void TextEscaper::irregular(std::size_t offset) {
  pendingHigh_ = 0;
  if (languageAt_) language_ = languageAt_(offset);
  if (target_.findings != nullptr) target_.findings->invalid(offset);
  if (target_.keepCharacters || (!language_ && utf8Output_)) {
    appendUtf8(out_, 0xFFFD);
  } else if (!language_) {
    appendReference(out_, 0xFFFD);
  } else if (*language_ == EscapeLanguage::JavaScript) {
    escapeInJavaScript(0xFFFD, offset);
  } else {
    appendEscape(out_, *language_, 0xFFFD);
  }
}

void TextEscaper::unit(char16_t u, std::size_t offset) {
  if (pendingHigh_ != 0) {
    const char16_t high = pendingHigh_;
    pendingHigh_ = 0;
    if (isLowSurrogate(u)) {
      write(combineSurrogates(high, u), pendingOffset_);
      return;
    }
    irregular(pendingOffset_);  // a high surrogate without its partner
  }
  if (isHighSurrogate(u)) {
    pendingHigh_ = u;
    pendingOffset_ = offset;
  } else if (isLowSurrogate(u)) {
    irregular(offset);
  } else {
    write(u, offset);
  }
}

std::string escapeFor(EscapeLanguage language, std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  TextEscaper escaper(out, language);
  for (char16_t u : text) escaper.unit(u);
  escaper.finish();
  return out;
}

std::string escapeUtf8(EscapeLanguage language, std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  TextEscaper escaper(out, language);
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

void escapeUtf8(TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset) {
  struct Offsets {
    TextEscaper& escaper;
    const char* start;
    std::size_t base;
    void ascii(const char* s, std::size_t n) { escaper.ascii(s, n, base + static_cast<std::size_t>(s - start)); }
    void unit(char16_t u, std::size_t at) { escaper.unit(u, base + at); }
    void irregular(std::size_t at) { escaper.irregular(base + at); }
  } sink{escaper, bytes.data(), firstOffset};
  decodeUtf8Into(bytes, sink);
}

void escapeCp1252(TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset, bool decompose) {
  for (std::size_t k = 0; k < bytes.size();) {
    std::size_t run = k;
    while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80) ++run;
    if (run > k) escaper.ascii(bytes.data() + k, run - k, firstOffset + k);
    if (run < bytes.size()) {
      const auto byte = static_cast<unsigned char>(bytes[run]);
      if (decompose) {
        for (char16_t u : cp1252Decomposed(byte)) escaper.unit(u, firstOffset + run);
      } else {
        escaper.unit(cp1252Unit(byte), firstOffset + run);
      }
    }
    k = run + 1;
  }
}

}  // namespace sarnavel
