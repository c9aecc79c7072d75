// The command line of sarnavel-cli, read in-process: every option and its aliases, and every
// way a command line is refused.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

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
}

TEST(CliOptions, RefusesWhatItCannotRead) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--dry-run"},
      {"--bogus", "a"},
      {"-t"},
      {"a", "-t"},
      {"-t", "latin1", "a"},
      {"-t", "", "a"},
      {"-n", "dos", "a"},
      {"--newline=crcr", "a"},
      {"--no-backup=yes", "a"},
      {"--report=", "a"},
      {"--check", "-t", "utf-8", "a"},
      {"--check", "--dry-run", "a"},
      {"--check", "--no-backup", "a"},
      {"--check", "-n", "lf", "a"},
      {"--keep-characters", "a"},  // the default target is Shift_JIS
      {"-t", "euc-jp", "--keep-characters", "a"},
      {"-t", "utf-8", "--keep-characters=yes", "a"},
  };
  for (const auto& arguments : cases)
    EXPECT_NE(parseCommandLine(arguments).error, "") << ::testing::PrintToString(arguments);
}

}  // namespace
}  // namespace sarnavel
