#include "report/fidelity_notes.h"

#include <optional>
#include <string>
#include <string_view>

#include "engine/target_options.h"
#include "report/message_language.h"
#include "report/report_names.h"
#include "report/visible_path.h"

namespace sarnavel {

namespace {

using L = MessageLanguage;

// The note on the characters lost in raw text as `standIn`, naming the first few by position
// in the place {1} of the message `text`.
std::optional<NoteLine> lostInRawText(const DocumentResult& document, StandIn standIn, std::string_view code,
                                      std::string_view text, L language) {
  std::string lost;
  TextPosition first;
  std::size_t listed = 0;
  for (const LostCharacter& character : document.lost) {
    if (character.writtenAs != standIn) continue;
    if (listed == 0) first = character.first;
    if (listed++ < kCharactersNamed) {
      if (!lost.empty()) lost += language == L::Japanese ? "、" : ", ";
      lost += codePointText(character.codePoint);
      if (const std::string at = positionText(character.first); !at.empty()) lost += " (" + at + ")";
    }
  }
  if (listed == 0) return std::nullopt;
  if (listed > kCharactersNamed) lost += message(language, " ほか");
  return NoteLine{std::string(code), first, message(language, text, {lost})};
}

}  // namespace

void appendFidelityNotes(const DocumentResult& document, TargetEncoding target, L language,
                         std::vector<NoteLine>& notes) {
  for (const FoundReference& loaded : document.references) {
    if (loaded.status != ReferenceStatus::Followable) continue;
    if (loaded.module && target != TargetEncoding::Utf8) {
      // The path stands inside the sentence: a log line ending in a path is that file's own.
      notes.push_back({"module-script",
                       {},
                       message(language,
                               "type=\"module\" のスクリプトが読み込む {1} は、常に UTF-8 として読まれるため、{2} "
                               "には変換しません。",
                               {visiblePath(loaded.path), charsetNameOf(target)})});
    }
    if (loaded.writtenByScript) {
      notes.push_back(
          {"charset-by-script",
           {},
           message(language, "スクリプトが書き出す script 要素の charset を、読み込む {1} に合わせて書き換えました。",
                   {visiblePath(loaded.path)})});
    }
  }
  // Characters that no escape could carry where they stood: the first few, by position.
  if (std::optional<NoteLine> note = lostInRawText(
          document, StandIn::Reference, "lost-characters",
          "<xmp> や <plaintext> の中では文字参照が読まれないため、変換先にない文字が参照のまま表示されます: {1}",
          language))
    notes.push_back(std::move(*note));
  if (std::optional<NoteLine> note =
          lostInRawText(document, StandIn::UnshownReference, "fallback-text",
                        "<iframe>、<noembed>、<noframes> "
                        "の中の文字は表示されませんが、変換先にない文字はスクリプトから参照のまま読まれます: {1}",
                        language))
    notes.push_back(std::move(*note));
  for (const PageNotice& notice : document.pageNotices) {
    if (notice.kind == PageNoticeKind::CharsetInCode) {
      const std::string where = positionText(notice.at);
      notes.push_back(
          {"charset-in-code", notice.at,
           (where.empty() ? "" : where + ": ") +
               message(language, "コードが文字コードを指定しています。変換先に合わせて書き換えてください: {1} → {2}",
                       {notice.text, notice.suggested})});
      continue;
    }
    if (notice.kind != PageNoticeKind::CharsetByScript && notice.kind != PageNoticeKind::CharsetSetByScript) continue;
    std::string where = positionText(notice.at);
    if (!where.empty()) where += ": ";
    const std::string_view text =
        notice.kind == PageNoticeKind::CharsetByScript
            ? "スクリプトが書き出す要素の charset は書き換えられないため、読み込まれるファイルは変換後に誤って読まれ"
              "ます: {1}"
            : "スクリプトが要素に設定する charset "
              "は書き換えられないため、読み込まれるファイルは変換後に誤って読まれます: {1}";
    notes.push_back({"charset-by-script", notice.at, where + message(language, text, {notice.text})});
  }
  if (const std::size_t more =
          document.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::CharsetByScript)] +
          document.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::CharsetSetByScript)])
    notes.push_back(
        {"charset-by-script", {}, message(language, "ほかにも同じ要素が {1} 個あります。", {std::to_string(more)})});
}

}  // namespace sarnavel
