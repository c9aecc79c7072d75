// How a path (or any text that came from a file name) is written where a person reads it: the
// log and the command line's notices.
//
// A file name on Linux may hold any byte but '/' and NUL: newlines and escape sequences that
// would forge a log line or drive the terminal, invisible characters that break a line or turn
// the text around it backwards, and bytes that are no UTF-8 at all. The visible form keeps
// valid UTF-8 as it is (Japanese names stay readable) and writes every control character (see
// isControlCharacter) and every byte that is not part of valid UTF-8 as an escape, the way GNU
// `ls` quotes names: `\a \b \t \n \v \f \r` by name, any other byte as `\xHH` (lowercase
// hex; a character above U+007F is its UTF-8 bytes, `\xc2\x85`, `\xe2\x80\xae`). A backslash
// is doubled, so every escape stands for exactly one byte and the original can be told from
// the text.
//
// Contract: the result never holds a control character or invalid UTF-8, so one path is always
// one line; two different paths never look alike; text without control characters,
// backslashes or invalid bytes comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

// The visible form of a whole text, as described above.
std::string visiblePath(std::string_view bytes);

// True for a character that must never reach a reader raw: C0 (below U+0020), DEL (U+007F),
// C1 (U+0080 to U+009F), the line and paragraph separators (U+2028, U+2029, which some
// viewers take for line breaks) and the bidirectional controls (U+200E, U+200F, U+202A to
// U+202E, U+2066 to U+2069, which can show "lmth.exe" as "exe.html").
bool isControlCharacter(char32_t codePoint);

// Appends the escape of one control character (its UTF-8 bytes, each as above), for a shell
// that shows names its own way but must still keep control characters out of sight. Any other
// character is escaped the same way.
void appendVisibleControl(std::string& out, char32_t codePoint);

}  // namespace sarnavel
