#include "html/code_islands.h"

#include "text/ascii.h"

namespace sarnavel {
namespace {

// `<?xml ` (or a tab or line break after it) opens the XML declaration, not code.
bool opensXmlDeclaration(std::string_view text, std::size_t at) {
  if (text.size() < at + 6) return false;
  const std::string_view name = text.substr(at + 2, 3);
  return lowercaseCopy(name) == "xml" && isXmlSpace(text[at + 5]);
}

}  // namespace

std::vector<CodeIsland> findCodeIslands(std::string_view text, IslandSyntax syntax) {
  std::vector<CodeIsland> islands;
  if (syntax == IslandSyntax::None) return islands;
  const char mark = syntax == IslandSyntax::Php ? '?' : '%';
  const char closer[] = {mark, '>', '\0'};
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    if (at + 1 >= text.size() || text[at + 1] != mark ||
        (syntax == IslandSyntax::Php && opensXmlDeclaration(text, at))) {
      ++at;
      continue;
    }
    const std::size_t close = text.find(closer, at + 2);
    const std::size_t end = close == std::string_view::npos ? text.size() : close + 2;
    islands.push_back({at, end});
    at = end;
  }
  return islands;
}

std::string blankedIslands(std::string_view text, std::span<const CodeIsland> islands) {
  std::string copy(text);
  for (const CodeIsland& island : islands)
    for (std::size_t i = island.start; i < island.end; ++i)
      if (copy[i] != '\n' && copy[i] != '\r') copy[i] = ' ';
  return copy;
}

bool touchesIsland(std::span<const CodeIsland> islands, std::size_t start, std::size_t end) {
  for (const CodeIsland& island : islands)
    if (start < island.end && island.start < end) return true;
  return false;
}

}  // namespace sarnavel
