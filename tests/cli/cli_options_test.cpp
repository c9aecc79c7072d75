// The command line of sarnavel-cli, read in-process: every option and its aliases, and every
// way a command line is refused.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <regex>
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
    E target = E::ShiftJis;
    L eol = L::Unchanged;
    bool targetGiven = false, css = true, js = true, backup = true, dryRun = false, check = false;
    std::string report = {};
    std::vector<std::string> paths = {"a"};
  } cases[] = {
      {.arguments = {"a"}},
      {.arguments = {"-t", "SJIS", "a"}, .targetGiven = true},
      {.arguments = {"--to", "cp932", "a"}, .targetGiven = true},
      {.arguments = {"--to=EUCJP", "a"}, .target = E::EucJp, .targetGiven = true},
      {.arguments = {"-t", "iso-2022-jp", "a"}, .target = E::Iso2022Jp, .targetGiven = true},
      {.arguments = {"-t", "sjis", "-t", "Utf-8", "a"}, .target = E::Utf8, .targetGiven = true},
      {.arguments = {"-n", "LF", "a"}, .eol = L::Lf},
      {.arguments = {"--newline=CrLf", "a"}, .eol = L::CrLf},
      {.arguments = {"-n", "cr", "-n", "keep", "a"}},
      {.arguments = {"--no-follow-css", "--no-follow-js", "--no-backup", "--dry-run", "a", "b"},
       .css = false,
       .js = false,
       .backup = false,
       .dryRun = true,
       .paths = {"a", "b"}},
      {.arguments = {"--check", "--report", "-", "a"}, .check = true, .report = "-"},
      {.arguments = {"--report=r.jsonl", "--", "-a", "--to"}, .report = "r.jsonl", .paths = {"-a", "--to"}},
      {.arguments = {"-"}, .paths = {"-"}},
      // Values attached or separate, flags bundled, long names shortened, paths anywhere.
      {.arguments = {"-tutf-8", "a"}, .target = E::Utf8, .targetGiven = true},
      {.arguments = {"a", "--to", "euc-jp", "b"}, .target = E::EucJp, .targetGiven = true, .paths = {"a", "b"}},
      {.arguments = {"-nlf", "--newline", "cr", "a"}, .eol = L::Cr},
      {.arguments = {"a", "-ncrlf", "-tjis"}, .target = E::Iso2022Jp, .eol = L::CrLf, .targetGiven = true},
      {.arguments = {"--dry", "--no-b", "a"}, .backup = false, .dryRun = true},
      {.arguments = {"--check", "a", "--", "-t"}, .check = true, .paths = {"a", "-t"}},
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
  const ConversionOptions backups = parseCommandLine({"--backup-dir=old", "--suffix", "~", "a"}).options.conversion;
  EXPECT_EQ(std::tuple(backups.backupFolder, backups.backupSuffix, backups.makeBackup),
            std::tuple(std::filesystem::path("old"), std::string("~"), true));
  for (const auto& [arguments, source] : std::vector<std::pair<std::vector<std::string>, SourceEncoding>>{
           {{"-f", "x-sjis", "a"}, SourceEncoding::ShiftJis},
           {{"-feuc-jp", "a"}, SourceEncoding::EucJp},
           {{"--from=Latin1", "a"}, SourceEncoding::Latin1},
           {{"--fr", "csISO2022JP", "a"}, SourceEncoding::Iso2022Jp}})
    EXPECT_EQ(parseCommandLine(arguments).options.conversion.sourceEncoding, source);
  EXPECT_EQ(parseCommandLine({"a"}).options.conversion.sourceEncoding, std::nullopt);
  using P = CliOptions::Progress;
  EXPECT_EQ(parseCommandLine({"a"}).options.progress, P::IfTerminal);
  EXPECT_EQ(parseCommandLine({"--no-progress", "--progress", "a"}).options.progress, P::Always);  // the last wins
  EXPECT_EQ(parseCommandLine({"--progress", "--no-progress", "a"}).options.progress, P::Never);
  EXPECT_TRUE(parseCommandLine({"-qtutf-8", "a"}).options.quiet && parseCommandLine({"a", "--quiet"}).options.quiet);
  EXPECT_TRUE(parseCommandLine({"-vtutf-8", "a"}).options.verbose && parseCommandLine({"a", "--verb"}).options.verbose);
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

// --help in Japanese names the options the English names, in the same order: an option added
// to one text and not the other is caught here.
TEST(CliOptions, TheHelpNamesTheSameOptionsInBothLanguages) {
  auto optionsOf = [](const std::string& text) {
    static const std::regex option("(^|[^A-Za-z0-9-])(--?[a-zA-Z][a-z-]*)");
    std::vector<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) names.push_back((*it)[2]);
    return names;
  };
  const std::vector<std::string> english = optionsOf(usageText(MessageLanguage::English));
  EXPECT_GT(english.size(), 30u);
  EXPECT_EQ(optionsOf(usageText(MessageLanguage::Japanese)), english);
}

TEST(CliOptions, RefusesWhatItCannotRead) {
  const std::string conflict =
      "--check tells what each file is: -t, -f, -n, --no-backup, --backup-dir, --suffix, --dry-run and "
      "--allow-loss do not go with it";
  const std::string unknownSource =
      "' (shift_jis, euc-jp, iso-2022-jp, utf-8, windows-1252; --list-encodings lists the names)";
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
      {{"--check", "--backup-dir", "old", "a"}, conflict},
      {{"--check", "-f", "sjis", "a"}, conflict},
      {{"--check", "--allow-loss", "a"}, conflict},
      {{"-qv", "a"}, "-q and -v do not go together"},
      {{"-f", "utf-16", "a"}, "unknown source encoding 'utf-16" + unknownSource},
      {{"--from=klingon", "a"}, "unknown source encoding 'klingon" + unknownSource},
      {{"--no-backup", "--suffix=~", "a"}, "--backup-dir and --suffix name backups: not with --no-backup"},
      {{"--backup-dir=", "a"}, "option --backup-dir needs a folder"},
      {{"--suffix", "", "a"}, "option --suffix needs a suffix without '/' (such as .bak or ~)"},
      {{"--suffix=.d/x", "a"}, "option --suffix needs a suffix without '/' (such as .bak or ~)"},
      {{"--keep-characters", "a"}, utf8Only},  // the default target is Shift_JIS
      {{"-t", "euc-jp", "--keep-characters", "a"}, utf8Only},
      {{"-t", "utf-8", "--keep-characters=yes", "a"}, "option --keep-characters takes no value"},
  };
  for (const auto& [arguments, error] : cases)
    EXPECT_EQ(parseCommandLine(arguments).error, error) << ::testing::PrintToString(arguments);
  // Under a Japanese locale the same refusals are said in Japanese, values in their places.
  EXPECT_EQ(parseCommandLine({"-ndos", "a"}, MessageLanguage::Japanese).error,
            "知らない改行コードです: 'dos'（keep、crlf、lf、cr のどれか）");
  EXPECT_EQ(parseCommandLine({"a", "--to"}, MessageLanguage::Japanese).error, "オプション --to には値が要ります");
}

// --kinds and the server's charset: what they set, and that each says it was given (the
// settings file then does not count).
TEST(CliOptions, KindsAndTheServersCharset) {
  const struct {
    std::vector<std::string> arguments;
    std::string kinds = "+";  // kindListText of what was read
    bool kindsGiven = false, fix = false, fixGiven = false;
    std::string error = {};
  } cases[] = {
      {.arguments = {"a"}},
      {.arguments = {"--kinds", "+xhtml,shtml", "a"}, .kinds = "+xhtml,shtml", .kindsGiven = true},
      {.arguments = {"--fix", "a"}, .fix = true, .fixGiven = true},
      {.arguments = {"--fix-server-charset", "--no-fix-server-charset", "a"}, .fixGiven = true},
      {.arguments = {"--kinds", "+aspx", "a"},
       .error = "unknown kind 'aspx' in --kinds (html, css, js, xhtml, shtml, php, asp, jsp, xml, txt)"},
      {.arguments = {"--kinds=", "a"},
       .error = "option --kinds needs a list of kinds (html, css, js, xhtml, shtml, php, asp, jsp, xml, txt)"},
      {.arguments = {"--kinds", "xml,", "a"}, .error = "an empty name in the list of --kinds 'xml,'"},
      {.arguments = {"--check", "--fix-server-charset", "a"},
       .fix = true,
       .fixGiven = true,
       .error = "--check reads only: --fix-server-charset does not go with it"},
      {.arguments = {"--check", "--kinds", "+xml", "--no-fix-server-charset", "a"},
       .kinds = "+xml",
       .kindsGiven = true,
       .fixGiven = true},
  };
  for (const auto& c : cases) {
    const CliParse parse = parseCommandLine(c.arguments);
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(parse.error, c.error);
    if (!c.error.empty() && c.fix == false) continue;
    EXPECT_EQ(std::tuple(kindListText(parse.options.conversion.kinds), parse.options.kindsGiven,
                         parse.options.conversion.fixServerCharset, parse.options.fixServerCharsetGiven),
              std::tuple(c.kinds, c.kindsGiven, c.fix, c.fixGiven));
  }
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
      "-t, -f, -n, --no-backup, --keep-characters, --allow-loss, --kinds and --[no-]fix-server-charset go with a "
      "conversion only, not with --runs, --undo or --restore";
  const Case cases[] = {
      {{"--runs"}, "", true},
      {{"--undo"}, "", false, true},
      {{"--undo", "--dry-run", "20261209T1"}, "", false, true, false, true, "", {"20261209T1"}},
      {{"--undo", "--force=R", "R"}, "", false, true, false, false, "R", {"R"}},
      {{"--restore", "a", "b"}, "", false, false, true, false, "", {"a", "b"}},
      {{"--restore", "--backup-dir=old", "--suffix=~", "a"}, "", false, false, true, false, "", {"a"}},
      {{"--undo", "a", "b"}, "--undo takes at most one run"},
      {{"--restore"}, "no file given to restore"},
      {{"--runs", "a"}, "--runs takes no path, and --dry-run and --report do not go with it"},
      {{"--force", "R", "a"}, "--force goes with --undo only"},
      {{"--undo", "--restore", "a"}, "--runs, --undo, --restore and --check do not go together"},
      {{"--check", "--runs"}, "--runs, --undo, --restore and --check do not go together"},
      {{"--undo", "-t", "utf-8"}, conversionOnly},
      {{"--restore", "--no-backup", "a"}, conversionOnly},
      {{"--undo", "--kinds", "+xhtml"}, conversionOnly},
      {{"--undo", "--allow-loss"}, conversionOnly},
      {{"--undo", "--suffix", ".orig"}, "--backup-dir and --suffix do not go with --runs or --undo"},
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
