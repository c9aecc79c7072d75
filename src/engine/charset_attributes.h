// The charset attributes of a converted page, and the files the page loads.
//
// Every `link` that loads a style sheet and every JavaScript `script` with a `src` whose
// reference leads to a file of the kind the element loads (the resolver says, see
// reference_resolver.h) gets a `charset` attribute naming the target, and its tag is written
// anew in canonical form (attributes in name order, every value in double quotes). References
// are read in the encoding the page is in; a query or fragment after the name is not part of
// it. Every reference is listed in document order with what became of it (document_result.h):
// followed, with the element's former charset attribute; refused by the resolver (another
// kind, a folder, a binary), its element left as it was; missing; or remote. Empty references
// name nothing and are not listed.
//
// The elements come from the page's one walk (html/page_walk.h); the new tags are returned as
// edits (page_edits.h), applied with the page's other changes in one pass. Throws
// std::bad_alloc when memory runs out.
#pragma once

#include <string>

#include <vector>

#include "engine/document_result.h"
#include "engine/page_edits.h"
#include "html/references.h"
#include "engine/reference_resolver.h"
#include "text/target_encoding.h"

namespace sarnavel {

void charsetAttributeEdits(std::vector<ELEMENT>& elements, const std::string& charsetName,
                           const std::string& defaultScriptType, TargetEncoding pageEncoding,
                           const ReferenceResolver& resolver, std::vector<FoundReference>& references,
                           std::vector<PageEdit>& edits);

}  // namespace sarnavel
