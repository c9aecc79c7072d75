// What the desktop program remembers from one start to the next, in the settings file it
// shares with the command-line tool: $XDG_CONFIG_HOME/sarnavel/sarnavel.conf (by default
// ~/.config/sarnavel/sarnavel.conf), an INI file written by QSettings.
//
//   [conversion]  kinds, fix_server_charset, backup_dir, backup_suffix: the command-line tool
//                 reads these too, and its options override them
//   [desktop]     target, line_ending, follow_css, follow_js, backup, dry_run, window_size,
//                 last_folder: this program's own
//
// Targets and line endings are kept by the names the command-line tool takes (utf-8, lf, ...),
// switches as true or false. A first start (no file) gives the dialog's defaults: Shift_JIS,
// line endings unchanged, every switch on, no dry run. A file that cannot be read, or a value
// that is not one of those allowed, is a notice; the default stands for what it held.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace sarnavel {

struct DesktopSettings {
  int target = 0;      // position in the encoding list: 0 Shift_JIS, 1 EUC-JP, 2 UTF-8
  int lineEnding = 0;  // position in the line-ending list: 0 unchanged, 1 CR+LF, 2 LF, 3 CR
  bool followCss = true;
  bool followJs = true;
  bool makeBackup = true;
  bool dryRun = false;  // 変換 converts in memory only and writes nothing
  QSize windowSize;     // invalid: the dialog's own size
  QString lastFolder;   // where Ctrl+O opens; empty: the current folder
  QString kinds;        // as --kinds takes them ("+xhtml,shtml"); empty: the usual kinds
  bool fixServerCharset = false;
  QString backupDir;                              // empty: beside each file
  QString backupSuffix = QStringLiteral(".bak");  // never empty
  bool operator==(const DesktopSettings&) const = default;
};

struct SettingsRead {
  DesktopSettings settings;
  QStringList notices;  // one line each: what could not be read, and that its default stands
};

// The user's settings file, or the defaults where it has none.
SettingsRead readSettings();
// Writes every value; false when the file could not be written.
bool writeSettings(const DesktopSettings& settings);

// Where the settings file is, for messages.
QString settingsFileName();

}  // namespace sarnavel
