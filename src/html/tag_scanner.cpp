#include "html/tag_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "html/iso2022_runs.h"
#include "html/script_data.h"
#include "text/byte_pair_scan.h"

namespace sarnavel {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Space, tab, line feed, vertical tab, form feed and carriage return, tested by one shift.
constexpr std::uint64_t kSpaceBits = (std::uint64_t{1} << ' ') | (std::uint64_t{1} << '\t') |
                                     (std::uint64_t{1} << '\n') | (std::uint64_t{1} << '\v') |
                                     (std::uint64_t{1} << '\f') | (std::uint64_t{1} << '\r');
bool isSpace(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b <= ' ' && ((kSpaceBits >> b) & 1) != 0;
}

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  return pos;
}

// The first white-space byte at or after `from` outside any run, or the end of the text.
std::size_t findSpaceOrEnd(std::string_view text, std::size_t from) {
  std::size_t pos = findOutsideRuns(text, from, [&](std::size_t i) { return isSpace(text[i]); });
  return pos == kNone ? text.size() : pos;
}

// Whether the closing tag of a style element, "</style" in any letter case, starts at `at`.
bool styleEndAt(std::string_view page, std::size_t at) {
  constexpr std::string_view kCloser = "</style";
  if (page.size() - at < kCloser.size()) return false;
  for (std::size_t k = 0; k < kCloser.size(); ++k) {
    if (asciiLower(page[at + k]) != kCloser[k]) return false;
  }
  return true;
}

// The span of the tag whose `<` is at `open` and whose `>` is at `close`.
TagSpan spanOf(std::string_view page, std::size_t open, std::size_t close) {
  TagSpan span;
  span.tagStart = open;
  span.tagEnd = close + 1;
  span.text = std::string_view(page.data() + open + 1, close - open - 1);  // open < close < page.size()
  if (!span.text.empty() && span.text.back() == '/') {
    span.text.remove_suffix(1);
    span.selfClosing = true;
  }
  return span;
}

// A copy of an attribute name with A-Z lowered outside ISO-2022-JP runs. Inside a run the
// bytes are halves of characters, and the escape sequences name their sets by a letter
// (ESC $ B, ESC ( B): lowered there, a name written back into the page would hold other
// characters, or bytes that form none. For the same reason A-Z right after a byte from 0x80
// keep their case: in Shift_JIS that byte may lead a character whose second byte is the
// letter (0x87 0x58 is a Roman numeral, 0x87 0x78 none). Such a name is no name a reader
// looks for, so only its bytes matter, and they stay as written.
std::string lowercaseOutsideRuns(std::string_view text) {
  std::string out(text);
  bool inRun = false;
  for (std::size_t i = 0; i < out.size();) {
    if (out[i] == '\x1b') {
      std::size_t length = 0;
      if (const RunShift shift = runShiftAt(text, i, length); shift != RunShift::None) {
        inRun = shift == RunShift::Opens;
        i += length;
        continue;
      }
    }
    if (!inRun && (i == 0 || static_cast<unsigned char>(text[i - 1]) < 0x80)) out[i] = asciiLower(out[i]);
    ++i;
  }
  return out;
}

}  // namespace

namespace {

// Reads the attributes of `text` as parseAttributes describes, handing each to `visit` with its
// lower-cased name and its place in `text`; stops when `visit` returns false.
template <class Visit>
void readAttributes(std::string_view text, Visit&& visit) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] != '\0') {
    // A slash between attributes separates them, as white space does.
    while (pos < text.size() && (isSpace(text[pos]) || text[pos] == '/')) ++pos;
    if (pos >= text.size() || text[pos] == '\0') return;
    // A name runs to white space, a slash or "=" (an "=" that starts it is part of it; a run
    // that starts it is looked through from its escape sequence on).
    AttributePlace at;
    at.nameStart = pos;
    at.nameEnd = findOutsideRuns(text, text[pos] == '\x1b' ? pos : pos + 1,
                                 [&](std::size_t i) { return isSpace(text[i]) || text[i] == '/' || text[i] == '='; });
    if (at.nameEnd == kNone) at.nameEnd = text.size();
    at.valueStart = at.valueEnd = at.nameEnd;
    pos = skipSpaces(text, at.nameEnd);
    if (pos < text.size() && text[pos] == '=') {
      at.hasValue = true;
      pos = skipSpaces(text, pos + 1);
      if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        at.quote = text[pos];
        std::size_t close = findByteOutsideRuns(text, pos + 1, text[pos]);
        if (close == kNone) close = text.size();
        at.valueStart = pos + 1;
        at.valueEnd = close;
        pos = close == text.size() ? close : close + 1;
      } else {
        at.valueStart = pos;
        at.valueEnd = pos = findSpaceOrEnd(text, pos);
      }
    }
    if (!visit(lowercaseOutsideRuns(text.substr(at.nameStart, at.nameEnd - at.nameStart)), at)) return;
  }
}

}  // namespace

void parseAttributes(std::string_view text, AttributeMap& attributes) {
  readAttributes(text, [&](std::string&& name, const AttributePlace& at) {
    attributes.emplace(std::move(name), text.substr(at.valueStart, at.valueEnd - at.valueStart));
    return true;
  });
}

namespace {

// The first step of parseTagText: the name as written, and where the attributes start (npos
// when the text has none to read); none when the text is empty or white space only.
struct NameAt {
  bool found = false;
  std::string_view name;
  std::size_t attributesAt = std::string_view::npos;
};

NameAt parseTagName(std::string_view tagText) {
  const std::size_t first = skipSpaces(tagText, 0);
  if (first == tagText.size()) return {};
  const std::size_t space = findSpaceOrEnd(tagText, first);
  const std::string_view name = tagText.substr(first, space - first);
  if (space == tagText.size()) return {true, name};
  if (name.size() > 2 && name.starts_with("!--")) return {true, name.substr(0, 3)};
  return {true, name, space};
}

}  // namespace

bool parseTagText(std::string_view tagText, std::string& name, AttributeMap& attributes) {
  attributes.clear();
  const NameAt at = parseTagName(tagText);
  name = lowercaseCopy(at.name);
  if (!at.found) return false;
  if (at.attributesAt != std::string_view::npos) parseAttributes(tagText.substr(at.attributesAt), attributes);
  return true;
}

std::vector<NamedPlace> attributePlaces(std::string_view tagText) {
  std::vector<NamedPlace> places;
  const NameAt at = parseTagName(tagText);
  if (at.attributesAt == std::string_view::npos) return places;
  readAttributes(tagText.substr(at.attributesAt), [&](std::string&& name, AttributePlace place) {
    for (std::size_t* offset : {&place.nameStart, &place.nameEnd, &place.valueStart, &place.valueEnd})
      *offset += at.attributesAt;
    places.push_back({std::move(name), place});
    return true;
  });
  return places;
}

std::optional<TagSpan> findNextTag(std::string_view page, std::size_t start) {
  std::size_t open = findByteOutsideRuns(page, start, '<');
  if (open == kNone) return std::nullopt;
  std::size_t close = findByteOutsideRuns(page, open + 1, '>');
  if (close == kNone) return std::nullopt;
  return spanOf(page, open, close);
}

std::size_t skipScriptBody(std::string_view page, const TagSpan& scriptTag) {
  return TagWalk(page).scriptBodySkip(scriptTag);
}

std::size_t TagWalk::find(char byte, std::size_t from, bool* escapeFree) const {
  if (from >= page_.size()) return kNone;
  // Met before any escape byte, the byte cannot be inside a run: all but every page has none.
  const std::size_t hit = findEitherByte(page_.data(), from, page_.size(), byte, '\x1b');
  if (escapeFree) *escapeFree = hit == page_.size() || page_[hit] == byte;
  if (hit == page_.size()) return kNone;
  if (page_[hit] == byte) return hit;
  return findByteOutsideRuns(page_, from, byte);
}

namespace {

// Writes the name of the tag whose text is `text` into `name` and returns where its attributes
// start (npos when it has none to read); false, with an empty name, when the text is empty or
// white space only. `escapeFree`: the text holds no escape byte, so the name is read and lowered
// in one pass; else the run-aware reading of parseTagName.
bool readTagName(std::string_view text, const char* readable, bool escapeFree, TagName& name,
                 std::size_t& attributesAt) {
  attributesAt = kNone;
  if (!escapeFree) {
    const NameAt at = parseTagName(text);
    name.assignLowered(at.name);
    attributesAt = at.attributesAt;
    return at.found;
  }
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin;
  while (p != end && isSpace(*p)) ++p;
  const char* const stop = name.readLowered(p, end, readable);
  if (p == end) return false;
  if (stop == end) return true;
  // A comment opener followed by white space is the opener alone, with no attributes.
  if (name.size() > 2 && name.view().starts_with("!--")) {
    name.truncate(3);
    return true;
  }
  attributesAt = static_cast<std::size_t>(stop - begin);
  return true;
}

}  // namespace

namespace {
[[gnu::always_inline]] inline bool mayStartNamedTag(std::string_view page, std::size_t open);
}  // namespace

bool TagWalk::findNamedOpen(std::size_t from, std::size_t& open) {
  if (escapeAt_ != kNone && from <= escapeAt_) return false;
  // A `<` starts a tag the walk reaches when it is the first `<` after a `>` (or after `from`):
  // any other lies inside a tag passed over. So the tags of no kind in between are passed over
  // by the masks of their bytes, without a search for the end of each, which would make every
  // tag wait for the one before it. The first `<` after each `>` is the bit that subtracting
  // the `>` bits from the `<` bits clears: a borrow runs from a `>` up to the next `<` only.
  const std::size_t n = page_.size();
  bool outside = true;  // the last `<` or `>` before the block was a `>`, or there is none
  for (std::size_t block = from; block < n; block += 64) {
    const ByteMasks masks = byteMasks(page_.data() + block, std::min<std::size_t>(64, n - block), '<', '>', '\x1b');
    if (masks.third != 0) {
      escapeAt_ = block + static_cast<std::size_t>(std::countr_zero(masks.third));
      return false;
    }
    const std::uint64_t opens = masks.first, closes = masks.second | (outside ? 1u : 0u);
    for (std::uint64_t reached = opens & ~(opens - closes); reached != 0; reached &= reached - 1) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(reached));
      if (at + 1 >= n) break;  // no `>` can follow: the walk ends
      if (mayStartNamedTag(page_, at)) {
        open = at;
        return true;
      }
    }
    if ((opens | masks.second) != 0) outside = std::countl_zero(masks.second) < std::countl_zero(opens);
  }
  open = kNone;
  return true;
}

bool TagWalk::next(ScannedTag& tag) {
  while (!ended_) {
    if (resume_ >= page_.size()) break;
    bool escapeFree = true;
    std::size_t open = kNone, close = kNone;
    // Most tags are of no kind: a walk that hands none of those over tells them by their first
    // bytes and passes over them unread.
    const bool namedOnly = !handedOver_.contains(TagKind::Other);
    if (namedOnly && findNamedOpen(resume_, open)) {
      if (open == kNone) break;
      close = find('>', open + 1, &escapeFree);
    } else {
      // `<` and then `>` in one scan; met before any escape byte, neither is inside a run.
      const BytePairAt pair = findOpenThenClose(page_.data(), resume_, page_.size(), {'<', '>', '\x1b'});
      open = pair.first;
      close = pair.second;
      if (open == page_.size()) break;
      if (page_[open] != '<') {
        open = find('<', resume_);
        if (open == kNone) break;
        close = find('>', open + 1, &escapeFree);
      } else if (close == page_.size()) {
        break;
      } else if (page_[close] != '>') {
        close = find('>', open + 1, &escapeFree);
      }
      if (close != kNone && namedOnly && !mayStartNamedTag(page_, open)) {
        resume_ = close + 1;
        continue;
      }
    }
    if (close == kNone) break;
    const TagSpan& span = tag.span = spanOf(page_, open, close);
    resume_ = span.tagEnd;
    if (!tag.attributes.empty()) tag.attributes.clear();
    std::size_t attributesAt = kNone;
    if (!readTagName(span.text, page_.data() + page_.size(), escapeFree, tag.name, attributesAt)) continue;
    const TagKind kind = tag.name.kind();
    if (kind == TagKind::CommentOpener) {
      std::size_t commentEnd = findTextOutsideRuns(page_, span.tagStart, "-->");
      if (commentEnd == kNone) break;
      resume_ = commentEnd + 3;
      continue;
    }
    if (!handedOver_.contains(kind)) continue;
    if (attributesAt != kNone && withAttributes_.contains(kind)) {
      parseAttributes(span.text.substr(attributesAt), tag.attributes);
    }
    return true;
  }
  ended_ = true;
  return false;
}

void TagWalk::skipScriptBody(const TagSpan& scriptTag) { resume_ = scriptBodySkip(scriptTag); }

std::size_t TagWalk::scriptBodySkip(const TagSpan& scriptTag) {
  if (scriptTag.tagEnd == lastScriptBody_) return lastScriptEnd_;
  const std::size_t end = scriptBodyEnd(page_, scriptTag.tagEnd);
  lastScriptBody_ = scriptTag.tagEnd;
  lastScriptEnd_ = end == kNone ? page_.size() : end;
  return lastScriptEnd_;
}

void TagWalk::skipStyleBody(const TagSpan& styleTag) { resume_ = styleBodySkip(styleTag); }

std::size_t TagWalk::styleBodySkip(const TagSpan& styleTag) {
  if (styleTag.selfClosing) return styleTag.tagEnd;
  if (noStyleEndFrom_ != kNone && styleTag.tagEnd >= noStyleEndFrom_) return styleTag.tagEnd;
  for (std::size_t at = find('<', styleTag.tagEnd); at != kNone; at = find('<', at + 1)) {
    if (styleEndAt(page_, at)) return at;
  }
  noStyleEndFrom_ = styleTag.tagEnd;
  return styleTag.tagEnd;
}

namespace {

// A name of up to eight bytes packed into a number, its first byte lowest: every name a reader
// acts on is that short, so a name is told apart by one look-up of such a number.
constexpr std::uint64_t packedName(std::string_view name) {
  std::uint64_t key = 0;
  for (std::size_t k = 0; k < name.size() && k < 8; ++k)
    key |= std::uint64_t{static_cast<unsigned char>(name[k])} << (8 * k);
  return key;
}

// The names the readers act on and their kinds.
struct NamedKind {
  std::string_view name;
  TagKind kind;
};
constexpr NamedKind kNamedKinds[] = {
    {"!--", TagKind::CommentOpener}, {"!doctype", TagKind::Doctype}, {"html", TagKind::Html},
    {"head", TagKind::Head},         {"/head", TagKind::HeadEnd},    {"title", TagKind::Title},
    {"/title", TagKind::TitleEnd},   {"body", TagKind::Body},        {"meta", TagKind::Meta},
    {"link", TagKind::Link},         {"script", TagKind::Script},    {"style", TagKind::Style},
    {"base", TagKind::Base},         {"form", TagKind::Form},        {"a", TagKind::Anchor},
    {"area", TagKind::Area},
};

// A packed name is looked up in a table of 32 slots by the top five bits of one product, a
// multiplier under which every name above has a slot of its own (checked when the table is
// built): one load and one comparison, where a switch over the names took a chain of branches
// that the mix of names on a page keeps mispredicting.
constexpr std::uint64_t kKindHash = 0x4720771f8ca81811;
constexpr std::size_t kindSlotOf(std::uint64_t key) { return static_cast<std::size_t>((key * kKindHash) >> 59); }

struct KindSlot {
  std::uint64_t key = 0;
  std::size_t size = 0;  // a zero byte packs as nothing: the size tells "a" from "a\0"
  TagKind kind = TagKind::Other;
};

constexpr std::array<KindSlot, 32> kKindSlots = [] {
  std::array<KindSlot, 32> slots{};
  for (const NamedKind& named : kNamedKinds) {
    KindSlot& slot = slots[kindSlotOf(packedName(named.name))];
    // Two names in one slot: not a constant expression, so the build stops here.
    if (slot.kind != TagKind::Other) throw "two tag names share a slot";
    slot = {packedName(named.name), named.name.size(), named.kind};
  }
  return slots;
}();

// The kind of the name of `size` bytes whose first eight (or fewer) bytes pack into `key`.
TagKind kindOfPacked(std::uint64_t key, std::size_t size) {
  const KindSlot& slot = kKindSlots[kindSlotOf(key)];
  return slot.key == key && slot.size == size ? slot.kind : TagKind::Other;
}

// The pairs of bytes a tag's text may start with when its name is of a kind (either case of a
// letter, since names are lowered after): 65,536 bits, one for each pair, first byte high. A
// name of one byte ("a") admits any byte after it; a text that starts with white space has its
// name further on, so every pair that starts with a white-space byte is admitted too.
struct NamedPairs {
  std::array<std::uint64_t, 1024> bits{};
  constexpr void admit(unsigned first, unsigned second) {
    bits[(first << 8 | second) >> 6] |= std::uint64_t{1} << (second & 63);
  }
  constexpr bool admits(unsigned first, unsigned second) const {
    return (bits[(first << 8 | second) >> 6] >> (second & 63)) & 1;
  }
};

constexpr unsigned upperOf(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned>(c - 'a' + 'A') : static_cast<unsigned char>(c);
}

constexpr NamedPairs kNamedPairs = [] {
  NamedPairs pairs;
  for (unsigned first = 0; first < 256; ++first) {
    if (first > ' ' || ((kSpaceBits >> first) & 1) == 0) continue;
    for (unsigned second = 0; second < 256; ++second) pairs.admit(first, second);
  }
  for (const NamedKind& named : kNamedKinds) {
    const unsigned firsts[2] = {static_cast<unsigned char>(named.name[0]), upperOf(named.name[0])};
    for (const unsigned first : firsts) {
      if (named.name.size() == 1) {
        for (unsigned second = 0; second < 256; ++second) pairs.admit(first, second);
        continue;
      }
      pairs.admit(first, static_cast<unsigned char>(named.name[1]));
      pairs.admit(first, upperOf(named.name[1]));
    }
  }
  return pairs;
}();

// The first pair lets through the names that merely share it with one of a kind: "li" with
// "link", "/td" and "/tr" with "/title", "strong" with "style", which a page holds by the
// hundred. Every name of a kind but "a" has three bytes or more, and no two share their first
// two, so the third byte tells them apart: the first three bytes of each, lowered and packed
// as packedName packs them, lie in a table of 32 slots under a multiplier that gives each a
// slot of its own (searched for when the table is built).

// Three lowered bytes of a page, packed as packedName packs the first three of a name.
constexpr std::uint64_t packedPrefix(unsigned first, unsigned second, unsigned third) {
  return first | second << 8 | third << 16;
}
constexpr std::size_t prefixSlotOf(std::uint64_t key, std::uint64_t multiplier) {
  return static_cast<std::size_t>((key * multiplier) >> 59);
}

struct NamedPrefixes {
  std::uint64_t multiplier = 0;
  std::array<std::uint64_t, 32> keys{};
  bool holds(std::uint64_t key) const { return keys[prefixSlotOf(key, multiplier)] == key; }
};

constexpr NamedPrefixes kNamedPrefixes = [] {
  for (std::uint64_t multiplier = 0x9E3779B97F4A7C15ULL;; multiplier += 0x2545F4914F6CDD1EULL) {
    NamedPrefixes prefixes{multiplier, {}};
    bool shared = false;
    for (const NamedKind& named : kNamedKinds) {
      if (named.name.size() < 3) continue;
      const std::uint64_t key = packedName(named.name.substr(0, 3));
      std::uint64_t& slot = prefixes.keys[prefixSlotOf(key, multiplier)];
      shared = shared || slot != 0;
      slot = key;
    }
    if (!shared) return prefixes;
  }
}();

unsigned loweredByte(char c) { return static_cast<unsigned char>(asciiLower(c)); }

// False when the tag whose `<` is at `open` (its `>` further on) has a name of no kind, or none.
[[gnu::always_inline]] inline bool mayStartNamedTag(std::string_view page, std::size_t open) {
  const auto first = static_cast<unsigned char>(page[open + 1]);
  const auto second = open + 2 < page.size() ? static_cast<unsigned char>(page[open + 2]) : 0u;
  if (!kNamedPairs.admits(first, second)) return false;
  // White space first: the name lies further on. "a" ends at white space, the tag's end, or
  // the slash of "/>".
  if (isSpace(static_cast<char>(first))) return true;
  if ((first | 0x20) == 'a' && (second == '>' || second == '/' || isSpace(static_cast<char>(second)))) return true;
  if (open + 3 >= page.size()) return true;
  return kNamedPrefixes.holds(
      packedPrefix(loweredByte(page[open + 1]), loweredByte(page[open + 2]), loweredByte(page[open + 3])));
}

}  // namespace

TagKind tagKindOf(std::string_view name) { return kindOfPacked(packedName(name), name.size()); }

void TagName::assignLowered(std::string_view name) {
  size_ = name.size();
  char* out = inline_;
  if (size_ > kInline) {
    long_.resize(size_);
    out = long_.data();
  }
  for (std::size_t k = 0; k < size_; ++k) out[k] = asciiLower(name[k]);
  kind_ = tagKindOf(view());
}

namespace {

#if defined(__SSE2__)
// The length of the name that starts the 16 bytes at `p`, of which the first `available` are
// the tag's text, written lowered into `out` (16 bytes are stored) with its first eight bytes
// packed into `key`; none when the name may go on past the block, or when it meets a control
// code that is not white space (a name may hold one: the byte loop reads it).
std::optional<std::size_t> readShortNameBySse2(const char* p, std::size_t available, char* out, std::uint64_t& key) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Bytes up to 0x20 (white space among them), found by one unsigned minimum.
  const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(block, _mm_set1_epi8(0x20)), block);
  const auto stop =
      static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(_mm_movemask_epi8(low)) | 0x10000u));
  const std::size_t size = std::min(stop, available);
  if (size == 16 ? available != 16 : size != available && !isSpace(p[size])) return std::nullopt;
  // A-Z by signed comparisons: bytes from 0x80 are negative and stay as they are.
  const __m128i upper =
      _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(block, _mm_set1_epi8('Z' + 1)));
  const __m128i lowered = _mm_add_epi8(block, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lowered);
  const auto first8 = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lowered));
  key = size >= 8 ? first8 : first8 & ((std::uint64_t{1} << (8 * size)) - 1);
  return size;
}
#endif

}  // namespace

const char* TagName::readLowered(const char* p, const char* end, const char* readable) {
#if defined(__SSE2__)
  static_assert(kInline >= 16);
  if (readable - p >= 16) {
    std::uint64_t key = 0;
    if (const std::optional<std::size_t> size =
            readShortNameBySse2(p, static_cast<std::size_t>(end - p), inline_, key)) {
      size_ = *size;
      kind_ = kindOfPacked(key, size_);
      return p + size_;
    }
  }
#else
  (void)readable;
#endif
  return readLoweredByBytes(p, end);
}

const char* TagName::readLoweredByBytes(const char* p, const char* end) {
  std::size_t k = 0;
  std::uint64_t key = 0;  // the first eight bytes, packed as packedName packs them
  for (; p != end && !isSpace(*p); ++p, ++k) {
    const char lowered = asciiLower(*p);
    if (k < 8) key |= std::uint64_t{static_cast<unsigned char>(lowered)} << (8 * k);
    if (k == kInline) {
      // Longer than the object holds: the rest goes to the string, after what was read.
      long_.assign(inline_, kInline);
      for (; p != end && !isSpace(*p); ++p, ++k) long_.push_back(asciiLower(*p));
      break;
    }
    inline_[k] = lowered;
  }
  size_ = k;
  kind_ = kindOfPacked(key, size_);
  return p;
}

void TagName::truncate(std::size_t size) {
  if (size_ > kInline && size <= kInline) long_.copy(inline_, size);
  else if (size_ > kInline) long_.resize(size);
  size_ = size;
  kind_ = tagKindOf(view());
}

}  // namespace sarnavel
