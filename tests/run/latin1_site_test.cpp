// A Latin-1 page's sheets and scripts are Latin-1 too, as browsers read them, whether they are
// listed, loaded, or both.
#include <gtest/gtest.h>

#include "run/conversion_run.h"
#include "support/temp_folder.h"
#include "support/targets.h"

namespace sarnavel {
namespace {

TEST(Latin1Site, FilesALatin1PageLoadsAreReadAsLatin1) {
  for (bool listAll : {false, true}) {
    testing::TempFolder site;
    auto page = site.put("index.html",
                         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
                         "<link rel=stylesheet href=css/carte.css><script src=js/carte.js></script>"
                         "<script src=js/own.js charset=shift_jis></script></head><body>cr\xe8me</body></html>");
    auto sheet = site.put("css/carte.css", "p:after{content:\"p\xe2t\xe9\"}");
    auto script = site.put("js/carte.js",
                           "document.write('Sp\xe9"
                           "cialit\xe9s \x80');");
    auto own = site.put("js/own.js", "document.write('\x93\xfa\x96\x7b');");  // Shift_JIS, as its attribute says
    RunRequest request;
    request.options.targetEncoding = testing::asTarget(3);
    request.options.makeBackup = false;
    request.paths = listAll ? std::vector<std::string>{page, sheet, script, own} : std::vector<std::string>{page};
    std::atomic<bool> cancel{false};
    RunSummary summary = conversionWorker(request, {}, cancel);
    EXPECT_EQ(summary.failures, 0);
    EXPECT_EQ(testing::TempFolder::read(sheet), "@charset \"utf-8\";\r\np:after{content:\"p\\E2 t\\E9 \"}") << listAll;
    EXPECT_EQ(testing::TempFolder::read(script), "document.write('Sp\\u00E9cialit\\u00E9s \\u20AC');") << listAll;
    EXPECT_EQ(testing::TempFolder::read(own), "document.write('\xe6\x97\xa5\xe6\x9c\xac');") << listAll;
  }
}

}  // namespace
}  // namespace sarnavel
