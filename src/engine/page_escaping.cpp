#include "engine/page_escaping.h"

#include <algorithm>

#include "engine/escaping.h"
#include "text/ascii.h"
#include "text/cp1252.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// The page is a UTF-16 text or UTF-8 bytes; everything looked for is ASCII, which reads the
// same in both.
template <class Char>
Char lower(Char c) {
  return asciiLower(c);
}

template <class Char>
bool startsWithNoCase(std::basic_string_view<Char> text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (lower(text[at + k]) != static_cast<Char>(word[k])) return false;
  }
  return true;
}

template <class Char>
std::size_t findNoCase(std::basic_string_view<Char> text, std::size_t from, std::string_view word) {
  for (std::size_t i = text.find(Char('<'), from); i != std::basic_string_view<Char>::npos;
       i = text.find(Char('<'), i + 1)) {
    if (startsWithNoCase(text, i, word)) return i;
  }
  return std::basic_string_view<Char>::npos;
}

template <class Char>
bool isTagNameEnd(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

// The value of the type attribute of a start tag's text, lower-cased; empty when absent.
template <class Char>
std::u16string typeOf(std::basic_string_view<Char> tagText) {
  std::u16string lowered(tagText.begin(), tagText.end());
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower<char16_t>);
  std::size_t at = lowered.find(u"type");
  while (
      at != std::u16string::npos && at > 0 &&
      !(lowered[at - 1] == u' ' || lowered[at - 1] == u'\t' || lowered[at - 1] == u'\n' || lowered[at - 1] == u'\r')) {
    at = lowered.find(u"type", at + 1);
  }
  if (at == std::u16string::npos) return {};
  std::size_t i = at + 4;
  while (i < lowered.size() && (lowered[i] == u' ' || lowered[i] == u'\t')) ++i;
  if (i >= lowered.size() || lowered[i] != u'=') return {};
  ++i;
  while (i < lowered.size() && (lowered[i] == u' ' || lowered[i] == u'\t')) ++i;
  if (i < lowered.size() && (lowered[i] == u'"' || lowered[i] == u'\'')) {
    char16_t quote = lowered[i++];
    std::size_t end = lowered.find(quote, i);
    return lowered.substr(i, end == std::u16string::npos ? std::u16string::npos : end - i);
  }
  std::size_t end = i;
  while (end < lowered.size() && !isTagNameEnd<char16_t>(lowered[end])) ++end;
  return lowered.substr(i, end - i);
}

bool isScriptLike(std::u16string_view type) {
  if (type.empty() || type == u"module") return true;
  if (type.find(u"javascript") != std::u16string_view::npos || type.find(u"ecmascript") != std::u16string_view::npos)
    return true;
  return type.find(u"json") != std::u16string_view::npos || type.starts_with(u"text/jscript") ||
         type.starts_with(u"text/livescript");
}

// Escapes the page region by region; escapeRegion(language, part) escapes one part.
template <class Char, class EscapeRegion>
std::string escapeByRegion(std::basic_string_view<Char> page, EscapeRegion&& escapeRegion) {
  using View = std::basic_string_view<Char>;
  std::string out;
  out.reserve(page.size() * 2);
  std::size_t done = 0;  // everything before this is written
  std::size_t i = 0;
  while ((i = page.find(Char('<'), i)) != View::npos) {
    if (startsWithNoCase(page, i, "<!--")) {
      const Char commentEnd[] = {'-', '-', '>'};
      std::size_t close = page.find(View(commentEnd, 3), i + 4);
      if (close == View::npos) break;
      i = close + 3;
      continue;
    }
    std::string_view closer;
    EscapeLanguage language = EscapeLanguage::Html;
    if (startsWithNoCase(page, i, "<script") && i + 7 < page.size() && isTagNameEnd(page[i + 7])) {
      closer = "</script";
      language = EscapeLanguage::JavaScript;
    } else if (startsWithNoCase(page, i, "<style") && i + 6 < page.size() && isTagNameEnd(page[i + 6])) {
      closer = "</style";
      language = EscapeLanguage::Css;
    } else {
      ++i;
      continue;
    }
    std::size_t tagEnd = page.find(Char('>'), i);
    if (tagEnd == View::npos) break;
    if (language == EscapeLanguage::JavaScript && !isScriptLike(typeOf(page.substr(i + 7, tagEnd - i - 7)))) {
      language = EscapeLanguage::Html;
    }
    std::size_t bodyStart = tagEnd + 1;
    std::size_t bodyEnd = findNoCase(page, bodyStart, closer);
    if (bodyEnd == View::npos) bodyEnd = page.size();
    escapeRegion(out, EscapeLanguage::Html, page.substr(done, bodyStart - done));
    escapeRegion(out, language, page.substr(bodyStart, bodyEnd - bodyStart));
    done = bodyEnd;
    i = bodyEnd;
  }
  escapeRegion(out, EscapeLanguage::Html, page.substr(done));
  return out;
}

}  // namespace

std::string escapeHtmlPage(std::u16string_view page, EscapeTarget target, std::size_t firstOffset) {
  return escapeByRegion(page, [&](std::string& out, EscapeLanguage language, std::u16string_view part) {
    Cp932Escaper escaper(out, language, target);
    const std::size_t partStart = static_cast<std::size_t>(part.data() - page.data());
    for (std::size_t k = 0; k < part.size(); ++k) escaper.unit(part[k], firstOffset + 2 * (partStart + k));
    escaper.finish();
  });
}

std::string escapeHtmlPageUtf8(std::string_view page, EscapeTarget target, std::size_t firstOffset) {
  return escapeByRegion(page, [&](std::string& out, EscapeLanguage language, std::string_view part) {
    Cp932Escaper escaper(out, language, target);
    const std::size_t base = firstOffset + static_cast<std::size_t>(part.data() - page.data());
    struct Offsets {
      Cp932Escaper& escaper;
      const char* start;
      std::size_t base;
      void ascii(const char* s, std::size_t n) { escaper.ascii(s, n, base + static_cast<std::size_t>(s - start)); }
      void unit(char16_t u, std::size_t at) { escaper.unit(u, base + at); }
      void irregular(std::size_t at) { escaper.irregular(base + at); }
    } sink{escaper, part.data(), base};
    decodeUtf8Into(part, sink);
    escaper.finish();
  });
}

std::string escapeHtmlPageCp1252(std::string_view page, EscapeTarget target) {
  return escapeByRegion(page, [&](std::string& out, EscapeLanguage language, std::string_view part) {
    Cp932Escaper escaper(out, language, target);
    const std::size_t base = static_cast<std::size_t>(part.data() - page.data());
    for (std::size_t k = 0; k < part.size();) {
      std::size_t run = k;
      while (run < part.size() && static_cast<unsigned char>(part[run]) < 0x80) ++run;
      if (run > k) escaper.ascii(part.data() + k, run - k, base + k);
      if (run < part.size()) {
        for (char16_t u : cp1252Decomposed(static_cast<unsigned char>(part[run]))) escaper.unit(u, base + run);
      }
      k = run + 1;
    }
    escaper.finish();
  });
}

}  // namespace sarnavel
