// The target table: how a target encoding and a line-ending choice become converter options,
// and the charset name documents carry for each target.
//
//   target  charset name    unchanged     CR+LF               LF                  CR
//   0       Shift_JIS       -s -x         -s -x -Lw -c        -s -x -Lu -d        -s -x -Lm
//   1       EUC-JP          -e -x         -e -x -Lw -c        -e -x -Lu -d        -e -x -Lm
//   2       ISO-2022-JP     -j -x         -j -x -Lw -c        -j -x -Lu -d        -j -x -Lm
//   3       UTF-8           -w -w80 -x    -w -w80 -x -Lw -c   -w -w80 -x -Lu -d   -w -w80 -x -Lm
//
// The option strings stay the converter's interface (converter_options.h). A target or line
// ending outside the table (made by a cast) has no cell: no option string, no name.
#pragma once

#include <string>
#include <string_view>

#include "engine/converter_options.h"
#include "text/line_ending.h"
#include "text/target_encoding.h"

namespace sarnavel {

// What a document is converted to: the one choice every conversion of a run shares.
// `keepCharacters` (with the UTF-8 target only; ignored with another) writes every character
// as itself: no escape and no stand-in for what code page 932 lacks, references and escapes
// the document already had left as written.
struct TargetChoice {
  TargetEncoding targetEncoding = TargetEncoding::ShiftJis;
  LineEnding lineEnding = LineEnding::Unchanged;
  bool keepCharacters = false;
  // Whether this choice writes every character as itself.
  bool keepsCharacters() const { return keepCharacters && targetEncoding == TargetEncoding::Utf8; }
};

// The option string of a table cell; empty outside the table.
std::string_view targetOptionString(TargetEncoding target, LineEnding lineEnding);

// The charset name as documents carry it ("Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-8");
// empty outside the table.
std::string_view charsetNameOf(TargetEncoding target);

// Sets the converter's options for the target encoding and line ending and returns the
// charset name. Outside the table the options stay as they were and the name is empty.
std::string applyTargetEncoding(ConverterOptions& options, TargetEncoding target, LineEnding lineEnding);

}  // namespace sarnavel
