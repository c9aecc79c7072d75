// The regions of a page in which the browser reads text in another language than HTML: the
// bodies of `script` and `style` elements, the raw text of `xmp` and `plaintext`, where no
// escape of any language is read, and the fallback text of `iframe`, `noembed` and `noframes`,
// raw text too, which browsers keep in the page but never show.
//
// A character a conversion cannot write as itself is escaped in the syntax of the region it
// stands in: a script body reads `&#233;` as six characters but `\u00E9` as é, a style body
// reads `\E9 `, and raw text reads nothing at all (such a character is lost there). Regions are
// found as browsers find them, in one forward pass: outside comments, a `script`, `style`,
// `xmp`, `plaintext`, `iframe`, `noembed` or `noframes` start tag (any letter case, followed by
// white space, `/` or `>`) opens its body at the tag's `>`; a script body ends where
// script_data.h says, any other at the next "</" and the same name followed by white space,
// `/` or `>`; either runs to the end of the page when there is none (`plaintext` always
// does). The text of `textarea` and `title` is stepped over without looking for tags in it, as
// browsers do, and counts as HTML. The content of `noscript` is markup as a browser without
// scripts reads it, so a style sheet there gets the escapes of CSS (a browser that runs scripts
// never shows it). A script whose type names neither JavaScript nor JSON (an HTML template,
// say) is HTML too, since its text is read back as HTML.
//
// Works on byte text in which every byte below 0x80 is ASCII (UTF-8, code page 1252, Shift_JIS
// and EUC-JP, none of whose characters holds `<` or `>`), on ISO-2022-JP text when told (the
// searches then step over its two-byte runs), and on UTF-16 units.
//
// Contract: a PageRegions walks its page forward once; `next` hands over spans that cover the
// page from 0 to its end in order, and `at` may be asked about offsets that do not decrease.
// Reads only; linear in the page size.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace sarnavel {

enum class PageRegion { Markup, Script, Style, RawText, Fallback };

struct RegionSpan {
  PageRegion region = PageRegion::Markup;
  std::size_t start = 0;
  std::size_t end = 0;  // one past the last unit
};

template <class Char>
class PageRegions {
 public:
  explicit PageRegions(std::basic_string_view<Char> page, bool iso2022 = false) : page_(page), iso2022_(iso2022) {}

  // The next span; none once the whole page has been handed over (an empty page has none).
  std::optional<RegionSpan> next();
  // The span that holds `offset` (the last span for an offset past the end).
  RegionSpan at(std::size_t offset);

 private:
  std::size_t find(Char unit, std::size_t from) const;
  // The first `<` at or after `from` that may open a comment or an element with a body.
  std::size_t findOpener(std::size_t from) const;
  std::basic_string_view<Char> page_;
  bool iso2022_;
  std::size_t scanned_ = 0;                // everything before this has been handed over
  std::optional<RegionSpan> pendingBody_;  // the body that follows the markup just handed over
  RegionSpan current_{};                   // the span `at` answered last
};

extern template class PageRegions<char>;
extern template class PageRegions<char16_t>;

}  // namespace sarnavel
