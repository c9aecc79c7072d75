// Finding a string of bytes in a text: the search for a word that may stand anywhere in a page
// ("document.write", "-->").
//
// std::string_view::find looks for the needle's first byte with memchr and compares at every
// hit, which on a page full of that byte ('d', '-') costs a call per hit. glibc's memmem skips
// ahead by the needle's length; other C libraries get the standard search. Pure functions,
// callable from any thread.
//
// Contract: the offset of the first occurrence of `needle` (non-empty) at or after `from`, or
// npos; the same answer as std::string_view::find.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace sarnavel {

inline std::size_t findBytes(std::string_view text, std::size_t from, std::string_view needle) {
  if (from > text.size()) return std::string_view::npos;
#if defined(__GLIBC__)
  const void* hit = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : std::string_view::npos;
#else
  return text.find(needle, from);
#endif
}

}  // namespace sarnavel
