// What a conversion run asks of every file: the target encoding and line ending (the engine's
// TargetChoice), whether the style sheets and scripts a page loads are converted too, and
// whether backups are made, where and under what name. The record is taken once when a run
// starts and passed to everything that needs it.
#pragma once

#include <filesystem>
#include <string>

#include "engine/target_options.h"

namespace sarnavel {

struct ConversionOptions : TargetChoice {
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
  // Empty: each backup lies beside its file. Otherwise the backups lie in a mirror of the
  // named folders under this folder (backup_place.h), which may not lie inside one of them.
  std::filesystem::path backupFolder = {};
  std::string backupSuffix = ".bak";  // each generation's name is the one before with it added
};

}  // namespace sarnavel
