// The tag walk: a single forward pass over the bytes of an HTML page from each `<` to the
// next `>`, turning the text between them into a lower-cased tag name and its attributes, and
// saying where each attribute stands in it (for an edit of one value: tag_edits.h).
//
// It builds no document tree, expands no entity and decodes no character: every position is
// a byte offset into the page text as it stands, and bytes 0x80-0xFF are neither letters nor
// white space. No quoting is honoured when a tag's end is looked for: a `>` inside an
// attribute value ends the tag there. Odd input is never an error: a missing `>` or comment
// end ends the walk, an unreadable attribute ends the attribute list, an unterminated quoted
// value runs to the end of the tag text.
//
// Inside the non-ASCII runs of an ISO-2022-JP page (see iso2022_runs.h) no byte is taken for
// `<`, `>`, a double quote, white space, or part of `-->` or a script end tag, so no tag is
// found or cut inside a run and every offset the walk reports lies outside one.
//
// A walk's searches for `<`, `>` and the ends of script and style bodies look for the byte and
// the escape byte together, many bytes at a time (text/byte_pair_scan.h): met before any escape
// byte, the byte lies outside every run, and only past an escape byte are runs read out. A tag's
// `<` and `>` are found by one scan, the `>` first looked for in the block the `<` was found in.
// Pages hold a tag every few dozen bytes, so the walk's cost is per tag: a walk that wants the
// named kinds only reads where the `<`, `>` and escape bytes of each 64 bytes lie as bit masks,
// and passes over the tags whose first three bytes begin no name of a kind without looking for
// their ends (up to an escape byte, from which it reads as the full walk does); a tag's name is
// read and lowered in one pass straight into the tag (TagName), told apart from the names the
// readers act on once there (TagKind), and a walk allocates nothing per tag but the attributes
// its reader asked for.
//
// Contract: every search runs forward only, and a walk with TagWalk looks at each byte of the
// page a bounded number of times, so it is linear in the page size whatever the page holds.
// Nothing here keeps state between calls; a TagWalk belongs to the one walk that made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ascii.h"  // lowercaseCopy, which every reader of a tag uses

namespace sarnavel {

// Lower-cased attribute name (A-Z lowered outside ISO-2022-JP runs, whose bytes and escape
// sequences stay as written, and not right after a byte from 0x80, which in Shift_JIS may
// lead a character whose second byte is the letter) to raw value (quotes removed, nothing else changed). Keys are
// ordered bytewise as unsigned bytes; a name inserted a second time keeps its first value
// (insert/emplace report that nothing was inserted).
using AttributeMap = std::map<std::string, std::string, std::less<>>;

// Reads the attributes of `text` (a tag's text after its name) into `attributes`, which is
// not cleared, as browsers read them: a name runs to white space, `/` or `=` (`data-1`,
// `xml:lang`), a value is in double or single quotes or runs to white space, and a `/` between
// attributes separates them. Reading stops at a zero byte where a name would begin.
void parseAttributes(std::string_view text, AttributeMap& attributes);

// Clears `attributes`, then sets `name` (lower-cased) and the attributes from one tag's text.
// False, with an empty name, when the text is empty or white space only. A name of more than
// two bytes that begins with "!--" and is followed by white space becomes exactly "!--" and
// no attributes are read.
bool parseTagText(std::string_view tagText, std::string& name, AttributeMap& attributes);

// Where an attribute stands in a tag's text (TagSpan::text), by offsets into it.
struct AttributePlace {
  std::size_t nameStart = 0;
  std::size_t nameEnd = 0;
  std::size_t valueStart = 0;  // the value without its quotes; both at nameEnd when there is no "="
  std::size_t valueEnd = 0;
  char quote = 0;  // the quote around the value, if any
  bool hasValue = false;
};

struct NamedPlace {
  std::string name;  // lower-cased as in an AttributeMap
  AttributePlace place;
};

// The attributes of a tag's text (its name and attributes, as parseTagText reads them), in the
// order written, each with its place; a name written twice is listed twice.
std::vector<NamedPlace> attributePlaces(std::string_view tagText);

// One tag found by the walk.
struct TagSpan {
  std::size_t tagStart = 0;  // offset of the `<`
  std::size_t tagEnd = 0;    // offset just after the `>`
  std::string_view text;     // the bytes between `<` and `>` without a final `/`; views the page
  bool selfClosing = false;  // the bytes between `<` and `>` ended with `/`
};

// The first tag whose `<` lies at or after `start` (an offset outside any ISO-2022-JP run);
// none when no `<` or no `>` after it follows.
std::optional<TagSpan> findNextTag(std::string_view page, std::size_t start);

// Where the walk resumes after the start tag of a script whose body is to be skipped: at the
// `<` of the body's end tag, as script_data.h finds it, or at the end of the page when the body
// has none.
std::size_t skipScriptBody(std::string_view page, const TagSpan& scriptTag);

// The names the walk's readers act on (head_analysis.h, references.h, page_marks.h), told
// apart once when a tag's name is written: a reader tests the kind instead of comparing the name
// with each of its names, and the many tags no reader wants (p, a span, a cell) are passed over
// by one test. `CommentOpener` is the name "!--"; every name not listed is `Other`.
enum class TagKind : std::uint8_t {
  Other,
  CommentOpener,
  Doctype,
  Html,
  Head,
  HeadEnd,
  Title,
  TitleEnd,
  Body,
  Meta,
  Link,
  Script,
  Style,
  Base,
  Form,
  Anchor,
  Area,
};

// The kind of a lower-cased tag name.
TagKind tagKindOf(std::string_view loweredName);

// A set of tag kinds (the tags whose attributes a walk reads).
class TagKinds {
 public:
  constexpr TagKinds(std::initializer_list<TagKind> kinds) {
    for (TagKind kind : kinds) bits_ |= bit(kind);
  }
  static constexpr TagKinds every() { return TagKinds(~std::uint32_t{0}); }
  // Every kind but Other: the names some reader acts on.
  static constexpr TagKinds named() { return TagKinds(~std::uint32_t{0} & ~bit(TagKind::Other)); }
  constexpr bool contains(TagKind kind) const { return (bits_ & bit(kind)) != 0; }

 private:
  constexpr explicit TagKinds(std::uint32_t bits) : bits_(bits) {}
  static constexpr std::uint32_t bit(TagKind kind) { return std::uint32_t{1} << static_cast<unsigned>(kind); }
  std::uint32_t bits_ = 0;
};

// A tag's name, lower-cased, and its kind. The walk writes one for every tag, and most are a
// few bytes long: up to kInline bytes it is held in the object itself, so that writing it takes
// no allocation and no library call; a longer one goes to a string. Reads as a string_view.
class TagName {
 public:
  void assignLowered(std::string_view name);  // A-Z become a-z
  // Reads a name from `p` up to the first white-space byte or `end` (a text without escape
  // bytes, so no ISO-2022-JP run to mind), lowering as it goes; returns where it stopped.
  // Bytes up to `readable` (at least `end`: the page's end) may be looked at, though none past
  // `end` is part of the name: a short name is then read 16 bytes at a time.
  const char* readLowered(const char* p, const char* end, const char* readable);
  // Keeps the first `size` bytes (size <= this->size()).
  void truncate(std::size_t size);

  std::string_view view() const { return size_ <= kInline ? std::string_view(inline_, size_) : long_; }
  operator std::string_view() const { return view(); }
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  TagKind kind() const { return kind_; }
  friend bool operator==(const TagName& name, std::string_view text) { return name.view() == text; }

 private:
  // readLowered's byte loop, for the names its block read leaves (kept out of line, so that the
  // walk's common case takes no call).
  [[gnu::noinline]] const char* readLoweredByBytes(const char* p, const char* end);

  static constexpr std::size_t kInline = 24;
  char inline_[kInline] = {};
  std::size_t size_ = 0;
  TagKind kind_ = TagKind::Other;
  std::string long_;
};

// A tag as the walk hands it over: its span, lower-cased name (and kind) and attributes.
struct ScannedTag {
  TagSpan span;
  TagName name;
  AttributeMap attributes;
};

// The walk shared by the head analysis and the collection of referenced files. It starts at
// offset 0 and hands over every tag that has a name of a kind asked for and is not a comment
// opener (tags of the other kinds are passed over as if handed over and not acted on); a comment
// opener (name "!--") makes it resume just after the first "-->" at or after the opener's `<`,
// or end when there is none. After each tag it resumes at `tagEnd` unless the caller asks it
// to skip a script body first.
class TagWalk {
 public:
  // `withAttributes` names the kinds of tag whose attributes the caller reads; the others come
  // with an empty map, which spares reading them. `handedOver` names the kinds of tag `next`
  // gives; it passes over the others itself (a walk that wants no `Other` tag spares a return
  // to its caller for most tags of a page).
  explicit TagWalk(std::string_view page, TagKinds withAttributes = TagKinds::every(),
                   TagKinds handedOver = TagKinds::every())
      : page_(page), withAttributes_(withAttributes), handedOver_(handedOver) {}

  // Fills `tag` with the next tag; false when the walk has ended.
  bool next(ScannedTag& tag);

  // Makes the walk resume after the body of the script whose start tag `next` just gave.
  void skipScriptBody(const TagSpan& scriptTag);
  // Where skipScriptBody and skipStyleBody would make the walk resume, without moving it: a
  // walk that serves two readers skips for one and lets the other pass over what it skips.
  std::size_t scriptBodySkip(const TagSpan& scriptTag);
  std::size_t styleBodySkip(const TagSpan& styleTag);

  // Makes the walk resume at the end tag of the style element whose start tag `next` just
  // gave: the next "</style" in any letter case (browsers read a style body as text). When
  // there is none, the walk goes on after the start tag.
  void skipStyleBody(const TagSpan& styleTag);

 private:
  // The first `byte` at or after `from` outside any run, or npos. `escapeFree` (when given) is
  // set when no escape byte lies between: then nothing there is inside a run either.
  std::size_t find(char byte, std::size_t from, bool* escapeFree = nullptr) const;
  // The `<` of the first tag from `from` on that the walk reaches and whose first bytes may
  // name a kind (npos when none follows); false, with nothing found, when an escape byte lies
  // before it: then the walk from `from` must mind the runs.
  bool findNamedOpen(std::size_t from, std::size_t& open);

  std::string_view page_;
  TagKinds withAttributes_;
  TagKinds handedOver_;
  std::size_t resume_ = 0;
  bool ended_ = false;
  // The body last read by scriptBodySkip (where it starts) and where it ends: a walk that serves
  // two readers asks about one script twice.
  std::size_t lastScriptBody_ = std::string_view::npos;
  std::size_t lastScriptEnd_ = 0;
  std::size_t noStyleEndFrom_ = std::string_view::npos;  // likewise for "</style"
  // The escape byte that ended the last look for a named tag (npos while none has): until the
  // walk is past it, the tags are found the way that minds runs.
  std::size_t escapeAt_ = std::string_view::npos;
};

}  // namespace sarnavel
