#include "run/file_kind.h"

#include <string>
#include <string_view>

#include "text/ascii.h"
#include "store/path_parts.h"

namespace sarnavel {
namespace {

struct KindOfExtension {
  std::string_view extension;  // lower case
  FileKind kind;
};

constexpr KindOfExtension kKinds[] = {
    {"html", FileKind::Html},       {"htm", FileKind::Html},          {"js", FileKind::JavaScript},
    {"css", FileKind::Css},         {"vbs", FileKind::VbScript},      {"jpg", FileKind::Image},
    {"jpeg", FileKind::Image},      {"jpe", FileKind::Image},         {"jfif", FileKind::Image},
    {"gif", FileKind::Image},       {"png", FileKind::Image},         {"tiff", FileKind::Image},
    {"tif", FileKind::Image},       {"bmp", FileKind::Image},         {"dib", FileKind::Image},
    {"aspx", FileKind::OtherPage},  {"xhtml", FileKind::Xhtml},       {"xht", FileKind::Xhtml},
    {"shtml", FileKind::SsiPage},   {"shtm", FileKind::SsiPage},      {"stm", FileKind::SsiPage},
    {"php", FileKind::PhpTemplate}, {"phtml", FileKind::PhpTemplate}, {"inc", FileKind::PhpTemplate},
    {"tpl", FileKind::PhpTemplate}, {"asp", FileKind::AspTemplate},   {"jsp", FileKind::JspTemplate},
    {"xml", FileKind::Xml},         {"rss", FileKind::Xml},           {"rdf", FileKind::Xml},
    {"atom", FileKind::Xml},        {"txt", FileKind::PlainText},     {"csv", FileKind::PlainText},
    {"tsv", FileKind::PlainText},
};

bool equalsLowerIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (asciiLower(text[i]) != lower[i]) return false;
  }
  return true;
}

}  // namespace

FileKind classifyExtension(std::string_view text) {
  const std::string_view name = namePart(text);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return FileKind::Other;
  const std::string_view extension = name.substr(dot + 1);
  for (const KindOfExtension& entry : kKinds) {
    if (equalsLowerIgnoringCase(extension, entry.extension)) return entry.kind;
  }
  return FileKind::Other;
}

bool isAcceptedKind(FileKind kind) {
  return kind == FileKind::Html || kind == FileKind::JavaScript || kind == FileKind::Css;
}

bool isPageKind(FileKind kind) {
  return kind == FileKind::Html || kind == FileKind::OtherPage || kind == FileKind::Xhtml ||
         kind == FileKind::SsiPage || isTemplateKind(kind);
}

bool isTemplateKind(FileKind kind) {
  return kind == FileKind::PhpTemplate || kind == FileKind::AspTemplate || kind == FileKind::JspTemplate;
}

IslandSyntax islandSyntaxOf(FileKind kind) {
  if (kind == FileKind::PhpTemplate) return IslandSyntax::Php;
  return kind == FileKind::AspTemplate || kind == FileKind::JspTemplate ? IslandSyntax::Asp : IslandSyntax::None;
}

}  // namespace sarnavel
