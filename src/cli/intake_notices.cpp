#include "cli/intake_notices.h"

#include <string.h>

#include <algorithm>

#include "run/visible_path.h"

namespace sarnavel {
namespace {

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

std::string intakeNoticeLines(const IntakeReport& report) {
  std::string lines;
  for (const auto& path : report.missing) lines += noticeLine(path.native(), "no such file or folder");
  for (const auto& path : report.otherKinds)
    lines += noticeLine(path.native(), "not a page, style sheet or script; passed over");
  for (const IntakeNotice& notice : report.notices) lines += noticeLine(notice.path.native(), wordsFor(notice));
  return lines;
}

bool intakeMissedSomething(const IntakeReport& report) {
  return !report.missing.empty() || std::any_of(report.notices.begin(), report.notices.end(), leavesFilesUnlisted);
}

}  // namespace sarnavel
