// The charsets a script sets on the elements it makes.
//
// A script that loads another one by making its element names its encoding in code:
//
//   var s = document.createElement('script');
//   s.charset = 'Shift_JIS';            // or s.setAttribute('charset', 'Shift_JIS')
//   s.src = 'js/menu.js';
//
// The label is a string in the script, which no conversion of the page reaches: once the file it
// loads is converted, the label names its old encoding and the browser misreads it. Such a
// label is found where a string label is set: `.charset` followed by `=` (not `==`), or
// `setAttribute(` with the name "charset" (any case), then a label in quotes that is the whole
// value; a value the script computes is not one. Works on a script's text in any of the targets (what is read is
// ASCII). Pure; linear in the length of the script.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

struct SetCharset {
  std::size_t at = 0;  // the offset of the `.` of `.charset`, or of `setAttribute`
  std::string text;    // the code from there to the label's closing quote
  std::string label;
};

std::vector<SetCharset> charsetsSetByScript(std::string_view script);

// Whether a text may hold one at all: it makes elements ("createElement"). The cheap look that
// spares the rest of a page without.
bool maySetCharsets(std::string_view text);

}  // namespace sarnavel
