#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/memory_resolver.h"
#include "support/targets.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr int kSjis = 0, kEuc = 1, kJis = 2, kUtf8 = 3;

struct Page {
  testing::MemoryResolver files;
  TargetChoice options;
  DocumentResult result;

  std::string convert(std::string_view in, int encoding = kSjis) {
    options.targetEncoding = testing::asTarget(encoding);
    std::string text(in);
    result = convertHtml(text, options, files);
    return text;
  }
  std::vector<FoundReference> loads() const {
    std::vector<FoundReference> found;
    for (const FoundReference& r : result.references) {
      if (r.status == ReferenceStatus::Followable) found.push_back(r);
    }
    return found;
  }
  std::vector<std::string> loaded(LoadedKind kind) const {
    std::vector<std::string> paths;
    for (const FoundReference& file : loads()) {
      if (file.kind == kind) paths.push_back(file.path);
    }
    return paths;
  }
};

// "form former-charset fate|..." for the declarations a conversion reports.
std::string declarationsOf(const DocumentResult& result) {
  static const char* forms[] = {"meta", "charset", "xml", "rule"};
  static const char* fates[] = {"replaced", "moved before title", "moved earlier", "added", "rewritten", "kept"};
  std::string out;
  for (const Declaration& d : result.declarations) {
    out += std::string(out.empty() ? "" : "|") + forms[static_cast<int>(d.form)] + " " + d.formerCharset + " " +
           fates[static_cast<int>(d.fate)];
  }
  return out;
}

const std::string kDecl = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";

TEST(ConvertHtml, DeclarationPlacement) {
  struct Case {
    const char* what;
    std::string in;
    int encoding;
    std::string out;
    std::string declarations;  // each as the result names it: form, former charset, what became of it
  } cases[] = {
      {"none: inserted after the head start tag", "<html><head><title>\x82\xa0</title></head></html>", kEuc,
       "<html><head>" + kDecl + "EUC-JP\" /><title>\xa4\xa2</title></head></html>", "meta  added"},
      {"before the title: its label replaced where it stands",
       "<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
       "charset=x-sjis\"><title>t</title></head></html>",
       kUtf8,
       "<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
       "charset=UTF-8\"><title>t</title></head></html>",
       "meta x-sjis replaced"},
      {"after the title: moved before it, as written",
       "<html><head><title>t</title><meta http-equiv=\"content-type\" content=\"text/html; "
       "charset=euc-jp\"/></head></html>",
       kSjis,
       "<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
       "charset=Shift_JIS\"/><title>t</title></head></html>",
       "meta euc-jp moved before title"},
      {"a meta charset after the title: moved before it too",
       "<html><head><title>t</title><meta charset=euc-jp></head></html>", kSjis,
       "<html><head><meta charset=Shift_JIS><title>t</title></head></html>", "charset euc-jp moved before title"},
      {"no title: replaced in place",
       "<html><head><link rel=x><meta http-equiv=\"Content-Type\" content=\"text/html\"></head></html>", kJis,
       "<html><head><link rel=x>" + kDecl + "ISO-2022-JP\"></head></html>", "meta  replaced"},
      {"no head tag, no declaration: inserted after the html start tag", "<html><title>t</title></html>", kSjis,
       "<html>" + kDecl + "Shift_JIS\" /><title>t</title></html>", "meta  added"},
      {"an HTML5 declaration is rewritten and no other added",
       "<html><head><meta charset=\"utf-8\"><title>t</title></head></html>", kEuc,
       "<html><head><meta charset=\"EUC-JP\"><title>t</title></head></html>", "charset utf-8 rewritten"},
      {"an XML declaration names the target too",
       "<?xml version=\"1.0\" encoding='Shift_JIS'?>\n<html><head></head></html>", kUtf8,
       "<?xml version=\"1.0\" encoding='UTF-8'?>\n<html><head>" + kDecl + "UTF-8\" /></head></html>",
       "xml Shift_JIS rewritten|meta  added"},
      // Browsers read a declaration with or without an html tag, and obey the first of several.
      {"no html tag: rewritten all the same",
       "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\"></head>\x82\xa0", kEuc,
       "<head>" + kDecl + "EUC-JP\"></head>\xa4\xa2", "meta euc-jp replaced"},
      // Without html a page whose encoding changes gets one before its first content.
      {"no html tag, nothing declared: added at the start", "<p>\x82\xa0", kEuc, kDecl + "EUC-JP\" /><p>\xa4\xa2",
       "meta  added"},
      {"no html tag, nothing declared: added after the doctype", "<!DOCTYPE html>\n<p>\x82\xa0", kUtf8,
       "<!DOCTYPE html>" + kDecl + "UTF-8\" />\n<p>\xe3\x81\x82", "meta  added"},
      {"no html tag, nothing declared, ASCII only: nothing added", "<p>a", kEuc, "<p>a", ""},
      {"no html tag, nothing declared but the byte-order mark dropped", "\xef\xbb\xbf<p>\xe3\x81\x82", kUtf8,
       kDecl + "UTF-8\" /><p>\xe3\x81\x82", "meta  added"},
      {"two declarations: each names the target",
       "<html><head><meta http-equiv=\"Content-Type\" content=\"a\"><title>t</title><meta charset=b>"
       "<meta http-equiv=\"Content-Type\" content=\"b\"/></head></html>",
       kSjis,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"a; charset=Shift_JIS\"><title>t</title>"
       "<meta charset=Shift_JIS><meta http-equiv=\"Content-Type\" content=\"b; charset=Shift_JIS\"/></head></html>",
       "meta  replaced|charset b rewritten|meta  replaced"},
      {"one before the title and one after: neither moves, so a second conversion changes nothing",
       "<html><head><meta http-equiv=\"Content-Type\" content=\"a\"><title>t</title>"
       "<meta http-equiv=\"Content-Type\" content=\"b\"></head></html>",
       kSjis,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"a; charset=Shift_JIS\"><title>t</title>"
       "<meta http-equiv=\"Content-Type\" content=\"b; charset=Shift_JIS\"></head></html>",
       "meta  replaced|meta  replaced"},
      // Browsers look for it in the first 1024 bytes: one beyond them moves to the head's start.
      {"a declaration beyond the first 1024 bytes",
       "<html><head><!--" + std::string(1100, '-') +
           "--><meta http-equiv=\"Content-Type\" content=\"text/html; "
           "charset=euc-jp\"><title>t</title></head></html>",
       kSjis,
       "<html><head>" + kDecl + "Shift_JIS\"><!--" + std::string(1100, '-') + "--><title>t</title></head></html>",
       "meta euc-jp moved earlier"},
      {"the head's start beyond them too: after the doctype",
       "<!DOCTYPE html><!--" + std::string(1100, '-') + "--><html><head><meta charset=euc-jp></head></html>", kSjis,
       "<!DOCTYPE html><meta charset=Shift_JIS><!--" + std::string(1100, '-') + "--><html><head></head></html>",
       "charset euc-jp moved earlier"},
      {"a meta charset longer than them: stays, a short declaration goes before it",
       "<html><head><meta charset=euc-jp data-x=\"" + std::string(1100, 'x') + "\"></head></html>", kSjis,
       "<html><head>" + kDecl + "Shift_JIS\" /><meta charset=Shift_JIS data-x=\"" + std::string(1100, 'x') +
           "\"></head></html>",
       "meta  added|charset euc-jp rewritten"},
  };
  for (const auto& c : cases) {
    Page page;
    EXPECT_EQ(page.convert(c.in, c.encoding), c.out) << c.what;
    EXPECT_EQ(declarationsOf(page.result), c.declarations) << c.what;
  }
}

// An XHTML page read as XML knows its encoding from its XML declaration alone (UTF-8 without
// one): with another target it gets one, or its own an encoding; the meta follows as a page's.
TEST(ConvertHtml, XhtmlPagesNameATargetOtherThanUtf8InTheirXmlDeclaration) {
  const std::string head = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>\x82\xa0</title></head></html>";
  const std::string euc = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>" + kDecl +
                          "EUC-JP\" /><title>\xa4\xa2</title></head></html>";
  const struct {
    std::string in;
    int encoding;
    std::string out;
    std::string declarations;
  } cases[] = {
      {head, kEuc, "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + euc, "xml  added|meta  added"},
      {"<!DOCTYPE html>\r\n" + head, kEuc, "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\r\n<!DOCTYPE html>\r\n" + euc,
       "xml  added|meta  added"},
      {"<?xml version='1.0' standalone='yes'?>\n" + head, kEuc,
       "<?xml version='1.0' encoding=\"EUC-JP\" standalone='yes'?>\n" + euc, "xml  added|meta  added"},
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n" + head, kEuc,
       "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n" + euc, "xml Shift_JIS rewritten|meta  added"},
      // UTF-8 needs none; an XML declaration without a version is none to add to.
      {head, kUtf8,
       "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>" + kDecl +
           "UTF-8\" /><title>\xe3\x81\x82</title></head></html>",
       "meta  added"},
      {"<?xml ?>" + head, kEuc, "<?xml ?>" + euc, "meta  added"},
      // The XML declaration is what an XML parser obeys: it tells the page's encoding before a meta.
      {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?><html><head><meta "
       "charset=\"Shift_JIS\"></head><p>\xa4\xa2</p></html>",
       kUtf8,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html><head><meta "
       "charset=\"UTF-8\"></head><p>\xe3\x81\x82</p></html>",
       "xml EUC-JP rewritten|charset Shift_JIS rewritten"},
  };
  for (const auto& c : cases) {
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.encoding);
    std::string text = c.in;
    std::vector<PageEdit> edits;
    const DocumentResult result = convertXhtmlLeavingEdits(text, edits, options, testing::MemoryResolver{});
    applyPageEdits(text, std::move(edits));
    EXPECT_EQ(text, c.out) << c.in;
    EXPECT_EQ(declarationsOf(result), c.declarations) << c.in;
    // Converting the result again changes nothing.
    std::vector<PageEdit> again;
    (void)convertXhtmlLeavingEdits(text, again, options, testing::MemoryResolver{});
    applyPageEdits(text, std::move(again));
    EXPECT_EQ(text, c.out) << c.in;
  }
}

// An XHTML page loads the CSS sheets its prolog's `<?xml-stylesheet?>` instructions name: their
// charset follows the target as a link's does. An HTML page reads the same instruction as a
// comment, and an XSLT is no sheet.
TEST(ConvertHtml, XhtmlStyleSheetInstructionsNameTheTarget) {
  const std::string body = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><p>\x82\xa0</p></html>";
  const struct {
    std::string prolog;
    bool xhtml;
    std::string out;
    std::string loads;
  } cases[] = {
      {"<?xml-stylesheet href=\"a.css\" type=\"text/css\" charset=\"Shift_JIS\"?>", true,
       "<?xml-stylesheet href=\"a.css\" type=\"text/css\" charset=\"UTF-8\"?>", "a.css"},
      {"<?xml-stylesheet href='a.css'?>", true, "<?xml-stylesheet href='a.css' charset=\"UTF-8\"?>", "a.css"},
      {"<?xml-stylesheet href=\"a.xsl\" type=\"text/xsl\"?>", true,
       "<?xml-stylesheet href=\"a.xsl\" type=\"text/xsl\"?>", ""},
      {"<?xml-stylesheet href=\"a.css\" charset=\"Shift_JIS\"?>", false,
       "<?xml-stylesheet href=\"a.css\" charset=\"Shift_JIS\"?>", ""},
  };
  for (const auto& c : cases) {
    TargetChoice options;
    options.targetEncoding = TargetEncoding::Utf8;
    std::string text = c.prolog + body;
    std::vector<PageEdit> edits;
    const testing::MemoryResolver files = testing::MemoryResolver{}.file("a.css").file("a.xsl");
    const DocumentResult result = c.xhtml ? convertXhtmlLeavingEdits(text, edits, options, files)
                                          : convertHtmlLeavingEdits(text, edits, options, files);
    applyPageEdits(text, std::move(edits));
    EXPECT_TRUE(text.starts_with(c.out)) << text;
    std::string loads;
    for (const FoundReference& r : result.references) loads += r.reference;
    EXPECT_EQ(loads, c.loads) << c.prolog;
  }
}

// A Latin-1 page's letters are decomposed where they become references (cafe&#769;, counted
// with the document's result); raw text in UTF-8 holds the letter as the browser read it.
TEST(ConvertHtml, Latin1RawText) {
  Page page;
  EXPECT_EQ(
      page.convert("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\"></head>"
                   "<body><xmp>caf\xe9</xmp></body></html>",
                   kUtf8),
      "<html><head>" + kDecl + "UTF-8\"></head><body><xmp>caf\xc3\xa9</xmp></body></html>");
}

// Every source form gets the escape of the region: here U+4E02, which only JIS X 0212 of an
// EUC-JP page holds, in a Shift_JIS page; a style sheet in noscript is CSS to a browser without
// scripts. In <xmp> no escape is read: it is lost, and said; so in an iframe's fallback text,
// which nobody sees.
TEST(ConvertHtml, EscapesFollowTheRegionFromEucJpToo) {
  Page page;
  const std::string k = "\x8f\xb0\xa1";
  std::string out = page.convert(
      "<html><head><meta charset=euc-jp></head><body><p>" + k + "</p><script>s='" + k + "'</script><style>p{content:'" +
          k + "'}</style><script type=application/ld+json>\"" + k + "\"</script><script type=module>s='" + k +
          "'</script><xmp>" + k + "</xmp><noscript><style>" + k + "</style></noscript><iframe>" + k + "</iframe>",
      kSjis);
  EXPECT_EQ(out,
            "<html><head><meta charset=Shift_JIS></head><body><p>&#19970;</p><script>s='\\u4E02'</script>"
            "<style>p{content:'\\4E02 '}</style><script type=application/ld+json>\"\\u4E02\"</script>"
            "<script type=module>s='\\u4E02'</script><xmp>&#19970;</xmp><noscript><style>\\4E02 </style></noscript>"
            "<iframe>&#19970;</iframe>");
  ASSERT_EQ(page.result.lost.size(), 2u);
  EXPECT_EQ(page.result.lost[0].writtenAs, StandIn::Reference);
  EXPECT_EQ(page.result.lost[0].count, 1u);
  EXPECT_EQ(page.result.lost[1].writtenAs, StandIn::UnshownReference);
}

// A script element that a script writes (document.write) with a charset: where it names a file
// the run converts outright, its label in the script's string names the target; otherwise it
// is left and noticed.
TEST(ConvertHtml, CharsetsWrittenByScripts) {
  Page page;
  page.files.file("a.js");
  const std::string write = "<html><head><meta charset=euc-jp><script>document.write('<script src=\"";
  EXPECT_EQ(page.convert(write + "a.js\" charset=\"EUC-JP\"><\\/script>')</script>", kSjis),
            "<html><head><meta charset=Shift_JIS><script>document.write('<script src=\"a.js\" "
            "charset=\"Shift_JIS\"><\\/script>')</script>");
  ASSERT_EQ(page.loads().size(), 1u);
  EXPECT_TRUE(page.loads()[0].writtenByScript);
  EXPECT_TRUE(page.result.pageNotices.empty());

  page.convert(write + "' + name + '\" charset=\"EUC-JP\">')</script>", kSjis);
  EXPECT_TRUE(page.loads().empty());
  ASSERT_EQ(page.result.pageNotices.size(), 1u);
  EXPECT_EQ(page.result.pageNotices[0].kind, PageNoticeKind::CharsetByScript);
  EXPECT_EQ(page.result.pageNotices[0].at.column, 58u);

  // A charset set in code on an element a script makes, in a page or in a script, is noticed
  // when it names another encoding.
  page.convert(
      "<meta charset=euc-jp><script>s = document.createElement('script'); s.charset = 'EUC-JP'; "
      "t.charset = 'Shift_JIS';</script>",
      kSjis);
  ASSERT_EQ(page.result.pageNotices.size(), 1u);
  EXPECT_EQ(page.result.pageNotices[0].kind, PageNoticeKind::CharsetSetByScript);
  EXPECT_EQ(page.result.pageNotices[0].text, ".charset = 'EUC-JP'");
  std::string script = "s = document.createElement('script');\n  s.setAttribute('charset', 'euc-jp');";
  const DocumentResult loaded = convertJavaScript(script, page.options);
  ASSERT_EQ(loaded.pageNotices.size(), 1u);
  EXPECT_EQ(loaded.pageNotices[0].at.line, 2u);
}

TEST(ConvertHtml, CharsetAttributesAndEveryReference) {
  Page page;
  page.files.file("css/a.css").file("b.js").file("v.vbs").file("passwd").binary("c.js");
  std::string in =
      "<html><head>"
      "<link rel='stylesheet' href=css/a.css>"
      "<link type=text/css rel=StyleSheet href=css/a.css charset=\"euc-jp\"/>"
      "<link rel=\"stylesheet\" href=\"http://example.com/a.css\">"
      "<link rel=\"stylesheet\" href=\"missing.css\" charset=\"euc-jp\">"
      "<link rel=\"stylesheet\" href=\"\">"
      "<script src=\"b.js?v=2#top\"></script>"
      "<script type=\"text/vbscript\" src=\"v.vbs\"></script>"
      "<script src=passwd></script><script src=c.js></script>"
      "</head></html>";
  std::string out = page.convert(in);
  EXPECT_EQ(out, "<html><head>" + kDecl +
                     "Shift_JIS\" />"
                     "<link rel='stylesheet' href=css/a.css charset=\"Shift_JIS\">"
                     "<link type=text/css rel=StyleSheet href=css/a.css charset=\"Shift_JIS\"/>"
                     "<link rel=\"stylesheet\" href=\"http://example.com/a.css\">"
                     "<link rel=\"stylesheet\" href=\"missing.css\" charset=\"euc-jp\">"
                     "<link rel=\"stylesheet\" href=\"\">"
                     "<script src=\"b.js?v=2#top\" charset=\"Shift_JIS\"></script>"
                     "<script type=\"text/vbscript\" src=\"v.vbs\"></script>"
                     "<script src=passwd></script><script src=c.js></script>"
                     "</head></html>");
  // every reference in document order: status (0 remote, 1 missing, 2 followable, 3 wrong kind,
  // 4 binary), the path found, the charset its element had, and whether it now names the target
  std::string references;
  for (const FoundReference& r : page.result.references) {
    references += std::to_string(static_cast<int>(r.status)) + " " + r.path + " " + r.formerCharset +
                  (r.charsetWritten ? " written|" : "|");
  }
  EXPECT_EQ(references,
            "2 /site/css/a.css  written|2 /site/css/a.css euc-jp written|0  |1  euc-jp|2 /site/b.js  written|"
            "3 /site/passwd |4 /site/c.js |");
  EXPECT_EQ(page.result.charsetAttributesWritten(), 3u);
}

// A module script keeps its tag (browsers read modules as UTF-8) and is reported as one; how
// the other loading elements are spelt is the browser suite's (script-types.html, base.html).
TEST(ConvertHtml, ModuleScriptsKeepTheirTag) {
  Page page;
  page.files.file("js/a.js");
  EXPECT_EQ(page.convert("<script type=module src=js/a.js>", kEuc), "<script type=module src=js/a.js>");
  ASSERT_EQ(page.loads().size(), 1u);
  EXPECT_TRUE(page.loads()[0].module);
  EXPECT_FALSE(page.loads()[0].charsetWritten);
}

// A tag read in a script body whose text holds the end of that body keeps its bytes: written
// anew it would lose the "</script>", and the body, for browsers and a second conversion, would
// run on over the head (a meta there then declared another encoding).
TEST(ConvertHtml, TagHoldingABodyEndKeepsIt) {
  Page page;
  page.files.file("b.js");
  const std::string in = "<script src=\"http://e.invalid/a.js><meta charset=euc-jp><script src=b.js </script><p>";
  EXPECT_EQ(page.convert(in, kSjis), in);
  ASSERT_EQ(page.loads().size(), 1u);
  EXPECT_FALSE(page.loads()[0].charsetWritten);
}

// A Japanese file name is read in the encoding the page is in after conversion, and matched by
// its bytes: as the browser asks for it, or, for a page that was in Shift_JIS or EUC-JP, in the
// bytes of that encoding, which an old site's files may be named in.
TEST(ConvertHtml, JapaneseNamesAreMatchedByTheirBytes) {
  const std::string utf8 = "\xe7\x94\x9f.js", sjis = "\x90\xb6.js", euc = "\xc0\xb8.js";  // 生.js
  const struct {
    std::string page, file;
  } cases[] = {
      {"<meta charset=Shift_JIS><script src=\"%90%B6.js\">", sjis},
      {"<meta charset=Shift_JIS><script src=\"%E7%94%9F.js\">", sjis},  // an ASCII page: its label says
      {"<meta charset=EUC-JP><script src=\"" + euc + "\">", euc},
      {"<meta charset=UTF-8><script src=\"" + utf8 + "\">", utf8},
  };
  for (const auto& c : cases) {
    for (int encoding : {kSjis, kEuc, kJis, kUtf8}) {
      Page page;
      page.files.file(c.file);
      const std::string out = page.convert(c.page, encoding);
      ASSERT_EQ(page.loaded(LoadedKind::Script).size(), 1u) << c.page << " to " << encoding;
      EXPECT_EQ(page.loads()[0].reference, c.file) << c.page;
      EXPECT_TRUE(page.loads()[0].charsetWritten) << c.page;
    }
  }
}

// Every one of many references is rewritten, each where it stands (how fast is bench/'s).
TEST(ConvertHtml, ManyReferencesAreAllRewritten) {
  Page page;
  std::string in = "<html><head></head><body>";
  std::string expected = "<html><head>" + kDecl + "EUC-JP\" /></head><body>";
  for (int k = 0; k < 130; ++k) {
    std::string name = "s" + std::to_string(k % 50) + ".css";
    if (k < 50) page.files.file(name);
    in += "\x82\xa0<link rel=stylesheet href=" + name + ">";
    expected += "\xa4\xa2<link rel=stylesheet href=" + name + " charset=\"EUC-JP\">";
  }
  EXPECT_EQ(page.convert(in + "</body></html>", kEuc), expected + "</body></html>");
  EXPECT_EQ(page.loads().size(), 130u);
}

// A page whose edits are left to the writer: applied, they give convertHtml's page, and the
// record (sizes and line breaks) is that page's, whether the edits shrink or grow it, insert a
// declaration at its top, carry a line break, stand one byte apart, or are applied at once
// because the line breaks of ISO-2022-JP are counted on the page.
TEST(ConvertHtml, EditsLeftToTheWriter) {
  struct Case {
    const char* what;
    std::string in;
    int encoding;
    LineEnding lineEnding;
    bool leftPending;  // edits are left to the writer
  };
  const std::string body = "<p>\x82\xa0\r\n<script src=a.js></script>\r\n";
  const std::vector<Case> cases = {
      {"shrinking", kDecl + "Shift_JIS\">" + body, kUtf8, LineEnding::Unchanged, true},
      {"growing", kDecl + "EUC-JP\">" + body, kSjis, LineEnding::Unchanged, true},
      {"inserted at the top", body, kUtf8, LineEnding::Unchanged, true},
      {"inserted after a line break", "<html>\r\n<head>\r\n<title>t</title></head>" + body, kEuc, LineEnding::Lf, true},
      {"tags one byte apart", kDecl + "Shift_JIS\">\r<script src=a.js>\n</script>" + body, kUtf8, LineEnding::Unchanged,
       true},
      {"to ISO-2022-JP", kDecl + "Shift_JIS\">" + body, kJis, LineEnding::Unchanged, false},
  };
  for (const Case& c : cases) {
    Page whole;
    whole.options.lineEnding = c.lineEnding;
    whole.files.file("a.js");
    const std::string expected = whole.convert(c.in, c.encoding);
    std::string text = c.in;
    std::vector<PageEdit> edits;
    const DocumentResult left = convertHtmlLeavingEdits(text, edits, whole.options, whole.files);
    EXPECT_EQ(!edits.empty(), c.leftPending) << c.what;
    applyPageEdits(text, edits);
    EXPECT_TRUE(testing::sameText<char>(text, expected)) << c.what;
    EXPECT_EQ(left.bytesAfter, expected.size()) << c.what;
    EXPECT_EQ(whole.result.bytesAfter, expected.size()) << c.what;
    EXPECT_TRUE(left.lineBreaksAfter == whole.result.lineBreaksAfter) << c.what;
    EXPECT_TRUE(left.lineBreaksAfter == countLineBreaks(expected)) << c.what;
  }
}

// HTML parsers read a reference to 27 of the C1 controls through the windows-1252 table, so
// none of them may be written as one: UTF-8 keeps the character, the others stand the geta
// mark in and report it lost (Shift_JIS holds U+0080 as the byte 0x80, which browsers read so).
// The five the table leaves empty are escaped as any other character. Each in text and in an
// attribute value, from a UTF-8 page (read in one pass) and a UTF-16 one (read by units).
TEST(ConvertHtml, C1ControlsAreNeverWrittenAsReferencesThatShowAnotherCharacter) {
  struct Case {
    char16_t c1;
    char16_t shownByReference;  // what a browser shows for its decimal reference
  } cases[] = {
      // U+0080 (which Shift_JIS holds), the five the table leaves empty, and their neighbours
      {0x80, 0x20AC}, {0x81, 0x81},   {0x82, 0x201A}, {0x8C, 0x0152}, {0x8D, 0x8D},   {0x8E, 0x017D}, {0x8F, 0x8F},
      {0x90, 0x90},   {0x91, 0x2018}, {0x9C, 0x0153}, {0x9D, 0x9D},   {0x9E, 0x017E}, {0x9F, 0x0178},
  };
  // あ and the geta mark in each target (both in JIS X 0208 mode in ISO-2022-JP)
  const std::string geta[] = {"\x82\xa0\x81\xac", "\xa4\xa2\xa2\xae", "$\"\"."};
  auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  for (const Case& c : cases) {
    const std::u16string page =
        u"<p title=\"\u3042" + std::u16string(1, c.c1) + u"\">\u3042" + std::u16string(1, c.c1) + u"</p>";
    std::string utf8;
    appendUtf8(utf8, c.c1);
    const std::string reference = "&#" + std::to_string(static_cast<int>(c.c1)) + ";";
    for (const std::string& source : {utf16ToUtf8(page), "\xff\xfe" + testing::utf16le(page)}) {
      for (int target : {kSjis, kEuc, kJis, kUtf8}) {
        SCOPED_TRACE(::testing::Message() << "U+" << std::hex << static_cast<int>(c.c1) << " target " << target
                                          << (source[0] == '\xff' ? " from UTF-16" : " from UTF-8"));
        Page converter;
        const std::string out = converter.convert(source, target);
        const DocumentResult& r = converter.result;
        if (c.shownByReference == c.c1) {
          EXPECT_EQ(count(out, reference), 2u);
          ASSERT_EQ(r.escaped.size(), 1u);
          EXPECT_EQ(r.escaped[0].count, 2u);
          EXPECT_TRUE(r.lost.empty());
        } else if (target == kUtf8 || (target == kSjis && c.c1 == 0x80)) {
          EXPECT_EQ(count(out, target == kUtf8 ? utf8 : "\x80"), 2u);
          EXPECT_TRUE(r.escaped.empty() && r.lost.empty());
        } else {
          EXPECT_EQ(count(out, "&#"), 0u);
          EXPECT_EQ(count(out, geta[target]), 2u);
          ASSERT_EQ(r.lost.size(), 1u);
          EXPECT_EQ(r.lost[0].codePoint, c.c1);
          EXPECT_EQ(r.lost[0].count, 2u);
          EXPECT_EQ(r.lost[0].writtenAs, StandIn::GetaMark);
          EXPECT_TRUE(r.escaped.empty());
        }
        Page again;
        EXPECT_EQ(again.convert(out, target), out) << "converted a second time";
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
