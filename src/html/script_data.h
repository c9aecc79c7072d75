// Where the body of a `script` element ends, read as the browser's tokenizer reads script data.
//
// A script body is text, and only its end tag ends it: "</script" in any letter case followed by
// white space, `/` or `>`. But old pages hide their scripts from older browsers in a comment,
// and write script elements from them:
//
//   <script><!--
//   document.write('<script src="a.js"></script>');
//   //--></script>
//
// So the tokenizer knows three states, and this reads them all:
//  - data: "<!--" enters the escaped state;
//  - escaped (after "<!--"): "-->" goes back to data; "<script" followed by white space, `/` or
//    `>` enters the double-escaped state; the end tag still ends the body;
//  - double-escaped: "-->" goes back to data; "</script" followed by white space, `/` or `>`
//    goes back to the escaped state and ends nothing.
// The body has no end when none is met (it then runs to the end of the page); the start tag's
// closing `/` means nothing here, as for browsers.
//
// Byte text is read minding ISO-2022-JP runs (iso2022_runs.h): no byte of a two-byte run is a
// `<`, `-` or `>`. UTF-16 units are read as they are.
//
// Contract: this is the one reading of a script body's end; the tag walk, the page's regions and
// every reader built on them (head analysis, references, escaping, the check) take it from here.
// Pure; linear in the length of the body.
#pragma once

#include <cstddef>
#include <string_view>

namespace sarnavel {

// What ends a tag's name for the tokenizer: white space (a CR reaches it as a line feed), `/`
// or `>`.
template <class Char>
constexpr bool endsTagName(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

// The offset of the `<` of the end tag of the script body that starts at `bodyStart` (just after
// the start tag's `>`); npos when the body runs to the end of the page.
template <class Char>
std::size_t scriptBodyEnd(std::basic_string_view<Char> page, std::size_t bodyStart);

extern template std::size_t scriptBodyEnd(std::basic_string_view<char>, std::size_t);
extern template std::size_t scriptBodyEnd(std::basic_string_view<char16_t>, std::size_t);

}  // namespace sarnavel
