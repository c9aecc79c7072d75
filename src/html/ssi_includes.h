// The files a server-side include page has the server put into it: each
// `<!--#include virtual="PATH" -->` and `<!--#include file="PATH" -->`, in document order.
//
// `file` names a path from the page's folder; `virtual` a URL path, from the site's root when
// it begins with '/', else from the page's folder. The directive, its attribute names and the
// quotes ('"', '\'' or none) are read as Apache reads them; the path is taken as written
// (ASCII bytes, as the names of included files are).
//
// Thread safety: a pure function.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

struct SsiInclude {
  std::string path;
  bool fromRoot = false;  // a virtual path beginning with '/'
  bool operator==(const SsiInclude&) const = default;
};

std::vector<SsiInclude> ssiIncludes(std::string_view page);

}  // namespace sarnavel
