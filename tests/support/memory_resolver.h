// A page's references answered from memory, for tests of the engine (which knows no files).
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "engine/reference_resolver.h"

namespace sarnavel::testing {

class MemoryResolver : public ReferenceResolver {
 public:
  // A regular file at `reference` (as the page writes it), of the kind its extension says;
  // its full path is "/site/" followed by the reference.
  MemoryResolver& file(const std::string& reference) {
    return put(reference, reference.ends_with(".css")  ? Kind::Sheet
                          : reference.ends_with(".js") ? Kind::Script
                                                       : Kind::Other);
  }
  MemoryResolver& binary(const std::string& reference) { return put(reference, Kind::Binary); }

  ResolvedReference resolve(std::string_view reference, LoadedKind kind) const override {
    auto found = entries_.find(std::string(reference));
    if (found == entries_.end()) return {};
    const std::string path = "/site/" + std::string(reference);
    const Kind wanted = kind == LoadedKind::StyleSheet ? Kind::Sheet : Kind::Script;
    if (found->second == Kind::Binary) return {ReferenceStatus::Binary, path};
    return {found->second == wanted ? ReferenceStatus::Followable : ReferenceStatus::WrongKind, path};
  }

 private:
  enum class Kind { Sheet, Script, Other, Binary };
  MemoryResolver& put(const std::string& reference, Kind kind) {
    entries_[reference] = kind;
    return *this;
  }
  std::map<std::string, Kind> entries_;
};

// Resolves nothing: every reference is missing.
class NoFiles : public ReferenceResolver {
 public:
  ResolvedReference resolve(std::string_view, LoadedKind) const override { return {}; }
};

}  // namespace sarnavel::testing
