// The files a run's server-side include pages have the server put into them: page fragments.
//
// Before the pages are converted, each listed SSI page is read and its include directives
// (html/ssi_includes.h) resolved: `file` and a relative `virtual` from the page's folder, a
// `virtual` from '/' under each folder the user named (the first where the run lists it): the
// site's root is taken to be a folder the user named. A file so included that the run lists
// as a page is converted once, in the pages' pass, as a fragment: its bytes and escapes as a
// page's, its declarations rewritten where they stand, none added (the server sends it inside
// the including page, whose declaration is the one the browser reads). The fragment rule wins
// over the page's when the file is also a page of its own: one conversion, and a declaration
// added at its top would stand in the middle of every page that includes it.
//
// An included file the run does not list (outside what the user named, of a kind not taken,
// or missing) is not touched: the including page's line names it, since that page now shows
// it in another encoding than its own.
//
// Contract: built once per run before its first pass; const afterwards and then safe from any
// thread. A page that cannot be read is passed over here (its own conversion says why).
#pragma once

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run/path_set.h"

namespace sarnavel {

class IncludedFragments {
 public:
  // `pages`: the pages' pass, `roots`: the keys of the folders the user named.
  IncludedFragments(std::span<const std::string_view> pages, const std::vector<std::string>& roots);

  // Whether the file (by its key, named_folders.h) is included by a listed SSI page.
  bool isFragment(const std::string& key) const { return fragments_.count(key) != 0; }
  bool empty() const { return fragments_.empty(); }
  // The files the page (by its path as listed) includes that the run does not convert.
  const std::vector<std::string>* notConvertedOf(std::string_view page) const;

 private:
  PathSet fragments_;
  std::map<std::string, std::vector<std::string>, std::less<>> notConverted_;
};

}  // namespace sarnavel
