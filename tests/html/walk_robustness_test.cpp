// The walk on pathological pages stays linear: a quadratic walk would make the 4 MB cases
// below run for hours, so a time-out here is a failure. Its bounds on arbitrary pages are the
// tag_walk fuzz target's to check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/head_analysis.h"
#include "html/references.h"
#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

constexpr std::size_t kFourMegabytes = 4u << 20;

// `unit` repeated until the text holds four megabytes; `count` receives the number of units.
std::string repeat(std::string_view unit, std::size_t* count = nullptr) {
  std::string out;
  out.reserve(kFourMegabytes + unit.size());
  std::size_t n = 0;
  for (; out.size() < kFourMegabytes; ++n) out += unit;
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

  // Each unit holds one tag the walk hands over (a script two: its end tag too); the suffix adds
  // `extra` tags.
  const struct {
    std::string_view unit, suffix;
    std::size_t extra;
  } units[] = {
      {"<!--x>", "", 0},
      {"<script></script>", "</SCRIPT>", 1},
      {"<script><!--<script></script>--></script>", "", 0},
  };
  for (const auto& u : units) {
    std::string page = repeat(u.unit, &n);
    page += u.suffix;
    const std::size_t tagsPerUnit = u.unit.starts_with("<script") ? 2 : 1;
    EXPECT_EQ(countTags(page), tagsPerUnit * n + u.extra) << u.unit;
  }
  // A script body without an end runs to the end of the page, however many scripts it holds.
  EXPECT_EQ(countTags(repeat("<script><!--<script>")), 1u);

  // The head analysis skips the bodies the references walk (scripts that load a file): each is
  // read once.
  PARSE1INFO head;
  EXPECT_TRUE(analyseHead(repeat("<script src=a.js></script>") + "<meta http-equiv=content-type><html>", head));
  EXPECT_TRUE(head.hasContentTypeMeta);
  PARSE2INFO references;
  std::string scripts = repeat("<script src=a.js><!--<script>", &n);
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
