// Whether bytes follow UTF-8's lead-byte rules: the lenient test (isUtf8Text, utf8.h) that the
// encoding decision reads every non-ASCII document with, so it must cost little more than a
// copy.
//
// The rules: a byte C0-FD starts a sequence of as many bytes as it has leading one bits (2 to
// 6), whose other bytes are continuation bytes (80-BF); a continuation byte anywhere else, and
// FE or FF anywhere, break them. Overlong forms and encoded surrogates pass; a sequence cut
// short by the end of the bytes passes too.
//
// Design note. Read one sequence after another, the rules need a branch per character. Put
// another way they hold exactly when every byte is a continuation byte if and only if one of
// the five bytes before it starts a sequence long enough to reach it (and no byte is FE or
// FF): a test of each byte against its neighbours, which SSE2 makes 16 bytes at a time
// (every x86-64 processor has it). Elsewhere the same test runs a byte at a time. Both ways
// are exposed so that each can be tested on any machine. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sarnavel {

bool followsUtf8LeadRulesByBytes(const std::uint8_t* p, std::size_t n);
#if defined(__SSE2__)
bool followsUtf8LeadRulesBySse2(const std::uint8_t* p, std::size_t n);
#endif

// The fastest way this machine has.
inline bool followsUtf8LeadRules(const std::uint8_t* p, std::size_t n) {
#if defined(__SSE2__)
  return followsUtf8LeadRulesBySse2(p, n);
#else
  return followsUtf8LeadRulesByBytes(p, n);
#endif
}

}  // namespace sarnavel
