// The one walk over a converted page finds what the head analysis and the reference collection
// find on their own.
#include "html/page_walk.h"

#include <gtest/gtest.h>

#include <string>

namespace sarnavel {
namespace {

TEST(PageWalk, FindsWhatEachReaderFindsAlone) {
  const std::string pages[] = {
      "<html><head><title>t</title><meta http-equiv=Content-Type content=\"text/html; charset=x\">"
      "<link rel=stylesheet href=a.css></head><body><script src=b.js></script></body></html>",
      "<html><head><script src=a.js><meta charset=x></script><meta charset=y><title>t</title></head>",
      "<html><head><style><meta charset=x><link rel=stylesheet href=s.css></style><meta charset=y></head>",
      "<html><head><script>document.write('<link rel=stylesheet href=w.css>')</script><link rel=stylesheet href=r.css>",
      "<html><head><!-- <meta charset=x> --><meta http-equiv=Content-Script-Type content=text/vbscript>"
      "<script src=v.js></script><script type=text/javascript src=j.js></script></head></html>",
      "<html><body><meta charset=late><link rel=stylesheet href=late.css></body></html>",
      "<p>no html tag<link rel=stylesheet href=x.css><script src=x.js></SCRIPT><meta charset=z>",
      "<html><head><title>\x1B$B$<\x1B(B</title><script src=i.js></script></head></html>",
      "<!DOCTYPE html><html><head><base href=lib/><script type=module src=m.js></script><base href=x/></head>",
      // A tag in a followed script's body holds that body's end and starts a script whose body
      // the references skip: the head analysis reads the meta between the two ends.
      "<html><head><script src=a.js><script x</SCRIPT><meta charset=x></script></head>",
  };
  for (const std::string& page : pages) {
    PARSE1INFO alone, walked;
    const bool hasHtml = analyseHead(page, alone);
    PARSE2INFO collected, gathered;
    collectReferences(page, collected);
    EXPECT_EQ(walkPage(page, walked, gathered), hasHtml) << page;
    EXPECT_EQ(walked.charset, alone.charset) << page;
    EXPECT_EQ(walked.declaredLabel(), alone.declaredLabel()) << page;
    EXPECT_EQ(walked.metaDeclarations.size(), alone.metaDeclarations.size()) << page;
    EXPECT_EQ(walked.hasContentTypeMeta, alone.hasContentTypeMeta) << page;
    EXPECT_EQ(walked.metaStart, alone.metaStart) << page;
    EXPECT_EQ(walked.hasTitle, alone.hasTitle) << page;
    EXPECT_EQ(walked.titleStart, alone.titleStart) << page;
    EXPECT_EQ(walked.headEnd, alone.headEnd) << page;
    EXPECT_EQ(walked.contentScriptType, alone.contentScriptType) << page;
    ASSERT_EQ(gathered.elements.size(), collected.elements.size()) << page;
    for (std::size_t k = 0; k < collected.elements.size(); ++k) {
      EXPECT_EQ(gathered.elements[k].tagStart, collected.elements[k].tagStart) << page;
      EXPECT_EQ(gathered.elements[k].tagEnd, collected.elements[k].tagEnd) << page;
      EXPECT_EQ(gathered.elements[k].kind, collected.elements[k].kind) << page;
    }
    EXPECT_EQ(walked.doctypeEnd, alone.doctypeEnd) << page;
    EXPECT_EQ(gathered.base.has_value(), collected.base.has_value()) << page;
  }
}

}  // namespace
}  // namespace sarnavel
