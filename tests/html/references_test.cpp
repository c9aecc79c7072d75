#include "html/references.h"

#include <gtest/gtest.h>

#include "support/targets.h"

#include <string>
#include <vector>

#include "text/utf8.h"

namespace sarnavel {
namespace {

// "link:href script:src …" for the recorded elements, in order.
std::string collect(const std::string& page, void (*collector)(std::string_view, PARSE2INFO&) = collectReferences) {
  PARSE2INFO info;
  collector(page, info);
  std::string out;
  for (const ELEMENT& e : info.elements) {
    const AttributeMap attributes = attributesOf(page, e);
    auto value = attributes.find(e.kind == TagKind::Link ? "href" : "src");
    if (!out.empty()) out += ' ';
    out += (e.kind == TagKind::Link ? "link:" : "script:") + (value == attributes.end() ? "(none)" : value->second);
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

TEST(CollectStyleSheetInstructions, CssSheetsNamedBeforeTheFirstElement) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"a.css\" type=\"text/css\"?><html>", "link:a.css"},
      {"\xEF\xBB\xBF<?xml-stylesheet type='TEXT/CSS' href='a.css' charset='Shift_JIS'?>", "link:a.css"},
      {"<?xml-stylesheet href=\"a.css\"?>", "link:a.css"},  // no type: a CSS sheet
      {"<?xml-stylesheet href=\"alt.css\" alternate=\"yes\" title=\"b\"?>", "link:alt.css"},
      {"<?xml-stylesheet href=\"a.xsl\" type=\"text/xsl\"?>", ""},
      {"<?xml-stylesheet type=\"text/css\"?><?xml-stylesheetx href=b.css?>", ""},
      // Comments and a doctype (with a subset holding ">") come between; an element ends it.
      {"<!-- <?xml-stylesheet href=\"c.css\"?> --><!DOCTYPE html [<!ENTITY e \">\">]>\n"
       "<?xml-stylesheet href=\"d.css\"?>",
       "link:d.css"},
      {"<html><?xml-stylesheet href=\"late.css\"?>", ""},
      {"<?xml-stylesheet href=\"open.css\"", ""},
  };
  for (const auto& [page, expected] : cases) EXPECT_EQ(collect(page, collectStyleSheetInstructions), expected) << page;
}

TEST(CollectReferences, TheFirstBaseWithAnHref) {
  PARSE2INFO info;
  collectReferences("<base target=_top><base href=\"lib/\"><link rel=stylesheet href=a.css><base href=x/>", info);
  ASSERT_TRUE(info.base);
  EXPECT_EQ(info.base->href, "lib/");
  EXPECT_EQ(info.base->tagEnd, 36u);
}

// Offsets and attributes (the first of a repeated name), appended to what the record held.
TEST(CollectReferences, RecordsOffsetsAndAttributes) {
  const std::string page = "<p><LINK rel=StyleSheet HREF='a.css' href=b.css /> <script SRC=a.js></script>";
  PARSE2INFO info;
  info.elements.push_back(ELEMENT{0, 3, TagKind::Other, false});
  collectReferences(page, info);
  std::string out;
  for (const ELEMENT& e : info.elements) {
    out += std::to_string(e.tagStart) + "-" + std::to_string(e.tagEnd);
    for (const auto& [key, value] : attributesOf(page, e)) out += " " + key + "=" + value;
    out += "|";
  }
  EXPECT_EQ(out, "0-3|3-50 href=a.css rel=StyleSheet|51-68 src=a.js|");
}

// The first name a reference leads to, as bytes ("-" when it is remote, "" when it names
// nothing).
std::string firstName(std::string_view value, TargetEncoding encoding, const ReferenceBase& base = {}) {
  const std::optional<std::vector<std::string>> names = referenceNames(value, {encoding, std::nullopt}, base);
  if (!names) return "-";
  return names->empty() ? "" : names->front();
}

TEST(ReferenceNames, WhatABrowserAsksFor) {
  constexpr TargetEncoding kSjis = TargetEncoding::ShiftJis;
  const struct {
    std::string value;
    TargetEncoding encoding;
    std::string name;
  } cases[] = {
      // Any scheme but file, in any case, and another host are remote.
      {"HTTP:a.css", kSjis, "-"},
      {"//cdn.example.com/a.js", kSjis, "-"},
      {"a:b.css", kSjis, "-"},
      {"a.b/c:d.css", kSjis, "a.b/c:d.css"},
      // As the URL parser takes it: white space around and line breaks inside dropped,
      // backslashes read as slashes.
      {" \tjs/a.js \n", kSjis, "js/a.js"},
      {"js/\na.js", kSjis, "js/a.js"},
      {"js\\a.js", kSjis, "js/a.js"},
      {"\x95\x5C\\a.css", kSjis, "\xE8\xA1\xA8/a.css"},  // the trail byte 5C of 表 is no backslash
      {"FILE:///home/web/a.css", kSjis, "/home/web/a.css"},
      // file forms; the path keeps its slashes and any drive-letter bar.
      {"file:///C|/web/a.css", kSjis, "/C|/web/a.css"},
      {"file://", kSjis, "//"},
      {"file:", kSjis, "file:"},
      // Entities, percent escapes and numeric references.
      {"a%20b%20c.css", kSjis, "a b c.css"},
      {"a%zz.css", kSjis, "a%zz.css"},
      {"%2541", kSjis, "%41"},
      {"&#x41;.css", kSjis, "A.css"},
      {"&#65.css", kSjis, "&#65.css"},
      {"&#x0x41;&# 66;&#+67;", kSjis, "ABC"},
      {"&#x;", kSjis, std::string(1, '\0')},  // no digits read as 0
      {"%26#65;", kSjis, "&"},                // as browsers read it: the name "%26", the fragment "65;"
      // A query or fragment is no part of the name; escaped, they are.
      {"a.css?v=2", kSjis, "a.css"},
      {"&#65;.css#x", kSjis, "A.css"},
      {"a%3Fb%23c.css", kSjis, "a?b#c.css"},
      {"a&amp;b&quot;c&lt;d&gt;e", kSjis, "a&b\"c<d>e"},
      {"?v=2", kSjis, ""},
      // Each percent escape is one byte, whatever they spell; references give whole characters.
      {"%E3%81%82.css", kSjis, "\xE3\x81\x82.css"},
      {"%E3%81.css", kSjis, "\xE3\x81.css"},
      {"%90%B6%83o.js", kSjis, "\x90\xB6\x83o.js"},
      {"&#128512;", kSjis, "\xF0\x9F\x98\x80"},
      {"&#99999999999999999999;", kSjis, "\xEF\xBF\xBD"},
      {"&#-65;", kSjis, "\xEF\xBF\xBD"},
      // Japanese file names, read in the page's encoding (each encoding is decodeToWide's).
      {"\x82\xA0.css", kSjis, "\xE3\x81\x82.css"},
      {"\x1b$B$\"\x1b(B.css", TargetEncoding::Iso2022Jp, "\xE3\x81\x82.css"},
  };
  for (const auto& c : cases) EXPECT_EQ(firstName(c.value, c.encoding), c.name) << c.value;
}

// A page that was in Shift_JIS or EUC-JP may name a file its site wrote in those bytes: raw in
// the page, or escaped as UTF-8. The escaped bytes themselves come first, as the browser asks.
TEST(ReferenceNames, InTheLegacyEncodingTheSiteWasIn) {
  constexpr TargetEncoding kSjis = TargetEncoding::ShiftJis, kEuc = TargetEncoding::EucJp, kUtf8 = TargetEncoding::Utf8;
  const std::string utf8 = "js/\xE7\x94\x9F.js", sjis = "js/\x90\xB6.js", euc = "js/\xC0\xB8.js";  // 生
  const struct {
    std::string value;
    NameReading reading;
    std::vector<std::string> names;
  } cases[] = {
      {"js/%90%B6.js", {kUtf8, kSjis}, {sjis}},
      {"js/%C0%B8.js", {kUtf8, kEuc}, {euc}},
      {"js/%E7%94%9F.js", {kUtf8, kSjis}, {utf8, sjis}},
      {"js/%E7%94%9F.js", {kSjis, kEuc}, {utf8, euc}},
      {"js/%E7%94%9F.js", {kUtf8, std::nullopt}, {utf8}},
      {utf8, {kUtf8, kSjis}, {utf8, sjis}},
      {sjis, {kSjis, kSjis}, {utf8, sjis}},
      {euc, {kEuc, kEuc}, {utf8, euc}},
      {"js/a%20b.js", {kUtf8, kSjis}, {"js/a b.js"}},
  };
  for (const auto& c : cases) EXPECT_EQ(referenceNames(c.value, c.reading), c.names) << c.value;
}

// A relative reference is put under the base's folder; an absolute one is not; a remote base
// makes relative references remote.
TEST(ReferenceNames, AgainstABase) {
  const struct {
    std::string base, value, name;
  } cases[] = {
      {"lib/", "a.css", "lib/a.css"},
      {"file:///site/lib/", "a.css", "/site/lib/a.css"},
      {"lib\\", "a.css", "lib/a.css"},
      {"lib/", "/abs/a.css", "/abs/a.css"},
      {"lib/", "#top", ""},
      {"http://example.com/", "a.css", "-"},
      {"http://example.com/", "file:///a.css", "/a.css"},
  };
  for (const auto& c : cases) {
    const ReferenceBase base = referenceBaseOf(c.base, TargetEncoding::ShiftJis);
    EXPECT_EQ(firstName(c.value, TargetEncoding::ShiftJis, base), c.name) << c.base << " " << c.value;
  }
}

}  // namespace
}  // namespace sarnavel
