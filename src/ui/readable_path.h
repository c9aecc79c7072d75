// How the desktop program shows a path to a person: the text of its bytes, readable, on one
// line. Only for showing: the list and the run keep using the path's own bytes.
//
// The path is read component by component ('/' never occurs inside a Japanese double-byte
// character, in either encoding):
//  - a component that is valid UTF-8 is shown as it is;
//  - otherwise, when its bytes are valid Shift_JIS (code page 932) or valid EUC-JP, that
//    reading is shown, and the whole text ends with a mark naming the reading(s) used:
//    "テスト.html [Shift_JIS]". Bytes valid in both are read as the converter reads a
//    document valid in both (encoding_detection.h: the likelier Japanese text wins);
//  - otherwise its valid UTF-8 characters are shown and every other byte as \xHH.
// Characters that would break the line, steer the terminal or turn the text around are always
// written visibly, by the same rule as the log of the command-line tool (visible_path.h):
// \n, \t and the like by name, the other C0 and C1 controls, DEL, the line and paragraph
// separators and the bidirectional controls as their UTF-8 bytes, \xHH each. A backslash is
// doubled. So one path is one line, and two names that differ only in such characters look
// different.
//
// The result is UTF-8. Pure function; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

std::string readablePath(std::string_view bytes);

}  // namespace sarnavel
