// Test tables name targets by their index (0 Shift_JIS, 1 EUC-JP, 2 ISO-2022-JP, 3 UTF-8);
// this turns an index into the target and lets failure messages print one.
#pragma once

#include <ostream>

#include "text/line_ending.h"
#include "text/target_encoding.h"

namespace sarnavel {

inline std::ostream& operator<<(std::ostream& out, TargetEncoding target) {
  return out << "target " << static_cast<int>(target);
}
inline std::ostream& operator<<(std::ostream& out, LineEnding eol) {
  return out << "line ending " << static_cast<int>(eol);
}

namespace testing {
inline TargetEncoding asTarget(int index) { return static_cast<TargetEncoding>(index); }
}  // namespace testing

}  // namespace sarnavel
