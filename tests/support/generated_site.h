// Small sites made at random for the properties of whole runs: pages that load short scripts
// and style sheets of one to four characters, all in one source encoding, each page with a
// meta naming it and each loading element with a charset attribute naming it, or none.
// Deterministic: the same seed gives the same site.
//
// The characters are kanji of JIS X 0208 level 1, each as likely as any other (the rare ones
// are what a short EUC-JP text shares with Shift_JIS half-width katakana, and a one-word
// script has no other text to tell it by), now and then one of level 2 or a kana. Their
// bytes often do not settle the encoding: the properties hold where the run says so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/oracle.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {

// The characters of JIS X 0208 rows `first` to `last`, read through ICU's EUC-JP.
inline std::u16string jisRows(int first, int last) {
  std::u16string characters;
  for (int row = first; row <= last; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const char bytes[] = {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + cell)};
      const std::u16string one = icuDecode("EUC-JP", std::string_view(bytes, 2));
      if (one.size() == 1 && one[0] >= 0x3000 && one[0] != 0xFFFD) characters += one;
    }
  }
  return characters;
}
inline const std::u16string& levelOneKanji() {
  static const std::u16string kanji = jisRows(16, 47);  // 2,965
  return kanji;
}
inline const std::u16string& levelTwoKanji() {
  static const std::u16string kanji = jisRows(48, 84);
  return kanji;
}
inline const std::u16string& kana() {
  static const std::u16string letters = jisRows(4, 5);  // hiragana, katakana
  return letters;
}

// A source encoding of the generated sites: its ICU converter and the charset documents name.
struct SiteEncoding {
  const char* converter;
  const char* charset;
};
inline const SiteEncoding kSiteEncodings[] = {{"windows-31j", "Shift_JIS"}, {"EUC-JP", "EUC-JP"}, {"UTF-8", "UTF-8"}};

class SiteGenerator {
 public:
  SiteGenerator(unsigned seed, const SiteEncoding& encoding) : random_(seed), encoding_(encoding) {}

  // Writes `scripts` scripts and `sheets` sheets under `shared` (relative to `root`).
  void writeShared(const TempFolder& root, const std::string& shared, int scripts = 4, int sheets = 2) {
    for (int k = 0; k < scripts; ++k)
      root.put(shared + "/js/s" + std::to_string(k) + ".js", "var s = \"" + words() + "\";\n");
    for (int k = 0; k < sheets; ++k)
      root.put(shared + "/css/c" + std::to_string(k) + ".css", "p:before { content: \"" + words() + "\"; }\n");
  }
  // Writes `pages` pages under `site` that load some of those files by `prefix` + their path
  // below the shared folder.
  void writePages(const TempFolder& root, const std::string& site, int pages, const std::string& prefix,
                  int scripts = 4, int sheets = 2) {
    for (int k = 0; k < pages; ++k) {
      std::string body;
      for (int j = 0; j < scripts; ++j)
        if (chance(2))
          body += "<script src=\"" + prefix + "js/s" + std::to_string(j) + ".js\"" + charset() + "></script>\n";
      for (int j = 0; j < sheets; ++j)
        if (chance(2))
          body +=
              "<link rel=\"stylesheet\" href=\"" + prefix + "css/c" + std::to_string(j) + ".css\"" + charset() + ">\n";
      root.put(site + "/p" + std::to_string(k) + ".html",
               "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
                   std::string(encoding_.charset) + "\">\n" + body + "</head><body>" + words() + "</body></html>\n");
    }
  }

 private:
  bool chance(int oneIn) { return random_() % oneIn == 0; }
  std::string words() {
    std::u16string text;
    for (int k = 0, n = 1 + static_cast<int>(random_() % 4); k < n; ++k) {
      const unsigned draw = random_() % 16;
      const std::u16string& from = draw == 0 ? levelTwoKanji() : draw == 1 ? kana() : levelOneKanji();
      text += from[random_() % from.size()];
    }
    return icuEncode(encoding_.converter, text);
  }
  std::string charset() { return chance(2) ? " charset=\"" + std::string(encoding_.charset) + "\"" : ""; }

  std::mt19937 random_;
  SiteEncoding encoding_;
};

}  // namespace sarnavel::testing
