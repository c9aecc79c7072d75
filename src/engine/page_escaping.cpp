#include "engine/page_escaping.h"

#include <memory>
#include <optional>

#include "engine/direct_utf8_reading.h"
#include "engine/javascript_context.h"
#include "html/page_regions.h"

namespace sarnavel {
namespace {

std::optional<EscapeLanguage> languageOf(PageRegion region) {
  switch (region) {
    case PageRegion::Script: return EscapeLanguage::JavaScript;
    case PageRegion::Style: return EscapeLanguage::Css;
    case PageRegion::RawText:
    case PageRegion::Fallback: return std::nullopt;
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
    escaper.setRawTextStandIn(span->region != PageRegion::Fallback ? StandIn::Reference : StandIn::UnshownReference);
    std::unique_ptr<JavaScriptContext<Char>> context;
    if (span->region == PageRegion::Script) {
      context = std::make_unique<JavaScriptContext<Char>>(part);
      // The code probe is asked by source offset; the context reads the part by index.
      const std::size_t base = offsetOf(span->start);
      const std::size_t step = offsetOf(span->start + 1) - base;
      escaper.setCodeProbe(
          [&context, base, step](std::size_t offset) { return context->placeOf((offset - base) / step); });
    }
    escapeRegion(escaper, part, span->start);
    escaper.finish();
  }
  return out;
}

// A UTF-8 page read and encoded whole in one pass (direct_utf8_reading.h): the regions are
// looked for only as far as a character to escape or a malformed sequence stands, and a
// script's code context is read from the start of the script that holds it.
std::string readPageUtf8Directly(std::string_view page, EscapeTarget target, std::size_t firstOffset,
                                 std::size_t* malformed) {
  std::string out;
  out.reserve(page.size() + page.size() / 8);
  PageRegions<char> regions(page);
  TextEscaper escaper(out, EscapeLanguage::Html, target);
  escaper.setLanguageProbe([&](std::size_t offset) {
    const PageRegion region = regions.at(offset - firstOffset).region;
    escaper.setRawTextStandIn(region != PageRegion::Fallback ? StandIn::Reference : StandIn::UnshownReference);
    return languageOf(region);
  });
  std::optional<JavaScriptContext<char>> code;
  std::size_t scriptStart = 0;
  escaper.setCodeProbe([&](std::size_t offset) {
    const RegionSpan span = regions.at(offset - firstOffset);
    if (!code || span.start != scriptStart) {
      scriptStart = span.start;
      code.emplace(page.substr(span.start, span.end - span.start));
    }
    return code->placeOf(offset - firstOffset - span.start);
  });
  const std::size_t found = readUtf8Directly(out, escaper, page, firstOffset, target.target);
  if (malformed != nullptr) *malformed = found;
  escaper.finish();
  return out;
}

}  // namespace

std::string escapeHtmlPage(std::u16string_view page, EscapeTarget target, std::size_t firstOffset) {
  auto offsetOf = [firstOffset](std::size_t index) { return firstOffset + 2 * index; };
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::u16string_view part, std::size_t start) {
    for (std::size_t k = 0; k < part.size(); ++k) escaper.unit(part[k], offsetOf(start + k));
  });
}

std::string escapeHtmlPageUtf8(std::string_view page, EscapeTarget target, std::size_t firstOffset,
                               std::size_t* malformed) {
  auto offsetOf = [firstOffset](std::size_t index) { return firstOffset + index; };
  if (readsUtf8Directly(target)) return readPageUtf8Directly(page, target, firstOffset, malformed);
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::string_view part, std::size_t start) {
    escapeUtf8(escaper, part, offsetOf(start));
  });
}

std::string escapeHtmlPageCp1252(std::string_view page, EscapeTarget target) {
  auto offsetOf = [](std::size_t index) { return index; };
  return escapeByRegion(page, target, offsetOf, [&](TextEscaper& escaper, std::string_view part, std::size_t start) {
    // Kept as the browser reads it where every character is written as itself; otherwise
    // decomposed, so that only the accent needs an escape, as the page has always been read.
    escapeCp1252(escaper, part, offsetOf(start), !escaper.writesEveryCharacter());
  });
}

}  // namespace sarnavel
