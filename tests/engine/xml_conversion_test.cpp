#include <gtest/gtest.h>

#include <cstdio>

#include "support/targets.h"

#include "engine/xml_conversion.h"

namespace sarnavel {
namespace {

// "U+XXXX line:column" of a record's first character, or empty.
template <class Character>
std::string firstOf(const std::vector<Character>& characters) {
  if (characters.empty()) return "";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "U+%04X %u:%u", static_cast<unsigned>(characters[0].codePoint),
                characters[0].first.line, characters[0].first.column);
  return buffer;
}

// An XML document names its target in its declaration, and writes what the target lacks as
// a reference where XML reads one; in comments and instructions it is lost.
TEST(ConvertXml, DeclarationAndWhatStandsForALackingCharacter) {
  struct Case {
    const char* what;
    std::string_view in;
    int encoding;
    std::string_view out;
    std::string escaped, lost;  // the first of each, as firstOf writes it
  } cases[] = {
      {"a CDATA section is split around the reference",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a><![CDATA[caf\xc3\xa9]]></a>", 0,
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<a><![CDATA[caf]]>&#xE9;<![CDATA[]]></a>", "U+00E9 2:16", ""},
      {"text and attribute values get references, a declaration is added", "<a t=\"\xc3\xa9\">\xc3\xa9\xe6\x97\xa5</a>",
       0, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a t=\"&#xE9;\">&#xE9;\x93\xfa</a>", "U+00E9 1:7", ""},
      {"a comment loses it", "<!-- caf\xc3\xa9 -->\n<a/>", 0,
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!-- caf\x81\xac -->\n<a/>", "", "U+00E9 1:9"},
      {"a processing instruction loses it", "<?xml-stylesheet href=\"\xc3\xa9.xsl\"?><a/>", 1,
       "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><?xml-stylesheet href=\"\xa2\xae.xsl\"?><a/>", "", "U+00E9 1:24"},
      {"an encoding is added after the version", "<?xml version=\"1.0\"?>\r\n<a/>", 1,
       "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\r\n<a/>", "", ""},
      {"a UTF-8 target's declaration is made right", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<a>\x93\xfa</a>",
       3, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\xe6\x97\xa5</a>", "", ""},
      {"UTF-8 without a declaration stays so", "<a>\xe6\x97\xa5</a>", 3, "<a>\xe6\x97\xa5</a>", "", ""},
      {"the declaration decides a short text", "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\xc6\xfc</a>", 3,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xe6\x97\xa5</a>", "", ""},
      {"a feed in its target keeps its bytes", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\xed\x40</a>", 0,
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\xed\x40</a>", "", ""},
      {"beyond the BMP to ISO-2022-JP", "<a>\xf0\x9f\x98\x80</a>", 2,
       "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><a>&#x1F600;</a>", "U+1F600 1:4", ""},
  };
  for (const Case& c : cases) {
    std::string text(c.in);
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.encoding);
    const DocumentResult record = convertXml(text, options);
    EXPECT_EQ(text, c.out) << c.what;
    EXPECT_EQ(firstOf(record.escaped), c.escaped) << c.what;
    EXPECT_EQ(firstOf(record.lost), c.lost) << c.what;
    // Converted again, it is as it was: what it now declares is what it is in.
    std::string again = text;
    (void)convertXml(again, options);
    EXPECT_EQ(again, text) << c.what;
  }
}

}  // namespace
}  // namespace sarnavel
