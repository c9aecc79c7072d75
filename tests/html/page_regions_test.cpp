#include "html/page_regions.h"

#include <gtest/gtest.h>

#include <string>

#include "html/script_set_charsets.h"
#include "html/script_written_tags.h"

namespace sarnavel {
namespace {

// The spans of a page as "M:text|S:text|..." (M markup, S script, C style, R raw text, F fallback
// text).
template <class Char>
std::string spansOf(std::basic_string_view<Char> page, bool iso2022 = false) {
  static constexpr char kLetters[] = {'M', 'S', 'C', 'R', 'F'};
  std::string out;
  PageRegions<Char> regions(page, iso2022);
  std::size_t covered = 0;
  while (std::optional<RegionSpan> span = regions.next()) {
    EXPECT_EQ(span->start, covered) << "spans leave a gap";
    covered = span->end;
    if (!out.empty()) out += '|';
    out += kLetters[static_cast<int>(span->region)];
    out += ':';
    for (Char c : page.substr(span->start, span->end - span->start)) out += static_cast<char>(c);
  }
  EXPECT_EQ(covered, page.size());
  return out;
}

TEST(PageRegions, Cases) {
  const struct {
    std::string page, spans;
  } cases[] = {
      {"<p>a</p>", "M:<p>a</p>"},
      {"<SCRIPT>x</script><p>", "M:<SCRIPT>|S:x|M:</script><p>"},
      {"<style type=x>p{}</STYLE >", "M:<style type=x>|C:p{}|M:</STYLE >"},
      {"<xmp>&lt;</xmp>", "M:<xmp>|R:&lt;|M:</xmp>"},
      {"<plaintext>a</plaintext>b", "M:<plaintext>|R:a</plaintext>b"},  // to the end of the page
      {"<script>a</scripts>b</script>", "M:<script>|S:a</scripts>b|M:</script>"},
      {"<script>unended", "M:<script>|S:unended"},
      {"<!-- <script> -->x", "M:<!-- <script> -->x"},                          // a comment opens nothing
      {"<textarea><script>x</textarea>", "M:<textarea><script>x</textarea>"},  // nor the text of a textarea
      {"<scripts>x", "M:<scripts>x"},
      // Each element whose text is stepped over, in any letter case, and the fallback text
      // browsers never show; noscript holds markup, as a browser without scripts reads it.
      {"<TITLE><xmp></title><iframe><xmp></iframe><noEmbed><xmp></noembed><noframes><xmp></noFrames>",
       "M:<TITLE><xmp></title><iframe>|F:<xmp>|M:</iframe><noEmbed>|F:<xmp>|M:</noembed><noframes>|F:<xmp>|M:</"
       "noFrames>"},
      {"<noscript><style>a{}</style></noscript>", "M:<noscript><style>|C:a{}|M:</style></noscript>"},
      {"<script type=\"text/template\">x</script>", "M:<script type=\"text/template\">x</script>"},
      {"<script type=application/ld+json>x</script>", "M:<script type=application/ld+json>|S:x|M:</script>"},
      {"<script type=module>x</script>", "M:<script type=module>|S:x|M:</script>"},
      {"", ""},
      // A `<` at each edge of the 16-byte blocks the scan compares at once, and in the last bytes.
      {"aaaaaaaaaaaaaa<script>x</script>", "M:aaaaaaaaaaaaaa<script>|S:x|M:</script>"},
      {"aaaaaaaaaaaaaaa<sCript>x</script>", "M:aaaaaaaaaaaaaaa<sCript>|S:x|M:</script>"},
      {"aaaaaaaaaaaaaaaa<xmp>x</xmp><p><s", "M:aaaaaaaaaaaaaaaa<xmp>|R:x|M:</xmp><p><s"},
      {"aaaaaaaaaaaaaaaaa<!-- <xmp> -->a<style>", "M:aaaaaaaaaaaaaaaaa<!-- <xmp> -->a<style>|C:"},
      {"<p>aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa<", "M:<p>aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa<"},
      {"<p><b><script>x</script>", "M:<p><b><script>|S:x|M:</script>"},
      {"<p>aaaaaaaaaaaaaaa<xmp>x", "M:<p>aaaaaaaaaaaaaaa<xmp>|R:x"},
      // A closing tag whose `/` begins the next block, and one in the bytes after the last block.
      {"aaaaaaaaaaaaaaa</xmp><xmp>x</xmp>", "M:aaaaaaaaaaaaaaa</xmp><xmp>|R:x|M:</xmp>"},
      {"aaaaaaaaaaaaaaaa</p><xmp>", "M:aaaaaaaaaaaaaaaa</p><xmp>|R:"},
  };
  for (const auto& c : cases) EXPECT_EQ(spansOf(std::string_view(c.page)), c.spans) << c.page;
  EXPECT_EQ(spansOf(std::u16string_view(u"<style>a</style>")), "M:<style>|C:a|M:</style>");
  // In ISO-2022-JP a two-byte run may hold the bytes of "</": they end nothing.
  EXPECT_EQ(spansOf(std::string_view("<script>\x1B$B</\x1B(B</script>"), true),
            "M:<script>|S:\x1B$B</\x1B(B|M:</script>");
}

// "charset@offset src" of each script tag written by a script.
std::string writtenTags(std::string_view page) {
  std::string out;
  for (const WrittenScriptTag& tag : scriptTagsWrittenByScripts(page)) {
    if (!out.empty()) out += '|';
    out += tag.charset + "@" + std::to_string(tag.labelAt) + " " + tag.src;
  }
  return out;
}

TEST(ScriptWrittenTags, Cases) {
  const struct {
    std::string page, tags;
  } cases[] = {
      {"<script>document.write('<script src=\"a.js\" charset=\"euc-jp\"><\\/script>')</script>", "euc-jp@52 a.js"},
      {"<script>document.write(\"<SCRIPT SRC=\\\"a.js\\\" CHARSET=\\\"x-sjis\\\">\")</script>", "x-sjis@55 a.js"},
      {"<script>document.write('<script src=\"' + f + '\" charset=euc-jp>')</script>", "euc-jp@56 "},
      {"<script>document.write('<script src=a.js>')</script>", ""},  // no charset
      {"<script>var s = '<script charset=euc-jp>';</script>", ""},   // no document.write
      {"<p>document.write('<script charset=euc-jp>')</p>", ""},      // not in a script
      // The word is looked for around each 'w': the first here belongs to no "document.write".
      {"<script>var w=1;document.write('<script charset=euc-jp>')</script>", "euc-jp@48 "},
  };
  for (const auto& c : cases) EXPECT_EQ(writtenTags(c.page), c.tags) << c.page;
}

// "label@offset text" of each charset a script sets on an element it makes.
TEST(ScriptSetCharsets, Cases) {
  const struct {
    std::string script, set;
  } cases[] = {
      {"s.charset = 'Shift_JIS';", "Shift_JIS@1 .charset = 'Shift_JIS'"},
      {"s.charset=\"EUC-JP\";s.setAttribute( 'CharSet' ,\n\"x-sjis\")",
       "EUC-JP@1 .charset=\"EUC-JP\"|x-sjis@21 setAttribute( 'CharSet' ,\n\"x-sjis\""},
      {"if (s.charset == 'Shift_JIS') f();", ""},       // compared, not set
      {"s.charset = label; s.charset = 'a' + b;", ""},  // not a whole string label
      {"s.Charset = 'x'; o.charsets = 'x'; get('charset', 'x')", ""},
  };
  for (const auto& c : cases) {
    std::string set;
    for (const SetCharset& found : charsetsSetByScript(c.script)) {
      if (!set.empty()) set += '|';
      set += found.label + "@" + std::to_string(found.at) + " " + found.text;
    }
    EXPECT_EQ(set, c.set) << c.script;
  }
}

}  // namespace
}  // namespace sarnavel
