// The command line of sarnavel-cli, read in-process: every option and its aliases, and every
// way a command line is refused.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "engine/charset_label.h"

namespace sarnavel {
namespace {

TEST(CliOptions, ReadsEveryOption) {
  using E = TargetEncoding;
  using L = LineEnding;
  const struct {
    std::vector<std::string> arguments;
    E target;
    L eol;
    bool targetGiven, css, js, backup, dryRun, check;
    std::string report;
    std::vector<std::string> paths;
  } cases[] = {
      {{"a"}, E::ShiftJis, L::Unchanged, false, true, true, true, false, false, "", {"a"}},
      {{"-t", "SJIS", "a"}, E::ShiftJis, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"--to", "cp932", "a"}, E::ShiftJis, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"--to=EUCJP", "a"}, E::EucJp, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"-t", "iso-2022-jp", "a"}, E::Iso2022Jp, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"-t", "sjis", "-t", "Utf-8", "a"}, E::Utf8, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"-n", "LF", "a"}, E::ShiftJis, L::Lf, false, true, true, true, false, false, "", {"a"}},
      {{"--newline=CrLf", "a"}, E::ShiftJis, L::CrLf, false, true, true, true, false, false, "", {"a"}},
      {{"-n", "cr", "-n", "keep", "a"}, E::ShiftJis, L::Unchanged, false, true, true, true, false, false, "", {"a"}},
      {{"--no-follow-css", "--no-follow-js", "--no-backup", "--dry-run", "a", "b"},
       E::ShiftJis,
       L::Unchanged,
       false,
       false,
       false,
       false,
       true,
       false,
       "",
       {"a", "b"}},
      {{"--check", "--report", "-", "a"}, E::ShiftJis, L::Unchanged, false, true, true, true, false, true, "-", {"a"}},
      {{"--report=r.jsonl", "--", "-a", "--to"},
       E::ShiftJis,
       L::Unchanged,
       false,
       true,
       true,
       true,
       false,
       false,
       "r.jsonl",
       {"-a", "--to"}},
      {{"-"}, E::ShiftJis, L::Unchanged, false, true, true, true, false, false, "", {"-"}},
      // Values attached or separate, flags bundled, long names shortened, paths anywhere.
      {{"-tutf-8", "a"}, E::Utf8, L::Unchanged, true, true, true, true, false, false, "", {"a"}},
      {{"a", "--to", "euc-jp", "b"}, E::EucJp, L::Unchanged, true, true, true, true, false, false, "", {"a", "b"}},
      {{"-nlf", "--newline", "cr", "a"}, E::ShiftJis, L::Cr, false, true, true, true, false, false, "", {"a"}},
      {{"a", "-ncrlf", "-tjis"}, E::Iso2022Jp, L::CrLf, true, true, true, true, false, false, "", {"a"}},
      {{"--dry", "--no-b", "a"}, E::ShiftJis, L::Unchanged, false, true, true, false, true, false, "", {"a"}},
      {{"--check", "a", "--", "-t"}, E::ShiftJis, L::Unchanged, false, true, true, true, false, true, "", {"a", "-t"}},
  };
  for (const auto& c : cases) {
    const CliParse parse = parseCommandLine(c.arguments);
    const CliOptions& o = parse.options;
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(parse.error, "");
    EXPECT_EQ(o.conversion.targetEncoding, c.target);
    EXPECT_EQ(o.conversion.lineEnding, c.eol);
    EXPECT_EQ(std::tuple(o.targetGiven, o.conversion.followCss, o.conversion.followJs, o.conversion.makeBackup,
                         o.dryRun, o.check, o.reportPath, o.paths),
              std::tuple(c.targetGiven, c.css, c.js, c.backup, c.dryRun, c.check, c.report, c.paths));
  }
  EXPECT_TRUE(parseCommandLine({"-t", "utf-8", "--keep-characters", "a"}).options.conversion.keepCharacters);
  EXPECT_FALSE(parseCommandLine({"-t", "utf-8", "a"}).options.conversion.keepCharacters);
  EXPECT_TRUE(parseCommandLine({"-h"}).options.help);
  EXPECT_TRUE(parseCommandLine({"--version"}).options.version);
  EXPECT_TRUE(parseCommandLine({"-Vh"}).options.help && parseCommandLine({"-Vh"}).options.version);
  EXPECT_TRUE(parseCommandLine({"--list-encodings"}).options.listEncodings);
  using P = CliOptions::Progress;
  EXPECT_EQ(parseCommandLine({"a"}).options.progress, P::IfTerminal);
  EXPECT_EQ(parseCommandLine({"--no-progress", "--progress", "a"}).options.progress, P::Always);  // the last wins
  EXPECT_EQ(parseCommandLine({"--progress", "--no-progress", "a"}).options.progress, P::Never);
  EXPECT_TRUE(parseCommandLine({"-qtutf-8", "a"}).options.quiet && parseCommandLine({"a", "--quiet"}).options.quiet);
}

// The list is what the program accepts: each target line's names are read as one target (its
// own), each source line's labels as one encoding, and every label known is on a line.
TEST(CliOptions, TheListOfEncodingsIsWhatTheNamesMean) {
  std::istringstream lines(encodingListText());
  std::string line;
  std::set<TargetEncoding> targets;
  std::set<std::string> labels;
  bool sources = false;
  while (std::getline(lines, line)) {
    SCOPED_TRACE(line);
    if (line.ends_with(":")) {
      sources = !targets.empty();
      continue;
    }
    std::istringstream words(line);
    std::string first, word;
    words >> first;
    std::vector<std::string> names{first};
    while (words >> word) names.push_back(word);
    for (const std::string& name : names) {
      if (sources) {
        EXPECT_EQ(encodingOfLabel(name), encodingOfLabel(first)) << name;
        labels.insert(name);
      } else {
        EXPECT_EQ(targetFromName(name), targetFromName(first)) << name;
      }
    }
    const auto target = targetFromName(first);
    ASSERT_TRUE(sources ? encodingOfLabel(first).has_value() : target && targets.insert(*target).second);
  }
  EXPECT_EQ(targets.size(), 4u);
  EXPECT_EQ(labels.size(), charsetLabels().size());
}

TEST(CliOptions, RefusesWhatItCannotRead) {
  const std::string conflict = "--check reads only: -t, -n, --no-backup and --dry-run do not go with it";
  const std::string utf8Only = "--keep-characters needs the UTF-8 target (-t utf-8)";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no file or folder given"},
      {{"--dry-run"}, "no file or folder given"},
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"--bogus=1", "a"}, "unknown option --bogus"},
      {{"-x", "a"}, "unknown option -x"},
      {{"-hx", "a"}, "unknown option -x"},
      {{"--no-follow", "a"}, "option --no-follow is ambiguous"},
      {{"-t"}, "option -t needs a value"},
      {{"a", "-t"}, "option -t needs a value"},
      {{"a", "--to"}, "option --to needs a value"},
      {{"a", "--report"}, "option --report needs a value"},
      {{"-t", "latin1", "a"}, "unknown encoding 'latin1' (shift_jis, euc-jp, utf-8 or iso-2022-jp)"},
      {{"-t", "", "a"}, "unknown encoding '' (shift_jis, euc-jp, utf-8 or iso-2022-jp)"},
      {{"-t", "--", "a"},
       "unknown encoding '--' (shift_jis, euc-jp, utf-8 or iso-2022-jp)"},  // a value, as getopt takes it
      {{"-ndos", "a"}, "unknown line ending 'dos' (keep, crlf, lf or cr)"},
      {{"--newline=crcr", "a"}, "unknown line ending 'crcr' (keep, crlf, lf or cr)"},
      {{"--no-backup=yes", "a"}, "option --no-backup takes no value"},
      {{"--report=", "a"}, "option --report needs a file name (or - for standard output)"},
      {{"--check", "-t", "utf-8", "a"}, conflict},
      {{"--check", "--dry-run", "a"}, conflict},
      {{"--check", "--no-backup", "a"}, conflict},
      {{"--check", "-n", "lf", "a"}, conflict},
      {{"--keep-characters", "a"}, utf8Only},  // the default target is Shift_JIS
      {{"-t", "euc-jp", "--keep-characters", "a"}, utf8Only},
      {{"-t", "utf-8", "--keep-characters=yes", "a"}, "option --keep-characters takes no value"},
  };
  for (const auto& [arguments, error] : cases)
    EXPECT_EQ(parseCommandLine(arguments).error, error) << ::testing::PrintToString(arguments);
}

// Taking conversions back: what each command line means, or why it is refused.
TEST(CliOptions, ReadsTheOptionsOfTakingBack) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
    bool runs = false, undo = false, restore = false, dryRun = false;
    std::string force = {};
    std::vector<std::string> paths = {};
  };
  const std::string conversionOnly =
      "-t, -n, --no-backup and --keep-characters go with a conversion only, not with --runs, --undo or --restore";
  const Case cases[] = {
      {{"--runs"}, "", true},
      {{"--undo"}, "", false, true},
      {{"--undo", "--dry-run", "20261209T1"}, "", false, true, false, true, "", {"20261209T1"}},
      {{"--undo", "--force=R", "R"}, "", false, true, false, false, "R", {"R"}},
      {{"--restore", "a", "b"}, "", false, false, true, false, "", {"a", "b"}},
      {{"--undo", "a", "b"}, "--undo takes at most one run"},
      {{"--restore"}, "no file given to restore"},
      {{"--runs", "a"}, "--runs takes no path, and --dry-run and --report do not go with it"},
      {{"--force", "R", "a"}, "--force goes with --undo only"},
      {{"--undo", "--restore", "a"}, "--runs, --undo, --restore and --check do not go together"},
      {{"--check", "--runs"}, "--runs, --undo, --restore and --check do not go together"},
      {{"--undo", "-t", "utf-8"}, conversionOnly},
      {{"--restore", "--no-backup", "a"}, conversionOnly},
  };
  for (const Case& c : cases) {
    const CliParse parse = parseCommandLine(c.arguments);
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(parse.error, c.error);
    if (!c.error.empty()) continue;
    EXPECT_EQ(parse.options.runs, c.runs);
    EXPECT_EQ(parse.options.undo, c.undo);
    EXPECT_EQ(parse.options.restore, c.restore);
    EXPECT_EQ(parse.options.dryRun, c.dryRun);
    EXPECT_EQ(parse.options.force, c.force);
    EXPECT_EQ(parse.options.paths, c.paths);
  }
}

}  // namespace
}  // namespace sarnavel
