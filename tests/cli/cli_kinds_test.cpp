// sarnavel-cli and the kinds of file beyond pages, sheets and scripts: the settings file the
// desktop program shares with it, --kinds over it, and a legacy site of every kind converted.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/cli_process.h"
#include "support/state_home.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

// Writes the settings file the runs read (removed again at the end of the test).
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& text) {
    fs::create_directories(settingsFileOf().parent_path());
    std::ofstream(settingsFileOf(), std::ios::binary) << text;
  }
  ~SettingsFile() { fs::remove(settingsFileOf()); }
};

// The settings file's kinds are the walk's; --kinds overrides them; what cannot be used there
// is named with its line and the default stands.
TEST(CliKinds, TheSettingsFileGivesTheKindsAndTheCommandLineWins) {
  TempFolder folder;
  const fs::path sheet = folder.put("site/a.css", "p{}\n");
  const fs::path script = folder.put("site/a.js", "var a;\n");
  {
    const SettingsFile settings("[conversion]\nkinds=css\n");
    const CliResult r = runCli({"-q", "-t", "utf-8", "site"}, folder.path());
    EXPECT_EQ(r.out, finished(1, 0));
    const CliResult given = runCli({"-q", "-t", "utf-8", "--kinds", "js", "site"}, folder.path());
    EXPECT_EQ(given.out, finished(1, 0));
    const CliResult none = runCli({"-q", "-t", "utf-8", "--kinds", "xml", "site"}, folder.path());
    EXPECT_EQ(none.err, "sarnavel-cli: no .xml, .rss, .rdf or .atom file in site\n");
  }
  {
    const SettingsFile settings("[conversion]\nkinds=\"+asp x\"\nfix_server_charset=maybe\n");
    const CliResult r = runCli({"-q", "-t", "utf-8", "site"}, folder.path());
    EXPECT_EQ(r.out, finished(2, 0));
    const std::string file = settingsFileOf().native();
    EXPECT_EQ(r.err, "sarnavel-cli: " + file +
                         ":2: kinds: '+asp x' is no list of kinds (html, css, js, xhtml, shtml, php, asp, jsp, "
                         "xml, txt); the default kinds are taken\n"
                         "sarnavel-cli: " +
                         file + ":3: fix_server_charset: 'maybe' is neither true nor false; not used\n");
  }
}

}  // namespace
}  // namespace sarnavel::testing
