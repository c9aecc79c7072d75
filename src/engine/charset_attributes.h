// The charset attributes of a converted page, and the files the page loads.
//
// Every element by which the page loads a file (html/references.h: a style-sheet `link`, a
// classic or module `script` with a `src`) has its reference resolved, against the page's
// `base` when it has one, and the resolver says what it leads to (reference_resolver.h). Every
// `link` and classic `script` whose reference leads to a file of the kind it loads gets a
// `charset` attribute naming the target, and its tag is written anew in canonical form
// (attributes in name order, every value in double quotes), whatever its spelling was. A
// module script's tag keeps its bytes: browsers read a module as UTF-8 whatever it says, and
// the run leaves such a file in UTF-8. Nor is a tag written anew whose text holds the end tag of
// a script or style body it was read in (html/references.h, ELEMENT): it would lose that end
// tag and the body would run on. References are read in the encoding the page is in; a
// query or fragment after the name is not part of it. Every reference is listed in document
// order with what became of it (document_result.h): followed, with the element's former
// charset attribute; refused by the resolver (another kind, a folder, a binary), its element
// left as it was; missing; or remote. Empty references name nothing and are not listed.
//
// The elements come from the page's one walk (html/page_walk.h); the new tags are returned as
// edits (page_edits.h), applied with the page's other changes in one pass. Throws
// std::bad_alloc when memory runs out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/document_result.h"
#include "engine/page_edits.h"
#include "engine/reference_resolver.h"
#include "html/references.h"
#include "text/target_encoding.h"

namespace sarnavel {

void charsetAttributeEdits(std::vector<ELEMENT>& elements, const std::optional<BaseElement>& base,
                           const std::string& charsetName, TargetEncoding pageEncoding,
                           const ReferenceResolver& resolver, std::vector<FoundReference>& references,
                           std::vector<PageEdit>& edits);

}  // namespace sarnavel
