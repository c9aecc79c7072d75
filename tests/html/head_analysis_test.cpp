#include "html/head_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

// One line for the whole record: flagged landmarks with their offsets, close offsets when
// set, then charset and script type.
std::string summary(const PARSE1INFO& info) {
  std::string out;
  auto add = [&](const std::string& item) { out += (out.empty() ? "" : " ") + item; };
  auto range = [](std::size_t a, std::size_t b) { return std::to_string(a) + "-" + std::to_string(b); };
  if (info.hasHtml) add("html");
  if (info.hasHead) add("head@" + range(info.headStart, info.headEnd));
  if (info.headCloseEnd != 0) add("/head@" + range(info.headCloseStart, info.headCloseEnd));
  if (info.hasTitle) add("title@" + std::to_string(info.titleStart));
  if (info.titleCloseEnd != 0) add("/title@" + std::to_string(info.titleCloseEnd));
  add(info.hasContentTypeMeta ? "meta@" + range(info.metaStart, info.metaEnd) : "nometa");
  add("charset=" + info.charset);
  add("script=" + info.contentScriptType);
  return out;
}

std::string analyse(const std::string& page) {
  PARSE1INFO info;
  bool result = analyseHead(page, info);
  EXPECT_EQ(result, info.hasHtml) << page;
  return summary(info);
}

const std::string kMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";  // 71 bytes

TEST(AnalyseHead, Cases) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<html><head>" + kMeta + "<title>t</title></head><body>",
       "html head@6-12 /head@99-106 title@83 /title@99 meta@12-83 charset=shift_jis script=text/javascript"},
      {"<html><head><meta http-equiv=Content-Type content=\"text/html; charset=Shift_JIS\"/>",
       "html head@6-12 meta@12-82 charset=shift_jis script=text/javascript"},
      {"<html><head><meta http-equiv=Content-Type content=\"text/html; charset=Shift_JIS\" />",
       "html head@6-12 meta@12-83 charset=shift_jis script=text/javascript"},
      // Only the lower-case "charset=" is found, but the meta is still the declaration.
      {"<html><meta http-equiv=content-type content=\"text/html; Charset=EUC-JP\">",
       "html meta@6-72 charset= script=text/javascript"},
      {"<meta http-equiv=content-type content=\"text/html; charset=EUC-JP; X=1\">",
       "meta@0-71 charset=euc-jp; x=1 script=text/javascript"},
      {"<META HTTP-EQUIV=CONTENT-TYPE CONTENT=text/html;charset=UTF-8>",
       "meta@0-62 charset=utf-8 script=text/javascript"},
      {"<html><meta charset=\"utf-8\">", "html nometa charset= script=text/javascript"},
      // Two declarations: the last before the body wins.
      {"<meta http-equiv=content-type content=charset=a><meta http-equiv=content-type>",
       "meta@48-78 charset=a script=text/javascript"},
      // Nothing after the first body start tag is examined.
      {"<html><body><head><title><meta http-equiv=content-type content=charset=x>",
       "html nometa charset= script=text/javascript"},
      {"<html></body><bodyx><head>", "html head@20-26 nometa charset= script=text/javascript"},
      // Two heads and two titles: the second of each.
      {"<head></head><HEAD lang=ja><title>a</title><Title>",
       "head@13-27 /head@6-13 title@43 /title@43 nometa charset= script=text/javascript"},
      // Declarations inside comments or script bodies are not seen.
      {"<html><!-- <meta http-equiv=content-type content=charset=x> --><title>",
       "html title@63 nometa charset= script=text/javascript"},
      {"<script>'<meta http-equiv=content-type content=charset=x><title>'</script><html>",
       "html nometa charset= script=text/javascript"},
      // An unterminated comment or tag ends the walk.
      {"<html><!-- x><head>", "html nometa charset= script=text/javascript"},
      // Content-Script-Type.
      {"<meta http-equiv=Content-Script-Type content=Text/VBScript>", "nometa charset= script=text/vbscript"},
      {"<meta http-equiv=content-script-type content=a><meta http-equiv=content-script-type content=B>",
       "nometa charset= script=b"},
      {"<body><meta http-equiv=content-script-type content=text/vbscript>", "nometa charset= script=text/javascript"},
      // ISO-2022-JP text with `<` and `>` bytes inside a run.
      {"<html><title>\x1b$B<head>\x1b(B</title><head>",
       "html head@33-39 title@6 /title@33 nometa charset= script=text/javascript"},
  };
  for (const auto& [page, expected] : cases) EXPECT_EQ(analyse(page), expected) << page;
}

// A style body is text to browsers: a meta or title written there is no tag.
TEST(AnalyseHead, StyleBodiesAreSkipped) {
  const std::string page =
      "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=euc-jp\">"
      "<STYLE>p:after{content:\"<meta http-equiv=Content-Type content='x; charset=y'><title>\"}</Style>"
      "<style>unclosed <title>";
  PARSE1INFO info;
  analyseHead(page, info);
  EXPECT_EQ(info.charset, "euc-jp");
  EXPECT_EQ(info.metaStart, 12u);
  EXPECT_TRUE(info.hasTitle) << "the title after an unclosed style is seen";
}

// The walk that ends at the first meta naming a charset finds the label the whole head gives.
TEST(DeclaredLabelOf, IsTheHeadsLabel) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<html><head>" + kMeta + "<title>t</title></head><body>", "Shift_JIS"},
      {"<meta charset=utf-8><meta charset=euc-jp>", "utf-8"},
      {"<meta http-equiv=content-type content=text/html><meta charset=euc-jp>", "euc-jp"},
      {"<meta charset=\"\"><meta http-equiv=content-type content=\"text/html; charset=euc-jp\">", "euc-jp"},
      {"<meta name=description content=\"charset=x\"><meta charset=euc-jp>", "euc-jp"},
      {"<script><meta charset=x></script><style><meta charset=y></style><meta charset=z>", "z"},
      {"<body><meta charset=x>", ""},
      {"<title>no meta</title>", ""},
  };
  for (const auto& [page, label] : cases) {
    EXPECT_EQ(declaredLabelOf(page), label) << page;
    PARSE1INFO info;
    analyseHead(page, info);
    EXPECT_EQ(info.declaredLabel(), label) << page;
  }
}

}  // namespace
}  // namespace sarnavel
