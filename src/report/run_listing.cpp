#include "report/run_listing.h"

#include <time.h>

#include <cstdio>

#include "engine/target_options.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

std::string startOf(std::uint64_t seconds) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm utc {};
  ::gmtime_r(&when, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string whatItWas(const RememberedRun& run) {
  if (!run.facts.undoes.empty()) return "undo " + run.facts.undoes;
  return run.wrote.empty() ? "restore" : "convert";
}

std::string standingOf(const RunStanding& standing) {
  const RememberedRun& run = *standing.run;
  if (!run.facts.undoes.empty() || run.wrote.empty()) return "-";
  if (standing.takenBack) return "undone";
  if (!run.facts.backups) return "no-backups";
  return standing.canBeTakenBack ? "undoable" : "changed";
}

}  // namespace

std::string runListing(const std::vector<RunStanding>& runs) {
  std::string text;
  for (const RunStanding& standing : runs) {
    const RememberedRun& run = *standing.run;
    std::string named;
    for (const std::string& path : run.facts.named) named += (named.empty() ? "" : " ") + visiblePath(path);
    text += visiblePath(run.id) + "\t" + startOf(run.started) + "\t" + visiblePath(whatItWas(run)) + "\t" +
            std::string(charsetNameOf(run.facts.target)) + "\t" + std::to_string(standing.asWritten) + "/" +
            std::to_string(standing.files) + "\t" + standingOf(standing) + "\t" + named + "\n";
  }
  return text;
}

std::string undoRefusalMessage(const UndoSummary& summary) {
  switch (summary.refusal) {
    case UndoRefusal::None: return {};
    case UndoRefusal::LaterRun:
      return "この後の実行（" + summary.later + "）がまだ元に戻されていないため、元に戻しませんでした。\r\n";
    case UndoRefusal::NoBackups: return "バックアップを作らない実行だったため、元に戻せません。\r\n";
    case UndoRefusal::StillRunning:
      return "この実行（またはその取り消し）がまだ終わっていないため、元に戻しませんでした。\r\n";
    default: return "元に戻せる実行の記録がありません。\r\n";
  }
}

std::string undoRefusalLine(const UndoSummary& summary, const std::string& asked) {
  const std::string run = visiblePath(summary.id.empty() ? asked : summary.id);
  switch (summary.refusal) {
    case UndoRefusal::None: return {};
    case UndoRefusal::NoRun: return "sarnavel-cli: no remembered run to take back (sarnavel-cli --runs lists them)\n";
    case UndoRefusal::UnknownRun: return "sarnavel-cli: " + run + ": no remembered run has this id\n";
    case UndoRefusal::AmbiguousRun: return "sarnavel-cli: " + run + ": several runs' ids begin so; give more of it\n";
    case UndoRefusal::IsUndo:
      return "sarnavel-cli: " + run + ": is an undo, which cannot be taken back; convert the files again\n";
    case UndoRefusal::NoBackups:
      return "sarnavel-cli: " + run + ": was made with --no-backup and cannot be taken back\n";
    case UndoRefusal::StillRunning:
      return "sarnavel-cli: " + run + ": is still going on, or an undo of it is; try again once it has ended\n";
    case UndoRefusal::LaterRun:
      return "sarnavel-cli: " + run + ": the later run " + visiblePath(summary.later) +
             " is not taken back; take it back first, or give --force " + run + "\n";
  }
  return {};
}

}  // namespace sarnavel
