// Small sites made at random for the properties of whole runs: pages that load short scripts
// and style sheets of one to four common kanji, all in one source encoding, each page with a
// meta naming it and each loading element with a charset attribute naming it, or none.
// Deterministic: the same seed gives the same site.
//
// The kanji are those of the first school years that the detection itself finds common (the
// cheapest in its model, encoding_detection.h): a word of them reads cheapest in its own
// encoding, so the properties test what runs make of the evidence, not how well one word's
// bytes alone tell EUC-JP from Shift_JIS (bench/detection_accuracy measures that). With rarer
// kanji, a script of one word in EUC-JP may read cheaper as half-width katakana in Shift_JIS,
// and a run given no page that loads it reads it so.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/encoding_detection.h"
#include "support/oracle.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {

// Kanji of the first school years: what a one-word script of a Japanese site holds.
inline const std::u16string kSchoolKanji =
    u"一右雨円王音下火花学気九休金空月犬見五口校左三山子四糸字耳七車手十出女小上森人水正生青夕石赤千川先"
    u"早草足村大男中虫町天田土二日入年白八百文木本名目立力林六引羽雲園遠何科夏家歌画回会海絵外角楽活間丸"
    u"岩顔汽記帰弓牛魚京強教近兄形計元言原戸古午後語工公広交光考行高黄合谷国黒今才細作算止市矢姉思紙寺自"
    u"時室社弱首秋週春書少場色食心新親図数西声星晴切雪船線前組走多太体台地池知茶昼長鳥朝直通弟店点電刀冬"
    u"当東答頭同道読内南肉馬売買麦半番父風分聞米歩母方北毎妹万明鳴毛門夜野友用曜来里理話要漢予";

// A source encoding of the generated sites: its ICU converter and the charset documents name.
struct SiteEncoding {
  const char* converter;
  const char* charset;
};
inline const SiteEncoding kSiteEncodings[] = {{"windows-31j", "Shift_JIS"}, {"EUC-JP", "EUC-JP"}, {"UTF-8", "UTF-8"}};

// Of those, the kCommonKept the detection finds commonest.
inline constexpr std::size_t kCommonKept = 120;
inline const std::u16string& commonKanji() {
  static const std::u16string kept = [] {
    std::vector<std::pair<std::uint64_t, char16_t>> priced;
    for (char16_t kanji : kSchoolKanji)
      priced.emplace_back(readCandidates(icuEncode("windows-31j", std::u16string(1, kanji)), false).shiftJis.cost, kanji);
    std::stable_sort(priced.begin(), priced.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::u16string text;
    for (std::size_t k = 0; k < kCommonKept && k < priced.size(); ++k) text += priced[k].second;
    return text;
  }();
  return kept;
}

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
    const std::u16string& kanji = commonKanji();
    for (int k = 0, n = 1 + static_cast<int>(random_() % 4); k < n; ++k) text += kanji[random_() % kanji.size()];
    return icuEncode(encoding_.converter, text);
  }
  std::string charset() { return chance(2) ? " charset=\"" + std::string(encoding_.charset) + "\"" : ""; }

  std::mt19937 random_;
  SiteEncoding encoding_;
};

}  // namespace sarnavel::testing
