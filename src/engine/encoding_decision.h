// Decides which encoding a document's bytes are in, with all the evidence there is.
//
// Design note. Short Japanese text is ambiguous: the two bytes C9 BD are 表 in EUC-JP, two
// half-width katakana in Shift_JIS and U+027D in UTF-8, and a script whose only Japanese is
// one word is often valid in all three. Taking a text as UTF-8 whenever its bytes pass the
// UTF-8 test garbles such text, and so does a second conversion of a file a run has already
// written. So UTF-8 and the Japanese encodings are weighed in one decision, strongest evidence
// first; each step counts only when the bytes are valid in the encoding it names:
//  1. The content itself: UTF-16 that the reading step recognised (by its byte-order mark or its
//     shape) and a UTF-8 byte-order mark decide outright, as they do for browsers.
//  2. What runs wrote: a file this run has already written is in the run's target encoding,
//     and a file that holds exactly the bytes an earlier run of the user wrote (the run's
//     memory) is in that run's target. Nothing else tells a site converted in parts, or again
//     after a stop, from one never converted: the page that loads such a file may still name
//     the old encoding, or already the new one while the file is still in the old.
//     The encoding the user named for every file (sarnavel-cli -f) comes next and decides
//     outright, as a server's charset header does for browsers: it yields to the content's
//     own mark, and to what runs wrote, which it would otherwise convert a second time.
//  3. A text of seven-bit bytes alone reads the same in every candidate: ASCII, or
//     ISO-2022-JP when it holds that encoding's escape sequences.
//  4. Declarations that are rules: a module script is UTF-8 whatever else is said; the
//     document's own declaration (a sheet's @charset, a page's meta) holds when its bytes are
//     valid in it; a Latin-1 one always holds (every byte is a character there), also when
//     the loading element or page names it. A declared UTF-8 holds over a text that is UTF-8
//     but for some malformed sequences (no more of them than of characters of more than one
//     byte, each shown as U+FFFD) only when neither Japanese reading of it is valid.
//  5. Detection. An ISO-2022-JP escape sequence, or bytes that are not UTF-8, go to the
//     Japanese detection (encoding_detection.h). A text that is UTF-8 by the lead-byte test,
//     or UTF-8 but for a few malformed sequences (at most one for every eight characters of
//     more than one byte: a stray byte in a UTF-8 page), is read as Shift_JIS, EUC-JP and UTF-8
//     alike, and the cheapest valid reading wins: the UTF-8 reading prices what it decodes by
//     how likely that is in a Japanese site (a few Latin letters inside words little, IPA
//     letters, combining marks and Hebrew much, a malformed sequence most), the Japanese
//     readings by Japanese prose. A tie goes to the Japanese reading; when neither Japanese
//     reading is valid, the UTF-8 one wins.
//  6. Evidence weighed in step 5, as a bonus to the cost of the reading it names: the claim
//     of what loads the file (the charset attribute of the loading element, else the
//     encoding of the loading page; a UTF-16 page lends UTF-8, as browsers do), and the
//     site: the encoding most files of this run were decided to be in (by steps 1, 4, 5 and
//     6; files runs wrote and files decided by their site do not count). Bonuses, not rules:
//     a claim may be stale (its page converted in an earlier run, or its file), and a long
//     text of another encoding that happens to be valid in the claimed one still reads far
//     cheaper in its own. A UTF-8 reading is favoured only where the text is UTF-8 through
//     and through (no bonus may make a U+FFFD of a valid Japanese text), and such a text is
//     rarely so by chance: against it, favour for a Japanese encoding counts little.
// Where the bytes alone would choose another reading than the evidence does, or they leave two
// readings all but even (also when the evidence agrees with them: a claim may be stale), or
// the bytes barely outweigh the evidence, the decision names that other reading too, so that
// the run can say so rather than guess silently. The Shift_JIS and EUC-JP readings of a short
// text are all but even within a margin for each of its first few characters: a word of rare
// kanji may price close to half-width letters that look like a word, and nothing else in the
// text tells them apart. The decision says the encoding and the
// step that decided it, for the report.
//
// Contract: pure; every function may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/encoding_detection.h"
#include "text/source_encoding.h"
#include "text/target_encoding.h"

namespace sarnavel {

enum class DecisionBasis {
  ByteOrderMark,     // a byte-order mark (UTF-8 here, UTF-16 in the reading step)
  Utf16Shape,        // UTF-16 without a mark, recognised by its shape
  WrittenByThisRun,  // the run wrote the file in its target encoding
  WrittenEarlier,    // an earlier run wrote exactly these bytes, in its target encoding
  Named,             // the user named the encoding of every file
  Declaration,       // the document's own @charset or meta
  LoadingElement,    // the element that loads the file: its charset attribute, or that it loads a module
  LoadingPage,       // the encoding of the page that loads the file
  Site,              // the site's encoding tipped the detection
  Detection,         // the bytes alone
};

struct EncodingDecision {
  SourceEncoding encoding = SourceEncoding::Ascii;
  DecisionBasis basis = DecisionBasis::Detection;
  // The text's other reading when the bytes did not settle it: the one the bytes alone would
  // have chosen (the evidence chose `encoding`), or one all but as likely (truly even).
  std::optional<SourceEncoding> otherReading = std::nullopt;
  bool operator==(const EncodingDecision&) const = default;
};

// Whether a decision says something about the site (see step 6): a file runs wrote, or whose
// reading the site tipped, does not.
bool countsForSite(const EncodingDecision& decision);

// What the files of a run were decided to be, in the order the run handed them over.
class SiteTally {
 public:
  // Counts a decision that says something about the site (see step 6).
  void add(const EncodingDecision& decision);
  // The encoding more than half of the counted files are in, if any.
  std::optional<SourceEncoding> majority() const;

 private:
  std::array<std::size_t, 4> counts_{};  // Shift_JIS, EUC-JP, ISO-2022-JP, UTF-8
};

// How the text reached the engine when it was UTF-16 on disk.
enum class Utf16Origin { None, ByteOrderMark, Shape };

// The evidence besides the bytes. The run fills what it knows; the reading step adds
// the document's own declaration.
struct EncodingEvidence {
  Utf16Origin utf16 = Utf16Origin::None;           // the text is code page 932 made from UTF-16
  std::optional<TargetEncoding> writtenByThisRun;  // this run wrote the file, in this encoding
  std::optional<TargetEncoding> writtenEarlier;    // an earlier run wrote exactly these bytes, in this encoding
  std::string declared;                            // @charset or the page's meta; empty when none
  std::string loaderCharset;                       // charset attribute of the loading element
  std::optional<SourceEncoding> loadingPage;       // the encoding the loading page was read in
  bool moduleScript = false;            // a page loads the file as a module script, which browsers read as UTF-8
  std::optional<SourceEncoding> named;  // the encoding the user named for every file (step 2)
  SiteTally site;
};

EncodingDecision decideSourceEncoding(std::string_view bytes, const EncodingEvidence& evidence);

// The same decision, but the document's own declaration (step 4) of Shift_JIS or EUC-JP other
// than `target`'s encoding is taken without reading the text through first: the converter, which decodes the
// text anyway, counts the bytes that form no character. Likewise an undeclared text that the
// detection's quick checks find Shift_JIS or EUC-JP so far (encoding_detection.h), when the
// target is another encoding: the detection would read it through only to find what the
// converter finds.
// With `validityDeferred` the decision stands only when the converter finds no such byte;
// otherwise decideSourceEncoding decides. A text converted into its own encoding is not
// decoded, so it is read through here as before.
//
// With `utf8ReadStrictly` (the caller reads a UTF-8 text strictly and can tell whether every
// sequence is well formed), an undeclared text whose start is UTF-8 and that reads neither as
// Shift_JIS nor as EUC-JP is taken for UTF-8 without the lead-byte test over the whole text
// (`utf8Deferred`): the detection says UTF-8 for it whenever the text is UTF-8, which a strict
// reading without a malformed sequence proves. A document declaring UTF-8 itself is taken unread
// likewise, the strict reading standing in for the lead-byte test. Otherwise
// decideSourceEncoding decides.
struct DeferredDecision {
  EncodingDecision decision;
  bool validityDeferred = false;
  bool utf8Deferred = false;
};
DeferredDecision decideSourceEncodingDeferred(std::string_view bytes, const EncodingEvidence& evidence,
                                              TargetEncoding target, bool utf8ReadStrictly = false);

// Whether every byte of the text forms a character of the encoding (UTF-8 by the lead-byte
// test, or ASCII alone; ISO-2022-JP: seven-bit bytes; Latin-1: always; UTF-16: never, as bytes
// of a byte text).
bool readsAs(std::string_view bytes, SourceEncoding encoding);

// The converter's name for a Japanese byte encoding; none for UTF-8, UTF-16 and Latin-1.
inline std::optional<InputEncoding> converterInputOf(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::Ascii: return InputEncoding::Ascii;
    case SourceEncoding::ShiftJis: return InputEncoding::ShiftJis;
    case SourceEncoding::EucJp: return InputEncoding::EucJp;
    case SourceEncoding::Iso2022Jp: return InputEncoding::Iso2022Jp;
    default: return std::nullopt;
  }
}

}  // namespace sarnavel
