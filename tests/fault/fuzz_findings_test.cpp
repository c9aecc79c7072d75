// Findings of the fuzz targets (fuzz/), kept as regression tests of the ordinary suite.
#include "engine/converter.h"
#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/target_options.h"
#include "fault/fault_support.h"
#include "run/reference_files.h"
#include "support/memory_resolver.h"
#include "support/targets.h"

namespace sarnavel::fault {
namespace {

std::string convertPage(std::string page, int target) {
  ConversionOptions options;
  options.targetEncoding = testing::asTarget(target);
  (void)convertHtml(page, options, testing::NoFiles());
  return page;
}

// Finding of fuzz_page (fuzz/findings/page/title-before-last-head): a page whose title starts
// before its (last) head start tag gets its new content-type declaration right after that
// head tag, so after the title; converting the result again moves the declaration before the
// title, so a second conversion changes the page.
// Input (hex): 3C68746D6C3E3C7469746C653E783C2F7469746C653E3C686561643E3C2F686561643E3C2F68746D6C3E
//   <html><title>x</title><head></head></html>
// First conversion (Shift_JIS):  <html><title>x</title><head><meta ... charset=Shift_JIS" /></head></html>
// Second conversion:             <html><meta ... charset=Shift_JIS" /><title>x</title><head></head></html>
TEST(FuzzFindings, PageWithTitleBeforeHeadIsStableWhenConvertedAgain) {
  for (const char* page : {"<html><title>x</title><head></head></html>", "<html><head><title>x</title><head></html>"}) {
    SCOPED_TRACE(page);
    for (int target = 0; target < 4; ++target) {
      const std::string once = convertPage(page, target);
      EXPECT_EQ(convertPage(once, target), once) << "target " << target;
    }
  }
}

// The same pages keep their declaration before the title once it is there: converting a page
// that already has it in the right place changes nothing (holds today).
TEST(FuzzFindings, PageWithDeclarationBeforeTitleIsStable) {
  const std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\" "
      "/><title>x</title></head></html>";
  EXPECT_EQ(convertPage(page, 0), page);
}

// Finding of fuzz_converter (fuzz/findings/converter/iso2022jp-stray-escape-*): in an
// ISO-2022-JP text converted to ISO-2022-JP, a stray ESC followed by a redundant ESC ( B keeps
// the ESC but drops the ESC ( B, so the ESC joins the ASCII text after it: "$BF|" becomes the
// designation ESC $ B and the kanji 日. A second conversion then changes the text again.
// Input (hex):    1B2442 2422 1B2842 78 1B 1B2842 2442467C   (あ, "x", ESC, "$BF|")
// Actual output:  1B2442 2422 1B2842 78 1B 2442467C          (あ, "x", 日)
TEST(FuzzFindings, Iso2022JpStrayEscapeKeepsFollowingTextAscii) {
  ConverterOptions options;
  applyTargetEncoding(options, TargetEncoding::Iso2022Jp, LineEnding::Unchanged);
  const std::string input = "\x1b$B$\"\x1b(Bx\x1b\x1b(B$BF|";
  const std::string once = convertText(options, input);
  EXPECT_EQ(once.find("\x1b$BF|"), std::string::npos) << "ASCII text became a kanji";
  EXPECT_EQ(convertText(options, once), once);
}

// Finding of fuzz_sheet (fuzz/findings/sheet/rule-inside-iso2022jp-run): the search for a
// sheet's @charset rule looks inside ISO-2022-JP runs, where bytes are halves of characters.
// Bytes there that spell a rule are replaced by the new rule, which cuts the run, and the
// sheet gets no rule of its own at its start; converted again it gets one.
// Input (hex): 1B2442 2422 4063686172736574227822 3B 1B2842 0A 707B7D0A
//   ESC $ B, then the characters あ and `@charset"x";` read as JIS halves, ESC ( B, "\np{}\n"
// Expected: "@charset \"iso-2022-jp\";\n" before the text, the run unchanged.
// Actual:   the run cut at the rule: ESC$B $"@charset ESC(B space ESC$B "iso-2022-jp"; ESC(B ...
TEST(FuzzFindings, SheetRuleIsNotLookedForInsideIso2022JpRuns) {
  std::string sheet = "\x1b$B$\"@charset\"x\";\x1b(B\np{}\n";
  const std::string original = sheet;
  ConversionOptions options;
  options.targetEncoding = testing::asTarget(2);
  (void)convertCss(sheet, options);
  EXPECT_EQ(sheet, "@charset \"iso-2022-jp\";\n" + original);
}

// Finding of fuzz_page (fuzz/findings/page/quote-in-unquoted-value*): a link or script tag
// that gets its charset attribute is written anew with every value in double quotes and
// nothing escaped, so an unquoted value holding a `"` yields a broken tag; a second
// conversion reads it differently and rewrites it again.
// Input:  <html><head><link rel=stylesheet title=a"b href=a.css></head></html>  (a.css exists)
// Once:   ...<link charset="Shift_JIS" href="a.css" rel="stylesheet" title="a"b">...
// Twice:  ...<link b="" charset="Shift_JIS" href="a.css" rel="stylesheet" title="a">...
TEST(FuzzFindings, TagRewrittenWithQuoteInUnquotedValueKeepsItsMeaning) {
  TempFolder folder;
  folder.put("a.css", "p{}");
  auto convert = [&](std::string page) {
    ConversionOptions options;
    (void)convertHtml(page, options, FileSystemResolver(folder.path()));
    return page;
  };
  const std::string once = convert("<html><head><link rel=stylesheet title=a\"b href=a.css></head></html>");
  EXPECT_EQ(convert(once), once);
}

// Finding of fuzz_sheet (fuzz/findings/sheet/sjis-trail-byte-at-rule): the rule search is not
// aware of Shift_JIS characters either: in "\x9C\x40charset ..." the '@' is the trail byte of
// the kanji 9C40, yet the rule is looked for, and replaced, from there.
// Input (hex): 9C 40 636861727365742022782223B 0A 707B7D0A   (the kanji, then `charset "x";`)
// Expected: the kanji kept and a rule of its own: "@charset \"shift_jis\";\n" + input.
TEST(FuzzFindings, SheetRuleIsNotFoundInTheTrailByteOfAKanji) {
  std::string sheet = "\x9c@charset \"x\";\np{}\n";
  const std::string original = sheet;
  ConversionOptions options;
  (void)convertCss(sheet, options);
  EXPECT_EQ(sheet, "@charset \"shift_jis\";\n" + original);
}

// A UTF-8 sheet whose rule follows a character: the rule is found all the same.
TEST(FuzzFindings, SheetRuleAfterAUtf8CharacterIsFound) {
  std::string sheet = "\xe3\x81\x82@charset \"x\";\np{}\n";
  ConversionOptions options;
  (void)convertCss(sheet, options);
  // Browsers read a rule at the first byte only: the new one goes there, and this one names the target too.
  EXPECT_EQ(sheet, "@charset \"shift_jis\";\n\x82\xa0@charset \"shift_jis\";\np{}\n");
}

}  // namespace
}  // namespace sarnavel::fault
