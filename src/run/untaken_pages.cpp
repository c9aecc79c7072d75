#include "run/untaken_pages.h"

#include "engine/charset_attributes.h"
#include "engine/document_reading.h"
#include "html/head_analysis.h"
#include "html/references.h"
#include "store/file_store.h"
#include "run/file_kind.h"
#include "run/normal_path.h"

namespace sarnavel {

UntakenPages::UntakenPages(const PathList& pages, ReferenceProbes* probes, const KeyOf& keyOf) {
  for (std::string_view page : pages) {
    std::string bytes;
    const std::filesystem::path path(page);
    if (readFile({path, NameLink::NotFollowed}, bytes) != ResultCode::Success) continue;
    // Read as a conversion reads it (UTF-16, a declaration, the bytes), its text kept as it is
    // or made UTF-8.
    Findings unused;
    const ReadingRequest request{.kind = DocumentKind::Page,
                                 .target = TargetEncoding::Utf8,
                                 .declarationOf = [](std::string_view text) { return declaredLabelOf(text); },
                                 .keepCharacters = true};
    const WorkingText read = readDocument(bytes, request, {}, unused);
    const std::string_view text = read.text();
    PARSE2INFO loads;
    if (classifyExtension(page) == FileKind::Xhtml) collectStyleSheetInstructions(text, loads);
    collectReferences(text, loads);
    if (loads.elements.empty()) continue;
    const TargetEncoding textEncoding =
        read.isSource ? targetEncodingOf(read.decision.encoding).value_or(TargetEncoding::Utf8) : TargetEncoding::Utf8;
    const FileSystemResolver resolver(normalFolderOf(path), probes);
    const DocumentReferences references(text, loads.base, textEncoding, read.decision.encoding, resolver);
    for (const ELEMENT& element : loads.elements) {
      const bool script = element.kind == TagKind::Script;
      const AttributeMap attributes = attributesOf(text, element);
      const auto value = attributes.find(script ? "src" : "href");
      if (value == attributes.end()) continue;
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
  FileNote note{NoteCode::UntakenPage, StoreProblem::None, std::move(found->second)};
  loaders_.erase(found);
  return note;
}

}  // namespace sarnavel
