#include <gtest/gtest.h>

#include "support/targets.h"

#include "engine/text_conversion.h"

namespace sarnavel {
namespace {

// A plain text: its encoding and line endings change, nothing else; what the target lacks is
// the geta mark, recorded as lost where it stood.
TEST(ConvertPlainText, EncodingAndLineEndingsOnly) {
  struct Case {
    const char* what;
    std::string_view in;
    int encoding;
    LineEnding eol;
    std::string_view out;
    std::string lost;  // "U+XXXX line:column", the first lost character, or empty
  } cases[] = {
      {"circled digit travels to Shift_JIS", "\xe2\x91\xa0\n", 0, LineEnding::Unchanged, "\x87\x40\n", ""},
      {"accent is lost to Shift_JIS", "a\n b\xc3\xa9", 0, LineEnding::Unchanged, "a\n b\x81\xac", "U+00E9 2:3"},
      {"emoji is lost to ISO-2022-JP", "\xf0\x9f\x98\x80", 2, LineEnding::Unchanged,
       "\x1b$B\"."
       "\x1b(B",
       "U+1F600 1:1"},
      {"UTF-16 with a mark", std::string_view("\xff\xfe\xe9\x00", 4), 0, LineEnding::Unchanged, "\x81\xac",
       "U+00E9 1:1"},
      {"CR+LF csv to LF UTF-8", "a,\x93\xfa\x96\x7b\r\nb\r\n", 3, LineEnding::Lf, "a,\xe6\x97\xa5\xe6\x9c\xac\nb\n",
       ""},
      {"no escape is read or written", "&#233; \\u00e9 \\E9 \xe6\x97\xa5", 1, LineEnding::Unchanged,
       "&#233; \\u00e9 \\E9 \xc6\xfc", ""},
      {"a UTF-8 mark is dropped", "\xef\xbb\xbfok", 3, LineEnding::Unchanged, "ok", ""},
      {"Shift_JIS to itself", "\x93\xfa\x96\x7b\r\n", 0, LineEnding::Unchanged, "\x93\xfa\x96\x7b\r\n", ""},
  };
  for (const Case& c : cases) {
    std::string text(c.in);
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.encoding);
    options.lineEnding = c.eol;
    const DocumentResult record = convertPlainText(text, options);
    EXPECT_EQ(text, c.out) << c.what;
    EXPECT_TRUE(record.escaped.empty()) << c.what;
    std::string lost;
    if (!record.lost.empty()) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "U+%04X %u:%u", static_cast<unsigned>(record.lost[0].codePoint),
                    record.lost[0].first.line, record.lost[0].first.column);
      lost = buffer;
      EXPECT_EQ(record.lost[0].writtenAs, StandIn::GetaMark) << c.what;
    }
    EXPECT_EQ(lost, c.lost) << c.what;
  }
}

}  // namespace
}  // namespace sarnavel
