// What a converted page loads, for the run: the files it follows and the references it refused.
//
// Every followable reference is listed, in document order, whatever the follow switches say:
// the run decides what it converts, and uses the element's former charset attribute and the
// page's own encoding as evidence of the loaded file's encoding (encoding_decision.h).
#pragma once

#include <string>
#include <vector>

#include "engine/reference_resolver.h"

namespace sarnavel {

struct LoadedFile {
  std::string path;  // full path
  LoadedKind kind = LoadedKind::StyleSheet;
  std::string charset;  // the element's charset attribute as the page had it; empty when none
};

struct RefusedReference {
  std::string reference;  // the local path the element names
  std::string path;       // what it reached
  ReferenceStatus why = ReferenceStatus::WrongKind;
};

struct PageReferences {
  std::vector<LoadedFile> loads;
  std::vector<RefusedReference> refused;
};

}  // namespace sarnavel
