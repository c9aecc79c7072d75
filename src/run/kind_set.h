// The kinds of file a run takes: the pages, style sheets and scripts by default, and the
// kinds the user adds (XHTML and SSI pages, server templates, feeds, texts).
//
// A kind list names kinds by the names below, separated by commas, without regard to letter
// case, spaces around a name ignored: "html,css,js,xml" is that set exactly, and a list that
// begins with '+' adds to the default set ("+xhtml,shtml" is html, css, js, xhtml and shtml).
// A name given twice counts once. An empty list, an empty name or an unknown one makes the
// whole list unusable (KindListParse::fault): the command line refuses it, the settings file
// reader names it and keeps the default. The same text is what --kinds takes and what the
// settings file's `kinds` key holds; kindListText writes a set back in it.
//
// Thread safety: values and pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "run/file_kind.h"

namespace sarnavel {

// A kind's name in a kind list, the kind it stands for and the extensions it takes (for help
// texts and the preferences).
struct KindName {
  std::string_view name;
  FileKind kind;
  std::string_view extensions;  // ".xhtml .xht"
};

// Every kind a list may name, the default ones first, in the order kindListText writes them.
std::span<const KindName> kindNames();

class KindSet {
 public:
  // Pages (.html .htm), style sheets and scripts.
  static KindSet defaults();
  bool has(FileKind kind) const { return (bits_ & bitOf(kind)) != 0; }
  void add(FileKind kind) { bits_ |= bitOf(kind); }
  bool operator==(const KindSet&) const = default;

 private:
  static std::uint32_t bitOf(FileKind kind) { return std::uint32_t{1} << static_cast<int>(kind); }
  std::uint32_t bits_ = 0;
};

struct KindListParse {
  KindSet kinds = KindSet::defaults();  // the default set when the list is not usable
  enum class Fault { None, Empty, EmptyName, UnknownName } fault = Fault::None;
  std::string name;  // the unknown name, as written
};

KindListParse parseKindList(std::string_view text);

// The list that parses back to `kinds`: "+" and the added names when the set holds the
// default kinds, else every name; "+" alone for the default set.
std::string kindListText(KindSet kinds);

}  // namespace sarnavel
