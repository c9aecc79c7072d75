// The command line of sarnavel-cli.
//
//   sarnavel-cli [-q | -v] [-t ENC] [-f ENC] [-n EOL] [--no-follow-css] [--no-follow-js] [--no-backup]
//                [--backup-dir DIR] [--suffix SUFFIX] [--dry-run] [--keep-characters]
//                [--report FILE] [--kinds LIST] [--[no-]fix-server-charset] [--allow-loss] PATH...
//   sarnavel-cli --check [-q] [--no-follow-css] [--no-follow-js] [--report FILE] [--kinds LIST] PATH...
//   sarnavel-cli --runs
//   sarnavel-cli --undo [--dry-run] [--force RUN] [-q] [--report FILE] [RUN]
//   sarnavel-cli --restore [--suffix SUFFIX] [--dry-run] [-q] [--report FILE] PATH...
//   sarnavel-cli --help | --version | --list-encodings
//
// Encodings and line endings are named without regard to letter case, with the usual
// aliases; -f takes the labels a declaration may use (engine/charset_label.h), UTF-16 aside. Following style sheets and scripts and making backups are on unless switched off,
// like the desktop program's defaults. --keep-characters (UTF-8 without escapes) goes with
// the UTF-8 target only; with another it is a usage error. --backup-dir and --suffix name
// where backups go (run/backup_place.h); a suffix is never empty nor holds a '/'. Whether the
// backup folder lies inside a named folder is the program's to find (on disk), not the parse's.
//
// The line is read by glibc's getopt_long, as other GNU tools read theirs: a value attached or
// separate (-tutf-8, -t utf-8, --to=utf-8, --to utf-8), short flags bundled (-hV), a long
// option shortened to any unambiguous prefix (--dry), "--" ending the options, paths and
// options in any order. getopt_long keeps its place in globals (optind): parseCommandLine
// resets them on each call, and the programs call it once, on the main thread, before any
// other thread starts. Its own messages are off (opterr); the errors are ours, messages in the
// language asked for (report/message_language.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/message_language.h"
#include "run/conversion_options.h"

namespace sarnavel {

struct CliOptions {
  ConversionOptions conversion;
  bool targetGiven = false;  // -t named the target; otherwise Shift_JIS, the desktop program's default
  bool dryRun = false;
  enum class Progress { IfTerminal, Always, Never } progress = Progress::IfTerminal;  // --progress, --no-progress
  bool quiet = false;      // -q: the log holds failures (a check's: files with a problem) and the summary
  bool verbose = false;    // -v: each file's log entry also says what it was read as and what decided it
  bool check = false;      // read and tell what each file is; convert and write nothing
  std::string reportPath;  // --report: the JSON Lines report's file, "-" for standard output
  bool help = false;
  bool version = false;
  bool listEncodings = false;  // --list-encodings: the names encodingListText gives
  // --kinds and --[no-]fix-server-charset were given: the settings file's do not count
  // (run/conversion_settings.h).
  bool kindsGiven = false;
  bool fixServerCharsetGiven = false;
  bool suffixGiven = false;  // --suffix named the backups (the settings file's backup_suffix then does not)
  std::vector<std::string> paths;
  // Taking conversions back (run/undo_run.h); with --undo, `paths` holds the run, if given.
  bool runs = false;     // --runs: list the remembered runs
  bool undo = false;     // --undo: take a run back
  std::string force;     // --force RUN: the run may be taken back although later runs follow it
  bool restore = false;  // --restore: put the files named back from their own backups
};

struct CliParse {
  CliOptions options;
  std::string error;  // empty when the command line is usable
};

CliParse parseCommandLine(const std::vector<std::string>& arguments,
                          MessageLanguage language = MessageLanguage::English);

// The target an encoding name stands for (shift_jis, sjis, cp932, euc-jp, utf-8, ...); none if unknown.
std::optional<TargetEncoding> targetFromName(const std::string& name);

// --help's text, in the language of the messages.
std::string usageText(MessageLanguage language);

// The targets, one a line (its name first, the other names -t takes after it), then the
// encodings files are read in, one a line (its name, then the other labels a
// declaration may name it by).
std::string encodingListText();

}  // namespace sarnavel
