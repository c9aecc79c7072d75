#include "html/tag_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "html/iso2022_runs.h"
#include "html/page_regions.h"

namespace sarnavel {
namespace {

using namespace std::string_literals;

// "key=value|key=value" in map order.
std::string dump(const AttributeMap& attributes) {
  std::string out;
  for (const auto& [key, value] : attributes) {
    if (!out.empty()) out += '|';
    out += key + "=" + value;
  }
  return out;
}

struct TagTextCase {
  std::string text;
  bool ok;
  std::string name;
  std::string attributes;
};

TEST(ParseTagText, Cases) {
  const std::vector<TagTextCase> cases = {
      {"META HTTP-EQUIV=\"Content-Type\"", true, "meta", "http-equiv=Content-Type"},
      {"a href=x.css href=y.css", true, "a", "href=x.css"},
      {"link rel=stylesheet href=\"a b.css\"", true, "link", "href=a b.css|rel=stylesheet"},
      // Names run to white space, `/` or `=`, as browsers read them; single quotes quote.
      {"a b=1 \x82\xA0=2 c=3", true, "a", "b=1|c=3|\x82\xA0=2"},
      {"a title=\"x", true, "a", "title=x"},
      {"a title='say \"hi\"' x=\"it's\"", true, "a", "title=say \"hi\"|x=it's"},
      {"a b/c=1 =d", true, "a", "=d=|b=|c=1"},
      {"a href=a\"b/c d=\"e f\"", true, "a", "d=e f|href=a\"b/c"},
      {"a href = ", true, "a", "href="},
      {"a b=\"\"c=1", true, "a", "b=|c=1"},
      {"a x=\"1\"\0y=2"s, true, "a", "x=1"},
      {"a x=1\0y=2 z"s, true, "a", "x=1\0y=2|z="s},
      {"a\xC1\xDA b", true, "a\xC1\xDA", "b="},
      // A-Z after a byte from 0x80 may be a Shift_JIS second byte (0x87 0x58 is a Roman numeral).
      {"meta \x87X CharSet \xE2\x85\xA4Y=1", true, "meta", "charset=|\x87X=|\xE2\x85\xA4Y=1"},
      {"", false, "", ""},
      {" \t\n\r\f\v", false, "", ""},
      {"!--", true, "!--", ""},
      {"!-X y", true, "!-x", "y="},
      // ISO-2022-JP: the quote, `>` and blank-looking bytes of a two-byte run are no delimiters.
      {"img alt=\"\x1b$B$\"\x1b(B\" src=a.gif", true, "img", "alt=\x1b$B$\"\x1b(B|src=a.gif"},
      {"img alt=\"\x1b(I\"\x1b(J\" b", true, "img", "alt=\x1b(I\"\x1b(J|b="},
      {"img alt=\"\x1b$B\" b", true, "img", "alt=\x1b$B\" b"},
      {"img alt=\"\x1bx\" b", true, "img", "alt=\x1bx|b="},
      // A name holding a run keeps it as written (lowered, ESC $ B would name no set).
      {"a Co\x1b$BAK\x1b(Bent=x \x1b$B=/\x1b(B=1", true, "a", "\x1b$B=/\x1b(B=1|co\x1b$BAK\x1b(Bent=x"},
  };
  for (const TagTextCase& c : cases) {
    std::string name = "stale";
    AttributeMap attributes{{"stale", "x"}};
    EXPECT_EQ(parseTagText(c.text, name, attributes), c.ok) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(dump(attributes), c.attributes) << c.text;
  }
}

struct FindCase {
  std::string page;
  std::size_t start;
  bool found;
  std::size_t tagStart, tagEnd;
  std::string text;
  bool selfClosing;
};

TEST(FindNextTag, Cases) {
  const std::vector<FindCase> cases = {
      {"<a>", 0, true, 0, 3, "a", false},
      {"x<br/>", 0, true, 1, 6, "br", true},
      {"<img src=a.gif/>", 0, true, 0, 16, "img src=a.gif", true},
      {"<a title=\"x>y\">", 0, true, 0, 12, "a title=\"x", false},
      {"<>", 0, true, 0, 2, "", false},
      {"</>", 0, true, 0, 3, "", true},
      {"<//>", 0, true, 0, 4, "/", true},
      {"<a <b>", 0, true, 0, 6, "a <b", false},
      {"<a><b>", 1, true, 3, 6, "b", false},
      {"<a", 0, false, 0, 0, "", false},
      {"\x1b$B<>\x1b(B<p>", 0, true, 8, 11, "p", false},
      {"\x1b$(D<>\x1b(B<p>", 0, true, 9, 12, "p", false},
      {"\x1b$B<p>", 0, false, 0, 0, "", false},
      {"<a t=\"\x1b$B>\x1b(B\">", 0, true, 0, 15, "a t=\"\x1b$B>\x1b(B\"", false},
      {"<a t=\"\x1b$B/\x1b(B/>", 0, true, 0, 15, "a t=\"\x1b$B/\x1b(B", true},
      {"\x1bx<p>", 0, true, 2, 5, "p", false},
  };
  for (const FindCase& c : cases) {
    std::optional<TagSpan> span = findNextTag(c.page, c.start);
    ASSERT_EQ(span.has_value(), c.found) << c.page;
    if (!span) continue;
    EXPECT_EQ(span->tagStart, c.tagStart) << c.page;
    EXPECT_EQ(span->tagEnd, c.tagEnd) << c.page;
    EXPECT_EQ(span->text, c.text) << c.page;
    EXPECT_EQ(span->selfClosing, c.selfClosing) << c.page;
  }
}

// A script body ends where the tokenizer's script data states say: at the `<` of its end tag,
// never inside the double-escaped state, else at the end of the page. The page's regions see the
// same end.
TEST(SkipScriptBody, Cases) {
  const std::vector<std::pair<std::string, std::size_t>> cases = {
      {"<script>a</script><b>", 9},
      {"<script>a</SCRIPT ><b>", 9},
      {"<script>a</Script/><b>", 9},
      {"<script>a</scripts><b>", 22},
      {"<script>a</script", 17},
      {"<script src=a.js />x</script>", 20},  // a closing slash means nothing to the tokenizer
      {"<script>", 8},
      {"<script>\x1b$B</script>\x1b(B</script>", 23},
      {"<script>\x1b$B</script>", 20},
      // After "<!--": the end tag still ends the body; "<script" begins the double escape, in which
      // "</script" only ends the double escape; "-->" goes back to plain script data.
      {"<script><!--</script>", 12},
      {"<script><!--\ndocument.write('<script src=a.js></script>');\n//--></script><p>", 64},
      {"<script><!--<script></script></script>", 29},
      {"<script><!--<SCRIPT\n></script>x</script>", 31},
      {"<script><!--<script>--></script>", 23},
      {"<script><!--<scriptx></script>", 21},
      {"<script><!-->x<script></script>", 22},
      {"<script><!-- - ->x<script></script></script>", 35},
      {"<script><!--a-->b<script></script>", 25},
      {"<script><!--<script>", 20},
      {"<script><!--\x1b$B-->\x1b(B<script></script></script>", 38},
  };
  for (const auto& [page, end] : cases) {
    std::optional<TagSpan> span = findNextTag(page, 0);
    ASSERT_TRUE(span) << page;
    EXPECT_EQ(skipScriptBody(page, *span), end) << page;
    PageRegions<char> regions(page);
    regions.next();
    const std::optional<RegionSpan> body = regions.next();
    ASSERT_TRUE(body && body->region == PageRegion::Script) << page;
    EXPECT_EQ(body->end, end) << page;
  }
}

// The names TagWalk hands over, space-separated; script bodies skipped when `skipScripts`.
std::string walkNames(std::string_view page, bool skipScripts) {
  TagWalk walk(page);
  ScannedTag tag;
  std::string names;
  while (walk.next(tag)) {
    if (!names.empty()) names += ' ';
    names += tag.name;
    if (skipScripts && tag.name == "script") walk.skipScriptBody(tag.span);
  }
  return names;
}

TEST(TagWalk, SkipsCommentsAndEmptyTags) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<!-- <meta http-equiv=\"content-type\" content=\"text/html; charset=x\"> --><p>", "p"},
      {"<!--x><meta a=b>-->", "!--x meta"},
      {"<!--[if IE]><link rel=\"stylesheet\" href=\"ie.css\"><![endif]--><p>", "p"},
      {"<![if !IE]><link rel=stylesheet><![endif]>", "![if link ![endif]"},
      {"<!-->x<p>", "p"},
      {"<!-- never closed><p>", ""},
      {"<> < >\t<\n><p>", "p"},
      {"a < b and c > d <p>", "b p"},
      {"<p><!-- \x1b$B-->\x1b(B --><i>", "p i"},
      {"<p><!-- \x1b$B-->", "p"},
      // Names longer than a tag holds in itself: read whole, and an opener cut back to "!--".
      {"<ABCDEFGHIJKLMNOPQRSTUVWXYZ012 x=1><!--ABCDEFGHIJKLMNOPQRSTUVWXYZ <b>--><i>",
       "abcdefghijklmnopqrstuvwxyz012 i"},
      // A run that opens far into the page, past where the walk first looked for escape bytes.
      {std::string(40000, 'x') + "<p>\x1b$B<b><!--\x1b(B<i>\x1b$B-->\x1b(B<u>", "p i u"},
  };
  for (const auto& [page, names] : cases) EXPECT_EQ(walkNames(page, true), names) << page;
}

TEST(TagWalk, ScriptBodiesAreSkippedOnlyWhenAsked) {
  const std::string page = "<script><p></script><i><script><b></SCRIPT><u><script><q></Script><s>";
  EXPECT_EQ(walkNames(page, true), "script /script i script /script u script /script s");
  EXPECT_EQ(walkNames(page, false), "script p /script i script b /script u script q /script s");
}

TEST(TagKind, EachNameAReaderActsOnHasItsKind) {
  const std::vector<std::pair<std::string, TagKind>> cases = {
      {"!--", TagKind::CommentOpener}, {"!doctype", TagKind::Doctype}, {"html", TagKind::Html},
      {"head", TagKind::Head},         {"/head", TagKind::HeadEnd},    {"title", TagKind::Title},
      {"/title", TagKind::TitleEnd},   {"body", TagKind::Body},        {"meta", TagKind::Meta},
      {"link", TagKind::Link},         {"script", TagKind::Script},    {"style", TagKind::Style},
      {"base", TagKind::Base},         {"form", TagKind::Form},        {"a", TagKind::Anchor},
      {"area", TagKind::Area},         {"", TagKind::Other},           {"b", TagKind::Other},
      {"abbr", TagKind::Other},        {"bdo ", TagKind::Other},       {"/html", TagKind::Other},
      {"/body", TagKind::Other},       {"/style", TagKind::Other},     {"/script", TagKind::Other},
      {"scripts", TagKind::Other},     {"!doctypes", TagKind::Other},  {"META", TagKind::Other},
      {"!-- ", TagKind::Other},        {"!-", TagKind::Other},         {"hea", TagKind::Other},
  };
  for (const auto& [name, kind] : cases) EXPECT_EQ(tagKindOf(name), kind) << name;
  TagName name;
  name.assignLowered("SCRIPT");
  EXPECT_EQ(name.kind(), TagKind::Script);
}

// The walk as plainly as it can be written from the one-tag functions: each tag found from
// where the last ended, its text read by parseTagText, comments skipped to their end.
std::vector<std::string> referenceWalk(std::string_view page) {
  std::vector<std::string> tags;
  std::size_t resume = 0;
  while (std::optional<TagSpan> span = findNextTag(page, resume)) {
    resume = span->tagEnd;
    std::string name;
    AttributeMap attributes;
    if (!parseTagText(span->text, name, attributes)) continue;
    if (name == "!--") {
      const std::size_t end = findTextOutsideRuns(page, span->tagStart, "-->");
      if (end == std::string_view::npos) break;
      resume = end + 3;
      continue;
    }
    tags.push_back(std::to_string(span->tagStart) + "-" + std::to_string(span->tagEnd) +
                   (span->selfClosing ? "/ " : " ") + name + " " + dump(attributes));
  }
  return tags;
}

TEST(TagWalk, GivesWhatThePlainWalkGivesOnRandomPages) {
  // Pieces of markup, ISO-2022-JP runs, long names and stray bytes, strung together at random.
  const std::vector<std::string> pieces = {
      "<",
      ">",
      "/>",
      " ",
      "\t",
      "\n",
      "=",
      "\"",
      "'",
      "/",
      "!--",
      "-->",
      "-",
      "a",
      "META",
      "Script",
      "b",
      "x",
      "\x1b$B",
      "\x1b(B",
      "\x1b",
      "$\"",
      "\xe3\x81\x82",
      "\x82\xa0",
      "href",
      "charset=",
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
      "!DOCTYPE",
      "/head",
      "\0"s,
      // The bytes about A-Z and the control codes that are white space and that are not, for
      // the name read 16 bytes at a time.
      "@[`{\x7f\xc1\xda",
      "\v",
      "\f",
      "\r",
      "\x01",
      "\x1f",
      "!",
      "ABCDEFGHIJKLMNO",
      // Whole tags and attributes, so that most pages hold several tags.
      "<p>",
      "</b>",
      "<a ",
      "<Meta ",
      "<link ",
      " x=1",
      " href='?\xe3'",
      " rel=\"a b\"",
      "<br/>",
      "<",
      "<",
      ">",
      ">",
      // Names that share their first bytes with a name of a kind, and those names cut short.
      "<li>",
      "</td>",
      "</Tr>",
      "<STRONG ",
      "</h2>",
      "<hEa",
      "<arEa ",
      "<a\t",
      "<ab",
      "<lIn",
      "</Ti",
      "<!d",
      "<scr",
  };
  std::mt19937 random(20261207);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1), length(0, 60);
  std::size_t tags = 0, withAttributes = 0, inRuns = 0, longWithoutRuns = 0;
  for (int round = 0; round < 3000; ++round) {
    // Every other page holds no escape byte and spans several blocks of 64 bytes, where the
    // walk that hands over the named kinds passes over the others by the blocks' masks.
    const bool noRuns = round % 2 == 1;
    std::string page;
    for (std::size_t n = length(random) * (noRuns ? 2 : 1); n > 0;) {
      const std::string& next = pieces[piece(random)];
      if (noRuns && next.find('\x1b') != std::string::npos) continue;
      page += next;
      --n;
    }
    longWithoutRuns += noRuns && page.size() > 128;
    std::vector<std::string> walked;
    std::vector<TagKind> kinds;
    std::vector<std::size_t> starts;
    TagWalk walk(page);
    ScannedTag tag;
    while (walk.next(tag)) {
      EXPECT_EQ(tag.name.kind(), tagKindOf(std::string(tag.name.view())));
      kinds.push_back(tag.name.kind());
      starts.push_back(tag.span.tagStart);
      withAttributes += !tag.attributes.empty();
      walked.push_back(std::to_string(tag.span.tagStart) + "-" + std::to_string(tag.span.tagEnd) +
                       (tag.span.selfClosing ? "/ " : " ") + std::string(tag.name.view()) + " " + dump(tag.attributes));
    }
    ASSERT_EQ(walked, referenceWalk(page)) << ::testing::PrintToString(page);
    // A walk that hands over only the named kinds gives the same tags less those of no kind.
    std::size_t k = 0;
    TagWalk named(page, TagKinds::every(), TagKinds::named());
    while (named.next(tag)) {
      while (k < kinds.size() && kinds[k] == TagKind::Other) ++k;
      ASSERT_LT(k, kinds.size());
      EXPECT_EQ(tag.span.tagStart, starts[k]) << ::testing::PrintToString(page);
      EXPECT_EQ(tag.name.kind(), kinds[k++]);
    }
    while (k < kinds.size() && kinds[k] == TagKind::Other) ++k;
    EXPECT_EQ(k, kinds.size());
    tags += walked.size();
    inRuns += !walked.empty() && page.find('\x1b') != std::string::npos;
  }
  // The pages hold what the property is about: many tags, attributes, escape bytes.
  EXPECT_GT(tags, 5000u);
  EXPECT_GT(withAttributes, 1500u);
  EXPECT_GT(inRuns, 700u);
  EXPECT_GT(longWithoutRuns, 1000u);
}

}  // namespace
}  // namespace sarnavel
