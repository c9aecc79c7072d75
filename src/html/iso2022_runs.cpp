#include "html/iso2022_runs.h"

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

std::size_t findByteOutsideRuns(std::string_view text, std::size_t from, char byte) {
  return findOutsideRuns(text, from, [&](std::size_t i) { return text[i] == byte; });
}

std::size_t findTextOutsideRuns(std::string_view text, std::size_t from, std::string_view needle) {
  return findOutsideRuns(text, from, [&](std::size_t i) {
    return text[i] == needle[0] && text.substr(i, needle.size()) == needle;
  });
}

}  // namespace sarnavel
