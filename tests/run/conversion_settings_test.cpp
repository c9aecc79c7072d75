#include "run/conversion_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace sarnavel {
namespace {

using Problem = SettingsProblem::Kind;

// "kinds|fix|dir|suffix" of what was read, "-" for what was not, then each problem's kind and line.
std::string dump(const ConversionSettings& s) {
  std::string out = (s.kinds ? kindListText(*s.kinds) : "-") + "|" +
                    (s.fixServerCharset ? (*s.fixServerCharset ? "true" : "false") : "-") + "|" +
                    s.backupDir.value_or("-") + "|" + s.backupSuffix.value_or("-");
  for (const SettingsProblem& p : s.problems)
    out += " " + std::to_string(static_cast<int>(p.kind)) + "@" + std::to_string(p.line);
  return out;
}

TEST(ConversionSettingsTest, ReadsTheFileAsTheDesktopProgramWritesIt) {
  const struct {
    std::string text;
    std::string read;
  } cases[] = {
      // As QSettings writes it: a comma quoted, booleans as words, other sections aside.
      {"[General]\nkinds=txt\n\n[conversion]\nbackup_dir=/home/a/bak\nbackup_suffix=.orig\n"
       "fix_server_charset=true\nkinds=\"+xhtml,shtml\"\n\n[desktop]\ntarget=2\nkinds=xml\n",
       "+xhtml,shtml|true|/home/a/bak|.orig"},
      {"[conversion]\r\nkinds = html , xml \r\nfix_server_charset=False\r\n", "html,xml|false|-|-"},
      {"; written by hand\n# too\n[conversion]\nbackup_dir=\"/a b/c;d\" ; a comment\n", "-|-|/a b/c;d|-"},
      {"[conversion]\nbackup_dir=\"\\\"q\\\\\" x \nbackup_suffix=@@x\n", "-|-|\"q\\ x|@x"},
      {"[conversion]\nbackup_dir=\\xe4\\x9e\nbackup_suffix=\"  \"\n", "-|-|\xC3\xA4\xC2\x9E|  "},
      {"[conversion]\nunknown=1\n", "-|-|-|-"},
      // What cannot be used keeps its default and is named with its line; the rest is read.
      {"[conversion]\nkinds=+aspx\nfix_server_charset=yes please\nbackup_suffix=.b\n", "-|-|-|.b 2@2 3@3"},
      {"[conversion\nkinds=txt\njunk\n=x\n", "-|-|-|- 1@1 1@3 1@4"},
      {"[conversion]\nkinds=\"\"\n", "-|-|-|- 2@2"},
      {"", "-|-|-|-"},
  };
  for (const auto& c : cases) EXPECT_EQ(dump(readConversionSettings(c.text)), c.read) << c.text;
}

TEST(ConversionSettingsTest, FileMissingIsNothingAndUnreadableIsNamed) {
  const testing::TempFolder folder;
  EXPECT_EQ(dump(loadConversionSettings(folder.path() / "none.conf")), "-|-|-|-");
  EXPECT_EQ(dump(loadConversionSettings(folder.path())), "-|-|-|- 0@0");  // a folder where the file should be
  const std::filesystem::path file = folder.put("sarnavel.conf", "[conversion]\nkinds=+txt\n");
  EXPECT_EQ(dump(loadConversionSettings(file)), "+txt|-|-|-");
}

TEST(ConversionSettingsTest, LivesInTheConfigurationHome) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(conversionSettingsPath(), "/cfg/sarnavel/sarnavel.conf");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/home/x", 1);
  EXPECT_EQ(conversionSettingsPath(), std::filesystem::path(std::getenv("HOME")) / ".config/sarnavel/sarnavel.conf");
  saved ? setenv("XDG_CONFIG_HOME", kept.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace sarnavel
