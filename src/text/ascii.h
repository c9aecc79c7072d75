// ASCII: skipping it quickly (the one scan every reader of Japanese byte text starts with) and
// lower-casing it (every tag name, attribute name, label and option name is compared so).
//
// Lower-casing touches A-Z only: bytes 0x80-0xFF and UTF-16 units above 0x7F are never letters
// here, as HTML and CSS read names. Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "text/ascii_run.h"

namespace sarnavel {

// The offset of the first byte from 0x80 at or after `i` (or `n`), many bytes at a time
// (ascii_run.h).
inline std::size_t skipAscii(const std::uint8_t* p, std::size_t i, std::size_t n) { return asciiRunEnd(p, i, n); }

// A-Z become a-z; every other byte or unit stays as it is.
template <class Char>
constexpr Char asciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

// A-Z and a-z.
template <class Char>
constexpr bool isAsciiLetter(Char c) {
  return (c >= Char('a') && c <= Char('z')) || (c >= Char('A') && c <= Char('Z'));
}

// XML's white space: space, tab, CR and LF (what server-side include directives and template
// code separate words with too).
constexpr bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// `text` without the bytes of `spaces` at its two ends.
constexpr std::string_view trimmedOf(std::string_view text, std::string_view spaces) {
  const std::size_t first = text.find_first_not_of(spaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

// A copy of `text` with A-Z turned into a-z.
inline std::string lowercaseCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

}  // namespace sarnavel
