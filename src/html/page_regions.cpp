#include "html/page_regions.h"

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <type_traits>

#include "html/iso2022_runs.h"
#include "html/script_data.h"
#include "html/script_types.h"
#include "html/tag_scanner.h"
#include "text/ascii.h"
#include "text/byte_pair_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarnavel {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Whether `word` (lower case) stands at `at`, in any letter case.
template <class Char>
bool matchesNoCase(std::basic_string_view<Char> text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (asciiLower(text[at + k]) != static_cast<Char>(word[k])) return false;
  }
  return true;
}

// How the body of an element whose start tag has this name is read.
enum class Body { None, Script, Style, RawText, Plaintext, Fallback, Opaque };

struct Element {
  Body body;
  std::string_view name;
};

constexpr Element kElements[] = {
    {Body::Script, "script"},       {Body::Style, "style"},      {Body::RawText, "xmp"},
    {Body::Plaintext, "plaintext"}, {Body::Opaque, "textarea"},  {Body::Opaque, "title"},
    {Body::Fallback, "iframe"},     {Body::Fallback, "noembed"}, {Body::Fallback, "noframes"},
};

// The first letters of those names, one bit each from 'a': a tag whose name starts otherwise
// (a, b, d, h, l, m, ...) is passed over by one test.
constexpr std::uint32_t kFirstLetters = [] {
  std::uint32_t bits = 0;
  for (const Element& e : kElements) bits |= std::uint32_t{1} << (e.name[0] - 'a');
  return bits;
}();

// For each byte that starts one of those names (in either case), the second letters that follow
// it in them, one bit each from 'a': "<p>", "<td" or "<span" is told apart by two bytes.
constexpr std::array<std::uint32_t, 256> kSecondLetters = [] {
  std::array<std::uint32_t, 256> seconds{};
  for (const Element& e : kElements) {
    const std::uint32_t bit = std::uint32_t{1} << (e.name[1] - 'a');
    seconds[static_cast<unsigned char>(e.name[0])] |= bit;
    seconds[static_cast<unsigned char>(e.name[0] - 'a' + 'A')] |= bit;
  }
  return seconds;
}();

// Whether the `<` at `lt` may open a comment or one of those elements: false only where
// neither can stand (a comment opener has four bytes, and every name three letters at least).
template <class Char>
[[gnu::always_inline]] inline bool mayOpenRegion(const Char* p, std::size_t lt, std::size_t n) {
  if (n - lt < 4) return false;
  const auto first = static_cast<std::uint32_t>(p[lt + 1]), second = static_cast<std::uint32_t>(p[lt + 2]);
  if (first == '!') return true;
  if (first >= 256) return false;
  const std::uint32_t letter = (second | 0x20) - 'a';  // A-Z and a-z alone fall in 0-25
  return letter < 26 && ((kSecondLetters[first] >> letter) & 1) != 0;
}

template <class Char>
Element elementAt(std::basic_string_view<Char> page, std::size_t lt) {
  if (lt + 1 >= page.size() || !isAsciiLetter(page[lt + 1])) return {Body::None, {}};
  const auto first = static_cast<char>(asciiLower(page[lt + 1]));
  if (((kFirstLetters >> (first - 'a')) & 1) == 0) return {Body::None, {}};
  for (const Element& e : kElements) {
    if (e.name[0] != first) continue;  // most tags are none of these: one comparison each
    const std::size_t after = lt + 1 + e.name.size();
    if (after < page.size() && matchesNoCase(page, lt + 1, e.name) && endsTagName(page[after])) return e;
  }
  return {Body::None, {}};
}

// The attributes of a start tag's text; UTF-16 units above 0x7F stand as one byte that is no
// letter, which is all the attribute reader needs of them.
template <class Char>
AttributeMap attributesOf(std::basic_string_view<Char> tagText) {
  std::string bytes;
  bytes.reserve(tagText.size());
  for (Char c : tagText) bytes.push_back(static_cast<unsigned>(c) < 0x80 ? static_cast<char>(c) : '\x80');
  std::string name;
  AttributeMap attributes;
  parseTagText(bytes, name, attributes);
  return attributes;
}

}  // namespace

template <class Char>
[[gnu::always_inline]] inline std::size_t PageRegions<Char>::find(Char unit, std::size_t from) const {
  if constexpr (std::is_same_v<Char, char>) {
    if (iso2022_) return findByteOutsideRuns(page_, from, unit);
    // Inline: the next `<` is mostly a few dozen bytes away, nearer than a call pays for.
    if (from >= page_.size()) return kNone;
    const std::size_t hit = findEitherByte(page_.data(), from, page_.size(), unit, unit);
    return hit == page_.size() ? kNone : hit;
  }
  return page_.find(unit, from);
}

template <class Char>
std::size_t PageRegions<Char>::findOpener(std::size_t from) const {
  const Char* p = page_.data();
  const std::size_t n = page_.size();
  if constexpr (std::is_same_v<Char, char>) {
#if defined(__SSE2__)
    if (!iso2022_) {
      // Every `<` of a block from one comparison, each tested where it stands: the scan does not
      // start again after each of the many tags that open nothing. A `<` followed by `/` (half
      // of a page's tags end an element) is passed over in the same comparison.
      if (from >= n) return kNone;
      std::size_t i = from;
      const __m128i lts = _mm_set1_epi8('<'), slashes = _mm_set1_epi8('/');
      for (; n - i >= 17; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        const __m128i opens = _mm_andnot_si128(_mm_cmpeq_epi8(after, slashes), _mm_cmpeq_epi8(block, lts));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(opens)); mask != 0; mask &= mask - 1) {
          const std::size_t lt = i + static_cast<std::size_t>(std::countr_zero(mask));
          if (mayOpenRegion(p, lt, n)) return lt;
        }
      }
      for (; i < n; ++i) {
        if (p[i] == '<' && mayOpenRegion(p, i, n)) return i;
      }
      return kNone;
    }
#endif
  }
  for (std::size_t lt = find(Char('<'), from); lt != kNone; lt = find(Char('<'), lt + 1)) {
    if (mayOpenRegion(p, lt, n)) return lt;
  }
  return kNone;
}

template <class Char>
std::optional<RegionSpan> PageRegions<Char>::next() {
  if (pendingBody_) {
    RegionSpan body = *pendingBody_;
    pendingBody_.reset();
    scanned_ = body.end;
    return body;
  }
  if (scanned_ >= page_.size()) return std::nullopt;
  const std::size_t markupStart = scanned_;
  std::size_t i = scanned_;
  while ((i = findOpener(i)) != kNone) {
    if (i + 1 < page_.size() && page_[i + 1] == Char('!') && matchesNoCase(page_, i, "<!--")) {
      const Char closer[] = {'-', '-', '>'};
      std::size_t close = kNone;
      if constexpr (std::is_same_v<Char, char>) {
        close = iso2022_ ? findTextOutsideRuns(page_, i + 2, "-->") : page_.find(std::string_view(closer, 3), i + 2);
      } else {
        close = page_.find(std::basic_string_view<Char>(closer, 3), i + 2);
      }
      if (close == kNone) break;
      i = close + 3;
      continue;
    }
    const Element element = elementAt(page_, i);
    if (element.body == Body::None) {
      ++i;
      continue;
    }
    const std::size_t gt = find(Char('>'), i);
    if (gt == kNone) break;
    const std::size_t bodyStart = gt + 1;
    // The body ends at "</name" followed by white space, `/` or `>` (or the end).
    std::size_t bodyEnd = page_.size();
    if (element.body == Body::Script) {
      if (const std::size_t end = scriptBodyEnd(page_, bodyStart); end != kNone) bodyEnd = end;
    } else if (element.body != Body::Plaintext) {
      for (std::size_t c = find(Char('<'), bodyStart); c != kNone; c = find(Char('<'), c + 1)) {
        const std::size_t after = c + 2 + element.name.size();
        if (c + 1 < page_.size() && page_[c + 1] == Char('/') && matchesNoCase(page_, c + 2, element.name) &&
            (after >= page_.size() || endsTagName(page_[after]))) {
          bodyEnd = c;
          break;
        }
      }
    }
    PageRegion region = PageRegion::Markup;
    if (element.body == Body::Script) {
      if (holdsScriptText(attributesOf(page_.substr(i + 1, gt - i - 1)))) region = PageRegion::Script;
    } else if (element.body == Body::Style) {
      region = PageRegion::Style;
    } else if (element.body == Body::RawText || element.body == Body::Plaintext) {
      region = PageRegion::RawText;
    } else if (element.body == Body::Fallback) {
      region = PageRegion::Fallback;
    }
    if (region == PageRegion::Markup) {  // read as HTML, but no tag is looked for inside
      i = bodyEnd;
      continue;
    }
    pendingBody_ = RegionSpan{region, bodyStart, bodyEnd};
    scanned_ = bodyStart;
    return RegionSpan{PageRegion::Markup, markupStart, bodyStart};
  }
  scanned_ = page_.size();
  return RegionSpan{PageRegion::Markup, markupStart, page_.size()};
}

template <class Char>
RegionSpan PageRegions<Char>::at(std::size_t offset) {
  while (offset >= current_.end) {
    std::optional<RegionSpan> span = next();
    if (!span) break;
    current_ = *span;
  }
  return current_;
}

template class PageRegions<char>;
template class PageRegions<char16_t>;

}  // namespace sarnavel
