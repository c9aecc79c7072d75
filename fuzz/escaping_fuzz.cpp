// The three escapers, the page escaper and the UTF-8 preparation.
//
// Properties: the escaped text is clean code page 932 (every byte sequence forms a character,
// zero units stay zero bytes); a text the code page holds entirely is written without a single
// escape; read back by the language's own escape syntax the escaped text gives every unit of
// the input, but the C1 controls no HTML reference shows, which stand as the geta mark there,
// and a surrogate without its partner, which stands as U+FFFD (checked where the input holds no `&` or `\`, whose own text could pass for an escape); the page escaper writes only escapes that its three languages use; the UTF-8
// preparation replaces exactly the texts that are UTF-8 and leaves the others byte for byte.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/escaping.h"
#include "engine/page_escaping.h"
#include "fuzz_support.h"
#include "text/cp932.h"
#include "text/utf8.h"

namespace {

using namespace sarnavel;
using sarnavel::fuzz::hexOf;

std::string hexOfUnits(std::u16string_view units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes.push_back(static_cast<char>(u >> 8));
    bytes.push_back(static_cast<char>(u & 0xFF));
  }
  return hexOf(bytes, 96);
}

bool heldEntirely(std::u16string_view text) {
  for (char16_t u : text) {
    if (u >= 0x80 && cp932::fromUnicode(u) == cp932::kNoCode) return false;
  }
  return true;
}

// The text with every surrogate that is not half of a pair replaced by U+FFFD.
std::u16string withLoneSurrogatesReplaced(std::u16string_view text) {
  std::u16string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (isHighSurrogate(out[i]) && i + 1 < out.size() && isLowSurrogate(out[i + 1])) {
      ++i;
    } else if (isHighSurrogate(out[i]) || isLowSurrogate(out[i])) {
      out[i] = u'\uFFFD';
    }
  }
  return out;
}

bool hexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

void appendCodePoint(std::u16string& out, unsigned long value) {
  if (value >= 0x10000) {
    out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(value));
  }
}

// Reads escapes back: &#N; for HTML, \HEX plus one space for CSS, \uHHHH for JavaScript.
std::u16string unescape(EscapeLanguage language, std::u16string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (language == EscapeLanguage::Html && c == u'&' && i + 2 < text.size() && text[i + 1] == u'#') {
      std::size_t j = i + 2;
      unsigned long value = 0;
      while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') value = value * 10 + (text[j++] - u'0');
      if (j < text.size() && text[j] == u';' && j > i + 2) {
        appendCodePoint(out, value);
        i = j + 1;
        continue;
      }
    } else if (language == EscapeLanguage::Css && c == u'\\') {
      std::size_t j = i + 1;
      unsigned long value = 0;
      while (j < text.size() && j < i + 7 && hexDigit(text[j]))
        value = value * 16 + std::stoul(std::string(1, static_cast<char>(text[j++])), nullptr, 16);
      if (j > i + 1) {
        if (j < text.size() && text[j] == u' ') ++j;
        appendCodePoint(out, value);
        i = j;
        continue;
      }
    } else if (language == EscapeLanguage::JavaScript && c == u'\\' && i + 5 < text.size() && text[i + 1] == u'u') {
      unsigned long value = 0;
      bool ok = true;
      for (std::size_t k = i + 2; k < i + 6; ++k) {
        ok = ok && hexDigit(text[k]);
        if (ok) value = value * 16 + std::stoul(std::string(1, static_cast<char>(text[k])), nullptr, 16);
      }
      if (ok) {
        out.push_back(static_cast<char16_t>(value));
        i += 6;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

void checkEscaper(EscapeLanguage language, std::u16string_view text) {
  const std::string escaped = escapeFor(language, text);
  const std::string where = "language " + std::to_string(static_cast<int>(language)) + " text " + hexOfUnits(text) +
                            " escaped " + hexOf(escaped);
  const std::u16string readBack = cp932ToWide(escaped);
  FUZZ_CHECK(readBack.find(u'\uFFFD') == std::u16string::npos, where + ": not clean code page 932");
  FUZZ_CHECK(std::count(escaped.begin(), escaped.end(), '\0') == std::count(text.begin(), text.end(), u'\0'),
             where + ": zero units");
  if (heldEntirely(text)) FUZZ_CHECK(escaped == wideToCp932(text), where + ": a text the code page holds was escaped");
  const char16_t marker = language == EscapeLanguage::Html ? u'&' : u'\\';
  if (text.find(marker) == std::u16string_view::npos) {
    // No HTML reference shows most C1 controls (a browser reads &#148; as ”): the code page
    // lacks them, so they stand as the geta mark. A surrogate without its partner forms no
    // character: a browser decoding the text shows U+FFFD, and so does its escape.
    std::u16string expected = withLoneSurrogatesReplaced(text);
    for (char16_t& u : expected) {
      if (language == EscapeLanguage::Html && !referenceShowsItself(u) && cp932::fromUnicode(u) == cp932::kNoCode)
        u = u'\u3013';
    }
    FUZZ_CHECK(unescape(language, readBack) == expected, where + ": escapes do not read back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t choice = input.byte();
  const std::string_view bytes = input.rest();

  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1])));
  }
  checkEscaper(EscapeLanguage::Html, units);
  checkEscaper(EscapeLanguage::Css, units);
  checkEscaper(EscapeLanguage::JavaScript, units);
  FUZZ_CHECK(escapeForHtml(units) == escapeFor(EscapeLanguage::Html, units), hexOfUnits(units));
  FUZZ_CHECK(escapeForCss(units) == escapeFor(EscapeLanguage::Css, units), hexOfUnits(units));
  FUZZ_CHECK(escapeForJavaScript(units) == escapeFor(EscapeLanguage::JavaScript, units), hexOfUnits(units));

  const std::string page = escapeHtmlPage(units);
  FUZZ_CHECK(cp932ToWide(page).find(u'\uFFFD') == std::u16string::npos,
             "page " + hexOfUnits(units) + ": not clean code page 932");
  if (heldEntirely(units))
    FUZZ_CHECK(page == wideToCp932(units), "page " + hexOfUnits(units) + ": escaped a text the code page holds");

  // UTF-8 preparation, of the raw bytes as a text in each language.
  const auto language = static_cast<EscapeLanguage>(choice % 3);
  std::string prepared(bytes);
  const bool replaced = prepareUtf8Text(prepared, language);
  FUZZ_CHECK(replaced == isUtf8Text(bytes), "UTF-8 preparation of " + hexOf(bytes));
  if (!replaced) FUZZ_CHECK(prepared == bytes, "preparation changed a text that is not UTF-8: " + hexOf(bytes));
  if (replaced) {
    std::u16string decoded = utf8ToUtf16(bytes);
    if (!decoded.empty() && decoded.front() == u'\uFEFF') decoded.erase(0, 1);
    FUZZ_CHECK(prepared == escapeFor(language, decoded), "prepared " + hexOf(prepared) + " from " + hexOf(bytes));
    FUZZ_CHECK(cp932ToWide(prepared).find(u'\uFFFD') == std::u16string::npos,
               "prepared text not clean: " + hexOf(bytes));
  }
  return 0;
}
