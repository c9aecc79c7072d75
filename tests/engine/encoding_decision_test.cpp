// The source-encoding decision: each piece of evidence, strongest first, counts only when the
// bytes are valid in the encoding it names.
#include "engine/encoding_decision.h"

#include <gtest/gtest.h>

#include "support/targets.h"

#include <string>

namespace sarnavel {
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

TEST(EncodingDecision, StrongestValidEvidenceDecides) {
  const std::string hyo = "var s = \"\xC9\xBD\";";  // 表 in EUC-JP; U+027D in UTF-8; ﾉｽ in Shift_JIS
  const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語 in UTF-8
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
      {"ASCII alone, whatever it declares", "p{}", declared("euc-jp"), {E::Ascii, B::Detection}},
      {"ISO-2022-JP, whatever declared", "\x1B$B$\"\x1B(B", declared("shift_jis"), {E::Iso2022Jp, B::Detection}},
      {"JIS-Roman alone is ISO-2022-JP too", "\x1B(J\\100\x1B(B", {}, {E::Iso2022Jp, B::Detection}},
      {"its own declaration", hyo, declared(" \"Shift_JIS\" "), {E::ShiftJis, B::Declaration}},
      {"an invalid declaration passes", "\x93\xFA\x96\x7B", declared("utf-8"), {E::ShiftJis, B::Detection}},
      // UTF-8 but for a stray byte: browsers read it as declared, with one U+FFFD.
      {"a UTF-8 declaration over a stray byte", "\xE6\x97\xA5 \xFF", declared("utf-8"), {E::Utf8, B::Declaration}},
      {"UTF-8 loading page, stray byte", "\xE6\x97\xA5 \xC3'", loadedBy("", E::Utf8), {E::Utf8, B::LoadingPage}},
      {"a module script is UTF-8 whatever it holds", hyo, module, {E::Utf8, B::LoadingElement}},
      {"a Latin-1 declaration always holds", hyo, declared("windows-1252"), {E::Latin1, B::Declaration}},
      {"an unknown label names nothing", hyo, declared("x-unknown"), {E::EucJp, B::Detection}},
      {"the loading element's charset", hyo, loadedBy("x-sjis", E::Utf8), {E::ShiftJis, B::LoadingElement}},
      {"the loading page's encoding", hyo, loadedBy("", E::Utf8), {E::Utf8, B::LoadingPage}},
      {"a UTF-16 page lends UTF-8", hyo, loadedBy("", E::Utf16), {E::Utf8, B::LoadingPage}},
      {"a Latin-1 page's file", hyo, loadedBy("", E::Latin1), {E::Latin1, B::LoadingPage}},
      {"the loading element before the page", hyo, loadedBy("euc-jp", E::Latin1), {E::EucJp, B::LoadingElement}},
      {"the site tips a close call", "\"\xC2\xB7\"", site(E::EucJp), {E::EucJp, B::Site}},
      {"the site leaves a clear one", "\"\xC2\xB7\"", site(E::Utf8), {E::Utf8, B::Detection}},
      {"no majority, no site", "\"\xC2\xB7\"", split, {E::Utf8, B::Detection}},
      {"the site is not asked when its reading is invalid", "\xE6\x97\xA5", site(E::EucJp), {E::Utf8, B::Detection}},
      // Without evidence: the cheapest valid reading.
      {"an EUC-JP kanji that UTF-8 reads as an IPA letter", hyo, {}, {E::EucJp, B::Detection}},
      {"an EUC-JP kanji that UTF-8 reads as an overlong form", "\"\xC1\xB0\"", {}, {E::EucJp, B::Detection}},
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
