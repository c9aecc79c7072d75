// What a conversion run asks of every file: the target encoding and line ending (the engine's
// TargetChoice), whether the style sheets and scripts a page loads are converted too, and
// whether backups are made. The record is taken once when a run starts and passed to
// everything that needs it.
#pragma once

#include "engine/target_options.h"

namespace sarnavel {

struct ConversionOptions : TargetChoice {
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
};

}  // namespace sarnavel
