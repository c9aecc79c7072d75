// One line of what the log and the report say about a file: a short Japanese text with a
// stable code for machines and the position it concerns. Made by the report's words of a
// file (file_notes.h) from the run's facts; nothing below the report words anything.
#pragma once

#include <cstddef>
#include <string>

#include "text/text_position.h"

namespace sarnavel {

struct NoteLine {
  std::string code;  // short and stable: "reference-refused", "changed-during-conversion", ...
  TextPosition at;   // where in the source it concerns; 0:0 when it concerns the whole file
  std::string text;  // the Japanese line the log writes
  bool operator==(const NoteLine&) const = default;
};

// How many characters of each kind a note names by code point and position.
inline constexpr std::size_t kCharactersNamed = 3;

}  // namespace sarnavel
