// What a conversion run asks of every file: the target encoding, the line ending, whether the
// style sheets and scripts a page loads are converted too, and whether backups are made.
// The record is taken once when a run starts and passed to everything that needs it.
#pragma once

#include <set>
#include <string>

#include "engine/target_encoding.h"

namespace sarnavel {

struct ConversionOptions {
  TargetEncoding targetEncoding = 0;  // Shift_JIS
  LineEnding lineEnding = LineEnding::Unchanged;
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
};

// An ordered set of full paths: each text once, ascending by byte (so by code point for
// UTF-8 paths), case-sensitive, a prefix before the longer text.
using PathSet = std::set<std::string>;

}  // namespace sarnavel
