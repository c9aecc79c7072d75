// Properties of whole documents over a small corpus in every source form and every target:
// the result decodes cleanly in the target and names it, and converting it again to the same
// target changes no byte. That a converted page shows what it showed is the browser suite's.
#include <gtest/gtest.h>
#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "support/bytes.h"
#include "support/targets.h"
#include "support/oracle.h"
#include "support/memory_resolver.h"
#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

enum class Kind { Page, Sheet, Script };

// Prose that Shift_JIS and EUC-JP hold, and extra characters that only Unicode forms hold.
const std::u16string kJapanese = u"日本語の文章です。ひらがな、カタカナ、漢字。①㈱Ⅰ ｶﾀｶﾅﾃﾞｽ ～ ＼ 髙";
const std::u16string kUnicodeOnly = u" é ü € \U0001F600 〜 ¥ ‖ −";

std::u16string document(Kind kind, std::u16string_view prose, std::u16string_view charsetLabel) {
  std::u16string p(prose);
  switch (kind) {
    case Kind::Page:
      return u"<!DOCTYPE html>\r\n<html><head><title>" + p +
             u"</title>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
             std::u16string(charsetLabel) + u"\">\r\n</head><body><p class=\"" + p + u"\">" + p +
             u"</p>\r\n<script>document.write(\"" + p + u"\");</script>\r\n<style>p:after{content:\"" + p +
             u"\"}</style>\r\n</body></html>\r\n";
    case Kind::Sheet:
      return u"@charset \"" + std::u16string(charsetLabel) + u"\";\nbody:after { content: \"" + p +
             u"\"; font-family: \"" + p + u"\"; }\n";
    case Kind::Script: return u"// " + p + u"\nvar message = \"" + p + u"\";\ndocument.write(message);\n";
  }
  return {};
}

struct Source {
  const char* name;
  std::string bytes;
};

std::vector<Source> sourcesOf(Kind kind) {
  std::vector<Source> sources;
  std::u16string sjis = document(kind, kJapanese, u"Shift_JIS");
  sources.push_back({"Shift_JIS", testing::icuEncode("windows-31j", sjis)});
  std::u16string eucProse = kJapanese.substr(0, kJapanese.size() - 1);  // without the IBM extension
  std::u16string euc = document(kind, eucProse, u"EUC-JP");
  sources.push_back({"EUC-JP", testing::icuEncode("EUC-JP", euc)});
  std::u16string utf8 = document(kind, kJapanese + kUnicodeOnly, u"UTF-8");
  sources.push_back({"UTF-8", utf16ToUtf8(utf8)});
  sources.push_back({"UTF-8 with BOM", "\xEF\xBB\xBF" + utf16ToUtf8(utf8)});
  // Short texts whose bytes are valid UTF-8 too (表 is C9 BD in EUC-JP, U+027D in UTF-8).
  std::u16string eucWord = document(kind, u"\u8868\u524D", u"EUC-JP");
  sources.push_back({"EUC-JP, one word", testing::icuEncode("EUC-JP", eucWord)});
  std::u16string latin =
      document(kind, u"Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e \u00c4rger \u00a9 \u20ac", u"ISO-8859-1");
  if (kind != Kind::Script) {
    std::string bytes;
    for (char16_t u : latin) bytes.push_back(u == 0x20AC ? '\x80' : static_cast<char>(u));
    sources.push_back({"Latin-1", bytes});
  }
  return sources;
}

std::string convert(Kind kind, std::string text, int target, const EncodingEvidence& evidence = {}) {
  TargetChoice options;
  options.targetEncoding = testing::asTarget(target);
  const DocumentResult result = kind == Kind::Page    ? convertHtml(text, options, testing::NoFiles(), evidence)
                                : kind == Kind::Sheet ? convertCss(text, options, evidence)
                                                      : convertJavaScript(text, options, evidence);
  EXPECT_EQ(result.bytesAfter, text.size());
  return text;
}

class Stability : public ::testing::TestWithParam<Kind> {};

TEST_P(Stability, EveryTargetKeepsTheTextAndIsStable) {
  const char* targetNames[] = {"Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-8"};
  for (const Source& source : sourcesOf(GetParam())) {
    for (int target : {0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(source.name) + " to " + targetNames[target]);
      std::string once = convert(GetParam(), source.bytes, target);
      EXPECT_FALSE(std::string_view(once).starts_with("\xEF\xBB\xBF"));
      std::u16string read = decodeToWide(once, static_cast<TargetEncoding>(target));
      EXPECT_EQ(read.find(u'\uFFFD'), std::u16string::npos) << "the result does not decode cleanly";
      if (GetParam() == Kind::Page) {
        EXPECT_NE(once.find(std::string("charset=") + targetNames[target] + "\""), std::string::npos);
      }

      // A second conversion to the same target, as the run makes it (it knows what it wrote)
      // and as a later run makes it, changes no byte.
      EncodingEvidence written;
      written.writtenByThisRun = static_cast<TargetEncoding>(target);
      EXPECT_TRUE(testing::sameBytes(convert(GetParam(), once, target, written), once))
          << "a second conversion changed the bytes";
      EXPECT_TRUE(testing::sameBytes(convert(GetParam(), once, target), once)) << "a later run changed the bytes";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, Stability, ::testing::Values(Kind::Page, Kind::Sheet, Kind::Script),
                         [](const auto& info) {
                           return info.param == Kind::Page ? "Page" : info.param == Kind::Sheet ? "Sheet" : "Script";
                         });

}  // namespace
}  // namespace sarnavel
