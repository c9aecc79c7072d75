#include "run/untaken_pages.h"

#include "engine/charset_attributes.h"
#include "engine/charset_label.h"
#include "html/head_analysis.h"
#include "html/references.h"
#include "run/file_store.h"
#include "run/normal_path.h"
#include "run/visible_path.h"

namespace sarnavel {

UntakenPages::UntakenPages(const PathList& pages, ReferenceProbes* probes, const KeyOf& keyOf) {
  for (std::string_view page : pages) {
    std::string text;
    const std::filesystem::path path(page);
    if (readWholeFile(path, text, nullptr, nullptr, NameLink::NotFollowed) != ResultCode::Success) continue;
    PARSE2INFO loads;
    collectReferences(text, loads);
    if (loads.elements.empty()) continue;
    const SourceEncoding declared = encodingOfLabel(declaredLabelOf(text)).value_or(SourceEncoding::Utf8);
    const FileSystemResolver resolver(normalFolderOf(path), probes);
    const DocumentReferences references(text, loads.base, targetEncodingOf(declared).value_or(TargetEncoding::Utf8),
                                        declared, resolver);
    for (const ELEMENT& element : loads.elements) {
      const bool script = element.name == "script";
      const auto value = element.attributes.find(script ? "src" : "href");
      if (value == element.attributes.end()) continue;
      bool remote = false;
      const std::optional<DocumentReferences::Loaded> loaded = references.resolve(
          value->second, element.tagStart, script ? LoadedKind::Script : LoadedKind::StyleSheet, remote);
      if (!loaded || loaded->resolved.status != ReferenceStatus::Followable) continue;
      std::vector<std::string>& loaders = loaders_[keyOf(loaded->resolved)];
      if (loaders.empty() || loaders.back() != page) loaders.emplace_back(page);
    }
  }
}

std::optional<FileNote> UntakenPages::noteFor(const std::string& key) {
  const auto found = loaders_.find(key);
  if (found == loaders_.end()) return std::nullopt;
  std::string pages;
  for (const std::string& page : found->second) pages += (pages.empty() ? "" : "、") + visiblePath(page);
  loaders_.erase(found);
  return FileNote{
      "untaken-page",
      {},
      "変換しない種類のページが読み込んでいます。そのページの charset は変換前の文字コードのままです: " + pages};
}

}  // namespace sarnavel
