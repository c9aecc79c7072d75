#include "engine/charset_attributes.h"

#include "html/references.h"
#include "html/tag_scanner.h"
#include "text/utf8.h"

namespace sarnavel {

void charsetAttributeEdits(std::vector<ELEMENT>& elements, const std::string& charsetName,
                           const std::string& defaultScriptType, TargetEncoding pageEncoding,
                           const ReferenceResolver& resolver, std::vector<FoundReference>& references,
                           std::vector<PageEdit>& edits) {
  std::string tag;
  for (ELEMENT& element : elements) {
    LoadedKind kind = LoadedKind::StyleSheet;
    std::string_view referenceKey = "href";
    if (element.name == "script") {
      auto type = element.attributes.find("type");
      bool javaScript = type != element.attributes.end() ? lowercaseCopy(type->second) == "text/javascript"
                                                         : defaultScriptType == "text/javascript";
      if (!javaScript) continue;
      kind = LoadedKind::Script;
      referenceKey = "src";
    } else if (element.name != "link") {
      continue;
    }
    auto value = element.attributes.find(referenceKey);
    if (value == element.attributes.end()) continue;
    auto charset = element.attributes.find("charset");
    std::string formerCharset = charset != element.attributes.end() ? charset->second : std::string();
    std::u16string wide;
    if (!resolveLocalReference(wide, value->second, pageEncoding)) {
      references.push_back({kind, value->second, ReferenceStatus::Remote, {}, std::move(formerCharset), false});
      continue;
    }
    std::string reference = utf16ToUtf8(wide);
    if (reference.empty()) continue;
    ResolvedReference resolved = resolver.resolve(reference, kind);
    const bool follow = resolved.status == ReferenceStatus::Followable;
    references.push_back(
        {kind, std::move(reference), resolved.status, std::move(resolved.path), std::move(formerCharset), follow});
    if (!follow) continue;
    element.attributes["charset"] = charsetName;
    writeTag(tag, element.name, element.attributes, element.selfClosing);
    edits.push_back({element.tagStart, element.tagEnd, tag});
  }
}

}  // namespace sarnavel
