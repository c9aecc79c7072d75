// Forms and links whose meaning changes with the page's encoding, as the page walk finds them.
#include "html/page_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/page_walk.h"

namespace sarnavel {
namespace {

// "F:value" for a form without accept-charset, "Q:value" for a non-ASCII query, in order.
std::string marksOf(std::string_view page) {
  PARSE1INFO head;
  PARSE2INFO loads;
  std::vector<PageMark> marks;
  const PageMarkSink sink = [&](PageMark&& mark) { marks.push_back(std::move(mark)); };
  walkPage(page, head, loads, &sink);
  std::string out;
  for (const PageMark& m : marks) {
    if (!out.empty()) out += '|';
    out += (m.kind == PageMarkKind::FormWithoutAcceptCharset ? "F:" : "Q:") + m.value;
  }
  return out;
}

TEST(PageMarks, Cases) {
  const struct {
    std::string page, expected;
  } cases[] = {
      {"<form action=\"/cgi-bin/post.cgi\">", "F:/cgi-bin/post.cgi"},
      {"<FORM ACTION=x.cgi Accept-Charset=\"Shift_JIS\">", ""},
      {"<form>", "F:"},
      {"<form action=\"s.cgi?q=\x93\xFA\">", "F:s.cgi?q=\x93\xFA|Q:s.cgi?q=\x93\xFA"},
      {"<a href=\"s.cgi?q=\xE6\x97\xA5\">", "Q:s.cgi?q=\xE6\x97\xA5"},
      {"<area href='m.cgi?k=\x93\xFA'>", "Q:m.cgi?k=\x93\xFA"},  // single quotes are quotes
      {"<a href=\"s.cgi?q=abc\">", ""},
      {"<a href=\"\x93\xFA.html\">", ""},                                   // non-ASCII path, no query
      {"<a href=\"p.html?x=1#\x93\xFA\">", ""},                             // the fragment never reaches the server
      {"<a href=\"s.cgi?q=\x1b$BF|\x1b(B\">", "Q:s.cgi?q=\x1b$BF|\x1b(B"},  // ISO-2022-JP
      {"<img src=\"s.cgi?q=\x93\xFA\">", ""},
      {"<!-- <form action=a> --><script>'<form>'</script>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(marksOf(c.page), c.expected) << c.page;
}

TEST(PageMarks, TextOfAMark) {
  EXPECT_EQ(pageMarkText({PageMarkKind::FormWithoutAcceptCharset, 0, "\x93\xFA.cgi"}, TargetEncoding::ShiftJis),
            "\xE6\x97\xA5.cgi");
}

}  // namespace
}  // namespace sarnavel
