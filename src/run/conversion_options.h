// What a conversion run asks of every file: the target encoding and line ending (the engine's
// TargetChoice), whether the style sheets and scripts a page loads are converted too, whether
// backups are made, the kinds of file taken (kind_set.h) and whether the .htaccess lines that
// name the old charset are rewritten. The record is taken once when a run starts and passed to
// everything that needs it.
#pragma once

#include "engine/target_options.h"
#include "run/kind_set.h"

namespace sarnavel {

struct ConversionOptions : TargetChoice {
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
  KindSet kinds = KindSet::defaults();  // the listed files of other kinds are passed over
  bool fixServerCharset = false;        // rewrite the .htaccess lines naming the old charset (server_charset.h)
};

}  // namespace sarnavel
