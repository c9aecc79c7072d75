// The walk on random and on pathological pages: it stays inside the text, never stops inside
// an ISO-2022-JP run, always ends, and stays linear (a quadratic walk would make the 10 MB
// cases below run for hours, so a time-out here is a failure).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "html/head_analysis.h"
#include "html/references.h"
#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

// Which bytes lie inside a run, found by one pass over the whole text.
std::vector<bool> runBytes(std::string_view text) {
  std::vector<bool> inside(text.size(), false);
  bool inRun = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string_view rest = text.substr(i, 4);
    bool opens = rest.starts_with("\x1b$B") || rest.starts_with("\x1b$@") || rest.starts_with("\x1b(I");
    bool closes = rest.starts_with("\x1b(B") || rest.starts_with("\x1b(J");
    if (opens || closes || rest == "\x1b$(D") {
      inRun = !closes;
      i += rest == "\x1b$(D" ? 3 : 2;
    } else {
      inside[i] = inRun;
    }
  }
  return inside;
}

std::string randomPage(std::mt19937& random) {
  static const std::vector<std::string> pieces = {"<",
                                                  ">",
                                                  "/",
                                                  "\"",
                                                  "'",
                                                  " ",
                                                  "\n",
                                                  "=",
                                                  "-",
                                                  "!",
                                                  "a",
                                                  "X",
                                                  "\x82\xA0",
                                                  std::string(1, '\0'),
                                                  "<!--",
                                                  "-->",
                                                  "<script>",
                                                  "</script>",
                                                  "</SCRIPT>",
                                                  "<script src=a.js>",
                                                  "<link rel=stylesheet href=",
                                                  "<meta http-equiv=",
                                                  "content-type",
                                                  "content=charset=x",
                                                  "<head>",
                                                  "<title>",
                                                  "<body>",
                                                  "<html>",
                                                  "\x1b$B",
                                                  "\x1b(B",
                                                  "\x1b(J",
                                                  "\x1b(I",
                                                  "\x1b",
                                                  "$",
                                                  "("};
  // One draw in eight is a random byte instead of a piece.
  std::uniform_int_distribution<std::size_t> length(0, 60), piece(0, pieces.size() * 8 / 7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string page;
  for (std::size_t n = length(random); n > 0; --n) {
    std::size_t k = piece(random);
    if (k < pieces.size()) {
      page += pieces[k];
    } else {
      page += static_cast<char>(byte(random));
    }
  }
  return page;
}

TEST(WalkRobustness, RandomPages) {
  std::mt19937 random(20240601);
  for (int round = 0; round < 20000; ++round) {
    const std::string page = randomPage(random);
    const std::vector<bool> inRun = runBytes(page);
    TagWalk walk(page);
    ScannedTag tag;
    std::size_t previousEnd = 0, count = 0;
    bool skip = round % 2 == 0;
    while (walk.next(tag)) {
      const TagSpan& span = tag.span;
      ASSERT_LE(++count, page.size()) << page;
      ASSERT_GE(span.tagStart, previousEnd) << page;
      ASSERT_LT(span.tagStart + 1, span.tagEnd) << page;
      ASSERT_LE(span.tagEnd, page.size()) << page;
      ASSERT_EQ(page[span.tagStart], '<') << page;
      ASSERT_EQ(page[span.tagEnd - 1], '>') << page;
      ASSERT_FALSE(inRun[span.tagStart] || inRun[span.tagEnd - 1]) << page;
      ASSERT_EQ(span.text.data(), page.data() + span.tagStart + 1) << page;
      ASSERT_EQ(span.text.size() + (span.selfClosing ? 1 : 0), span.tagEnd - span.tagStart - 2) << page;
      previousEnd = span.tagEnd;
      if (skip && tag.name == "script") walk.skipScriptBody(span);
    }

    PARSE1INFO head;
    analyseHead(page, head);
    if (head.hasHead) {
      ASSERT_LE(head.headEnd, page.size()) << page;
    }
    if (head.hasContentTypeMeta) {
      ASSERT_LE(head.metaEnd, page.size()) << page;
    }
    PARSE2INFO references;
    collectReferences(page, references);
    for (const ELEMENT& e : references.elements) {
      ASSERT_LT(e.tagStart, e.tagEnd) << page;
      ASSERT_LE(e.tagEnd, page.size()) << page;
      ASSERT_FALSE(inRun[e.tagStart]) << page;
    }
  }
}

constexpr std::size_t kTenMegabytes = 10u << 20;

// `unit` repeated until the text holds ten megabytes; `count` receives the number of units.
std::string repeat(std::string_view unit, std::size_t* count = nullptr) {
  std::string out;
  out.reserve(kTenMegabytes + unit.size());
  std::size_t n = 0;
  for (; out.size() < kTenMegabytes; ++n) out += unit;
  if (count) *count = n;
  return out;
}

std::size_t countTags(std::string_view page) {
  TagWalk walk(page);
  ScannedTag tag;
  std::size_t count = 0;
  while (walk.next(tag)) {
    ++count;
    if (tag.name == "script") walk.skipScriptBody(tag.span);
  }
  return count;
}

TEST(WalkRobustness, PathologicalPagesAreWalkedInLinearTime) {
  std::size_t n = 0;
  EXPECT_EQ(countTags(repeat("<")), 0u);
  EXPECT_EQ(countTags(repeat("<") + ">"), 1u);
  EXPECT_EQ(countTags(repeat("<a ")), 0u);
  EXPECT_EQ(countTags(repeat("<!-- x>")), 0u);
  EXPECT_EQ(countTags(repeat("<!-- x>") + "-->"), 0u);
  EXPECT_EQ(countTags(repeat("<!--") + ">"), 1u);
  EXPECT_EQ(countTags("<!-- >" + repeat("-") + "<p>"), 0u);
  EXPECT_EQ(countTags("<p>\x1b$B" + repeat("<a>")), 1u);
  EXPECT_EQ(countTags(repeat("\x1b$B<a>\x1b(B")), 0u);
  EXPECT_EQ(countTags(repeat("<a\x1b$B>") + "\x1b(B>"), 1u);

  // Each unit holds one tag the walk hands over; the suffix adds `extra` tags.
  const struct {
    std::string_view unit, suffix;
    std::size_t extra;
  } units[] = {
      {"<!--x>", "", 0},
      {"<script>", "", 0},
      {"<script></scrip", "", 0},
      {"<script></script>", "</SCRIPT>", 1},
      {"<script></SCRIPT>", "</script>", 1},
  };
  for (const auto& u : units) {
    std::string page = repeat(u.unit, &n);
    page += u.suffix;
    EXPECT_EQ(countTags(page), n + u.extra) << u.unit;
  }

  PARSE1INFO head;
  EXPECT_TRUE(analyseHead(repeat("<script>") + "<meta http-equiv=content-type><html>", head));
  EXPECT_TRUE(head.hasContentTypeMeta);
  PARSE2INFO references;
  std::string scripts = repeat("<script><script src=a.js>", &n);
  collectReferences(scripts, references);
  EXPECT_EQ(references.elements.size(), n);

  std::string entities = repeat("&amp;", &n);
  std::u16string text(entities.begin(), entities.end());
  decodeReferenceText(text);
  EXPECT_TRUE(text == std::u16string(n, u'&'));
  std::string percents = repeat("%E3%81%82", &n);
  text.assign(percents.begin(), percents.end());
  decodeReferenceText(text);
  EXPECT_TRUE(text == std::u16string(n, u'\u3042'));
}

}  // namespace
}  // namespace sarnavel
