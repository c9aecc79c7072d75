#include "engine/charset_attributes.h"

#include <system_error>

#include "engine/latin1_label.h"
#include "html/references.h"
#include "html/tag_scanner.h"
#include "text/utf8.h"

namespace sarnavel {

std::filesystem::path resolveExistingPath(const std::string& reference, const std::filesystem::path& pageFolder) {
  // An empty reference names no file, and one holding a zero byte cannot be a path.
  if (reference.empty() || reference.find('\0') != std::string::npos) return {};
  std::filesystem::path path(reference);
  std::filesystem::path full = (path.is_absolute() ? path : pageFolder / path).lexically_normal();
  std::error_code error;
  if (!std::filesystem::exists(full, error)) return {};
  return full;
}

void setCharsetAttributes(std::string& page, const std::string& charsetName, const std::string& defaultScriptType,
                          const ConversionOptions& options, const std::filesystem::path& pageFolder, bool pageIsLatin1,
                          ReferencedFiles& referenced) {
  PARSE2INFO info;
  info.defaultScriptType = defaultScriptType;
  collectReferences(page, info);
  const auto pageEncoding = static_cast<TextEncoding>(options.targetEncoding);

  for (auto element = info.elements.rbegin(); element != info.elements.rend(); ++element) {
    PathSet* set = nullptr;
    std::string_view referenceKey;
    if (element->name == "link") {
      referenceKey = "href";
      if (options.followCss) set = &referenced.styleSheets;
    } else if (element->name == "script") {
      auto type = element->attributes.find("type");
      bool javaScript = type != element->attributes.end() ? lowercaseCopy(type->second) == "text/javascript"
                                                            : defaultScriptType == "text/javascript";
      if (!javaScript) continue;
      referenceKey = "src";
      if (options.followJs) set = &referenced.scripts;
    } else {
      continue;
    }
    auto value = element->attributes.find(referenceKey);
    if (value == element->attributes.end()) continue;
    std::u16string reference;
    if (!resolveLocalReference(reference, value->second, pageEncoding)) continue;
    std::filesystem::path full = resolveExistingPath(utf16ToUtf8(reference), pageFolder);
    if (full.empty()) continue;
    if (set) set->insert(full.native());
    // Browsers read a sheet without a rule, and a script without a charset attribute, in the
    // page's encoding.
    auto charset = element->attributes.find("charset");
    bool latin1 = element->name == "script" && charset != element->attributes.end() ? isLatin1Label(charset->second) : pageIsLatin1;
    if (latin1) referenced.loadedByLatin1Pages.insert(full.native());
    element->attributes["charset"] = charsetName;
    std::string tag;
    writeTag(tag, element->name, element->attributes, element->selfClosing);
    page.replace(element->tagStart, element->tagEnd - element->tagStart, tag);
  }
}

}  // namespace sarnavel
