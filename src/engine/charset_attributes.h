// The charset attributes of a converted page, and the files the page loads.
//
// Every element by which the page loads a file (html/references.h: a style-sheet `link` or an
// XHTML page's `<?xml-stylesheet?>`, a classic or module `script` with a `src`) has its
// reference resolved, against the page's `base` when it has one, and the resolver says what it
// leads to (reference_resolver.h). A reference may name the file by more than one spelling of
// its bytes (html/references.h, referenceNames: what a browser asks for, and for a page that
// was in Shift_JIS or EUC-JP the name in that encoding); the first the resolver finds is the
// one followed. Every `link` and classic `script` whose reference leads to a file of the kind
// it loads gets a `charset` attribute naming the target, its tag changed by that value alone
// (html/tag_edits.h): the former value replaced where it stands, or the attribute added after
// the last one. A module script's tag keeps its bytes: browsers read a module as UTF-8 whatever
// it says, and the run leaves such a file in UTF-8. Nor is a tag changed whose text holds the
// end tag of a script or style body it was read in (html/references.h, ELEMENT): the body would
// run on past it. References are read in the encoding the page is in; a query or fragment after
// the name is not part of it. Every reference is listed in document order with what became of
// it (document_result.h): followed, with the element's former charset attribute; refused by the
// resolver (another kind, a folder, a binary), its element left as it was; missing; or remote.
// Empty references name nothing and are not listed.
//
// The elements come from the page's one walk (html/page_walk.h); the new tags are returned as
// edits (page_edits.h), applied with the page's other changes in one pass. Throws
// std::bad_alloc when memory runs out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/document_result.h"
#include "engine/page_edits.h"
#include "engine/reference_resolver.h"
#include "text/source_encoding.h"
#include "html/references.h"
#include "text/target_encoding.h"

namespace sarnavel {

// A document's references as the conversion resolves them: the converted page (or sheet, whose
// @import rules load files too, css_conversion.h), its base, how its names are read, and who
// says what they lead to.
class DocumentReferences {
 public:
  // `pageEncoding`: the encoding `page` is in; `readAs`: what the page was before its conversion.
  DocumentReferences(std::string_view page, const std::optional<BaseElement>& base, TargetEncoding pageEncoding,
                     SourceEncoding readAs, const ReferenceResolver& resolver);

  // What the value of an element at `at` leads to: the name (bytes) tried, and the resolver's
  // answer. None, with `remote` set, when it is remote; none when it names nothing.
  struct Loaded {
    std::string reference;
    ResolvedReference resolved;
  };
  std::optional<Loaded> resolve(std::string_view value, std::size_t at, LoadedKind kind, bool& remote) const;

  std::string_view page() const { return page_; }

 private:
  std::string_view page_;
  ReferenceBase base_;
  std::size_t baseEnd_ = 0;  // the base counts for the elements after it
  bool hasBase_ = false;
  NameReading reading_;
  const ReferenceResolver& resolver_;
};

// The charsets the scripts of a converted document set on elements they make
// (html/script_set_charsets.h) that name an encoding other than the target's, as notices: the
// files they load are misread once converted. `document`: a page (its script bodies are read)
// or a script, in `target`.
void noteCharsetsSetByScripts(std::string_view document, bool page, TargetEncoding target, DocumentResult& result);

// Resolves the elements' references into `references` and gathers the charset attributes'
// edits; with no `charsetName` (a check) no element is to carry one, and none is edited.
void charsetAttributeEdits(const std::vector<ELEMENT>& elements, const DocumentReferences& page,
                           const std::string& charsetName, FoundReferences& references, std::vector<PageEdit>& edits);

}  // namespace sarnavel
