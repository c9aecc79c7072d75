#include "report/fidelity_notes.h"

#include <optional>
#include <string>
#include <string_view>

#include "engine/target_options.h"
#include "report/report_names.h"
#include "report/visible_path.h"

namespace sarnavel {

namespace {

// The note on the characters lost in raw text as `standIn`, naming the first few by position.
std::optional<NoteLine> lostInRawText(const DocumentResult& document, StandIn standIn, std::string_view code,
                                      std::string_view text) {
  std::string lost;
  TextPosition first;
  std::size_t listed = 0;
  for (const LostCharacter& character : document.lost) {
    if (character.writtenAs != standIn) continue;
    if (listed == 0) first = character.first;
    if (listed++ < kCharactersNamed) {
      if (!lost.empty()) lost += "、";
      lost += codePointText(character.codePoint);
      if (const std::string at = positionText(character.first); !at.empty()) lost += " (" + at + ")";
    }
  }
  if (listed == 0) return std::nullopt;
  if (listed > kCharactersNamed) lost += " ほか";
  return NoteLine{std::string(code), first, std::string(text) + lost};
}

}  // namespace

void appendFidelityNotes(const DocumentResult& document, TargetEncoding target, std::vector<NoteLine>& notes) {
  for (const FoundReference& loaded : document.references) {
    if (loaded.status != ReferenceStatus::Followable) continue;
    if (loaded.module && target != TargetEncoding::Utf8) {
      // The path stands inside the sentence: a log line ending in a path is that file's own.
      notes.push_back({"module-script",
                       {},
                       "type=\"module\" のスクリプトが読み込む " + visiblePath(loaded.path) +
                           " は、常に UTF-8 として読まれるため、" + std::string(charsetNameOf(target)) +
                           " には変換しません。"});
    }
    if (loaded.writtenByScript) {
      notes.push_back({"charset-by-script",
                       {},
                       "スクリプトが書き出す script 要素の charset を、読み込む " + visiblePath(loaded.path) +
                           " に合わせて書き換えました。"});
    }
  }
  // Characters that no escape could carry where they stood: the first few, by position.
  if (std::optional<NoteLine> note = lostInRawText(
          document, StandIn::Reference, "lost-characters",
          "<xmp> や <plaintext> の中では文字参照が読まれないため、変換先にない文字が参照のまま表示されます: "))
    notes.push_back(std::move(*note));
  if (std::optional<NoteLine> note =
          lostInRawText(document, StandIn::UnshownReference, "fallback-text",
                        "<iframe>、<noembed>、<noframes> "
                        "の中の文字は表示されませんが、変換先にない文字はスクリプトから参照のまま読まれます: "))
    notes.push_back(std::move(*note));
  for (const PageNotice& notice : document.pageNotices) {
    if (notice.kind != PageNoticeKind::CharsetByScript && notice.kind != PageNoticeKind::CharsetSetByScript) continue;
    std::string where = positionText(notice.at);
    if (!where.empty()) where += ": ";
    const std::string_view how = notice.kind == PageNoticeKind::CharsetByScript ? "書き出す要素の" : "要素に設定する";
    notes.push_back(
        {"charset-by-script", notice.at,
         where + "スクリプトが" + std::string(how) +
             " charset は書き換えられないため、読み込まれるファイルは変換後に誤って読まれます: " + notice.text});
  }
  if (const std::size_t more =
          document.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::CharsetByScript)] +
          document.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::CharsetSetByScript)])
    notes.push_back({"charset-by-script", {}, "ほかにも同じ要素が " + std::to_string(more) + " 個あります。"});
}

}  // namespace sarnavel
