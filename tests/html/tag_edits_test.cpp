#include "html/tag_edits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

using namespace std::string_literals;

// A tag's bytes before and after the conversion names UTF-8: only the value changes, or the
// attribute is added after the last one; converting again changes nothing.
TEST(TagEdits, OnlyTheValueChanges) {
  const struct {
    std::string before, after;
  } charsetCases[] = {
      {"<script src=\"a.js\">", "<script src=\"a.js\" charset=\"UTF-8\">"},
      {"<SCRIPT TYPE=\"text/javascript\"\n   SRC=\"a.js\">",
       "<SCRIPT TYPE=\"text/javascript\"\n   SRC=\"a.js\" charset=\"UTF-8\">"},
      {"<script src=a.js\r\n>", "<script src=a.js charset=\"UTF-8\"\r\n>"},
      {"<script CHARSET='x-sjis' src='a.js'>", "<script CHARSET='UTF-8' src='a.js'>"},
      {"<script src=a.js charset=Shift_JIS>", "<script src=a.js charset=UTF-8>"},
      {"<script charset src=a.js>", "<script charset=\"UTF-8\" src=a.js>"},
      {"<script src=a.js charset=>", "<script src=a.js charset=\"UTF-8\">"},
      {"<script charset=\"euc-jp\" Charset=\"Shift_JIS\">", "<script charset=\"UTF-8\" Charset=\"Shift_JIS\">"},
      {"<link rel=stylesheet href=\"a.css\" />", "<link rel=stylesheet href=\"a.css\" charset=\"UTF-8\" />"},
      {"<link rel=stylesheet href=a.css/>", "<link rel=stylesheet href=a.css charset=\"UTF-8\"/>"},
      {"<script>", "<script charset=\"UTF-8\">"},
      // What follows "x=" would be its value; a quote left open would take it in.
      {"<script src=a.js x=>", "<script src=a.js x=\"\" charset=\"UTF-8\">"},
      {"<script src=\"a.js>", "<script src=\"a.js\" charset=\"UTF-8\">"},
      // A zero byte where a name would begin ends the attributes, for the walk.
      {"<script src=a.js \0x=1>"s, "<script src=a.js charset=\"UTF-8\" \0x=1>"s},
      // ISO-2022-JP: a quote inside a run ends nothing.
      {"<script title=\"\x1b$B$\"\x1b(B\" src=a.js>", "<script title=\"\x1b$B$\"\x1b(B\" src=a.js charset=\"UTF-8\">"},
  };
  for (const auto& c : charsetCases) {
    EXPECT_EQ(withAttributeValue(c.before, "charset", "UTF-8"), c.after) << c.before;
    EXPECT_EQ(withAttributeValue(c.after, "charset", "UTF-8"), c.after) << c.after;
  }
  const struct {
    std::string before, after;
  } contentCases[] = {
      {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">",
       "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">"},
      {"<meta http-equiv=content-type content=text/html;charset=euc-jp />",
       "<meta http-equiv=content-type content=text/html;charset=UTF-8 />"},
      {"<meta http-equiv=\"Content-Type\" content='text/html; Charset = \"x-sjis\"'>",
       "<meta http-equiv=\"Content-Type\" content='text/html; Charset = \"UTF-8\"'>"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html\">",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"},
      {"<meta http-equiv=Content-Type content=text/html>",
       "<meta http-equiv=Content-Type content=text/html;charset=UTF-8>"},
      {"<meta\nhttp-equiv=\"Content-Type\"\n>",
       "<meta\nhttp-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"\n>"},
      // A label whose quote is never closed reads as none: it and what follows become the label.
      {"<meta http-equiv=content-type content=\"text/html;charset='latin1; x=1\">",
       "<meta http-equiv=content-type content=\"text/html;charset=UTF-8\">"},
      // ISO-2022-JP: a label's end is looked for outside the runs, whose bytes may be `;`.
      {"<meta http-equiv=Content-Type content=\"text/html; charset=x\x1b$B;;\x1b(By\">",
       "<meta http-equiv=Content-Type content=\"text/html; charset=UTF-8\">"},
  };
  for (const auto& c : contentCases) {
    EXPECT_EQ(withCharsetInContent(c.before, "UTF-8"), c.after) << c.before;
    EXPECT_EQ(withCharsetInContent(c.after, "UTF-8"), c.after) << c.after;
  }
}

}  // namespace
}  // namespace sarnavel
