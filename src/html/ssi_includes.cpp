#include "html/ssi_includes.h"

#include <optional>

#include "text/ascii.h"

namespace sarnavel {
namespace {

// The include's path in the directive's text (after "#include", before "-->"); none when it
// names no file.
std::optional<SsiInclude> includeIn(std::string_view directive) {
  const std::string lower = lowercaseCopy(directive);
  for (const bool isVirtual : {true, false}) {
    const std::string_view name = isVirtual ? "virtual" : "file";
    std::size_t at = lower.find(name);
    while (at != std::string::npos && at > 0 && !isXmlSpace(lower[at - 1])) at = lower.find(name, at + 1);
    if (at == std::string::npos) continue;
    at += name.size();
    while (at < lower.size() && isXmlSpace(lower[at])) ++at;
    if (at >= lower.size() || lower[at] != '=') continue;
    ++at;
    while (at < lower.size() && isXmlSpace(lower[at])) ++at;
    const char quote = at < lower.size() && (lower[at] == '"' || lower[at] == '\'') ? lower[at] : '\0';
    const std::size_t start = quote ? at + 1 : at;
    std::size_t end = start;
    while (end < directive.size() && (quote ? directive[end] != quote : !isXmlSpace(directive[end]))) ++end;
    std::string path(directive.substr(start, end - start));
    if (path.empty()) return std::nullopt;
    const bool fromRoot = isVirtual && path.front() == '/';
    return SsiInclude{std::move(path), fromRoot};
  }
  return std::nullopt;
}

}  // namespace

std::vector<SsiInclude> ssiIncludes(std::string_view page) {
  std::vector<SsiInclude> includes;
  for (std::size_t at = page.find("<!--#"); at != std::string_view::npos; at = page.find("<!--#", at + 5)) {
    std::size_t name = at + 5;
    if (lowercaseCopy(page.substr(name, 7)) != "include") continue;
    const std::size_t end = page.find("-->", name);
    const std::string_view directive =
        page.substr(name + 7, (end == std::string_view::npos ? page.size() : end) - name - 7);
    if (std::optional<SsiInclude> include = includeIn(directive)) includes.push_back(std::move(*include));
  }
  return includes;
}

}  // namespace sarnavel
