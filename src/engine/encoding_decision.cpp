#include "engine/encoding_decision.h"

#include <cstdint>

#include "engine/charset_label.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// What favouring the site's encoding is worth, in the half-nats of the readings' costs: more
// than one rare character (a one-word script of the site), far less than what a page of
// another encoding loses when read in the wrong one.
constexpr std::int64_t kSiteBonus = 40;

int tallyIndex(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::ShiftJis: return 0;
    case SourceEncoding::EucJp: return 1;
    case SourceEncoding::Iso2022Jp: return 2;
    case SourceEncoding::Utf8: return 3;
    default: return -1;
  }
}

bool isAsciiOnly(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  return skipAscii(p, 0, bytes.size()) == bytes.size();
}

// Whether a text is UTF-8 but for a few malformed sequences (read strictly, each one U+FFFD):
// at most one for every `perError` characters of more than one byte. A text in another
// encoding is told early: its malformed sequences soon outnumber the rest.
bool nearlyUtf8(std::string_view bytes, std::size_t perError) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t multiByte = 0, errors = 0;
  for (std::size_t i = skipAscii(p, 0, n); i < n; i = skipAscii(p, i, n)) {
    char32_t cp = 0;
    std::size_t errorLength = 1;
    const std::size_t length = readUtf8Sequence(p + i, n - i, cp, errorLength);
    if (length != 0) {
      ++multiByte;
      i += length;
    } else {
      ++errors;
      i += errorLength;
      if (errors >= 16 && errors * perError > multiByte) return false;
    }
  }
  return multiByte > 0 && errors * perError <= multiByte;
}

// A declaration of UTF-8 holds over bytes that are UTF-8 but for some malformed sequences, as
// the browser reads them (one U+FFFD each); not over a text plainly in another encoding.
constexpr std::size_t kDeclaredPerError = 1;
// Undeclared, such a text is a candidate of its own when the malformed sequences are few.
constexpr std::size_t kDetectedPerError = 8;

// The step-5 choice among the valid readings: the cheapest, the favoured encoding's cost
// lowered by the bonus; on a tie the favoured one, then Shift_JIS, EUC-JP, UTF-8.
SourceEncoding cheapest(const CandidateReadings& readings, std::optional<SourceEncoding> favoured, std::int64_t bonus) {
  struct Candidate {
    SourceEncoding encoding;
    const ReadingScore& score;
  } candidates[] = {{SourceEncoding::ShiftJis, readings.shiftJis},
                    {SourceEncoding::EucJp, readings.eucJp},
                    {SourceEncoding::Utf8, readings.utf8}};
  std::optional<SourceEncoding> best;
  std::int64_t bestCost = 0;
  for (const Candidate& c : candidates) {
    if (!c.score.valid) continue;
    const bool isFavoured = favoured == c.encoding;
    const std::int64_t cost = static_cast<std::int64_t>(c.score.cost) - (isFavoured ? bonus : 0);
    if (!best || cost < bestCost || (cost == bestCost && isFavoured)) {
      best = c.encoding;
      bestCost = cost;
    }
  }
  return best.value_or(SourceEncoding::Utf8);
}

SourceEncoding fromInput(InputEncoding encoding) {
  switch (encoding) {
    case InputEncoding::Ascii: return SourceEncoding::Ascii;
    case InputEncoding::Iso2022Jp: return SourceEncoding::Iso2022Jp;
    case InputEncoding::ShiftJis: return SourceEncoding::ShiftJis;
    case InputEncoding::Utf8: return SourceEncoding::Utf8;
    case InputEncoding::EucJp: break;
  }
  return SourceEncoding::EucJp;
}

// Steps 5 and 6. With `deferTo`, a text that is Shift_JIS so far (or EUC-JP so far) is taken
// for that encoding without reading the rest and `deferred` set, when the target is another
// encoding (so the converter decodes the text): the detection would say so exactly when every
// byte of it reads as that encoding (encoding_detection.h), which the converter's count of
// malformed bytes tells.
//
// With `deferUtf8`, a text whose start passes the UTF-8 test and that reads neither as
// Shift_JIS nor as EUC-JP is taken for UTF-8 with `utf8Deferred` set: if the whole text is
// UTF-8 (which the caller's strict reading tells), the lead-byte test passes and the Japanese
// readings are invalid, so the answer below is UTF-8 too. The start is looked at first so
// that a Japanese text, whose reading would go to its end, is not read an extra time.
EncodingDecision detect(std::string_view bytes, std::optional<SourceEncoding> site,
                        std::optional<TargetEncoding> deferTo, bool& deferred, bool deferUtf8, bool& utf8Deferred) {
  if (deferUtf8) {
    constexpr std::size_t kStart = 4096;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t firstHigh = skipAscii(p, 0, bytes.size());
    if (isUtf8Text(bytes.substr(0, firstHigh + kStart))) {
      const CandidateReadings japanese = readCandidates(bytes, false);
      if (!japanese.shiftJis.valid && !japanese.eucJp.valid) {
        utf8Deferred = true;
        return {SourceEncoding::Utf8, DecisionBasis::Detection};
      }
    }
  }
  const bool utf8 = isUtf8Text(bytes);
  const bool nearly = !utf8 && nearlyUtf8(bytes, kDetectedPerError);
  const bool favourJapanese = site == SourceEncoding::ShiftJis || site == SourceEncoding::EucJp;
  std::optional<QuickVerdict> quick;
  if (!utf8 && !nearly) {
    // A text that is Shift_JIS so far holds a byte EUC-JP never uses, one that is EUC-JP so far
    // a malformed Shift_JIS sequence: if the converter finds the rest well formed, that reading
    // is the only valid one, which the site's encoding cannot outweigh.
    if (deferTo) {
      quick = quickVerdict(bytes);
      if (quick == QuickVerdict::ShiftJisSoFar && *deferTo != TargetEncoding::ShiftJis) {
        deferred = true;
        return {SourceEncoding::ShiftJis, DecisionBasis::Detection};
      }
      if (quick == QuickVerdict::EucJpSoFar && *deferTo != TargetEncoding::EucJp) {
        deferred = true;
        return {SourceEncoding::EucJp, DecisionBasis::Detection};
      }
    }
    if (!favourJapanese) return {fromInput(detectInputEncoding(bytes)), DecisionBasis::Detection};
  }
  if (!utf8 && (quick ? *quick : quickVerdict(bytes)) == QuickVerdict::Iso2022Jp)
    return {SourceEncoding::Iso2022Jp, DecisionBasis::Detection};
  const CandidateReadings readings = readCandidates(bytes, utf8 || nearly);
  if (!readings.shiftJis.valid && !readings.eucJp.valid) {
    return {utf8 || nearly ? SourceEncoding::Utf8 : fromInput(detectInputEncoding(bytes)), DecisionBasis::Detection};
  }
  const SourceEncoding alone = cheapest(readings, std::nullopt, 0);
  const SourceEncoding withSite = site ? cheapest(readings, site, kSiteBonus) : alone;
  return {withSite, withSite == alone ? DecisionBasis::Detection : DecisionBasis::Site};
}

}  // namespace

void SiteTally::add(const EncodingDecision& decision) {
  if (decision.basis == DecisionBasis::WrittenByThisRun || decision.basis == DecisionBasis::Site) return;
  const int index = tallyIndex(decision.encoding);
  if (index >= 0) ++counts_[static_cast<std::size_t>(index)];
}

std::optional<SourceEncoding> SiteTally::majority() const {
  std::size_t total = 0;
  for (std::size_t count : counts_) total += count;
  static constexpr SourceEncoding kOrder[] = {SourceEncoding::ShiftJis, SourceEncoding::EucJp,
                                              SourceEncoding::Iso2022Jp, SourceEncoding::Utf8};
  for (std::size_t k = 0; k < counts_.size(); ++k) {
    if (2 * counts_[k] > total) return kOrder[k];
  }
  return std::nullopt;
}

bool readsAs(std::string_view bytes, SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::Ascii: return isAsciiOnly(bytes);
    case SourceEncoding::ShiftJis: return readsAsShiftJis(bytes);
    case SourceEncoding::EucJp: return readsAsEucJp(bytes);
    case SourceEncoding::Iso2022Jp: return isAsciiOnly(bytes);
    case SourceEncoding::Utf8: return isAsciiOnly(bytes) || isUtf8Text(bytes);
    case SourceEncoding::Latin1: return true;
    case SourceEncoding::Utf16: return false;
  }
  return false;
}

namespace {

// The decision; with `deferTo`, a declaration of a Japanese encoding other than the target's is
// taken unread and `deferred` set (decideSourceEncodingDeferred).
EncodingDecision decide(std::string_view bytes, const EncodingEvidence& evidence, std::optional<TargetEncoding> deferTo,
                        bool& deferred, bool deferUtf8, bool& utf8Deferred) {
  // 1. The content itself.
  if (evidence.utf16 != Utf16Origin::None) {
    return {SourceEncoding::Utf16,
            evidence.utf16 == Utf16Origin::ByteOrderMark ? DecisionBasis::ByteOrderMark : DecisionBasis::Utf16Shape};
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return {SourceEncoding::Utf8, DecisionBasis::ByteOrderMark};
  // 2. What this run wrote.
  if (evidence.writtenByThisRun) return {sourceEncodingOf(*evidence.writtenByThisRun), DecisionBasis::WrittenByThisRun};
  // 3. ASCII alone; seven-bit text with ISO-2022-JP escape sequences is ISO-2022-JP whatever
  // it declares (the escape sequences are no other encoding's characters).
  if (isAsciiOnly(bytes)) {
    const bool iso2022 = quickVerdict(bytes) == QuickVerdict::Iso2022Jp;
    return {iso2022 ? SourceEncoding::Iso2022Jp : SourceEncoding::Ascii, DecisionBasis::Detection};
  }
  // 4. Declarations the bytes are valid in; a module script is read as UTF-8 whatever it holds.
  if (evidence.moduleScript) return {SourceEncoding::Utf8, DecisionBasis::LoadingElement};
  auto declared = [&](std::optional<SourceEncoding> encoding) {
    if (!encoding) return false;
    if (deferTo && (encoding == SourceEncoding::ShiftJis || encoding == SourceEncoding::EucJp) &&
        encoding != sourceEncodingOf(*deferTo)) {
      deferred = true;
      return true;
    }
    // A strict reading without a malformed sequence proves the lead-byte test; with one, the
    // caller decides again in full.
    if (deferUtf8 && encoding == SourceEncoding::Utf8) {
      utf8Deferred = true;
      return true;
    }
    return readsAs(bytes, *encoding) || (encoding == SourceEncoding::Utf8 && nearlyUtf8(bytes, kDeclaredPerError));
  };
  if (std::optional<SourceEncoding> own = encodingOfLabel(evidence.declared); declared(own))
    return {*own, DecisionBasis::Declaration};
  if (std::optional<SourceEncoding> element = encodingOfLabel(evidence.loaderCharset); declared(element)) {
    return {*element, DecisionBasis::LoadingElement};
  }
  std::optional<SourceEncoding> page = evidence.loadingPage;
  if (page == SourceEncoding::Utf16) page = SourceEncoding::Utf8;  // what browsers lend a UTF-16 page's files
  if (page != SourceEncoding::Ascii && declared(page)) return {*page, DecisionBasis::LoadingPage};
  // 5 and 6. The bytes, with the site's encoding favoured.
  return detect(bytes, evidence.site.majority(), deferTo, deferred, deferUtf8, utf8Deferred);
}

}  // namespace

EncodingDecision decideSourceEncoding(std::string_view bytes, const EncodingEvidence& evidence) {
  bool deferred = false, utf8Deferred = false;
  return decide(bytes, evidence, std::nullopt, deferred, false, utf8Deferred);
}

DeferredDecision decideSourceEncodingDeferred(std::string_view bytes, const EncodingEvidence& evidence,
                                              TargetEncoding target, bool utf8ReadStrictly) {
  DeferredDecision d;
  d.decision = decide(bytes, evidence, target, d.validityDeferred, utf8ReadStrictly, d.utf8Deferred);
  return d;
}

}  // namespace sarnavel
