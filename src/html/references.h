// Referenced style sheets and scripts: which `link` and `script` elements of a page load an
// external file, and how the value of an `href` or `src` becomes a local path.
//
// collectReferences walks the whole page with TagWalk (comments skipped, no stop at `body`)
// and records, in document order, every `link` whose `rel` is exactly "stylesheet" (any
// case) and every JavaScript `script` with a `src`. The body of a recorded script is walked
// like ordinary text; the bodies of other scripts are skipped. It only reads the page; the
// caller looks up `href` or `src` and rewrites tags by the recorded offsets.
//
// resolveLocalReference refuses values that name a remote resource ("http:" and "ftp:",
// compared byte-exactly and case-sensitively) and turns every other value into a UTF-16
// path: a "file://" or "file:" prefix is stripped, the bytes are read in the encoding the
// page is in, a query or fragment (from the first "?", or "#" not begun by "&") is taken off,
// and character references and percent escapes are decoded. The path keeps the
// platform's form: `/` stays the separator and nothing is rewritten into a drive form. It is
// relative or absolute as the value was; making it absolute and checking that the file
// exists is the caller's work. No file is touched here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "html/tag_scanner.h"
#include "text/target_encoding.h"

namespace sarnavel {

// One recorded element.
struct ELEMENT {
  std::string name;  // "link" or "script"
  std::size_t tagStart = 0;
  std::size_t tagEnd = 0;
  AttributeMap attributes;
  bool selfClosing = false;
};

struct PARSE2INFO {
  std::string defaultScriptType;  // in: the page's contentScriptType (PARSE1INFO)
  std::vector<ELEMENT> elements;  // out: appended in document order
};

// Appends the page's style-sheet links and JavaScript scripts with `src` to `info.elements`.
// A script without `type` counts as JavaScript when `defaultScriptType` is "text/javascript".
void collectReferences(std::string_view page, PARSE2INFO& info);

// The same one tag at a time (page_walk.h): records the tag when it is one, and says whether
// the walk is to skip the body of the script it starts.
bool readReferenceTag(const ScannedTag& tag, PARSE2INFO& info);

// False, leaving `path` unchanged, when `value` names a remote resource; otherwise sets
// `path` to the local path it names and returns true. `value` is the raw attribute value;
// `pageEncoding` the encoding the page text is in when the value is read.
bool resolveLocalReference(std::u16string& path, std::string_view value, TargetEncoding pageEncoding);

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
