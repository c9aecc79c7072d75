// The options of the byte converter, set from option strings such as "-s -x -Lw -c".
//
// The strings are the published command-line options of the conversion library this
// converter stands in for; only the ones the target-encoding table uses mean anything here:
//   -s -e -j -w   Shift_JIS, EUC-JP, ISO-2022-JP, UTF-8 output (-w80 is UTF-8 without a
//                 byte-order mark; UTF-8 output never gets one)
//   -x            half-width katakana stay half-width
//   -Lw -Lu -Lm   every CR, LF and CR+LF becomes CR+LF, LF or CR
//   -c -d         a CR is added before each LF / the CR before each LF is deleted
// Other words are ignored. Setting options replaces every earlier option.
#pragma once

#include <optional>
#include <string_view>

#include "engine/encoding_detection.h"
#include "engine/escape_language.h"
#include "text/line_ending.h"
#include "text/target_encoding.h"

namespace sarnavel {

struct ConverterOptions {
  TargetEncoding output = TargetEncoding::ShiftJis;
  bool keepHalfWidthKana = false;
  LineEnding lineEnding = LineEnding::Unchanged;
  bool addCrBeforeLf = false;
  bool deleteCrBeforeLf = false;
  // Not set by option strings: when the engine names the document's language, a character
  // the target cannot hold, or one that code page 932 lacks, is written as that language's
  // escape (and bytes that form no character as the escape of U+FFFD) instead of the geta
  // mark, so nothing is lost and converting the result again changes nothing.
  std::optional<EscapeLanguage> escapeLanguage;
  // Not set by option strings either: the engine names the input encoding when it produced
  // the text itself (UTF-8, UTF-16 and Latin-1 documents become code page 932 text), so no
  // short text of it can be taken for EUC-JP. Otherwise the converter detects it.
  std::optional<InputEncoding> inputEncoding;

  bool operator==(const ConverterOptions&) const = default;
};

// The options an option string stands for.
ConverterOptions parseConverterOptions(std::string_view optionString);

}  // namespace sarnavel
