// The source-encoding decision: each piece of evidence, strongest first, counts only when the
// bytes are valid in the encoding it names; what loads the file is weighed, never obeyed.
#include "engine/encoding_decision.h"

#include <gtest/gtest.h>

#include "support/targets.h"

#include <string>

namespace sarnavel {

void PrintTo(const EncodingDecision& d, std::ostream* out) {
  *out << "{encoding " << static_cast<int>(d.encoding) << ", basis " << static_cast<int>(d.basis);
  if (d.otherReading) *out << ", or " << static_cast<int>(*d.otherReading);
  *out << "}";
}

namespace {

using namespace std::string_literals;
using E = SourceEncoding;
using B = DecisionBasis;

EncodingEvidence site(E encoding, int files = 3) {
  EncodingEvidence e;
  for (int k = 0; k < files; ++k) e.site.add({encoding, B::Declaration});
  return e;
}
EncodingEvidence declared(std::string label) {
  EncodingEvidence e;
  e.declared = std::move(label);
  return e;
}
EncodingEvidence loadedBy(std::string charset, std::optional<E> page) {
  EncodingEvidence e;
  e.loaderCharset = std::move(charset);
  e.loadingPage = page;
  return e;
}
EncodingEvidence written(TargetEncoding target) {
  EncodingEvidence e;
  e.writtenByThisRun = target;
  return e;
}
EncodingEvidence named(E encoding, EncodingEvidence e = declared("utf-8")) {
  e.named = encoding;
  return e;
}
EncodingEvidence rememberedAs(TargetEncoding target) {
  EncodingEvidence e = loadedBy("utf-8", E::Utf8);
  e.writtenEarlier = target;
  return e;
}

TEST(EncodingDecision, StrongestValidEvidenceDecides) {
  const std::string hyo = "var s = \"\xC9\xBD\";";  // 表 in EUC-JP; U+027D in UTF-8; ﾉｽ in Shift_JIS
  const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語 in UTF-8
  const std::string sha = "s=\"\x8E\xD0\x97\xCD\x97\x5C\";";           // 社力予 in Shift_JIS (UTF-8: malformed)
  const std::string shaUtf8 = "\xE8\xA6\x81\xE6\xBC\xA2";              // 要漢 in UTF-8 (Shift_JIS: 隕∵ｼ｢)
  const std::string even = "\xE0\xA1";                                 // a rare kanji in both Shift_JIS and EUC-JP
  EncodingEvidence fromUtf16;
  fromUtf16.utf16 = Utf16Origin::Shape;
  EncodingEvidence module = declared("euc-jp");
  module.moduleScript = true;
  EncodingEvidence split = site(E::EucJp, 1);
  split.site.add({E::Utf8, B::Detection});
  const struct {
    const char* what;
    std::string bytes;
    EncodingEvidence evidence;
    EncodingDecision decision;
  } cases[] = {
      {"UTF-16 the driver recognised", hyo, fromUtf16, {E::Utf16, B::Utf16Shape}},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + hyo, declared("euc-jp"), {E::Utf8, B::ByteOrderMark}},
      {"written by this run in EUC-JP", hyo, written(TargetEncoding::EucJp), {E::EucJp, B::WrittenByThisRun}},
      {"written by an earlier run, whatever loads it",
       shaUtf8,
       rememberedAs(TargetEncoding::ShiftJis),
       {E::ShiftJis, B::WrittenEarlier}},
      // The encoding the user named yields only to a mark and to what runs wrote; it holds
      // over bytes that are no characters of it (the driver leaves such a file).
      {"named, over a declaration", hyo, named(E::ShiftJis), {E::ShiftJis, B::Named}},
      {"named, over bytes invalid in it", "\x93\xFA\x96\x7B", named(E::EucJp), {E::EucJp, B::Named}},
      {"named, under a mark", "\xEF\xBB\xBF" + hyo, named(E::EucJp), {E::Utf8, B::ByteOrderMark}},
      {"named, under a run's write",
       hyo,
       named(E::ShiftJis, written(TargetEncoding::Utf8)),
       {E::Utf8, B::WrittenByThisRun}},
      {"ASCII alone, whatever it declares", "p{}", declared("euc-jp"), {E::Ascii, B::Detection}},
      {"ISO-2022-JP, whatever declared", "\x1B$B$\"\x1B(B", declared("shift_jis"), {E::Iso2022Jp, B::Detection}},
      {"JIS-Roman alone is ISO-2022-JP too", "\x1B(J\\100\x1B(B", {}, {E::Iso2022Jp, B::Detection}},
      {"its own declaration", hyo, declared(" \"Shift_JIS\" "), {E::ShiftJis, B::Declaration}},
      {"an invalid declaration passes", "\x93\xFA\x96\x7B", declared("utf-8"), {E::ShiftJis, B::Detection}},
      // UTF-8 but for a stray byte: browsers read it as declared, with one U+FFFD; not so a text
      // that is valid Shift_JIS.
      {"a UTF-8 declaration over a stray byte", "\xE6\x97\xA5 \xFF", declared("utf-8"), {E::Utf8, B::Declaration}},
      {"no U+FFFD of valid Shift_JIS", "\xE6\x97\xA5 \xC3'", declared("utf-8"), {E::ShiftJis, B::Detection}},
      {"a module script is UTF-8 whatever it holds", hyo, module, {E::Utf8, B::LoadingElement}},
      {"a Latin-1 declaration always holds", hyo, declared("windows-1252"), {E::Latin1, B::Declaration}},
      {"an unknown label names nothing", hyo, declared("x-unknown"), {E::EucJp, B::Detection}},
      {"a Latin-1 page's file", hyo, loadedBy("", E::Latin1), {E::Latin1, B::LoadingPage}},
      // What loads the file tips a close call, and the reading the bytes preferred is named.
      {"the loading element's charset", hyo, loadedBy("x-sjis", E::Utf8), {E::ShiftJis, B::LoadingElement, E::EucJp}},
      {"the loading page's encoding", hyo, loadedBy("", E::Utf8), {E::Utf8, B::LoadingPage, E::EucJp}},
      {"a UTF-16 page lends UTF-8", hyo, loadedBy("", E::Utf16), {E::Utf8, B::LoadingPage, E::EucJp}},
      {"the loading element before the page", hyo, loadedBy("euc-jp", E::Latin1), {E::EucJp, B::Detection}},
      // ...but a claim is no trump: its page may have been converted before its files, or after.
      {"a Shift_JIS page's script in UTF-8",
       "s=\"" + shaUtf8 + "\";",
       loadedBy("", E::ShiftJis),
       {E::Utf8, B::Detection}},
      {"a UTF-8 element over a Shift_JIS script", sha, loadedBy("UTF-8", E::Utf8), {E::ShiftJis, B::Detection}},
      {"the site tips a close call", "\"\xC2\xB7\"", site(E::EucJp), {E::EucJp, B::Site, E::Utf8}},
      {"the site leaves a clear one", "\"\xC2\xB7\"", site(E::Utf8), {E::Utf8, B::Detection}},
      {"no majority, no site", "\"\xC2\xB7\"", split, {E::Utf8, B::Detection}},
      {"the site is not asked when its reading is invalid", "\xE6\x97\xA5", site(E::EucJp), {E::Utf8, B::Detection}},
      // Without evidence: the cheapest valid reading; an all but even one names the other.
      {"an EUC-JP kanji that UTF-8 reads as an IPA letter", hyo, {}, {E::EucJp, B::Detection}},
      {"an EUC-JP kanji that UTF-8 reads as an overlong form", "\"\xC1\xB0\"", {}, {E::EucJp, B::Detection}},
      {"truly even", even, {}, {E::ShiftJis, B::Detection, E::EucJp}},
      // EUC-JP kanji against the half-width letters Shift_JIS makes of them: words are priced
      // letter by letter, and a short text whose readings lie close is named uncertain, even
      // when what loads it agrees with the bytes (the page may be older than the file).
      {"a half-width word", "s=\"\xC3\xDE\xB0\xC0\";", {}, {E::ShiftJis, B::Detection}},
      {"no word opens with the long-vowel mark", "s=\"\xB0\xB2\";", {}, {E::EucJp, B::Detection}},
      {"no sound mark after a letter that takes none", "s=\"\xC4\xDF\";", {}, {E::EucJp, B::Detection}},
      {"three rare kanji, close", "s=\"\xB8\xA4\xB1\xC0\xB3\xA4\";", {}, {E::EucJp, B::Detection, E::ShiftJis}},
      {"one kanji as two likely letters, the page agreeing",
       "s=\"\xCE\xBD\";",
       loadedBy("", E::ShiftJis),
       {E::ShiftJis, B::Detection, E::EucJp}},
      {"a Latin letter inside a word", "s=\"caf\xC3\xA9\";", {}, {E::Utf8, B::Detection}},
      {"Shift_JIS", "\x93\xFA\x96\x7B", {}, {E::ShiftJis, B::Detection}},
      // Undeclared, UTF-8 with a few malformed sequences is a reading of its own.
      {"UTF-8 but for one stray byte", nihongo + nihongo + nihongo + " \xFF", {}, {E::Utf8, B::Detection}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decideSourceEncoding(c.bytes, c.evidence), c.decision) << c.what;
  }
}

TEST(EncodingDecision, TheSiteCountsOnlyWhatSaysSomethingAboutIt) {
  SiteTally tally;
  tally.add({E::EucJp, B::WrittenByThisRun});
  tally.add({E::EucJp, B::Site});
  tally.add({E::Ascii, B::Detection});
  tally.add({E::Latin1, B::Declaration});
  EXPECT_EQ(tally.majority(), std::nullopt);
  tally.add({E::ShiftJis, B::Detection});
  EXPECT_EQ(tally.majority(), E::ShiftJis);
  tally.add({E::Utf8, B::ByteOrderMark});
  EXPECT_EQ(tally.majority(), std::nullopt);  // one each: no majority
}

}  // namespace
}  // namespace sarnavel
