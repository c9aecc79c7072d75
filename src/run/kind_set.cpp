#include "run/kind_set.h"

#include "text/ascii.h"

namespace sarnavel {
namespace {

constexpr KindName kKindNames[] = {
    {"html", FileKind::Html, ".html .htm"},
    {"css", FileKind::Css, ".css"},
    {"js", FileKind::JavaScript, ".js"},
    {"xhtml", FileKind::Xhtml, ".xhtml .xht"},
    {"shtml", FileKind::SsiPage, ".shtml .shtm .stm"},
    {"php", FileKind::PhpTemplate, ".php .phtml .inc .tpl"},
    {"asp", FileKind::AspTemplate, ".asp"},
    {"jsp", FileKind::JspTemplate, ".jsp"},
    {"xml", FileKind::Xml, ".xml .rss .rdf .atom"},
    {"txt", FileKind::PlainText, ".txt .csv .tsv"},
};
constexpr std::size_t kDefaultCount = 3;

std::string_view trimmed(std::string_view text) { return trimmedOf(text, " \t"); }

}  // namespace

std::span<const KindName> kindNames() { return kKindNames; }

KindSet KindSet::defaults() {
  KindSet set;
  for (std::size_t k = 0; k < kDefaultCount; ++k) set.add(kKindNames[k].kind);
  return set;
}

KindListParse parseKindList(std::string_view text) {
  KindListParse parse;
  text = trimmed(text);
  const bool adding = text.starts_with('+');
  if (adding) text = trimmed(text.substr(1));
  if (text.empty() && !adding) {
    parse.fault = KindListParse::Fault::Empty;
    return parse;
  }
  KindSet kinds = adding ? KindSet::defaults() : KindSet{};
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view name = trimmed(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (name.empty()) {
      parse.fault = KindListParse::Fault::EmptyName;
      return parse;
    }
    const std::string lower = lowercaseCopy(std::string(name));
    const KindName* known = nullptr;
    for (const KindName& each : kKindNames)
      if (each.name == lower) known = &each;
    if (known == nullptr) {
      parse.fault = KindListParse::Fault::UnknownName;
      parse.name = std::string(name);
      return parse;
    }
    kinds.add(known->kind);
    // A comma at the very end leaves an empty name.
    if (comma != std::string_view::npos && text.empty()) {
      parse.fault = KindListParse::Fault::EmptyName;
      return parse;
    }
  }
  parse.kinds = kinds;
  return parse;
}

std::string kindListText(KindSet kinds) {
  const KindSet defaults = KindSet::defaults();
  bool holdsDefaults = true;
  for (std::size_t k = 0; k < kDefaultCount; ++k) holdsDefaults = holdsDefaults && kinds.has(kKindNames[k].kind);
  std::string text = holdsDefaults ? "+" : "";
  for (const KindName& each : kKindNames) {
    if (!kinds.has(each.kind) || (holdsDefaults && defaults.has(each.kind))) continue;
    if (!text.empty() && text != "+") text += ',';
    text += each.name;
  }
  return text;
}

}  // namespace sarnavel
