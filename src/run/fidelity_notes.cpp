#include "run/fidelity_notes.h"

#include <cstdio>
#include <string>

#include "run/visible_path.h"

namespace sarnavel {
namespace {

std::string positionText(const TextPosition& at) {
  if (at.line == 0) return {};
  return "（" + std::to_string(at.line) + ":" + std::to_string(at.column) + "）";
}

std::string codePointText(char32_t codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(codePoint));
  return buffer;
}

}  // namespace

bool leavesModuleScript(const ConversionOptions& options) { return options.targetEncoding != TargetEncoding::Utf8; }

FileNote moduleScriptLeftNote() {
  return {"module-script", {}, "モジュールスクリプトとして読み込まれ、ブラウザーは常に UTF-8 で読むため、変換せずにそのままにしました。"};
}

void appendFidelityNotes(const DocumentResult& document, const ConversionOptions& options,
                         std::vector<FileNote>& notes) {
  for (const FoundReference& loaded : document.references) {
    if (loaded.status != ReferenceStatus::Followable) continue;
    if (loaded.module && leavesModuleScript(options)) {
      notes.push_back({"module-script",
                       {},
                       "モジュールスクリプトが読み込む " + visiblePath(loaded.path) +
                           " は、ブラウザーが常に UTF-8 で読むため変換しません。"});
    }
    if (loaded.writtenByScript) {
      notes.push_back({"charset-by-script",
                       {},
                       "スクリプトが書き出す script 要素の charset を、読み込む " + visiblePath(loaded.path) +
                           " に合わせて書き換えました。"});
    }
  }
  // Characters that could not be escaped where they stood: the first few, by position.
  std::string lost;
  TextPosition first;
  std::size_t listed = 0;
  for (const LostCharacter& character : document.lost) {
    if (character.writtenAs != StandIn::Reference) continue;
    if (listed == 0) first = character.first;
    if (listed++ < 5) lost += (lost.empty() ? "" : "、") + codePointText(character.codePoint) + positionText(character.first);
  }
  if (listed > 5) lost += " ほか " + std::to_string(listed - 5) + " 種";
  if (listed > 0) {
    notes.push_back({"lost-characters",
                     first,
                     "<xmp> や <plaintext> の中では文字参照が読まれないため、変換先にない文字が参照のまま表示されます: " +
                         lost});
  }
  for (const PageNotice& notice : document.pageNotices) {
    if (notice.kind != PageNoticeKind::CharsetByScript) continue;
    notes.push_back({"charset-by-script",
                     notice.at,
                     "スクリプトが書き出す要素の charset は書き換えられないため、読み込まれるファイルは変換後に誤って読まれます: " +
                         visiblePath(notice.text)});
  }
}

}  // namespace sarnavel
