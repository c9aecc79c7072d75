#include "engine/charset_attributes.h"

#include "html/references.h"
#include "html/tag_scanner.h"
#include "text/utf8.h"

namespace sarnavel {

void setCharsetAttributes(std::string& page, const std::string& charsetName, const std::string& defaultScriptType,
                          TargetEncoding pageEncoding, const ReferenceResolver& resolver, PageReferences& references) {
  PARSE2INFO info;
  info.defaultScriptType = defaultScriptType;
  collectReferences(page, info);

  std::string rebuilt, tag;
  std::size_t copied = 0;  // the page up to here is in `rebuilt` (once anything changed)
  for (ELEMENT& element : info.elements) {
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
    std::u16string wide;
    if (!resolveLocalReference(wide, value->second, pageEncoding)) continue;
    const std::string reference = utf16ToUtf8(wide);
    if (reference.empty()) continue;
    ResolvedReference resolved = resolver.resolve(reference, kind);
    if (resolved.status == ReferenceStatus::Missing) continue;
    if (resolved.status != ReferenceStatus::Followable) {
      references.refused.push_back({reference, std::move(resolved.path), resolved.status});
      continue;
    }
    auto charset = element.attributes.find("charset");
    references.loads.push_back({std::move(resolved.path), kind, charset != element.attributes.end() ? charset->second : ""});
    element.attributes["charset"] = charsetName;
    if (rebuilt.empty()) rebuilt.reserve(page.size() + page.size() / 8);
    rebuilt.append(page, copied, element.tagStart - copied);
    writeTag(tag, element.name, element.attributes, element.selfClosing);
    rebuilt += tag;
    copied = element.tagEnd;
  }
  if (copied == 0) return;
  rebuilt.append(page, copied, std::string::npos);
  page.swap(rebuilt);
}

}  // namespace sarnavel
