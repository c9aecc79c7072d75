// Referenced style sheets and scripts: which `link` and `script` elements of a page load an
// external file, and how the value of an `href` or `src` becomes a local path.
//
// collectReferences walks the whole page with TagWalk (comments skipped, no stop at `body`)
// and records, in document order, every element by which a browser loads a file: a `link`
// whose `rel` holds the word "stylesheet", and a classic or module `script` with a `src`
// (script_types.h: any JavaScript type, however spelt, or none; "module"). The body of a
// recorded script is walked like ordinary text; the bodies of other scripts are skipped. The
// first `base` with an `href` is noted too.
//
// collectStyleSheetInstructions reads an XML document's prolog (what comes before its first
// element: the XML declaration, comments, a doctype, processing instructions) for the
// `<?xml-stylesheet ...?>` instructions an XML reader loads a CSS sheet by: those with an `href`
// whose `type` is "text/css" or absent. They are recorded as `link` elements marked
// `instruction`; their pseudo-attributes are read as a tag's attributes. An `alternate="yes"`
// sheet is recorded as a `link rel="alternate stylesheet"` is; an XSLT (`type="text/xsl"`) is
// no style sheet and is left alone. An instruction after the first element loads nothing.
//
// These readers only read the page; the caller reads the
// recorded tags' attributes again where they stand (attributesOf), looks up `href` or `src` and
// rewrites tags by the recorded offsets. A record is a few words: a page may hold elements by
// the hundred thousand.
//
// referenceNames takes a value as the browser's URL parser does (white space around it and tabs
// and line breaks in it dropped) and refuses values that name a remote resource: a scheme other
// than "file:" (http:, https:, data:, any letter case) or "//" and a host. Every other value
// becomes a path: a "file://" or "file:" prefix is stripped, the bytes are read in the encoding
// the page is in, backslashes become slashes (browsers read `js\a.js` as `js/a.js`), a query or
// fragment (from the first "?", or "#" not begun by "&") is taken off, and character references
// and percent escapes are decoded. A relative path is put under the folder of the page's `base`
// when it has one (a remote base makes every relative reference remote). The path is relative
// or absolute as the value was; making it absolute and checking that the file exists is the
// caller's work. No file is touched here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "html/tag_scanner.h"
#include "text/target_encoding.h"

namespace sarnavel {

// One recorded element.
struct ELEMENT {
  std::size_t tagStart = 0;
  std::size_t tagEnd = 0;
  TagKind kind = TagKind::Link;  // Link or Script
  // Its text holds "</script" or "</style" (any case), as a tag read in a script or style body
  // as text may: that end tag closes the body, for browsers and for the walk, so the tag is
  // never changed (an attribute added after its last one would stand past that end).
  bool holdsBodyEnd = false;
  bool instruction = false;  // an `<?xml-stylesheet ...?>` standing for a style-sheet link
};

// The attributes of a recorded element, as the walk read them, read again from the page it was
// recorded in.
AttributeMap attributesOf(std::string_view page, const ELEMENT& element);

// The first `base` element with an `href`: its value as written, and where it ends (browsers
// resolve the references after it against it).
struct BaseElement {
  std::string href;
  std::size_t tagEnd = 0;
};

struct PARSE2INFO {
  std::vector<ELEMENT> elements;    // out: appended in document order
  std::optional<BaseElement> base;  // out: the first base with an href, if any
};

// Appends the page's style-sheet links and classic and module scripts with `src` to
// `info.elements`, and notes its base.
void collectReferences(std::string_view page, PARSE2INFO& info);

// Appends the style-sheet instructions of an XML document's prolog to `info.elements`.
void collectStyleSheetInstructions(std::string_view document, PARSE2INFO& info);

// The same one tag at a time (page_walk.h): records the tag when it is one, and says whether
// the walk is to skip the body of the script it starts.
bool readReferenceTag(const ScannedTag& tag, PARSE2INFO& info);

// What a page's base makes of the references after it: the folder a relative reference is put
// under (empty: the page's own), or that they are remote.
struct ReferenceBase {
  bool remote = false;
  std::u16string folder;  // ends in "/" unless empty
};
ReferenceBase referenceBaseOf(std::string_view href, TargetEncoding pageEncoding);

// How a page's references are read: in the encoding the page text is in, and, for a page that
// was in Shift_JIS or EUC-JP before its conversion, that encoding too.
struct NameReading {
  TargetEncoding pageEncoding = TargetEncoding::ShiftJis;
  std::optional<TargetEncoding> legacy;
};

// The names, as bytes, of the files on disk a reference may lead to, the likeliest first: the
// one a browser asks for (the path with each percent escape one byte and every other character
// in UTF-8), then, for a page that was in a legacy encoding, the path in that encoding (a file
// an old site named in its bytes, which its pages wrote raw or escaped in UTF-8), when it
// differs. None when the reference is remote; empty when it names nothing.
std::optional<std::vector<std::string>> referenceNames(std::string_view value, const NameReading& reading,
                                                       const ReferenceBase& base = {});

// Decodes in place, in this order and each in one left-to-right pass that never looks again
// at what it produced: &quot; &lt; &gt; &amp; (so "&amp;lt;" ends as "&lt;"), percent
// escapes, then numeric character references ("%26#65;" ends as "A").
//  - Percent: "%" and two hex digits is a byte. A run of such escapes is read as UTF-8 where
//    its bytes form well-formed sequences, each of which becomes its character; any other
//    byte becomes the one unit of the same value. "%%" becomes "%"; another "%" stays.
//  - "&#" then a number as wcstol reads it (base 16 after "x" or "X", else 10; leading white
//    space, a sign and for base 16 a "0x" accepted; no digits reads as 0) and ";" becomes the
//    character: one unit up to U+FFFF, a surrogate pair up to U+10FFFF, U+FFFD for any other
//    value. Without the ";" the text stays.
void decodeReferenceText(std::u16string& text);

// A copy of `text` with every `from` unit replaced by `to`.
std::u16string replaceUnit(std::u16string_view text, char16_t from, char16_t to);

}  // namespace sarnavel
