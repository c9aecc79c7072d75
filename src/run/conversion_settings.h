// The settings the desktop program and the command-line tool share: section [conversion] of
// $XDG_CONFIG_HOME/sarnavel/sarnavel.conf (~/.config/sarnavel/sarnavel.conf without it), the
// INI file the desktop program reads and writes through QSettings. The command-line tool reads
// it with this small reader; what its own line gives wins over the file.
//
//   [conversion]
//   kinds="+xhtml,shtml"      the kinds taken (kind_set.h); quoted because of the comma
//   fix_server_charset=true   rewrite the .htaccess charset lines (true or false)
//   backup_dir=/path          where backups go
//   backup_suffix=.bak        the name a backup gets after the file's
//
// The values are read as QSettings writes them: spaces around them dropped, "..." quoting
// (which keeps ',' ';' and spaces), backslash escapes (\" \\ \n \t \xHH...), ';' outside quotes
// beginning a comment, a leading "@@" standing for "@". Lines beginning with ';' or '#' are
// comments. Other sections and unknown keys are passed over (the desktop program keeps its
// own there). A line that is no section, key or comment, a value that cannot be used, and a
// file that is there but cannot be read are problems, each named (report/cli_notices.h) and
// never a failure: the setting keeps its default. A missing file is no problem.
//
// Thread safety: pure functions but loadConversionSettings, which reads the file (through the
// store) and the environment.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/kind_set.h"

namespace sarnavel {

struct SettingsProblem {
  enum class Kind {
    Unreadable,  // the file is there but could not be read
    BadLine,     // neither a section, a key with a value, nor a comment
    BadKinds,    // `kinds` holds no usable list (`kindFault`, `value`)
    BadBoolean,  // `fix_server_charset` is neither true nor false (`value`)
  } kind = Kind::Unreadable;
  std::size_t line = 0;  // 1-based; 0 for the whole file
  std::string value;     // the value as read (unescaped), or the line
  KindListParse::Fault kindFault = KindListParse::Fault::None;
};

struct ConversionSettings {
  std::optional<KindSet> kinds;
  std::optional<bool> fixServerCharset;
  std::optional<std::string> backupDir;
  std::optional<std::string> backupSuffix;
  std::vector<SettingsProblem> problems;  // in the order of the file's lines
};

// The settings of a file's text.
ConversionSettings readConversionSettings(std::string_view text);

// Where the settings file is, from the environment; empty when there is no home to look in.
std::filesystem::path conversionSettingsPath();

// The settings of the file at `path` (conversionSettingsPath()): none when it is missing.
ConversionSettings loadConversionSettings(const std::filesystem::path& path);

}  // namespace sarnavel
