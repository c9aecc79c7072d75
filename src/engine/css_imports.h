// The style sheets a style sheet imports, found as browsers find them.
//
// A sheet pulls others in with `@import` rules, which count only at its start: before them may
// stand white space, comments, the `<!--` and `-->` that old sheets hid themselves with, an
// `@charset` rule and `@layer` statements; the first other rule ends the imports (an @import
// after it is dropped by browsers). Every form is read: `@import url(a.css);`,
// `url("a.css")`, `"a.css"`, `'a.css'`, with media queries or a layer after the address, the
// keyword and `url(` in any letter case. A backslash in a string or an address takes the next
// byte as it is (CSS escapes by number are not decoded); a rule whose address is neither a
// string nor `url(...)` imports nothing and is passed over.
//
// Reads the bytes of a sheet in any target encoding: what matters is ASCII. A byte from 0x80
// outside a string or an address ends the search (no sheet starts its rules with text), and so
// does an escape byte anywhere (an ISO-2022-JP run could hold a quote). Pure; linear in the
// length of the sheet's start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

// The addresses of the sheet's @import rules, as written (quotes and `url(` taken off), in order.
std::vector<std::string> importedSheets(std::string_view sheet);

}  // namespace sarnavel
