#include "report/cli_notices.h"

#include <string.h>

#include <algorithm>

#include "report/visible_path.h"

namespace sarnavel {
namespace {

using L = MessageLanguage;

// The extensions of the files a walk takes, as a notice names them: ".html, .htm, .css or .js"
// (in Japanese, one list: ".html、.htm、.css、.js").
std::string extensionsTaken(KindSet kinds, L language) {
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
  for (std::size_t k = 0; k < extensions.size(); ++k) {
    if (k > 0) text += language == L::Japanese ? "、" : k + 1 == extensions.size() ? " or " : ", ";
    text += extensions[k];
  }
  return text;
}

std::string settingsWords(const SettingsProblem& problem, L language) {
  const std::string value = "'" + visiblePath(problem.value) + "'";
  switch (problem.kind) {
    case SettingsProblem::Kind::Unreadable: return message(language, "設定ファイルを読めません。その設定は使いません");
    case SettingsProblem::Kind::BadLine:
      return message(language, "セクションでも設定でもありません: {1}。読み飛ばしました", {value});
    case SettingsProblem::Kind::BadKinds: {
      std::string names;
      for (const KindName& each : kindNames()) names += (names.empty() ? "" : ", ") + std::string(each.name);
      return message(language, "kinds: {1} は種類の一覧ではありません（{2}）。既定の種類を使います", {value, names});
    }
    case SettingsProblem::Kind::BadBoolean:
      return message(language, "fix_server_charset: {1} は true でも false でもありません。使いません", {value});
  }
  return {};
}

std::string wordsFor(const IntakeNotice& notice, L language) {
  switch (notice.kind) {
    case IntakeNotice::Kind::Unreadable:
      return message(language, "読めません（{1}）。中のファイルは除きました", {strerror(notice.error)});
    case IntakeNotice::Kind::MovedDuringWalk:
      return message(language, "たどっている間に移動しました。まだたどっていない下の部分は除きました");
    case IntakeNotice::Kind::FolderLink:
      return message(language,
                     "フォルダーへのリンクです。たどりません（変換するにはそのフォルダー自体を指定してください）");
    case IntakeNotice::Kind::LinkOutside:
      return message(language, "指定したフォルダーの外にあるファイルへのリンクです。読み飛ばしました");
    case IntakeNotice::Kind::Loop:
      return message(language, "たどっている途中のフォルダーです（ループ）。もう一度は入りません");
  }
  return {};
}

}  // namespace

std::string noticeLine(std::string_view path, std::string_view text) {
  return "sarnavel-cli: " + visiblePath(path) + ": " + std::string(text) + "\n";
}

std::string intakeNoticeLines(const IntakeReport& report, KindSet kinds, L language) {
  std::string lines;
  for (const auto& path : report.missing)
    lines += noticeLine(path.native(), message(language, "そのようなファイルやフォルダーはありません"));
  const std::string otherKind =
      kinds == KindSet::defaults()
          ? message(language, "ページ、スタイルシート、スクリプトのどれでもありません。読み飛ばしました")
          : message(language, "変換する種類（{1}）ではありません。読み飛ばしました",
                    {extensionsTaken(kinds, language)});
  for (const auto& path : report.otherKinds) lines += noticeLine(path.native(), otherKind);
  for (const IntakeNotice& notice : report.notices)
    lines += noticeLine(notice.path.native(), wordsFor(notice, language));
  for (const auto& folder : report.foldersWithNoFile) {
    lines += "sarnavel-cli: " +
             message(language, "{2} に {1} のファイルがありません（--kinds でほかの種類も変換できます）",
                     {extensionsTaken(kinds, language), visiblePath(folder.native())}) +
             "\n";
  }
  return lines;
}

std::string settingsProblemLines(std::string_view file, const std::vector<SettingsProblem>& problems, L language) {
  std::string lines;
  for (const SettingsProblem& problem : problems) {
    const std::string where =
        problem.line == 0 ? visiblePath(file) : visiblePath(file) + ":" + std::to_string(problem.line);
    lines += "sarnavel-cli: " + where + ": " + settingsWords(problem, language) + "\n";
  }
  return lines;
}

bool intakeMissedSomething(const IntakeReport& report) {
  return !report.missing.empty() || std::any_of(report.notices.begin(), report.notices.end(), leavesFilesUnlisted);
}

std::string waitingLine(std::string_view folder, pid_t holder, L language) {
  const std::string which = holder > 0 ? message(language, "別の実行（プロセス {1}）", {std::to_string(holder)})
                                       : message(language, "別の実行");
  return "sarnavel-cli: " +
         message(language, "{1}が {2} のファイルを変換しています。終わるのを待ちます", {which, visiblePath(folder)}) +
         "\n";
}

std::string formerPutBackLine(std::string_view file, L language) {
  return noticeLine(file, message(language, "止められた実行が書きかけのまま残していました。元の内容を戻しました"));
}

std::string copyKeptLine(std::string_view copy, L language) {
  return noticeLine(copy, message(language,
                                  "止められた実行がここに残した元の内容は残します: "
                                  "そのファイルの名前は別のファイルを指しているか、何も指していません"));
}

std::string memoryNoticeLine(MemoryNotice notice, std::string_view folder, L language) {
  switch (notice) {
    case MemoryNotice::Damaged:
      return noticeLine(folder,
                        message(language, "以前の実行の記録の一部を読めませんでした。それらは考えに入れません"));
    case MemoryNotice::Unavailable:
      return noticeLine(folder, message(language,
                                        "以前の実行の記録をここには置けません（あなただけのフォルダーでないか、書き"
                                        "込めません）。この実行は記録を読みも書きもしません"));
    case MemoryNotice::NotRecorded:
      return noticeLine(
          folder,
          message(language, "この実行の記録を書けませんでした。その場でしか書けないファイルはそのままにします"));
  }
  return {};
}

std::string backupFolderRefusalLine(BackupFolderClash clash, std::string_view folder, L language) {
  return noticeLine(folder, clash == BackupFolderClash::InsideNamed
                                ? message(language,
                                          "バックアップ先のフォルダーが指定したフォルダーの中にあります: "
                                          "バックアップがサイトと一緒に公開されます")
                                : message(language,
                                          "バックアップ先のフォルダーが指定したフォルダーを含んでいます: "
                                          "バックアップがサイトの中に置かれるかもしれません"));
}

}  // namespace sarnavel
