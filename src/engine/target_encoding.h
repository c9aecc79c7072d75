// The four target encodings and the line-ending choice, and how a choice becomes converter
// options.
//
//   index  charset name    unchanged     CR+LF               LF                  CR
//   0      Shift_JIS       -s -x         -s -x -Lw -c        -s -x -Lu -d        -s -x -Lm
//   1      EUC-JP          -e -x         -e -x -Lw -c        -e -x -Lu -d        -e -x -Lm
//   2      ISO-2022-JP     -j -x         -j -x -Lw -c        -j -x -Lu -d        -j -x -Lm
//   3      UTF-8           -w -w80 -x    -w -w80 -x -Lw -c   -w -w80 -x -Lu -d   -w -w80 -x -Lm
#pragma once

#include <string>

#include "engine/converter_options.h"

namespace sarnavel {

// An index 0 to 3 into the table above. The desktop program offers 0, 1 and 3.
using TargetEncoding = int;

enum class LineEnding : int { Unchanged = 0, CrLf = 1, Lf = 2, Cr = 3 };

// The option string of a table cell; empty for an index outside 0 to 3.
std::string_view targetOptionString(TargetEncoding index, LineEnding lineEnding);

// Sets the converter's options for the target encoding and line ending and returns the
// charset name as documents carry it ("Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-8"). An index
// outside 0 to 3 leaves the options as they were and returns an empty name.
std::string applyTargetEncoding(ConverterOptions& options, TargetEncoding index, LineEnding lineEnding);

}  // namespace sarnavel
