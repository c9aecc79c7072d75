// The shipped sample site (samples/site), copied and converted whole by sarnavel-cli into
// each target: every file succeeds, and every page, sheet and script reads back in the
// target with its Japanese text, its half-width katakana and its escapes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/oracle.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::runCli;
using testing::TempFolder;

fs::path sampleSite() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "site"; }

struct Expectation {
  std::string file;
  std::vector<std::u16string> texts;
};

const Expectation kExpected[] = {
    {"index.html", {u"こもれび珈琲焙煎所 - 自家焙煎の珈琲豆と喫茶", u"★ｺｰﾋｰ豆 ｾｰﾙ開催中★", u"8:00\uFF5E18:00"}},
    {"menu/index.html", {u"エチオピア　イルガチェフェ（浅煎り）", u"※豆の量り売りは百グラムから承ります。"}},
    {"about/access.html", {u"Caf&#233; Lumi&#232;re（カフェ・リュミエール）", u"お越しください &#128512;"}},
    {"news/index.html", {u"グアテマラ　アンティグア"}},
    {"css/style.css", {u"\"ＭＳ Ｐゴシック\"", u"content: \"● \";"}},
    {"css/menu.css", {u"content: \"（税込）\";"}},
    {"news/news.css", {u"/* お知らせの一覧 */"}},
    {"js/menu.js", {u"// 本日のおすすめを曜日ごとに出し分ける", u"\"水曜日：定休日です\""}},
    {"js/map.js", {u"\"（ただいま営業中です）\""}},
};

TEST(SampleSite, ConvertsWholeIntoEachTarget) {
  ASSERT_TRUE(fs::exists(testing::cliPath())) << testing::cliMissingMessage();
  if (!fs::is_directory(sampleSite())) GTEST_SKIP() << "no sample site at " << sampleSite();
  const struct {
    const char* option;
    const char* icuName;
    const char* pageCharset;
    const char* sheetCharset;
  } targets[] = {
      {"shift_jis", "windows-31j", "Shift_JIS", "shift_jis"},
      {"euc-jp", "EUC-JP", "EUC-JP", "euc-jp"},
      {"utf-8", "UTF-8", "UTF-8", "utf-8"},
  };
  for (const auto& target : targets) {
    TempFolder folder;
    fs::copy(sampleSite(), folder / "site", fs::copy_options::recursive);
    CliResult r = runCli({"-t", target.option, (folder / "site").string()});
    EXPECT_EQ(r.status, 0) << target.option << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("\n---\n14個の成功、0個の失敗。\n"), std::string::npos) << target.option << "\n" << r.out;
    for (const auto& expected : kExpected) {
      const std::string bytes = TempFolder::read(folder / "site" / expected.file);
      const std::u16string text = testing::icuDecode(target.icuName, bytes);
      for (const auto& piece : expected.texts) {
        EXPECT_NE(text.find(piece), std::u16string::npos)
            << target.option << ": " << expected.file << " lacks " << testing::icuUtf8(piece);
      }
      EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << target.option << ": " << expected.file;
      EXPECT_EQ(text.find(u'\u001A'), std::u16string::npos) << target.option << ": " << expected.file;
      if (expected.file.ends_with(".html")) {
        EXPECT_NE(bytes.find(std::string("content=\"text/html; charset=") + target.pageCharset + "\""),
                  std::string::npos)
            << target.option << ": " << expected.file;
      }
      if (expected.file.ends_with(".css")) {
        EXPECT_TRUE(bytes.starts_with(std::string("@charset \"") + target.sheetCharset + "\";"))
            << target.option << ": " << expected.file;
      }
    }
    // the line ends of each file are kept: the Shift_JIS files of the site use CR+LF
    EXPECT_NE(TempFolder::read(folder / "site/index.html").find("</html>\r\n"), std::string::npos);
    EXPECT_NE(TempFolder::read(folder / "site/menu/index.html").find("</html>\n"), std::string::npos);
    EXPECT_EQ(TempFolder::read(folder / "site/menu/index.html").find('\r'), std::string::npos);
  }
}

}  // namespace
}  // namespace sarnavel
