// The charset attributes of a converted page, and the files the page loads.
//
// Every `link` that loads a style sheet and every JavaScript `script` with a `src` whose
// reference leads to a file of the kind the element loads (the resolver says, see
// reference_resolver.h) gets a `charset` attribute naming the target, and its tag is written
// anew in canonical form (attributes in name order, every value in double quotes). References
// are read in the encoding the page is in; a query or fragment after the name is not part of
// it. Each such file is listed in `references.loads` with the element's former charset
// attribute; a reference the resolver refuses (another kind, a folder, a binary) leaves its
// element as it was and is listed in `references.refused`. Remote references, missing files
// and empty references are left alone and not reported.
//
// The page is rebuilt in one pass from the start, so a page with many references costs time
// in proportion to its size. Throws std::bad_alloc when memory runs out (the caller owns the
// text).
#pragma once

#include <string>

#include "engine/page_references.h"
#include "engine/reference_resolver.h"
#include "text/target_encoding.h"

namespace sarnavel {

void setCharsetAttributes(std::string& page, const std::string& charsetName, const std::string& defaultScriptType,
                          TargetEncoding pageEncoding, const ReferenceResolver& resolver, PageReferences& references);

}  // namespace sarnavel
