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

// Where a document's text comes from. Text read from a UTF-16 file has already been brought
// into code page 932 with escapes, so the engine neither reads it as UTF-8 nor as Latin-1.
// A sheet or script that a Latin-1 page loads, with no declaration of its own, is Latin-1
// too, as browsers read it.
enum class TextOrigin { AsRead, FromUtf16, LoadedByLatin1Page };

// An ordered set of full paths: each text once, ascending by byte (so by code point for
// UTF-8 paths), case-sensitive, a prefix before the longer text.
using PathSet = std::set<std::string>;

// The style sheets and scripts that converted pages load, gathered for the run.
struct ReferencedFiles {
  PathSet styleSheets;
  PathSet scripts;
  PathSet loadedByLatin1Pages;  // whatever the follow switches say
};

}  // namespace sarnavel
