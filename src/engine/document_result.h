// What happened to one document: the record convertHtml, convertCss and convertJavaScript
// return.
//
// Each fact is filled where it becomes known and never worked out again: the source encoding
// by the decision (encoding_decision.h), the declarations by the page's head analysis or the
// sheet's rule search, the references by the charset attributes step, each escaped or lost
// character and each byte that formed no character by the reading step or the converter as
// they write it (findings.h), line breaks and sizes at the two ends. Positions are of the
// source document as its reader sees it (text/text_position.h); a position of 0:0 is not known.
//
// Contract: a record describes a conversion that succeeded; running out of memory throws
// std::bad_alloc instead of returning one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/encoding_decision.h"
#include "engine/found_references.h"
#include "engine/reference_resolver.h"
#include "text/line_ending.h"
#include "text/text_position.h"

namespace sarnavel {

// A character written as an escape of the document's language (&#233;, \E9 , \u00E9).
struct EscapedCharacter {
  char32_t codePoint = 0;
  std::size_t count = 0;
  TextPosition first;
};

// What stands in for a character the target could not hold when no escape was written: the
// geta mark, U+FFFD, or (in raw text such as `xmp`, which reads no escape) the HTML reference,
// which shows there as text; in the fallback text of `iframe`, `noembed` and `noframes`, raw
// text browsers never show, the reference is the page's text but nobody sees it.
enum class StandIn { GetaMark, ReplacementCharacter, Reference, UnshownReference };

struct LostCharacter {
  char32_t codePoint = 0;
  std::size_t count = 0;
  TextPosition first;
  StandIn writtenAs = StandIn::GetaMark;
};

// Bytes of the source that formed no character in the encoding it was read in.
struct InvalidBytes {
  std::size_t count = 0;
  TextPosition first;
};

// A declaration of the document's encoding found in it, and what became of it.
enum class DeclarationForm {
  ContentTypeMeta,  // <meta http-equiv="Content-Type" content="...; charset=...">
  MetaCharset,      // <meta charset="...">
  XmlDeclaration,   // <?xml ... encoding="..."?>
  CharsetRule,      // a sheet's @charset "...";
};
enum class DeclarationFate {
  Replaced,          // rewritten where it stood, naming the target
  MovedBeforeTitle,  // a content-type meta after the title's start tag, written before the title
  MovedEarlier,      // none ended in the first 1024 bytes, where browsers look: this one was moved there
  Added,             // none was there: one was written (formerCharset is empty)
  Rewritten,         // an HTML5 meta charset, the XML declaration or a misplaced @charset now names the target
  Kept,              // left as it was
};
struct Declaration {
  DeclarationForm form = DeclarationForm::ContentTypeMeta;
  std::string formerCharset;  // the label as written; empty for an added one
  DeclarationFate fate = DeclarationFate::Kept;
};

// Something in a page (or a script) whose meaning changes with the encodings, for the user to look at.
enum class PageNoticeKind {
  FormWithoutAcceptCharset,  // a <form> without accept-charset submits in the page's encoding
  NonAsciiQuery,             // a link or form action whose query string holds non-ASCII text
  CharsetByScript,     // a script writes an element whose charset names another encoding, left so (document.write)
  CharsetSetByScript,  // a script sets a charset naming another encoding on an element it makes (.charset =)
  CharsetInCode,       // a template's code names an encoding the server sends or works in (header(), ...)
};
inline constexpr std::size_t kPageNoticeKinds = 5;
struct PageNotice {
  PageNoticeKind kind = PageNoticeKind::FormWithoutAcceptCharset;
  TextPosition at;             // where the element starts in the source
  std::string text;            // the form's action, the URL, the written tag, or the code's line (UTF-8)
  std::string suggested = {};  // CharsetInCode: the line as it should read for the target
};

// A template whose code could not be kept as written is left as it was (template_conversion.h):
// why, where the code starts (or the byte that is no character), and the character lacked.
struct CodeLeft {
  enum class Why { None, InvalidBytes, LackedCharacter, Encoding, BackslashByte } why = Why::None;
  TextPosition at;
  char32_t codePoint = 0;
};

struct DocumentResult {
  EncodingDecision source;  // what the bytes were read as, and what decided it
  std::vector<Declaration> declarations;
  FoundReferences references;           // a page's, a sheet's @import rules', in document order
  std::vector<PageNotice> pageNotices;  // a page's, a script's charsets set by code; by kind, in document order
  // The notices of each kind beyond the first kRecordedOfEachKind, counted rather than kept.
  std::size_t pageNoticesUnlisted[kPageNoticeKinds] = {};  // by PageNoticeKind
  std::vector<EscapedCharacter> escaped;                   // by first position
  std::vector<LostCharacter> lost;                         // by first position
  InvalidBytes invalidBytes;
  LineBreakCounts lineBreaksBefore;
  LineBreakCounts lineBreaksAfter;
  std::size_t bytesBefore = 0;
  std::size_t bytesAfter = 0;
  CodeLeft codeLeft;  // Why::None but for a template left as it was

  // Adds the next notice of its kind: the first few of each kind are kept, the others counted,
  // so that what the record says of a page whose tags repeat by the hundred thousand stays
  // small.
  void addNotice(PageNotice notice);

  // The number of elements that now carry a charset attribute naming the target.
  std::size_t charsetAttributesWritten() const {
    std::size_t n = 0;
    for (const FoundReference& r : references) n += r.charsetWritten ? 1 : 0;
    return n;
  }
};

inline void DocumentResult::addNotice(PageNotice notice) {
  const std::size_t kind = static_cast<std::size_t>(notice.kind);
  std::size_t kept = 0;
  for (const PageNotice& earlier : pageNotices) kept += earlier.kind == notice.kind ? 1 : 0;
  if (kept < kRecordedOfEachKind) pageNotices.push_back(std::move(notice));
  else ++pageNoticesUnlisted[kind];
}

}  // namespace sarnavel
