#include "engine/encoding_decision.h"

#include <algorithm>
#include <cstdint>

#include "engine/charset_label.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// What evidence is worth in step 5, in the half-nats of the readings' costs. The site's
// encoding and the claim of what loads the file: each more than one rare character (a
// one-word script of the site), far less than what a page of another encoding loses when
// read in the wrong one.
constexpr std::int64_t kSiteBonus = 40;
constexpr std::int64_t kClaimBonus = 40;
// Against a text that is UTF-8 through and through, favour for a Japanese encoding counts at
// most this much: such a text is rarely so by chance, and a claim over it is often stale (a
// page not yet converted that loads a script already converted).
constexpr std::int64_t kJapaneseOverUtf8 = 10;
// Two readings whose costs lie closer than this are all but even.
constexpr std::int64_t kEvenMargin = 4;
// The Shift_JIS and EUC-JP readings of a short text are all but even when their costs lie
// closer than this for each of its first few characters (pairs of bytes of 0x80 or above):
// the model may price a rare kanji that much above two half-width letters that happen to look
// like the start of a word, and a short text has no other characters to make up for it.
constexpr std::int64_t kJapaneseEvenPerCharacter = 14;
constexpr std::size_t kJapaneseEvenCharacters = 4;

// The margin below which the Shift_JIS and EUC-JP readings of the text are all but even.
std::int64_t japaneseEvenMargin(std::string_view bytes) {
  std::size_t high = 0;
  for (std::size_t i = 0; i < bytes.size() && high < 2 * kJapaneseEvenCharacters; ++i)
    high += static_cast<std::uint8_t>(bytes[i]) >= 0x80;
  return kJapaneseEvenPerCharacter * static_cast<std::int64_t>(std::max<std::size_t>(1, (high + 1) / 2));
}

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

// What decideSourceEncodingDeferred may leave to the converter: a declared or so-far Japanese
// encoding other than `deferTo`'s (none: nothing), and a UTF-8 text the caller reads strictly.
struct Deferral {
  std::optional<TargetEncoding> deferTo;
  bool deferUtf8 = false;
};

// What step 5 weighs besides the readings: the claim of what loads the file and the site.
struct Favour {
  std::optional<SourceEncoding> claim;
  DecisionBasis claimBasis = DecisionBasis::LoadingPage;
  std::optional<SourceEncoding> site;
};

// The candidates of step 5 in the order a tie is settled: Shift_JIS, EUC-JP, UTF-8.
constexpr SourceEncoding kCandidates[] = {SourceEncoding::ShiftJis, SourceEncoding::EucJp, SourceEncoding::Utf8};

// Each candidate's bonus (step 6). `strictUtf8`: the text passed the lead-byte test.
std::array<std::int64_t, 3> bonuses(const Favour& favour, bool strictUtf8) {
  std::array<std::int64_t, 3> bonus{};
  for (std::size_t k = 0; k < 3; ++k) {
    if (kCandidates[k] == SourceEncoding::Utf8 && !strictUtf8) continue;
    if (favour.claim == kCandidates[k]) bonus[k] += kClaimBonus;
    if (favour.site == kCandidates[k]) bonus[k] += kSiteBonus;
  }
  if (strictUtf8) bonus[2] = std::max(bonus[2], std::max(bonus[0], bonus[1]) - kJapaneseOverUtf8);
  return bonus;
}

// The step-5 costs of the readings, each lowered by its bonus; those of invalid readings mean nothing.
std::array<std::int64_t, 3> costs(const CandidateReadings& readings, const std::array<std::int64_t, 3>& bonus) {
  const ReadingScore* scores[] = {&readings.shiftJis, &readings.eucJp, &readings.utf8};
  std::array<std::int64_t, 3> out{};
  for (std::size_t k = 0; k < 3; ++k) out[k] = static_cast<std::int64_t>(scores[k]->cost) - bonus[k];
  return out;
}
bool isValid(const CandidateReadings& readings, std::size_t k) {
  return (k == 0 ? readings.shiftJis : k == 1 ? readings.eucJp : readings.utf8).valid;
}

// The step-5 choice among the valid readings: the cheapest; on a tie the one with the larger
// bonus, then Shift_JIS, EUC-JP, UTF-8 (UTF-8 when none is valid).
std::size_t cheapest(const CandidateReadings& readings, const std::array<std::int64_t, 3>& bonus) {
  const std::array<std::int64_t, 3> cost = costs(readings, bonus);
  std::optional<std::size_t> best;
  for (std::size_t k = 0; k < 3; ++k) {
    if (isValid(readings, k) && (!best || cost[k] < cost[*best] || (cost[k] == cost[*best] && bonus[k] > bonus[*best])))
      best = k;
  }
  return best.value_or(2);
}

// The valid reading nearest to `chosen` (bonuses counted) if it is all but even with it: within
// kEvenMargin, or `japaneseEven` when the two are Shift_JIS and EUC-JP.
std::optional<std::size_t> allButEven(const CandidateReadings& readings, const std::array<std::int64_t, 3>& bonus,
                                      std::size_t chosen, std::int64_t japaneseEven) {
  const std::array<std::int64_t, 3> cost = costs(readings, bonus);
  std::optional<std::size_t> nearest;
  for (std::size_t k = 0; k < 3; ++k) {
    if (k == chosen || !isValid(readings, k)) continue;
    const std::int64_t even = k != 2 && chosen != 2 ? japaneseEven : kEvenMargin;
    if (cost[k] - cost[chosen] < even && (!nearest || cost[k] < cost[*nearest])) nearest = k;
  }
  return nearest;
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

// Steps 5 and 6, over readings both valid and priced. The other reading is named when the
// evidence overrode the bytes, when the bytes alone did not settle it (a claim that agrees
// with them may be stale), or when the bytes barely outweighed the evidence.
EncodingDecision weigh(const CandidateReadings& readings, const Favour& favour, bool strictUtf8,
                       std::int64_t japaneseEven) {
  const std::array<std::int64_t, 3> none{}, bonus = bonuses(favour, strictUtf8);
  const std::size_t alone = cheapest(readings, none), chosen = cheapest(readings, bonus);
  EncodingDecision decision{kCandidates[chosen], DecisionBasis::Detection};
  if (chosen != alone) {
    decision.basis = favour.claim == decision.encoding ? favour.claimBasis : DecisionBasis::Site;
    decision.otherReading = kCandidates[alone];
  } else if (std::optional<std::size_t> other = allButEven(readings, none, alone, japaneseEven)) {
    decision.otherReading = kCandidates[*other];
  } else if ((other = allButEven(readings, bonus, chosen, japaneseEven))) {
    decision.otherReading = kCandidates[*other];
  }
  return decision;
}

// Steps 5 and 6. With `deferTo`, a text that is Shift_JIS so far (or EUC-JP so far) is taken
// for that encoding without reading the rest and `validityDeferred` set, when the target is another
// encoding (so the converter decodes the text): the detection would say so exactly when every
// byte of it reads as that encoding (encoding_detection.h), which the converter's count of
// malformed bytes tells; that reading is then the only valid one, which no evidence outweighs.
//
// With `deferUtf8`, a text whose start passes the UTF-8 test and that reads neither as
// Shift_JIS nor as EUC-JP is taken for UTF-8 with `utf8Deferred` set: if the whole text is
// UTF-8 (which the caller's strict reading tells), the lead-byte test passes and the Japanese
// readings are invalid, so the answer below is UTF-8 too. The start is looked at first so
// that a Japanese text, whose reading would go to its end, is not read an extra time.
DeferredDecision detect(std::string_view bytes, const Favour& favour, const Deferral& deferral) {
  const std::optional<TargetEncoding> deferTo = deferral.deferTo;
  if (deferral.deferUtf8) {
    constexpr std::size_t kStart = 4096;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t firstHigh = skipAscii(p, 0, bytes.size());
    if (isUtf8Text(bytes.substr(0, firstHigh + kStart))) {
      const CandidateReadings japanese = readCandidates(bytes, false);
      if (!japanese.shiftJis.valid && !japanese.eucJp.valid)
        return {{SourceEncoding::Utf8, DecisionBasis::Detection}, false, true};
    }
  }
  const bool utf8 = isUtf8Text(bytes);
  const bool nearly = !utf8 && nearlyUtf8(bytes, kDetectedPerError);
  std::optional<QuickVerdict> quick;
  if (!utf8 && !nearly) {
    quick = quickVerdict(bytes);
    if (deferTo) {
      if (quick == QuickVerdict::ShiftJisSoFar && *deferTo != TargetEncoding::ShiftJis)
        return {{SourceEncoding::ShiftJis, DecisionBasis::Detection}, true};
      if (quick == QuickVerdict::EucJpSoFar && *deferTo != TargetEncoding::EucJp)
        return {{SourceEncoding::EucJp, DecisionBasis::Detection}, true};
    }
    // A text that is Shift_JIS or EUC-JP so far has at most one valid reading, which no
    // evidence outweighs: the detection tells it, or the lesser evil of two broken ones.
    if (quick != QuickVerdict::Undecided && quick != QuickVerdict::Iso2022Jp)
      return {{fromInput(detectInputEncoding(bytes)), DecisionBasis::Detection}};
  }
  if (!utf8 && (quick ? *quick : quickVerdict(bytes)) == QuickVerdict::Iso2022Jp)
    return {{SourceEncoding::Iso2022Jp, DecisionBasis::Detection}};
  const CandidateReadings readings = readCandidates(bytes, utf8 || nearly);
  if (!readings.shiftJis.valid && !readings.eucJp.valid) {
    return {{utf8 || nearly ? SourceEncoding::Utf8 : fromInput(detectInputEncoding(bytes)), DecisionBasis::Detection}};
  }
  return {weigh(readings, favour, utf8, japaneseEvenMargin(bytes))};
}

}  // namespace

bool countsForSite(const EncodingDecision& decision) {
  return decision.basis != DecisionBasis::WrittenByThisRun && decision.basis != DecisionBasis::WrittenEarlier &&
         decision.basis != DecisionBasis::Site && tallyIndex(decision.encoding) >= 0;
}

void SiteTally::add(const EncodingDecision& decision) {
  if (countsForSite(decision)) ++counts_[static_cast<std::size_t>(tallyIndex(decision.encoding))];
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

// The decision; with `deferTo`, the document's own declaration of a Japanese encoding other
// than the target's is taken unread and `validityDeferred` set (decideSourceEncodingDeferred).
DeferredDecision decide(std::string_view bytes, const EncodingEvidence& evidence, const Deferral& deferral) {
  const std::optional<TargetEncoding> deferTo = deferral.deferTo;
  // 1. The content itself.
  if (evidence.utf16 != Utf16Origin::None) {
    return {{SourceEncoding::Utf16,
             evidence.utf16 == Utf16Origin::ByteOrderMark ? DecisionBasis::ByteOrderMark : DecisionBasis::Utf16Shape}};
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return {{SourceEncoding::Utf8, DecisionBasis::ByteOrderMark}};
  // 2. What runs wrote.
  if (evidence.writtenByThisRun)
    return {{sourceEncodingOf(*evidence.writtenByThisRun), DecisionBasis::WrittenByThisRun}};
  if (evidence.writtenEarlier) return {{sourceEncodingOf(*evidence.writtenEarlier), DecisionBasis::WrittenEarlier}};
  if (evidence.named) return {{*evidence.named, DecisionBasis::Named}};
  // 3. ASCII alone; seven-bit text with ISO-2022-JP escape sequences is ISO-2022-JP whatever
  // it declares (the escape sequences are no other encoding's characters).
  if (isAsciiOnly(bytes)) {
    const bool iso2022 = quickVerdict(bytes) == QuickVerdict::Iso2022Jp;
    return {{iso2022 ? SourceEncoding::Iso2022Jp : SourceEncoding::Ascii, DecisionBasis::Detection}};
  }
  // 4. The rules; a module script is read as UTF-8 whatever it holds.
  if (evidence.moduleScript) return {{SourceEncoding::Utf8, DecisionBasis::LoadingElement}};
  const std::optional<SourceEncoding> own = encodingOfLabel(evidence.declared);
  if (own && deferTo && (own == SourceEncoding::ShiftJis || own == SourceEncoding::EucJp) &&
      own != sourceEncodingOf(*deferTo)) {
    return {{*own, DecisionBasis::Declaration}, true};
  }
  // A strict reading without a malformed sequence proves the lead-byte test; with one, the
  // caller decides again in full.
  if (own == SourceEncoding::Utf8 && deferral.deferUtf8) return {{*own, DecisionBasis::Declaration}, false, true};
  if (own && (readsAs(bytes, *own) || (own == SourceEncoding::Utf8 && nearlyUtf8(bytes, kDeclaredPerError) &&
                                       !readsAsShiftJis(bytes) && !readsAsEucJp(bytes))))
    return {{*own, DecisionBasis::Declaration}};
  Favour favour;
  favour.site = evidence.site.majority();
  if (std::optional<SourceEncoding> element = encodingOfLabel(evidence.loaderCharset)) {
    favour.claim = element;
    favour.claimBasis = DecisionBasis::LoadingElement;
  } else if (evidence.loadingPage != SourceEncoding::Ascii) {
    favour.claim = evidence.loadingPage;
  }
  if (favour.claim == SourceEncoding::Utf16)
    favour.claim = SourceEncoding::Utf8;  // what browsers lend a UTF-16 page's files
  if (favour.claim == SourceEncoding::Latin1) return {{SourceEncoding::Latin1, favour.claimBasis}};
  // 5 and 6. The bytes, with the evidence weighed.
  return detect(bytes, favour, deferral);
}

}  // namespace

EncodingDecision decideSourceEncoding(std::string_view bytes, const EncodingEvidence& evidence) {
  return decide(bytes, evidence, {}).decision;
}

DeferredDecision decideSourceEncodingDeferred(std::string_view bytes, const EncodingEvidence& evidence,
                                              TargetEncoding target, bool utf8ReadStrictly) {
  return decide(bytes, evidence, {target, utf8ReadStrictly});
}

}  // namespace sarnavel
