#include "run/file_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace sarnavel {
namespace {

TEST(FileKindTest, ClassifiesByTheExtensionOfTheLastComponent) {
  const struct {
    std::string path;
    FileKind kind;
  } cases[] = {
      {"/site/INDEX.HTM", FileKind::Html},
      {"/site/index.html", FileKind::Html},
      {"/site.old/readme", FileKind::Other},  // the only dot is in a folder name
      {"/js/a.min.js", FileKind::JavaScript},
      {"style.CSS", FileKind::Css},
      {"photo.JPEG", FileKind::Image},
      {"script.vbs", FileKind::VbScript},
      {"Makefile", FileKind::Other},
      {"/site/index.", FileKind::Other},       // a name ending in a dot has an empty extension
      {"/site/index.html/", FileKind::Other},  // empty last component
      {".css", FileKind::Css},
      {"a.html.bak", FileKind::Other},
      {"a.htmlx", FileKind::Other},
      {"a.js.sarnavel-Ab12Cd.tmp", FileKind::Other},
      {"/\xE8\xA1\xA8\xE7\xA4\xBA.html", FileKind::Html},  // UTF-8 name
      {"/\x95\x5C.js", FileKind::JavaScript},              // code page 932 name whose trail byte is '\'
      {"/a.\xEF\xBD\x8A\xEF\xBD\x93", FileKind::Other},    // full-width "js" is not "js"
      {"a.aspx", FileKind::OtherPage},                     // the one page never taken; the others are KindListTest's
  };
  for (const auto& c : cases) EXPECT_EQ(classifyExtension(c.path), c.kind) << c.path;
}

}  // namespace
}  // namespace sarnavel
