#include "html/references.h"

#include <gtest/gtest.h>

#include "support/targets.h"

#include <string>
#include <vector>

#include "text/utf8.h"

namespace sarnavel {
namespace {

// "link:href script:src …" for the recorded elements, in order.
std::string collect(const std::string& page) {
  PARSE2INFO info;
  collectReferences(page, info);
  std::string out;
  for (const ELEMENT& e : info.elements) {
    auto value = e.attributes.find(e.name == "link" ? "href" : "src");
    if (!out.empty()) out += ' ';
    out += e.name + ":" + (value == e.attributes.end() ? "(none)" : value->second);
  }
  return out;
}

TEST(CollectReferences, Cases) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<link rel=\"stylesheet\" href=\"css/main.css\">", "link:css/main.css"},
      {"<link rel=\"alternate stylesheet\" href=\"b.css\">", "link:b.css"},  // browsers load it too
      {"<link rel=\"stylesheets\" href=\"b.css\">", ""},
      {"<link href=\"c.css\">", ""},
      {"<link rel=stylesheet>", "link:(none)"},
      {"<LINK REL=StyleSheet HREF=a.css>", "link:a.css"},
      {"<script type=\"text/javascript\" src=\"a.js\"></script>", "script:a.js"},
      {"<script type=\"TEXT/JavaScript\" src=\"\"></script>", "script:"},
      {"<script type=\"text/javascript; charset=utf-8\" src=\"a.js\">", ""},
      {"<script language=\"JavaScript\" type=\"text/vbscript\" src=\"a.vbs\">", ""},
      // Every type a browser runs, however it is spelt; a module script; no data block.
      {"<script type=application/javascript src=a.js>", "script:a.js"},
      {"<script type=text/jscript src=a.js><script type=\"\" src=b.js>", "script:a.js script:b.js"},
      {"<script language=JavaScript src=a.js><script language=vbscript src=b.vbs>", "script:a.js"},
      {"<script type=module src=m.js>", "script:m.js"},
      // A script without a type runs as JavaScript whatever a Content-Script-Type meta says.
      {"<meta http-equiv=Content-Script-Type content=text/vbscript><script src=a.js>", "script:a.js"},
      {"<script type=application/ld+json src=d.json><script type=text/template src=t.html>", ""},
      // Inline and non-JavaScript script bodies are skipped; a recorded script's body is not.
      {"<script>document.write('<link rel=\"stylesheet\" href=\"x.css\">')</script><link rel=stylesheet href=y.css>",
       "link:y.css"},
      {"<script type=text/vbscript src=a.vbs><link rel=stylesheet href=x.css></SCRIPT>", ""},
      {"<script src=a.js><link rel=stylesheet href=x.css></script>", "script:a.js link:x.css"},
      {"<script src=a.js/><script src=b.js />", "script:a.js script:b.js"},
      // Comments hide links; the body does not stop the walk.
      {"<!-- <link rel=\"stylesheet\" href=\"c.css\"> -->", ""},
      {"<!--x><link rel=stylesheet href=seen.css>-->", "link:seen.css"},
      {"<html><body><link rel=\"stylesheet\" href=\"late.css\"></body><script src=end.js>",
       "link:late.css script:end.js"},
      // A Japanese title in an ISO-2022-JP page: the quote byte inside the run does not end it.
      {"<link title=\"\x1b$B$\"$$\x1b(B\" rel=stylesheet href=\"b.css\">", "link:b.css"},
      {"<link rel=stylesheet href=\"\x1b$B$\"\x1b(B.css\">", "link:\x1b$B$\"\x1b(B.css"},
  };
  for (const auto& [page, expected] : cases) EXPECT_EQ(collect(page), expected) << page;
}

TEST(CollectReferences, TheFirstBaseWithAnHref) {
  PARSE2INFO info;
  collectReferences("<base target=_top><base href=\"lib/\"><link rel=stylesheet href=a.css><base href=x/>", info);
  ASSERT_TRUE(info.base);
  EXPECT_EQ(info.base->href, "lib/");
  EXPECT_EQ(info.base->tagEnd, 36u);
}

// Offsets, attributes (the first of a repeated name) and closing style, appended to what the
// record held.
TEST(CollectReferences, RecordsOffsetsAttributesAndClosingStyle) {
  PARSE2INFO info;
  info.elements.push_back(ELEMENT{"earlier", 0, 0, {}, false});
  collectReferences("<p><LINK rel=StyleSheet HREF='a.css' href=b.css /> <script SRC=a.js></script>", info);
  std::string out;
  for (const ELEMENT& e : info.elements) {
    out += e.name + "@" + std::to_string(e.tagStart) + "-" + std::to_string(e.tagEnd) + (e.selfClosing ? "/" : "");
    for (const auto& [key, value] : e.attributes) out += " " + key + "=" + value;
    out += "|";
  }
  EXPECT_EQ(out, "earlier@0-0|link@3-50/ href=a.css rel=StyleSheet|script@51-68 src=a.js|");
}

struct ResolveCase {
  std::string value;
  TargetEncoding encoding;
  bool accepted;
  std::u16string path;
};

TEST(ResolveLocalReference, Cases) {
  constexpr TargetEncoding kSjis = TargetEncoding::ShiftJis;
  const std::vector<ResolveCase> cases = {
      // Any scheme but file, in any case, and another host are remote.
      {"HTTP:a.css", kSjis, false, u""},
      {"//cdn.example.com/a.js", kSjis, false, u""},
      {"a:b.css", kSjis, false, u""},
      {"a.b/c:d.css", kSjis, true, u"a.b/c:d.css"},
      // As the URL parser takes it: white space around and line breaks inside dropped,
      // backslashes read as slashes.
      {" \tjs/a.js \n", kSjis, true, u"js/a.js"},
      {"js/\na.js", kSjis, true, u"js/a.js"},
      {"js\\a.js", kSjis, true, u"js/a.js"},
      {"\x95\x5C\\a.css", kSjis, true, u"\u8868/a.css"},  // the trail byte 5C of 表 is no backslash
      {"FILE:///home/web/a.css", kSjis, true, u"/home/web/a.css"},
      // file forms; the path keeps its slashes and any drive-letter bar.
      {"file:///C|/web/a.css", kSjis, true, u"/C|/web/a.css"},
      {"file://", kSjis, true, u"//"},
      {"file:", kSjis, true, u"file:"},
      // Entities, percent escapes and numeric references.
      {"a%20b%20c.css", kSjis, true, u"a b c.css"},
      {"a%zz.css", kSjis, true, u"a%zz.css"},
      {"%2541", kSjis, true, u"%41"},
      {"&#x41;.css", kSjis, true, u"A.css"},
      {"&#65.css", kSjis, true, u"&#65.css"},
      {"&#x0x41;&# 66;&#+67;", kSjis, true, u"ABC"},
      {"&#x;", kSjis, true, std::u16string(1, u'\0')},  // no digits read as 0
      {"%26#65;", kSjis, true, u"&"},                   // as browsers read it: the name "%26", the fragment "65;"
      // A query or fragment is no part of the name; escaped, they are.
      {"a.css?v=2", kSjis, true, u"a.css"},
      {"&#65;.css#x", kSjis, true, u"A.css"},
      {"a%3Fb%23c.css", kSjis, true, u"a?b#c.css"},
      {"a&amp;b&quot;c&lt;d&gt;e", kSjis, true, u"a&b\"c<d>e"},
      // Percent-escaped UTF-8 decodes to its characters; other bytes stay one unit each.
      {"%E3%81%82.css", kSjis, true, u"\u3042.css"},
      {"%E3%81.css", kSjis, true, u"\u00E3\u0081.css"},
      {"%C0%AF", kSjis, true, u"\u00C0\u00AF"},
      {"%F0%9F%98%80", kSjis, true, u"\U0001F600"},
      // References beyond U+FFFF give the whole character; no character gives U+FFFD.
      {"&#128512;", kSjis, true, u"\U0001F600"},
      {"&#99999999999999999999;", kSjis, true, u"\uFFFD"},
      {"&#-65;", kSjis, true, u"\uFFFD"},
      // Japanese file names, read in the page's encoding (each encoding is decodeToWide's).
      {"\x82\xA0.css", kSjis, true, u"\u3042.css"},
      {"\x1b$B$\"\x1b(B.css", TargetEncoding::Iso2022Jp, true, u"\u3042.css"},
  };
  for (const ResolveCase& c : cases) {
    std::u16string path = u"unchanged";
    EXPECT_EQ(resolveLocalReference(path, c.value, c.encoding), c.accepted) << c.value;
    EXPECT_EQ(path, c.accepted ? c.path : u"unchanged") << c.value << " -> " << utf16ToUtf8(path);
  }
}

// A relative reference is put under the base's folder; an absolute one is not; a remote base
// makes relative references remote.
TEST(ResolveLocalReference, AgainstABase) {
  const struct {
    std::string base, value;
    bool accepted;
    std::u16string path;
  } cases[] = {
      {"lib/", "a.css", true, u"lib/a.css"},
      {"file:///site/lib/", "a.css", true, u"/site/lib/a.css"},
      {"lib\\", "a.css", true, u"lib/a.css"},
      {"lib/", "/abs/a.css", true, u"/abs/a.css"},
      {"lib/", "#top", true, u""},
      {"http://example.com/", "a.css", false, u""},
      {"http://example.com/", "file:///a.css", true, u"/a.css"},
  };
  for (const auto& c : cases) {
    std::u16string path = u"unchanged";
    const ReferenceBase base = referenceBaseOf(c.base, TargetEncoding::ShiftJis);
    EXPECT_EQ(resolveLocalReference(path, c.value, TargetEncoding::ShiftJis, base), c.accepted) << c.base;
    EXPECT_EQ(path, c.accepted ? c.path : u"unchanged") << c.base << " " << c.value;
  }
}

}  // namespace
}  // namespace sarnavel
