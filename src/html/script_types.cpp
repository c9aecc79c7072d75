#include "html/script_types.h"

#include <string>

namespace sarnavel {
namespace {

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isJavaScriptType(std::string_view lowered) {
  static constexpr std::string_view kTypes[] = {
      "application/ecmascript", "application/javascript", "application/x-ecmascript", "application/x-javascript",
      "text/ecmascript",        "text/javascript",        "text/javascript1.0",       "text/javascript1.1",
      "text/javascript1.2",     "text/javascript1.3",     "text/javascript1.4",       "text/javascript1.5",
      "text/jscript",           "text/livescript",        "text/x-ecmascript",        "text/x-javascript",
  };
  for (std::string_view type : kTypes) {
    if (lowered == type) return true;
  }
  return false;
}

// The type the element is run by, lower-cased and trimmed: its `type`, or "text/" + its
// `language`; empty when it names none (a classic script).
std::string effectiveType(const AttributeMap& attributes) {
  if (auto type = attributes.find("type"); type != attributes.end()) return lowercaseCopy(trimAsciiSpace(type->second));
  if (auto language = attributes.find("language"); language != attributes.end() && !language->second.empty())
    return "text/" + lowercaseCopy(trimAsciiSpace(language->second));
  return {};
}

}  // namespace

std::string_view trimAsciiSpace(std::string_view value) {
  while (!value.empty() && isAsciiSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && isAsciiSpace(value.back())) value.remove_suffix(1);
  return value;
}

ScriptKind scriptKindOf(const AttributeMap& attributes) {
  const std::string type = effectiveType(attributes);
  if (type.empty() || isJavaScriptType(type)) return ScriptKind::Classic;
  return type == "module" ? ScriptKind::Module : ScriptKind::Other;
}

bool holdsScriptText(const AttributeMap& attributes) {
  const std::string type = effectiveType(attributes);
  if (type.empty() || type == "module") return true;
  for (std::string_view word : {"javascript", "ecmascript", "json", "jscript", "livescript"}) {
    if (type.find(word) != std::string::npos) return true;
  }
  return type == "importmap" || type == "speculationrules";
}

bool loadsStyleSheet(const AttributeMap& attributes) {
  auto rel = attributes.find("rel");
  if (rel == attributes.end()) return false;
  const std::string words = lowercaseCopy(rel->second);
  for (std::size_t i = 0; i < words.size();) {
    while (i < words.size() && isAsciiSpace(words[i])) ++i;
    std::size_t end = i;
    while (end < words.size() && !isAsciiSpace(words[end])) ++end;
    if (std::string_view(words).substr(i, end - i) == "stylesheet") return true;
    i = end;
  }
  return false;
}

}  // namespace sarnavel
