#include "html/ssi_includes.h"

#include <gtest/gtest.h>

namespace sarnavel {
namespace {

TEST(SsiIncludes, NamesTheFilesTheServerPutsIn) {
  const struct {
    std::string page;
    std::vector<SsiInclude> includes;
  } cases[] = {
      {"<!--#include virtual=\"/inc/menu.html\" --><p>x</p><!--#INCLUDE FILE='foot.inc'-->",
       {{"/inc/menu.html", true}, {"foot.inc", false}}},
      {"<!--#include virtual=side.txt -->", {{"side.txt", false}}},
      // Other directives and comments name no file.
      {"<!--#echo var=\"file\" --><!-- #include virtual=\"a\" --><!--#include -->", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ssiIncludes(c.page), c.includes) << c.page;
}

}  // namespace
}  // namespace sarnavel
