// The run's sets of files: each full path once, ascending by byte (so by code point for UTF-8
// paths), case-sensitive, a prefix before the longer text.
#pragma once

#include <set>
#include <string>

namespace sarnavel {

using PathSet = std::set<std::string>;

}  // namespace sarnavel
