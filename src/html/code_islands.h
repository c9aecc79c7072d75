// The code islands of a server template: the spans the server runs instead of sending.
//
// A PHP template's islands open with `<?` (`<?php`, `<?=`, the short `<?`) and close at the
// next `?>`; an `<?xml` declaration is no island (PHP leaves it to the page with short tags
// off, which is how templates that carry one are run). An ASP or JSP template's open with
// `<%` (`<%=`, `<%@`, `<%--`) and close at the next `%>`. An island never closed runs to the
// end of the text, as PHP reads it. A closer inside a string of the code closes the island
// here as well; such code is rare in templates and the island then merely ends early.
//
// The delimiters are ASCII bytes that no byte of a Shift_JIS, EUC-JP or UTF-8 character
// equals, so the same islands are found in a template before and after it is converted
// between these encodings; ISO-2022-JP and UTF-16 are not read here (their bytes would
// fake or hide delimiters).
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

enum class IslandSyntax { None, Php, Asp };

struct CodeIsland {
  std::size_t start = 0;  // the opener's '<'
  std::size_t end = 0;    // just past the closer, or the text's end
  bool operator==(const CodeIsland&) const = default;
};

std::vector<CodeIsland> findCodeIslands(std::string_view text, IslandSyntax syntax);

// `text` with each island's bytes but its line breaks made spaces: a walk of the copy finds the
// template's tags at the offsets and lines they have in `text`, and no tag or comment the code
// holds.
std::string blankedIslands(std::string_view text, std::span<const CodeIsland> islands);

// Whether [start, end) touches an island (an insertion at an island's start or end does not).
bool touchesIsland(std::span<const CodeIsland> islands, std::size_t start, std::size_t end);

}  // namespace sarnavel
