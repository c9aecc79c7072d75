// The language of the messages: the locale as POSIX orders it, and the English table.
#include "report/message_language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace sarnavel {
namespace {

TEST(MessageLanguage, TheFirstLocaleSetDecides) {
  using L = MessageLanguage;
  const struct {
    const char *all, *messages, *lang;
    L language;
  } cases[] = {
      {nullptr, nullptr, nullptr, L::English},
      {nullptr, nullptr, "ja_JP.UTF-8", L::Japanese},
      {nullptr, nullptr, "C", L::English},
      {nullptr, "ja_JP.eucJP", "en_US.UTF-8", L::Japanese},
      {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", L::English},  // LC_ALL=C: English
      {"", "", "ja", L::Japanese},                      // empty is unset
      {"en_GB.UTF-8", nullptr, "ja_JP.UTF-8", L::English},
      {"POSIX", nullptr, nullptr, L::English},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(messageLanguageOf(c.all, c.messages, c.lang), c.language)
        << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " " << (c.lang ? c.lang : "-");
  }
}

// Each English text has the places of its source, each source text is in the table once, and a
// message fills its places in either language.
TEST(MessageLanguage, EveryEnglishTextHasItsSourcesPlaces) {
  auto places = [](std::string_view text) {
    std::multiset<char> found;
    for (std::size_t k = 0; k + 2 < text.size(); ++k)
      if (text[k] == '{' && text[k + 2] == '}') found.insert(text[k + 1]);
    return found;
  };
  std::set<std::string_view> sources;
  for (const auto& [source, english] : englishMessages()) {
    EXPECT_EQ(places(source), places(english)) << source;
    EXPECT_TRUE(sources.insert(source).second) << source;
  }
  const std::string_view source = "{2} に {1} のファイルがありません";
  EXPECT_EQ(message(MessageLanguage::English, source, {".css", "site"}), "no .css file in site");
  EXPECT_EQ(message(MessageLanguage::Japanese, source, {".css", "site"}), "site に .css のファイルがありません");
  EXPECT_EQ(message(MessageLanguage::English, "表にない文"), "表にない文");
}

}  // namespace
}  // namespace sarnavel
