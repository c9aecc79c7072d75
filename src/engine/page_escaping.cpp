#include "engine/page_escaping.h"

#include <memory>
#include <optional>

#include "engine/javascript_context.h"
#include "html/page_regions.h"
#include "text/cp1252.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

std::optional<EscapeLanguage> languageOf(PageRegion region) {
  switch (region) {
    case PageRegion::Script: return EscapeLanguage::JavaScript;
    case PageRegion::Style: return EscapeLanguage::Css;
    case PageRegion::RawText: return std::nullopt;
    case PageRegion::Markup: break;
  }
  return EscapeLanguage::Html;
}

// Escapes the page region by region: escapeRegion(escaper, part, partStart) writes one part
// through an escaper made for its region. `offsetOf(index)` is the source offset of the unit at
// an index of the page.
template <class Char, class EscapeRegion, class OffsetOf>
std::string escapeByRegion(std::basic_string_view<Char> page, EscapeTarget target, OffsetOf&& offsetOf,
                           EscapeRegion&& escapeRegion) {
  std::string out;
  out.reserve(page.size() + page.size() / 2);
  PageRegions<Char> regions(page);
  while (std::optional<RegionSpan> span = regions.next()) {
    const std::basic_string_view<Char> part = page.substr(span->start, span->end - span->start);
    TextEscaper escaper(out, languageOf(span->region), target);
    std::unique_ptr<JavaScriptContext<Char>> context;
    if (span->region == PageRegion::Script) {
      context = std::make_unique<JavaScriptContext<Char>>(part);
      // The code probe is asked by source offset; the context reads the part by index.
      const std::size_t base = offsetOf(span->start);
      const std::size_t step = offsetOf(span->start + 1) - base;
      escaper.setCodeProbe(
          [&context, base, step](std::size_t offset) { return context->inCode((offset - base) / step); });
    }
    escapeRegion(escaper, part, span->start);
    escaper.finish();
  }
  return out;
}

}  // namespace

std::string escapeHtmlPage(std::u16string_view page, EscapeTarget target, std::size_t firstOffset) {
  auto offsetOf = [firstOffset](std::size_t index) { return firstOffset + 2 * index; };
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::u16string_view part, std::size_t start) {
    for (std::size_t k = 0; k < part.size(); ++k) escaper.unit(part[k], offsetOf(start + k));
  });
}

std::string escapeHtmlPageUtf8(std::string_view page, EscapeTarget target, std::size_t firstOffset) {
  auto offsetOf = [firstOffset](std::size_t index) { return firstOffset + index; };
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::string_view part, std::size_t start) {
    struct Offsets {
      TextEscaper& escaper;
      const char* start;
      std::size_t base;
      void ascii(const char* s, std::size_t n) { escaper.ascii(s, n, base + static_cast<std::size_t>(s - start)); }
      void unit(char16_t u, std::size_t at) { escaper.unit(u, base + at); }
      void irregular(std::size_t at) { escaper.irregular(base + at); }
    } sink{escaper, part.data(), offsetOf(start)};
    decodeUtf8Into(part, sink);
  });
}

std::string escapeHtmlPageCp1252(std::string_view page, EscapeTarget target) {
  auto offsetOf = [](std::size_t index) { return index; };
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::string_view part, std::size_t start) {
    for (std::size_t k = 0; k < part.size();) {
      std::size_t run = k;
      while (run < part.size() && static_cast<unsigned char>(part[run]) < 0x80) ++run;
      if (run > k) escaper.ascii(part.data() + k, run - k, start + k);
      if (run < part.size()) {
        const auto byte = static_cast<unsigned char>(part[run]);
        // Kept as the browser reads it where every character is written as itself; otherwise
        // decomposed, so that only the accent needs an escape, as the page has always been read.
        if (escaper.writesEveryCharacter()) {
          escaper.unit(cp1252Unit(byte), start + run);
        } else {
          for (char16_t u : cp1252Decomposed(byte)) escaper.unit(u, start + run);
        }
      }
      k = run + 1;
    }
  });
}

}  // namespace sarnavel
