#include "engine/charset_attributes.h"

#include "html/script_types.h"
#include "html/tag_scanner.h"
#include "text/utf8.h"

namespace sarnavel {

void charsetAttributeEdits(std::vector<ELEMENT>& elements, const std::optional<BaseElement>& base,
                           const std::string& charsetName, TargetEncoding pageEncoding,
                           const ReferenceResolver& resolver, std::vector<FoundReference>& references,
                           std::vector<PageEdit>& edits) {
  const ReferenceBase pageBase = base ? referenceBaseOf(base->href, pageEncoding) : ReferenceBase{};
  std::string tag;
  for (ELEMENT& element : elements) {
    const bool script = element.name == "script";
    const LoadedKind kind = script ? LoadedKind::Script : LoadedKind::StyleSheet;
    const bool module = script && scriptKindOf(element.attributes) == ScriptKind::Module;
    auto value = element.attributes.find(script ? "src" : "href");
    if (value == element.attributes.end()) continue;
    auto charset = element.attributes.find("charset");
    std::string formerCharset = charset != element.attributes.end() ? charset->second : std::string();
    // The base counts for the elements after it, as browsers resolve them as they come.
    const ReferenceBase& against = base && element.tagStart >= base->tagEnd ? pageBase : ReferenceBase{};
    std::u16string wide;
    if (!resolveLocalReference(wide, value->second, pageEncoding, against)) {
      references.push_back({kind, value->second, ReferenceStatus::Remote, {}, std::move(formerCharset), false, module});
      continue;
    }
    std::string reference = utf16ToUtf8(wide);
    if (reference.empty()) continue;
    ResolvedReference resolved = resolver.resolve(reference, kind);
    const bool writeCharset = resolved.status == ReferenceStatus::Followable && !module && !element.holdsBodyEnd;
    references.push_back({kind, std::move(reference), resolved.status, std::move(resolved.path),
                          std::move(formerCharset), writeCharset, module, false, resolved.nameIsLink});
    if (!writeCharset) continue;
    element.attributes["charset"] = charsetName;
    writeTag(tag, element.name, element.attributes, element.selfClosing);
    edits.push_back({element.tagStart, element.tagEnd, tag});
  }
}

}  // namespace sarnavel
