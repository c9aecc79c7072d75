// The line-ending choice of a conversion, and the tally of line breaks by kind.
//
// The numbers are the columns of the target table (engine/target_options.h) and the indices
// the shells offer: 0 leaves every break as it is, 1 makes each CR+LF, LF and CR a CR+LF,
// 2 an LF, 3 a CR.
#pragma once

#include <cstddef>

namespace sarnavel {

enum class LineEnding : int { Unchanged = 0, CrLf = 1, Lf = 2, Cr = 3 };

// How many line breaks of each kind a text holds; a CR+LF counts once, as crlf.
struct LineBreakCounts {
  std::size_t crlf = 0;
  std::size_t lf = 0;
  std::size_t cr = 0;
  bool operator==(const LineBreakCounts&) const = default;
};

}  // namespace sarnavel
