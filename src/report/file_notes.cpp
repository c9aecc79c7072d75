#include "report/file_notes.h"

#include <charconv>

#include "engine/target_options.h"
#include "report/fidelity_notes.h"
#include "report/message_language.h"
#include "report/report_names.h"
#include "report/file_warnings.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

using L = MessageLanguage;

// The note under a page's line for a reference that was not followed; none for one followed
// or not a file of the run's at all (remote, missing).
std::optional<NoteLine> refusalNote(const FoundReference& refused, L language) {
  const std::string path = visiblePath(refused.path);
  switch (refused.status) {
    case ReferenceStatus::ForeignOwner:
      return NoteLine{
          "reference-foreign-owner",
          {},
          message(language,
                  "参照先は指定されたフォルダーとファイルの外にあり、持ち主がこのページと違うため変換しません: {1}",
                  {path})};
    case ReferenceStatus::Binary:
      return NoteLine{
          "reference-refused", {}, message(language, "参照先はバイナリファイルのため変換しません: {1}", {path})};
    case ReferenceStatus::WrongKind:
      return NoteLine{
          "reference-refused",
          {},
          message(language, "参照先は読み込む要素に合う種類のファイルではないため変換しません: {1}", {path})};
    default: return std::nullopt;
  }
}

// The code and the source text of why the store left a file as it was.
std::pair<std::string_view, std::string_view> storeWords(StoreProblem problem) {
  switch (problem) {
    case StoreProblem::None: break;
    case StoreProblem::ChangedSinceRead:
      return {"changed-during-conversion",
              "ファイルが変換中に他のプログラムによって変更されたため、書き換えませんでした。"};
    case StoreProblem::ReplacedBeforeRead:
      return {"replaced-before-read",
              "ファイルが読み込む前に別のものに置き換えられたため、読まずにそのままにしました。"};
    case StoreProblem::FileNotWritable:
      return {"file-not-writable", "ファイルに書き込む権限がないため、書き換えませんでした。"};
    case StoreProblem::FolderNotWritable:
      return {"folder-not-writable", "フォルダーに一時ファイルを作れないため、書き換えませんでした。"};
    case StoreProblem::AttributesNotCarried:
      return {"attributes-not-carried",
              "拡張属性またはACLをバックアップに引き継げないため、バックアップを作らず、書き換えませんでした。"};
    case StoreProblem::FormerAwaitsRecovery:
      return {"former-awaits-recovery",
              "書き込みが途中で失敗しました。元の内容は同じフォルダーの隠しファイルに残してあり、次の実行で元に戻されま"
              "す。"};
    case StoreProblem::BackupInFlight:
      return {"backup-in-flight",
              "前回の実行が途中で止まり、バックアップ（.bak）がこのファイル自身の別名のまま残っています。このファイルは"
              "その場で書き換えるしかなく、そうするとバックアップも書き換わるため、書き換えませんでした。"};
    case StoreProblem::NotRecorded:
      return {"not-recorded",
              "ファイル自体に書き込むには復元用のコピーを実行の記録に残す必要がありますが、記録できないため、書き換えま"
              "せんでした。"};
    case StoreProblem::BackupFolderLink:
      return {
          "backup-folder-link",
          "バックアップフォルダーの中にシンボリックリンク（またはフォルダーでないもの）があり、その先にはバックアップ"
          "を作らないため、書き換えませんでした。"};
    case StoreProblem::DiskFull: return {"disk-full", "ディスクがいっぱいです（ENOSPC）。ファイルはそのままです。"};
    case StoreProblem::QuotaExceeded:
      return {"quota-exceeded", "ディスクの使用量の上限を超えます（EDQUOT）。ファイルはそのままです。"};
    case StoreProblem::FileTooLarge:
      return {"file-too-large", "ファイルの大きさの上限を超えます（EFBIG、ulimit -f など）。ファイルはそのままです。"};
    case StoreProblem::ReadOnlyFileSystem:
      return {"read-only-file-system", "読み取り専用のファイルシステムです（EROFS）。ファイルはそのままです。"};
    case StoreProblem::InputOutput:
      return {"io-error", "ディスクの読み書きに失敗しました（EIO）。ファイルはそのままです。"};
  }
  return {};
}

NoteLine storeNote(StoreProblem problem, L language) {
  const auto [code, text] = storeWords(problem);
  return {std::string(code), {}, text.empty() ? std::string() : message(language, text)};
}

// "a、b、c ほか 2 件": the pages named (values after the first), and how many more (the first).
std::string pagesNamed(const std::vector<std::string>& values, const NoteWording& wording) {
  const bool japanese = wording.language == L::Japanese;
  std::string named;
  for (std::size_t k = 1; k < values.size(); ++k)
    named += (named.empty() ? ""
              : japanese    ? "、"
                            : ", ") +
             (wording.pathForLog ? wording.pathForLog(values[k]) : visiblePath(values[k]));
  if (!values.empty() && values[0] != "0") named += message(wording.language, " ほか {1} 件", {values[0]});
  return named;
}

std::string unreadReason(std::string_view why, L language) {
  if (why == "link") return message(language, "シンボリックリンク");
  if (why == "not-regular") return message(language, "通常のファイルではない");
  if (why == "too-large") return message(language, "1 MiB より大きい");
  return message(language, "読めない");
}

std::string value(const FileNote& note, std::size_t k) {
  return k < note.values.size() ? note.values[k] : std::string();
}

// A number a note's value holds in decimal; 0 for any other text.
std::uint32_t numberIn(const FileNote& note, std::size_t k) {
  const std::string text = value(note, k);
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

// Paths one after another, as the language lists them.
std::string pathsListed(const std::vector<std::string>& paths, MessageLanguage language) {
  std::string listed;
  for (const std::string& path : paths)
    listed += (listed.empty() ? "" : language == MessageLanguage::Japanese ? "、" : ", ") + visiblePath(path);
  return listed;
}

// Why a template's code could not be kept (engine/template_conversion.h).
NoteLine codeLeftNote(const FileNote& note, MessageLanguage language) {
  const std::string why = value(note, 0);
  const std::string at = value(note, 1) == "0" ? "" : value(note, 1) + ":" + value(note, 2) + ": ";
  const std::string character =
      why == "lacked-character" || why == "backslash-byte" ? codePointText(numberIn(note, 3)) : std::string();
  std::string_view text = "コードはこの文字コードではバイトのまま保てないため、変換せずそのままにしました。";
  if (why == "invalid-bytes")
    text = "コードの中に、読んだ文字コードの文字にならないバイトがあります。変換せずそのままにしました。";
  if (why == "lacked-character")
    text =
        "コードの中に変換先にない文字 {1} "
        "があります（コードは書き換えないため、文字参照にできません）。変換せずそのまま"
        "にしました。";
  if (why == "backslash-byte")
    text =
        "PHP のコードの中の文字 {1} は 2 バイト目が \\（0x5C）で、PHP はそれをバックスラッシュとして読みます。変換す"
        "るとコードの意味が変わるため、変換せずそのままにしました。";
  return NoteLine{"code-left", {}, at + message(language, text, {character})};
}

// What taking a run back says of a file (run/put_back.h).
NoteLine takingBackNote(const FileNote& note, MessageLanguage language) {
  auto line = [&](std::string_view code, std::string_view text, std::initializer_list<std::string_view> values = {}) {
    return NoteLine{std::string(code), {}, message(language, text, values)};
  };
  const std::string named = visiblePath(value(note, 0));
  switch (note.code) {
    case NoteCode::NotAsWritten:
      return line("changed-since-run", "実行が書いた後に変更されているため、元に戻しませんでした。");
    case NoteCode::BackupMissing:
      return line("backup-missing", "バックアップがないか、通常のファイルではないため、元に戻しませんでした: {1}",
                  {named});
    case NoteCode::BackupAmbiguous:
      return line("backup-ambiguous",
                  "バックアップのフォルダーにこのファイルのものかもしれないバックアップが複数あるため、元に戻しません"
                  "でした: {1}",
                  {pathsListed(note.values, language)});
    case NoteCode::BackupChanged:
      return line("backup-changed", "バックアップが変換前の内容ではなくなっているため、元に戻しませんでした: {1}",
                  {named});
    case NoteCode::WrittenLater:
      return line("written-later",
                  "後の実行が書き換えていて、その実行はまだ元に戻されていないため、元に戻しませんでした: {1}", {named});
    case NoteCode::AlreadyBack: return line("already-back", "すでに変換前の内容でした。書き換えていません。");
    case NoteCode::BackupKept:
      return line("backup-kept", "元に戻しましたが、実行の記録に残せないため、バックアップはそのまま残しました: {1}",
                  {named});
    default: return {};
  }
}

// What an .htaccess line makes the server announce, and what the run did with it
// (run/server_charset.h, run/server_charset_fix.h).
NoteLine serverCharsetNote(const FileNote& note, const std::string& target, L language) {
  auto line = [&](std::string_view code, std::string_view text, std::initializer_list<std::string_view> values = {}) {
    return NoteLine{std::string(code), {}, message(language, text, values)};
  };
  const std::string where = visiblePath(value(note, 1)) + ":" + value(note, 2) + ": " + visiblePath(value(note, 3));
  if (note.code == NoteCode::ServerCharsetFixed) {
    const std::string backup = value(note, 4);
    if (backup.empty())
      return line("server-charset-fixed",
                  "サーバーが HTTP で伝える文字コードを {1} から {2} に書き換えました（バックアップなし）: {3}",
                  {visiblePath(value(note, 0)), target, where});
    return line("server-charset-fixed",
                "サーバーが HTTP で伝える文字コードを {1} から {2} に書き換えました（元の内容は {3}）: {4}",
                {visiblePath(value(note, 0)), target, visiblePath(backup), where});
  }
  if (note.code == NoteCode::ServerCharset)
    return line("server-charset",
                "サーバーが HTTP で {1} と伝えるため、ブラウザーは meta より優先します。{2} に変えてください: {3}",
                {visiblePath(value(note, 0)), target, where});
  const std::string why = value(note, 4), detail = visiblePath(value(note, 5));
  const std::string reason =
      why == "cancelled"    ? message(language, "実行が途中で止められました")
      : why == "not-walked" ? message(language, "フォルダー自体は指定されておらず、ほかのファイルは変換していません")
      : why == "passed-over"
          ? message(language, "この行が決めるフォルダーのうち、たどらなかったフォルダーかリンクがあります: {1}",
                    {detail})
      : why == "file-left" ? message(language, "この行が決めるファイルを変換できませんでした: {1}", {detail})
      : why == "untaken-page" ? message(language, "この行が決める、変換しない種類のページがあります: {1}", {detail})
                              : message(language, "実行が読んだ後に変更されています");
  return line(
      "server-charset-kept",
      "サーバーが HTTP で {1} と伝える行を書き換えませんでした（{2}）。{3} に変えるのは確かめてからにしてください: {4}",
      {visiblePath(value(note, 0)), reason, target, where});
}

// A plain text left for characters its target lacks: how many, the first few by position.
NoteLine lostCharactersLeft(const FileNote& note, const std::string& target, L language) {
  std::string named;
  TextPosition first;
  for (std::size_t k = 1; k + 2 < note.values.size() && (k - 1) / 3 < kCharactersNamed; k += 3) {
    const TextPosition at{numberIn(note, k + 1), numberIn(note, k + 2)};
    if (k == 1) first = at;
    if (!named.empty()) named += language == L::Japanese ? "、" : ", ";
    named += codePointText(numberIn(note, k));
    if (const std::string where = positionText(at); !where.empty()) named += " (" + where + ")";
  }
  return {"lost-characters", first,
          message(language,
                  "{1} にない文字が {2} 個あり、文字参照も書けないため変換せずそのままにしました（sarnavel-cli "
                  "--allow-loss なら 〓 にして変換します）: {3}",
                  {target, value(note, 0), named})};
}

}  // namespace

NoteLine noteLine(const FileNote& note, const NoteWording& wording) {
  const std::string target(charsetNameOf(wording.target));
  const L language = wording.language;
  auto line = [&](std::string_view code, std::string_view text, std::initializer_list<std::string_view> values = {}) {
    return NoteLine{std::string(code), {}, message(language, text, values)};
  };
  switch (note.code) {
    case NoteCode::StoreProblem: return storeNote(note.problem, language);
    case NoteCode::ModuleScriptLeft:
      // The file's own log line names it already.
      return line("module-script",
                  "type=\"module\" のスクリプトとして読み込まれ、常に UTF-8 として読まれるため、{1} には変換せずそのま"
                  "まにしました。",
                  {target});
    case NoteCode::RecoveryPending:
      return line(
          "recovery-pending",
          "復元用のコピーが残っているため変換しません（このユーザーの実行が作ったものではないか、使えないもの）: "
          "{1}",
          {visiblePath(value(note, 0))});
    case NoteCode::PagesFailed:
      return line(
          "pages-failed",
          "読み込むページがどれも変換できなかったため、変換しません（変換すると、ページが名前を挙げる文字コードと"
          "合わなくなります）: {1}",
          {pagesNamed(note.values, wording)});
    case NoteCode::SomePagesFailed:
      return line("pages-failed",
                  "変換できなかったページは元の文字コードのままで、このファイルと合わなくなりました: {1}",
                  {pagesNamed(note.values, wording)});
    case NoteCode::OutsideNamed:
      return line("outside-named",
                  "指定されたフォルダーとファイルの外にありますが、ページが読み込むため変換しました。");
    case NoteCode::FolderNotFlushed:
      return line("folder-not-flushed",
                  "フォルダーをディスクに書き出せませんでした（fsync "
                  "が失敗）。変換した内容は停電などで失われるかもしれません。");
    case NoteCode::UntakenPage:
      return line("untaken-page",
                  "変換しない種類のページが読み込んでいます。そのページの charset は変換前の文字コードのままです: {1}",
                  {pathsListed(note.values, language)});
    case NoteCode::ServerCharset:
    case NoteCode::ServerCharsetFixed:
    case NoteCode::ServerCharsetKept: return serverCharsetNote(note, target, language);
    case NoteCode::NotInNamedEncoding: {
      const std::string at =
          value(note, 2) == "0" ? "" : message(language, "（最初は {1}）", {value(note, 2) + ":" + value(note, 3)});
      return line("not-in-named-encoding",
                  "指定された文字コード {1} の文字にならないバイトが {2} 個あります{3}。変換せずそのままにしました。",
                  {value(note, 0), value(note, 1), at});
    }
    case NoteCode::CodeLeft: return codeLeftNote(note, language);
    case NoteCode::FragmentNotConverted:
      return line("fragment-not-converted",
                  "インクルードするファイルはこの実行では変換しないため、元の文字コードのまま入ります: {1}",
                  {pathsListed(note.values, language)});
    case NoteCode::LostCharacters: return lostCharactersLeft(note, target, language);
    case NoteCode::HtaccessUnread:
      return line("htaccess-unread",
                  "{1} は読みませんでした（{2}）。サーバーがこのファイルを何の文字コードとして送るか確かめてください。",
                  {visiblePath(value(note, 0)), unreadReason(value(note, 1), language)});
    case NoteCode::NotAsWritten:
    case NoteCode::BackupMissing:
    case NoteCode::BackupAmbiguous:
    case NoteCode::BackupChanged:
    case NoteCode::WrittenLater:
    case NoteCode::AlreadyBack:
    case NoteCode::BackupKept: return takingBackNote(note, language);
  }
  return {};
}

std::optional<NoteLine> decisionNote(const FileOutcome& outcome, MessageLanguage language) {
  if (!outcome.document) return std::nullopt;
  const EncodingDecision& source = outcome.document->source;
  return NoteLine{"source",
                  {},
                  message(language, "文字コード: {1}（{2}）",
                          {encodingName(source, outcome.form), decisionBasisName(source.basis)})};
}

std::vector<NoteLine> warningsOf(const FileOutcome& outcome, const NoteWording& wording) {
  std::vector<NoteLine> lines;
  if (wording.mode != WriteMode::Check && outcome.document) {
    const DocumentResult& document = *outcome.document;
    for (const FoundReference& reference : document.references)
      if (std::optional<NoteLine> refused = refusalNote(reference, wording.language))
        lines.push_back(std::move(*refused));
    // A file left as it was has nothing to warn of: its line says why it was left.
    if (outcome.result == ResultCode::Success) {
      for (NoteLine& line : documentWarnings(document, wording.target, wording.language))
        lines.push_back(std::move(line));
      appendFidelityNotes(document, wording.target, wording.language, lines);
    }
  }
  for (const FileNote& note : outcome.notes) lines.push_back(noteLine(note, wording));
  return lines;
}

}  // namespace sarnavel
