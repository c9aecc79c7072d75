#include "report/run_listing.h"

#include <time.h>

#include <cstdio>

#include "engine/target_options.h"
#include "report/cli_notices.h"
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
  if (!run.facts.redoes.empty()) return "redo " + run.facts.redoes;
  return run.wrote.empty() ? "restore" : "convert";
}

std::string standingOf(const RunStanding& standing) {
  const RememberedRun& run = *standing.run;
  if (!run.facts.undoes.empty()) return standing.takenBack ? "redone" : standing.canBeTakenBack ? "redoable" : "-";
  if (run.wrote.empty()) return "-";
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

std::string undoRefusalLine(const UndoSummary& summary, const std::string& asked, MessageLanguage language) {
  const std::string& run = summary.id.empty() ? asked : summary.id;
  auto line = [&](std::string_view text, std::initializer_list<std::string_view> values = {}) {
    return noticeLine(run, message(language, text, values));
  };
  switch (summary.refusal) {
    case UndoRefusal::None: return {};
    case UndoRefusal::NoRun:
      return "sarnavel-cli: " +
             message(language,
                     "元に戻せる実行の記録がありません（一覧は sarnavel-cli --runs で。取り消しは、その ID を --undo "
                     "に指定するとやり直せます）") +
             "\n";
    case UndoRefusal::UnknownRun: return line("この ID の実行の記録はありません");
    case UndoRefusal::AmbiguousRun: return line("ID がこう始まる実行がいくつもあります。もっと長く指定してください");
    case UndoRefusal::IsUndo:
      return line("取り消しの実行ですが、やり直すための内容が残っていません。ファイルをもう一度変換してください");
    case UndoRefusal::NoBackups: return line("--no-backup で行った実行のため、元に戻せません");
    case UndoRefusal::StillRunning:
      return line("この実行（またはその取り消し）がまだ続いています。終わってからもう一度試してください");
    case UndoRefusal::LaterRun:
      return line("後の実行 {1} がまだ元に戻されていません。先にそれを元に戻すか、--force {2} を指定してください",
                  {visiblePath(summary.later), visiblePath(run)});
  }
  return {};
}

}  // namespace sarnavel
