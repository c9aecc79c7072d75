#include "html/iso2022_runs.h"

#include <cstring>

#include "text/byte_pair_scan.h"
#include "text/find_bytes.h"
#include "text/iso2022.h"

namespace sarnavel {

RunShift runShiftAt(std::string_view text, std::size_t pos, std::size_t& length) {
  const std::optional<Designation> designation = designationAt(text, pos);
  if (!designation) return RunShift::None;
  length = designation->length;
  return isNonAsciiSet(designation->set) ? RunShift::Opens : RunShift::Closes;
}

namespace {

// True when no escape byte lies in [from, to): then nothing there is inside a run.
bool noEscapeBetween(std::string_view text, std::size_t from, std::size_t to) {
  return std::memchr(text.data() + from, 0x1B, to - from) == nullptr;
}

}  // namespace

std::size_t findByteOutsideRuns(std::string_view text, std::size_t from, char byte) {
  if (from >= text.size()) return std::string_view::npos;
  // The plain search is right as long as no run opens before what it finds: both are looked
  // for at once.
  const std::size_t hit = findEitherByte(text.data(), from, text.size(), byte, '\x1b');
  if (hit == text.size()) return std::string_view::npos;
  if (text[hit] == byte) return hit;
  return findOutsideRuns(text, from, [&](std::size_t i) { return text[i] == byte; });
}

std::size_t findEitherOutsideRuns(std::string_view text, std::size_t from, char a, char b) {
  if (from >= text.size()) return std::string_view::npos;
  const std::size_t hit = findEitherByte(text.data(), from, text.size(), a, b);
  if (noEscapeBetween(text, from, hit)) return hit == text.size() ? std::string_view::npos : hit;
  return findOutsideRuns(text, from, [&](std::size_t i) { return text[i] == a || text[i] == b; });
}

std::size_t findTextOutsideRuns(std::string_view text, std::size_t from, std::string_view needle) {
  if (from >= text.size()) return std::string_view::npos;
  std::size_t hit = findBytes(text, from, needle);
  if (noEscapeBetween(text, from, hit == std::string_view::npos ? text.size() : hit)) return hit;
  return findOutsideRuns(
      text, from, [&](std::size_t i) { return text[i] == needle[0] && text.substr(i, needle.size()) == needle; });
}

}  // namespace sarnavel
