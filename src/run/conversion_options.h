// What a conversion run asks of every file: the target encoding and line ending (the engine's
// TargetChoice), whether the style sheets and scripts a page loads are converted too, whether
// backups are made (where and under what name), the kinds of file taken (kind_set.h), whether
// the .htaccess lines that name the old charset are rewritten, and the encoding every file is
// read in when the user names one. The record is taken once when a run starts and passed to
// everything that needs it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "engine/target_options.h"
#include "run/kind_set.h"
#include "text/source_encoding.h"

namespace sarnavel {

struct ConversionOptions : TargetChoice {
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
  KindSet kinds = KindSet::defaults();  // the listed files of other kinds are passed over
  bool fixServerCharset = false;        // rewrite the .htaccess lines naming the old charset (server_charset.h)
  // Empty: each backup lies beside its file. Otherwise the backups lie in a mirror of the
  // named folders under this folder (backup_place.h), which may not lie inside one of them.
  std::filesystem::path backupFolder = {};
  std::string backupSuffix = ".bak";  // each generation's name is the one before with it added
  // The encoding every file is read in, detection skipped (engine/encoding_decision.h); a file
  // whose bytes are not all characters of it is left as it is. None: each file's is decided.
  std::optional<SourceEncoding> sourceEncoding = {};
  // A plain text with characters its target lacks is converted all the same, each written as
  // the geta mark; otherwise it is left as it was (file_drivers.h).
  bool allowLoss = false;
};

}  // namespace sarnavel
