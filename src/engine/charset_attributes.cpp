#include "engine/charset_attributes.h"

#include "engine/charset_label.h"
#include "html/page_regions.h"
#include "html/script_set_charsets.h"
#include "html/script_types.h"
#include "html/tag_edits.h"
#include "text/japanese_text.h"
#include "text/text_position.h"
#include "text/utf8.h"

namespace sarnavel {

namespace {

// The legacy encoding a page was in, in which an old site's file names may be written.
std::optional<TargetEncoding> legacyEncodingOf(SourceEncoding source) {
  if (source == SourceEncoding::ShiftJis) return TargetEncoding::ShiftJis;
  if (source == SourceEncoding::EucJp) return TargetEncoding::EucJp;
  return std::nullopt;
}

}  // namespace

DocumentReferences::DocumentReferences(std::string_view page, const std::optional<BaseElement>& base,
                                       TargetEncoding pageEncoding, SourceEncoding readAs,
                                       const ReferenceResolver& resolver)
    : page_(page), reading_{pageEncoding, legacyEncodingOf(readAs)}, resolver_(resolver) {
  if (!base) return;
  base_ = referenceBaseOf(base->href, pageEncoding);
  baseEnd_ = base->tagEnd;
  hasBase_ = true;
}

std::optional<DocumentReferences::Loaded> DocumentReferences::resolve(std::string_view value, std::size_t at,
                                                                      LoadedKind kind, bool& remote) const {
  // Browsers resolve elements as they come: the base counts for those after it.
  const std::optional<std::vector<std::string>> names =
      referenceNames(value, reading_, hasBase_ && at >= baseEnd_ ? base_ : ReferenceBase{});
  remote = !names;
  if (!names || names->empty()) return std::nullopt;
  for (const std::string& name : *names) {
    ResolvedReference resolved = resolver_.resolve(name, kind);
    if (resolved.status != ReferenceStatus::Missing || &name == &names->back())
      return Loaded{name, std::move(resolved)};
  }
  return std::nullopt;
}

void noteCharsetsSetByScripts(std::string_view document, bool page, TargetEncoding target, DocumentResult& result) {
  if (!maySetCharsets(document)) return;
  PositionFinder positions(document, sourceFormOf(target));
  auto note = [&](std::string_view script, std::size_t offset) {
    for (const SetCharset& set : charsetsSetByScript(script)) {
      const std::optional<SourceEncoding> named = encodingOfLabel(set.label);
      if (!named || *named == sourceEncodingOf(target)) continue;
      result.addNotice({PageNoticeKind::CharsetSetByScript, positions.at(offset + set.at),
                        utf16ToUtf8(decodeToWide(set.text, target))});
    }
  };
  if (!page) return note(document, 0);
  PageRegions<char> regions(document, target == TargetEncoding::Iso2022Jp);
  while (const std::optional<RegionSpan> span = regions.next()) {
    if (span->region == PageRegion::Script) note(document.substr(span->start, span->end - span->start), span->start);
  }
}

void charsetAttributeEdits(const std::vector<ELEMENT>& elements, const DocumentReferences& page,
                           const std::string& charsetName, FoundReferences& references, std::vector<PageEdit>& edits) {
  for (const ELEMENT& element : elements) {
    const bool script = element.kind == TagKind::Script;
    const LoadedKind kind = script ? LoadedKind::Script : LoadedKind::StyleSheet;
    const AttributeMap attributes = attributesOf(page.page(), element);
    const bool module = script && scriptKindOf(attributes) == ScriptKind::Module;
    auto value = attributes.find(script ? "src" : "href");
    if (value == attributes.end()) continue;
    auto charset = attributes.find("charset");
    std::string formerCharset = charset != attributes.end() ? charset->second : std::string();
    bool remote = false;
    std::optional<DocumentReferences::Loaded> loaded = page.resolve(value->second, element.tagStart, kind, remote);
    if (remote) {
      references.add({kind, value->second, ReferenceStatus::Remote, {}, std::move(formerCharset), false, module});
      continue;
    }
    if (!loaded) continue;
    ResolvedReference& resolved = loaded->resolved;
    const bool writeCharset =
        !charsetName.empty() && resolved.status == ReferenceStatus::Followable && !module && !element.holdsBodyEnd;
    references.add({kind, std::move(loaded->reference), resolved.status, std::move(resolved.path),
                    std::move(formerCharset), writeCharset, module, false, resolved.nameIsLink});
    if (!writeCharset) continue;
    const std::string_view tag = page.page().substr(element.tagStart, element.tagEnd - element.tagStart);
    edits.push_back({element.tagStart, element.tagEnd,
                     element.instruction ? withInstructionAttributeValue(tag, "charset", charsetName)
                                         : withAttributeValue(tag, "charset", charsetName)});
  }
}

}  // namespace sarnavel
