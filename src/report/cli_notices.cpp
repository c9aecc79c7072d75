#include "report/cli_notices.h"

#include <string.h>

#include <algorithm>

#include "report/visible_path.h"

namespace sarnavel {
namespace {

// The extensions of the files a walk takes, as a notice names them: ".html, .htm, .css or .js".
std::string extensionsTaken(KindSet kinds) {
  std::vector<std::string_view> extensions;
  for (const KindName& each : kindNames()) {
    if (!kinds.has(each.kind)) continue;
    for (std::string_view rest = each.extensions; !rest.empty();) {
      const std::size_t space = std::min(rest.find(' '), rest.size());
      extensions.push_back(rest.substr(0, space));
      rest.remove_prefix(std::min(space + 1, rest.size()));
    }
  }
  std::string text;
  for (std::size_t k = 0; k < extensions.size(); ++k)
    text += (k == 0 ? "" : k + 1 == extensions.size() ? " or " : ", ") + std::string(extensions[k]);
  return text;
}

std::string settingsWords(const SettingsProblem& problem) {
  const std::string value = "'" + visiblePath(problem.value) + "'";
  switch (problem.kind) {
    case SettingsProblem::Kind::Unreadable: return "the settings file cannot be read; its settings are not used";
    case SettingsProblem::Kind::BadLine: return "not a section nor a setting: " + value + "; passed over";
    case SettingsProblem::Kind::BadKinds: {
      std::string names;
      for (const KindName& each : kindNames()) names += (names.empty() ? "" : ", ") + std::string(each.name);
      return "kinds: " + value + " is no list of kinds (" + names + "); the default kinds are taken";
    }
    case SettingsProblem::Kind::BadBoolean:
      return "fix_server_charset: " + value + " is neither true nor false; not used";
  }
  return {};
}

std::string wordsFor(const IntakeNotice& notice) {
  switch (notice.kind) {
    case IntakeNotice::Kind::Unreadable:
      return std::string("cannot be read (") + strerror(notice.error) + "); its files are left out";
    case IntakeNotice::Kind::MovedDuringWalk:
      return "moved while it was walked; what was not yet walked below it is left out";
    case IntakeNotice::Kind::FolderLink:
      return "a link to a folder; not followed (name the folder itself to convert it)";
    case IntakeNotice::Kind::LinkOutside: return "a link to a file outside the folders named; passed over";
    case IntakeNotice::Kind::Loop: return "a folder already being walked (a loop); not entered again";
  }
  return {};
}

}  // namespace

std::string noticeLine(std::string_view path, std::string_view text) {
  return "sarnavel-cli: " + visiblePath(path) + ": " + std::string(text) + "\n";
}

std::string intakeNoticeLines(const IntakeReport& report, KindSet kinds) {
  std::string lines;
  for (const auto& path : report.missing) lines += noticeLine(path.native(), "no such file or folder");
  const std::string otherKind = kinds == KindSet::defaults()
                                    ? "not a page, style sheet or script; passed over"
                                    : "not of a kind taken (" + extensionsTaken(kinds) + "); passed over";
  for (const auto& path : report.otherKinds) lines += noticeLine(path.native(), otherKind);
  for (const IntakeNotice& notice : report.notices) lines += noticeLine(notice.path.native(), wordsFor(notice));
  for (const auto& folder : report.foldersWithNoFile)
    lines += "sarnavel-cli: no " + extensionsTaken(kinds) + " file in " + visiblePath(folder.native()) + "\n";
  return lines;
}

std::string kindsNotConvertedLine(KindSet kinds) {
  const KindSet converted = convertedKinds(kinds);
  std::string names;
  for (const KindName& each : kindNames())
    if (kinds.has(each.kind) && !converted.has(each.kind))
      names += (names.empty() ? "" : ", ") + std::string(each.name);
  if (names.empty()) return {};
  return "sarnavel-cli: this version does not convert the kinds " + names + " yet; their files are passed over\n";
}

std::string settingsProblemLines(std::string_view file, const std::vector<SettingsProblem>& problems) {
  std::string lines;
  for (const SettingsProblem& problem : problems) {
    const std::string where =
        problem.line == 0 ? visiblePath(file) : visiblePath(file) + ":" + std::to_string(problem.line);
    lines += "sarnavel-cli: " + where + ": " + settingsWords(problem) + "\n";
  }
  return lines;
}

bool intakeMissedSomething(const IntakeReport& report) {
  return !report.missing.empty() || std::any_of(report.notices.begin(), report.notices.end(), leavesFilesUnlisted);
}

std::string waitingLine(std::string_view folder, pid_t holder) {
  const std::string which = holder > 0 ? "another run (process " + std::to_string(holder) + ")" : "another run";
  return "sarnavel-cli: " + which + " is converting files in " + visiblePath(folder) + "; waiting for it to end\n";
}

std::string formerPutBackLine(std::string_view file) {
  return noticeLine(file, "a run killed while writing it left it half-written; its former content is put back");
}

std::string copyKeptLine(std::string_view copy) {
  return noticeLine(copy,
                    "the former content a killed run kept here stays: its file's name now leads to another file, or "
                    "to none");
}

std::string memoryNoticeLine(MemoryNotice notice, std::string_view folder) {
  switch (notice) {
    case MemoryNotice::Damaged:
      return noticeLine(folder, "some records of earlier runs could not be read; they are not taken into account");
    case MemoryNotice::Unavailable:
      return noticeLine(folder,
                        "the record of earlier runs cannot be kept there (not a folder of yours alone, or not "
                        "writable); this run neither reads nor keeps one");
    case MemoryNotice::NotRecorded:
      return noticeLine(folder,
                        "this run's record could not be written; files that could only be written in place are left "
                        "as they are");
  }
  return {};
}

}  // namespace sarnavel
