#include "html/iso2022_runs.h"

#include <cstring>

namespace sarnavel {

RunShift runShiftAt(std::string_view text, std::size_t pos, std::size_t& length) {
  std::string_view rest = text.substr(pos);
  if (rest.size() < 3 || rest[0] != '\x1b') return RunShift::None;
  if (rest[1] == '$') {
    if (rest[2] == '@' || rest[2] == 'B') {
      length = 3;
      return RunShift::Opens;
    }
    if (rest.size() >= 4 && rest[2] == '(' && rest[3] == 'D') {
      length = 4;
      return RunShift::Opens;
    }
    return RunShift::None;
  }
  if (rest[1] == '(') {
    if (rest[2] == 'B' || rest[2] == 'J') {
      length = 3;
      return RunShift::Closes;
    }
    if (rest[2] == 'I') {
      length = 3;
      return RunShift::Opens;
    }
  }
  return RunShift::None;
}

namespace {

// True when no escape byte lies in [from, to): then nothing there is inside a run.
bool noEscapeBetween(std::string_view text, std::size_t from, std::size_t to) {
  return std::memchr(text.data() + from, 0x1B, to - from) == nullptr;
}

}  // namespace

std::size_t findByteOutsideRuns(std::string_view text, std::size_t from, char byte) {
  if (from >= text.size()) return std::string_view::npos;
  // The plain search is right as long as no run opens before what it finds.
  std::size_t hit = text.find(byte, from);
  if (noEscapeBetween(text, from, hit == std::string_view::npos ? text.size() : hit)) return hit;
  return findOutsideRuns(text, from, [&](std::size_t i) { return text[i] == byte; });
}

std::size_t findTextOutsideRuns(std::string_view text, std::size_t from, std::string_view needle) {
  if (from >= text.size()) return std::string_view::npos;
  std::size_t hit = text.find(needle, from);
  if (noEscapeBetween(text, from, hit == std::string_view::npos ? text.size() : hit)) return hit;
  return findOutsideRuns(text, from, [&](std::size_t i) {
    return text[i] == needle[0] && text.substr(i, needle.size()) == needle;
  });
}

}  // namespace sarnavel
