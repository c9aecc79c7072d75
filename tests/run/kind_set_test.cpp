#include "run/kind_set.h"

#include <gtest/gtest.h>

#include <string>

namespace sarnavel {
namespace {

using Fault = KindListParse::Fault;

TEST(KindListTest, ParsesAndWritesBack) {
  const struct {
    std::string list;
    Fault fault;
    std::string written;  // kindListText of what the list parses to ("" for a fault: the default set)
  } cases[] = {
      {"+xhtml,shtml", Fault::None, "+xhtml,shtml"},
      {" + XHTML , Shtml ", Fault::None, "+xhtml,shtml"},
      {"+shtml,xhtml,shtml", Fault::None, "+xhtml,shtml"},  // the kinds' own order, each once
      {"+", Fault::None, "+"},
      {"html,css,js", Fault::None, "+"},
      {"css,js,html,txt", Fault::None, "+txt"},
      {"html,xml", Fault::None, "html,xml"},  // without '+' the list is the set
      {"txt", Fault::None, "txt"},
      {"+php,asp,jsp,xml,txt", Fault::None, "+php,asp,jsp,xml,txt"},
      {"", Fault::Empty, ""},
      {"  ", Fault::Empty, ""},
      {"+xhtml,", Fault::EmptyName, ""},
      {"xhtml,,txt", Fault::EmptyName, ""},
      {",", Fault::EmptyName, ""},
      {"+aspx", Fault::UnknownName, ""},
      {"html,.txt", Fault::UnknownName, ""},
  };
  for (const auto& c : cases) {
    const KindListParse parse = parseKindList(c.list);
    EXPECT_EQ(parse.fault, c.fault) << c.list;
    if (c.fault != Fault::None) {
      EXPECT_EQ(parse.kinds, KindSet::defaults()) << c.list;
      continue;
    }
    EXPECT_EQ(kindListText(parse.kinds), c.written) << c.list;
  }
  EXPECT_EQ(parseKindList("html, Foo").name, "Foo");
}

// Every set of kinds a list can name is written as a list that names it again.
TEST(KindListTest, EverySetRoundTrips) {
  const auto names = kindNames();
  for (std::uint32_t bits = 1; bits < (1u << names.size()); ++bits) {
    KindSet set;
    for (std::size_t k = 0; k < names.size(); ++k)
      if (bits & (1u << k)) set.add(names[k].kind);
    const KindListParse parse = parseKindList(kindListText(set));
    ASSERT_EQ(parse.fault, Fault::None) << kindListText(set);
    EXPECT_EQ(parse.kinds, set) << kindListText(set);
  }
}

TEST(KindListTest, EachNameTakesTheKindOfItsExtensions) {
  for (const KindName& each : kindNames()) {
    std::string extensions(each.extensions);
    for (std::size_t at = 0; at < extensions.size();) {
      const std::size_t end = std::min(extensions.find(' ', at), extensions.size());
      EXPECT_EQ(classifyExtension("a" + extensions.substr(at, end - at)), each.kind) << each.name;
      at = end + 1;
    }
  }
}

}  // namespace
}  // namespace sarnavel
