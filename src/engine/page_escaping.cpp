#include "engine/page_escaping.h"

#include <algorithm>

#include "engine/escaping.h"

namespace sarnavel {
namespace {

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool startsWithNoCase(std::u16string_view text, std::size_t at, std::u16string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (lower(text[at + k]) != word[k]) return false;
  }
  return true;
}

std::size_t findNoCase(std::u16string_view text, std::size_t from, std::u16string_view word) {
  for (std::size_t i = text.find(u'<', from); i != std::u16string_view::npos; i = text.find(u'<', i + 1)) {
    if (startsWithNoCase(text, i, word)) return i;
  }
  return std::u16string_view::npos;
}

bool isTagNameEnd(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'/' || c == u'>'; }

// The value of the type attribute of a start tag's text, lower-cased; empty when absent.
std::u16string typeOf(std::u16string_view tag) {
  std::u16string lowered(tag);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower);
  std::size_t at = lowered.find(u"type");
  while (at != std::u16string::npos && at > 0 && !(lowered[at - 1] == u' ' || lowered[at - 1] == u'\t' || lowered[at - 1] == u'\n' || lowered[at - 1] == u'\r')) {
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
  while (end < lowered.size() && !isTagNameEnd(lowered[end])) ++end;
  return lowered.substr(i, end - i);
}

bool isScriptLike(std::u16string_view type) {
  if (type.empty() || type == u"module") return true;
  if (type.find(u"javascript") != std::u16string_view::npos || type.find(u"ecmascript") != std::u16string_view::npos) return true;
  return type.find(u"json") != std::u16string_view::npos || type.starts_with(u"text/jscript") || type.starts_with(u"text/livescript");
}

}  // namespace

std::string escapeHtmlPage(std::u16string_view page) {
  std::string out;
  out.reserve(page.size() * 2);
  std::size_t done = 0;  // everything before this is written
  std::size_t i = 0;
  while ((i = page.find(u'<', i)) != std::u16string_view::npos) {
    if (page.substr(i, 4) == u"<!--") {
      std::size_t end = page.find(u"-->", i + 4);
      if (end == std::u16string_view::npos) break;
      i = end + 3;
      continue;
    }
    std::u16string_view closer;
    EscapeLanguage language = EscapeLanguage::Html;
    if (startsWithNoCase(page, i, u"<script") && i + 7 < page.size() && isTagNameEnd(page[i + 7])) {
      closer = u"</script";
      language = EscapeLanguage::JavaScript;
    } else if (startsWithNoCase(page, i, u"<style") && i + 6 < page.size() && isTagNameEnd(page[i + 6])) {
      closer = u"</style";
      language = EscapeLanguage::Css;
    } else {
      ++i;
      continue;
    }
    std::size_t tagEnd = page.find(u'>', i);
    if (tagEnd == std::u16string_view::npos) break;
    if (language == EscapeLanguage::JavaScript && !isScriptLike(typeOf(page.substr(i + 7, tagEnd - i - 7)))) {
      language = EscapeLanguage::Html;
    }
    std::size_t bodyStart = tagEnd + 1;
    std::size_t bodyEnd = findNoCase(page, bodyStart, closer);
    if (bodyEnd == std::u16string_view::npos) bodyEnd = page.size();
    out += escapeFor(EscapeLanguage::Html, page.substr(done, bodyStart - done));
    out += escapeFor(language, page.substr(bodyStart, bodyEnd - bodyStart));
    done = bodyEnd;
    i = bodyEnd;
  }
  out += escapeFor(EscapeLanguage::Html, page.substr(done));
  return out;
}

}  // namespace sarnavel
