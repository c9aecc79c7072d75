#include "engine/encoding_detection.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "text/ascii.h"
#include "text/cp932.h"
#include "text/euc_jp.h"
#include "text/iso2022.h"
#include "text/jis.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// Costs in half-nats (-2 ln p) of one character of each kind in Japanese prose.
constexpr std::uint8_t kJisCharacterCost[94 * 94] = {
#include "engine/jis_character_cost.inc"
};
constexpr std::uint32_t kUserDefinedCost = 60;  // rows 95-114: almost never in documents
// IBM extensions, rows 115-120: rare, but a little less so than an unseen JIS character, the
// cost of their NEC-selected twins when the same bytes are read as EUC-JP.
constexpr std::uint32_t kVendorCost = 33;
constexpr std::uint32_t kJis0212Cost = 40;  // EUC-JP supplementary kanji
// Half-width katakana spell whole words, letter by letter: -2 ln p(next | previous) within a
// word (halfwidth_katakana_cost.inc). Row 0 is the start of a run, row k the letter 0xA0 + k;
// column k - 1 the letter 0xA0 + k, column 63 the end of the run.
constexpr std::uint8_t kHalfWidthCost[64][64] = {
#include "engine/halfwidth_katakana_cost.inc"
};
// That a run starts at all: half-width katakana are rare in Japanese text, -2 ln 0.007.
constexpr std::uint32_t kHalfWidthRunCost = 10;
constexpr std::uint8_t kNoCharacter = 255;

struct Model {
  // The cost of each Shift_JIS double-byte code (lead << 8 | trail); kNoCharacter when the
  // code has none. EUC-JP rows 1-94 are looked up through their Shift_JIS code.
  std::array<std::uint8_t, 0x10000> sjisCost;
  // Whether each Shift_JIS double-byte code has a character, one bit each: the same answers as
  // sjisCost in an eighth of the room, for the scans that only ask whether a text is well-formed.
  std::array<std::uint64_t, 0x10000 / 64> sjisHasCharacter;
  bool hasCharacter(std::uint8_t lead, std::uint8_t trail) const {
    const unsigned code = static_cast<unsigned>(lead) << 8 | trail;
    return (sjisHasCharacter[code / 64] >> (code % 64)) & 1;
  }
  // The same costs for EUC-JP rows 1-94, indexed by (row - 1) * 94 + cell - 1: small enough
  // to stay in the first-level cache while a text is read.
  std::array<std::uint8_t, 94 * 94> eucCost;
  // Bytes that never occur in EUC-JP text (0x80-0x8D, 0x90-0xA0, 0xFF).
  std::array<bool, 256> impossibleInEuc;
};

std::unique_ptr<Model> buildModel() {
  auto m = std::make_unique<Model>();
  m->sjisCost.fill(kNoCharacter);
  for (unsigned code = 0x8140; code <= 0xFCFC; ++code) {
    auto lead = static_cast<std::uint8_t>(code >> 8), trail = static_cast<std::uint8_t>(code);
    if (!cp932::isLeadByte(lead) || !cp932::isTrailByte(trail)) continue;
    if (cp932::toUnicode(static_cast<std::uint16_t>(code)) == cp932::kNoUnit) continue;
    jis::Position p = jis::fromShiftJis(lead, trail);
    std::uint32_t cost = p.row <= 94    ? kJisCharacterCost[(p.row - 1) * 94 + p.cell - 1]
                         : p.row <= 114 ? kUserDefinedCost
                                        : kVendorCost;
    m->sjisCost[code] = static_cast<std::uint8_t>(cost);
  }
  m->sjisHasCharacter.fill(0);
  for (unsigned code = 0; code < 0x10000; ++code) {
    if (m->sjisCost[code] != kNoCharacter) m->sjisHasCharacter[code / 64] |= std::uint64_t{1} << (code % 64);
  }
  for (std::uint8_t row = 1; row <= 94; ++row) {
    for (std::uint8_t cell = 1; cell <= 94; ++cell)
      m->eucCost[(row - 1) * 94 + cell - 1] = m->sjisCost[jis::toShiftJis({row, cell})];
  }
  m->impossibleInEuc.fill(false);
  for (unsigned b = 0x80; b <= 0xA0; ++b) m->impossibleInEuc[b] = b != 0x8E && b != 0x8F;
  m->impossibleInEuc[0xFF] = true;
  return m;
}

const Model& model() {
  static const std::unique_ptr<Model> instance = buildModel();
  return *instance;
}

struct Reading {
  std::size_t errors = 0;
  std::uint64_t cost = 0;
};

// The cost of the half-width katakana of a reading, run by run: a run that starts, letters that
// follow one another as they do in words or as they never do (a sound mark after a letter that
// takes none, the long-vowel mark opening a word), and how it ends.
class HalfWidthRun {
 public:
  std::uint32_t letter(std::uint8_t b) {
    const std::uint32_t cost = (previous_ == 0 ? kHalfWidthRunCost : 0) + kHalfWidthCost[previous_][b - 0xA1];
    previous_ = b - 0xA0u;
    return cost;
  }
  std::uint32_t end() {
    const std::uint32_t cost = previous_ == 0 ? 0 : kHalfWidthCost[previous_][63];
    previous_ = 0;
    return cost;
  }

 private:
  unsigned previous_ = 0;  // 0 outside a run, else the last letter's byte - 0xA0
};

// How the readings step over ASCII: plainly, or watching every escape byte on the way for a
// designation of a Japanese set, so that step 1 costs no pass of its own. A watching skip that
// meets such a designation says so and ends the text there.
struct AsciiSkip {
  std::string_view text;
  bool watch = false;
  bool designation = false;
  std::size_t operator()(const std::uint8_t* p, std::size_t i, std::size_t n) {
    if (!watch) return skipAscii(p, i, n);
    while ((i = asciiRunEndAt(p, i, n, 0x1B)) < n && p[i] == 0x1B) {
      const std::optional<Designation> d = designationAt(text, i);
      if (d && isNonAsciiSet(d->set)) {
        designation = true;
        return n;
      }
      ++i;
    }
    return i;
  }
};

Reading readAsShiftJis(const std::uint8_t* p, std::size_t n, const Model& m, bool stopAtError = false) {
  Reading r;
  HalfWidthRun run;
  for (std::size_t i = 0; i < n;) {
    std::uint8_t b = p[i];
    if (b >= 0xA1 && b <= 0xDF) {
      r.cost += run.letter(b);
      ++i;
      continue;
    }
    r.cost += run.end();
    if (b < 0x80) {
      i = skipAscii(p, i, n);
    } else if (cp932::isLeadByte(b) && i + 1 < n && m.sjisCost[b << 8 | p[i + 1]] != kNoCharacter) {
      r.cost += m.sjisCost[b << 8 | p[i + 1]];
      i += 2;
    } else {
      ++r.errors;
      if (stopAtError) return r;
      i += cp932::isLeadByte(b) && i + 1 < n && cp932::isTrailByte(p[i + 1]) ? 2 : 1;
    }
  }
  return r;
}

Reading readAsEucJp(const std::uint8_t* p, std::size_t n, const Model& m, bool stopAtError = false,
                    AsciiSkip* watch = nullptr) {
  Reading r;
  HalfWidthRun run;
  for (std::size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      r.cost += run.end();
      i = watch != nullptr ? (*watch)(p, i, n) : skipAscii(p, i, n);
      if (stopAtError && r.errors > 0) return r;
      continue;
    }
    // JIS X 0208, most of an EUC-JP text, read here; the rest as eucSequenceAt says.
    if (jis::isEucByte(p[i]) && n - i >= 2 && jis::isEucByte(p[i + 1])) {
      const std::uint8_t cost = m.eucCost[(p[i] - 0xA1) * 94 + p[i + 1] - 0xA1];
      r.cost += run.end();
      if (cost == kNoCharacter) ++r.errors;
      else r.cost += cost;
      i += 2;
      if (stopAtError && r.errors > 0) return r;
      continue;
    }
    const EucSequence s = eucSequenceAt(p + i, n - i);
    if (s.kind != EucKind::Katakana) r.cost += run.end();
    if (s.kind == EucKind::Jis0208) {
      const std::uint8_t cost = m.sjisCost[jis::toShiftJis(s.position)];
      if (cost == kNoCharacter) ++r.errors;
      else r.cost += cost;
    } else if (s.kind == EucKind::Katakana) {
      r.cost += run.letter(s.kana);
    } else if (s.kind == EucKind::Jis0212) {
      if (jis::jis0212ToUnicode(s.position) == 0xFFFF) ++r.errors;
      else r.cost += kJis0212Cost;
    } else {
      ++r.errors;
    }
    i += s.length;
    if (stopAtError && r.errors > 0) return r;
  }
  return r;
}

// What a character of a UTF-8 reading costs when code page 932 does not hold it. A Japanese
// site written in UTF-8 holds mostly what code page 932 has (those cost what they cost in the
// other readings), then Latin letters inside foreign words (café, naïve), common symbols (©,
// €, “”), emoji, and almost never IPA letters, combining marks, Hebrew, Arabic or C1 controls:
// exactly what the bytes of a short EUC-JP or Shift_JIS text become when read as UTF-8.
constexpr std::uint32_t kLatinInWordCost = 8;       // next to another letter: part of a word
constexpr std::uint32_t kLatin1AloneCost = 16;      // é, ü, ñ by themselves
constexpr std::uint32_t kOtherLatinAloneCost = 34;  // ŀ, ǅ by themselves: as rare as an unseen kanji
constexpr std::uint32_t kCommonSymbolCost = 16;
constexpr std::uint32_t kEmojiCost = 24;
constexpr std::uint32_t kOtherScriptCost = 30;  // CJK and Hangul outside code page 932
constexpr std::uint32_t kUnlikelyCost = 40;
constexpr std::uint32_t kMalformedCost = 60;  // overlong, surrogate, beyond U+10FFFF: no writer makes these

bool isLatinLetter(char32_t c) {
  return (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF);
}
bool isAsciiLetter(std::uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

std::uint32_t foreignCost(char32_t c) {
  if (c < 0xA0) return kUnlikelyCost;  // C1 controls
  if (c <= 0xBF || (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) || (c >= 0x20A0 && c <= 0x20CF) ||
      (c >= 0x2100 && c <= 0x21FF))
    return kCommonSymbolCost;
  if ((c >= 0x2300 && c <= 0x2BFF) || (c >= 0x1F000 && c <= 0x1FAFF)) return kEmojiCost;
  if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF))
    return kOtherScriptCost;
  return kUnlikelyCost;
}

// The UTF-8 reading of a text, read strictly: what its characters cost. Malformed sequences
// (also those the lead-byte test lets through: overlong forms, surrogates) cost most.
Reading readAsUtf8(const std::uint8_t* p, std::size_t n, const Model& m) {
  Reading r;
  HalfWidthRun run;
  bool previousIsLetter = false;
  for (std::size_t i = 0; i < n;) {
    std::uint8_t b = p[i];
    if (b < 0x80) {
      std::size_t next = skipAscii(p, i, n);
      previousIsLetter = isAsciiLetter(p[next - 1]);
      r.cost += run.end();
      i = next;
      continue;
    }
    char32_t c = 0;
    std::size_t errorLength = 1;
    const std::size_t length = readUtf8Sequence(p + i, n - i, c, errorLength);
    const bool malformed = length == 0;
    i += malformed ? errorLength : length;
    std::uint16_t code = malformed || c > 0xFFFF ? cp932::kNoCode : cp932::fromUnicode(static_cast<char16_t>(c));
    if (code != cp932::kNoCode && code >= 0xA1 && code <= 0xDF) {
      r.cost += run.letter(static_cast<std::uint8_t>(code));
      previousIsLetter = false;
      continue;
    }
    r.cost += run.end();
    bool letter = false;
    if (malformed) {
      r.cost += kMalformedCost;
    } else if (code != cp932::kNoCode && code >= 0x100) {
      r.cost += m.sjisCost[code] == kNoCharacter ? kUnlikelyCost : m.sjisCost[code];
    } else if (isLatinLetter(c)) {
      letter = true;
      const bool nextIsLetter = i < n && (isAsciiLetter(p[i]) || (p[i] >= 0xC3 && p[i] <= 0xC9) || p[i] == 0xE1);
      r.cost += previousIsLetter || nextIsLetter ? kLatinInWordCost
                : c <= 0xFF                      ? kLatin1AloneCost
                                                 : kOtherLatinAloneCost;
    } else {
      r.cost += code != cp932::kNoCode ? kUnlikelyCost : foreignCost(c);
    }
    previousIsLetter = letter;
  }
  return r;
}

// Reads the text as Shift_JIS from `from` while every lead byte has its trail byte and every
// code its character, up to the first byte EUC-JP never uses. Returns where it stopped and
// whether that byte was found.
struct ShiftJisScan {
  std::size_t stoppedAt = 0;
  bool wellFormed = false;       // no malformed byte before stoppedAt
  bool impossibleInEuc = false;  // a byte EUC-JP never uses was seen (the scan stopped after it)
};
ShiftJisScan scanShiftJisToEvidence(const std::uint8_t* p, std::size_t from, std::size_t n, const Model& m,
                                    AsciiSkip& skip) {
  for (std::size_t i = skip(p, from, n); i < n; i = skip(p, i, n)) {
    // A run of Japanese characters, up to the next ASCII byte.
    do {
      const std::uint8_t b = p[i];
      bool impossibleInEuc = m.impossibleInEuc[b];
      if (b >= 0xA1 && b <= 0xDF) {
        ++i;
      } else if (n - i >= 2 && m.hasCharacter(b, p[i + 1])) {
        impossibleInEuc = impossibleInEuc || m.impossibleInEuc[p[i + 1]];
        i += 2;
      } else {
        return {i, false, impossibleInEuc};
      }
      if (impossibleInEuc) return {i, true, true};
    } while (i < n && p[i] >= 0x80);
  }
  return {n, true, false};
}

// Whether p[from, n) reads as Shift_JIS: every lead byte has its trail byte and every code its
// character (what scanShiftJisToEvidence finds, without stopping at evidence).
bool shiftJisWellFormed(const std::uint8_t* p, std::size_t from, std::size_t n, const Model& m, AsciiSkip& skip) {
  for (std::size_t i = skip(p, from, n); i < n; i = skip(p, i, n)) {
    do {
      const std::uint8_t b = p[i];
      if (b >= 0xA1 && b <= 0xDF) {
        ++i;
        continue;
      }
      if (n - i < 2 || !m.hasCharacter(b, p[i + 1])) return false;
      i += 2;
    } while (i < n && p[i] >= 0x80);
  }
  return true;
}

// Any designation but ASCII's: JIS-Roman alone (ESC ( J) makes ISO-2022-JP too, whose 0x5C and
// 0x7E browsers then show as the yen sign and the overline.
bool hasJapaneseDesignation(std::string_view text) {
  for (std::size_t i = text.find('\x1B'); i != std::string_view::npos; i = text.find('\x1B', i + 1)) {
    const std::optional<Designation> designation = designationAt(text, i);
    if (designation && designation->set != Iso2022Set::Ascii) return true;
  }
  return false;
}

}  // namespace

bool readsAsShiftJis(std::string_view text) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  AsciiSkip plain;
  return shiftJisWellFormed(p, 0, text.size(), model(), plain);
}

bool readsAsEucJp(std::string_view text) {
  return readAsEucJp(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), model(), true).errors == 0;
}

CandidateReadings readCandidates(std::string_view text, bool utf8) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  const Model& m = model();
  CandidateReadings out;
  Reading sjis = readAsShiftJis(p, n, m, true);
  Reading euc = readAsEucJp(p, n, m, true);
  out.shiftJis = {sjis.errors == 0, sjis.cost};
  out.eucJp = {euc.errors == 0, euc.cost};
  // The UTF-8 reading only matters when another reading is valid too.
  if (utf8 && (out.shiftJis.valid || out.eucJp.valid)) out.utf8 = {true, readAsUtf8(p, n, m).cost};
  else out.utf8 = {utf8, 0};
  return out;
}

QuickVerdict quickVerdict(std::string_view text) {
  if (hasJapaneseDesignation(text)) return QuickVerdict::Iso2022Jp;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  const std::size_t firstHigh = skipAscii(p, 0, n);
  if (firstHigh == n) return QuickVerdict::Ascii;
  AsciiSkip plain;
  const ShiftJisScan scan = scanShiftJisToEvidence(p, firstHigh, n, model(), plain);
  if (!scan.wellFormed && !scan.impossibleInEuc) return QuickVerdict::EucJpSoFar;
  return scan.wellFormed && scan.impossibleInEuc ? QuickVerdict::ShiftJisSoFar : QuickVerdict::Undecided;
}

// The steps in the order the design note gives, each reading taken only as far as the verdict
// needs it: a Shift_JIS text is read once, an EUC-JP text once after the first few characters
// of the Shift_JIS scan, and the escape bytes are looked at on the way (a separate search for
// them only when no reading went to the end). Counting every error and every cost of both
// readings is left to texts that are broken in both, or valid in both.
InputEncoding detectInputEncoding(std::string_view text) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  const Model& m = model();
  AsciiSkip watch{text, true};
  const std::size_t firstHigh = watch(p, 0, n);
  if (watch.designation) return InputEncoding::Iso2022Jp;
  if (firstHigh == n) return InputEncoding::Ascii;
  const ShiftJisScan quick = scanShiftJisToEvidence(p, firstHigh, n, m, watch);
  if (watch.designation) return InputEncoding::Iso2022Jp;
  bool shiftJisValid = quick.wellFormed;
  bool everyEscapeSeen = quick.wellFormed && !quick.impossibleInEuc;  // the scan went to the end
  if (quick.wellFormed && quick.impossibleInEuc) {
    // Well-formed up to a byte EUC-JP never uses: Shift_JIS if the rest is well-formed too.
    shiftJisValid = shiftJisWellFormed(p, quick.stoppedAt, n, m, watch);
    if (watch.designation) return InputEncoding::Iso2022Jp;
    if (shiftJisValid) return InputEncoding::ShiftJis;
  }
  // Fewer errors win, then the cheaper reading; a tie goes to Shift_JIS.
  const Reading euc = readAsEucJp(p, n, m, true, &watch);
  if (watch.designation) return InputEncoding::Iso2022Jp;
  const bool eucValid = euc.errors == 0;
  if (!everyEscapeSeen && !eucValid && hasJapaneseDesignation(text)) return InputEncoding::Iso2022Jp;
  if (shiftJisValid != eucValid) return shiftJisValid ? InputEncoding::ShiftJis : InputEncoding::EucJp;
  if (shiftJisValid) return euc.cost < readAsShiftJis(p, n, m).cost ? InputEncoding::EucJp : InputEncoding::ShiftJis;
  const Reading sjisErrors = readAsShiftJis(p, n, m);
  const Reading eucErrors = readAsEucJp(p, n, m);
  if (sjisErrors.errors != eucErrors.errors)
    return sjisErrors.errors < eucErrors.errors ? InputEncoding::ShiftJis : InputEncoding::EucJp;
  return eucErrors.cost < sjisErrors.cost ? InputEncoding::EucJp : InputEncoding::ShiftJis;
}

}  // namespace sarnavel
