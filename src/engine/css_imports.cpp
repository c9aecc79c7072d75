#include "engine/css_imports.h"

#include <optional>

#include "text/ascii.h"

namespace sarnavel {
namespace {

bool isCssSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isNameByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '_' ||
         b >= 0x80;
}

// The start of a sheet, read rule by rule.
class SheetStart {
 public:
  explicit SheetStart(std::string_view sheet) : s_(sheet) {}

  std::vector<std::string> imports() {
    std::vector<std::string> found;
    for (skipBlanks(); i_ < s_.size(); skipBlanks()) {
      if (atKeyword("@import")) {
        i_ += 7;
        skipBlanks();
        if (std::optional<std::string> address = this->address()) found.push_back(std::move(*address));
      } else if (!atKeyword("@charset") && !atKeyword("@layer")) {
        break;
      }
      if (!skipStatement()) break;
    }
    return found;
  }

 private:
  bool at(std::string_view text) const {
    if (s_.size() - i_ < text.size()) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (asciiLower(s_[i_ + k]) != text[k]) return false;
    }
    return true;
  }
  bool atKeyword(std::string_view keyword) const {
    return at(keyword) && (i_ + keyword.size() == s_.size() || !isNameByte(s_[i_ + keyword.size()]));
  }

  // Past white space, comments and the `<!--` and `-->` a sheet may stand between.
  void skipBlanks() {
    while (i_ < s_.size()) {
      if (isCssSpace(s_[i_])) {
        ++i_;
      } else if (at("/*")) {
        const std::size_t end = s_.find("*/", i_ + 2);
        i_ = end == std::string_view::npos ? s_.size() : end + 2;
      } else if (at("<!--") || at("-->")) {
        i_ += s_[i_] == '<' ? 4 : 3;
      } else {
        return;
      }
    }
  }

  // A quoted string at i_ (a backslash takes the next byte, or joins the lines it ends); none
  // when a line break or the end comes first.
  std::optional<std::string> string() {
    const char quote = s_[i_++];
    std::string out;
    for (; i_ < s_.size(); ++i_) {
      const char c = s_[i_];
      if (c == quote) {
        ++i_;
        return out;
      }
      if (c == '\n' || c == '\r' || c == '\f' || c == '\x1b') return std::nullopt;
      if (c == '\\' && i_ + 1 < s_.size()) {
        const char next = s_[++i_];
        if (next != '\n' && next != '\r' && next != '\f') out += next;
        continue;
      }
      out += c;
    }
    return std::nullopt;
  }

  // The address of an @import: a string, or url(...) holding a string or the bare address.
  std::optional<std::string> address() {
    if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\'')) return string();
    if (!at("url(")) return std::nullopt;
    i_ += 4;
    while (i_ < s_.size() && isCssSpace(s_[i_])) ++i_;
    std::optional<std::string> out;
    if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\'')) {
      out = string();
    } else {
      out.emplace();
      for (; i_ < s_.size() && s_[i_] != ')' && !isCssSpace(s_[i_]); ++i_) {
        const char c = s_[i_];
        if (c == '"' || c == '\'' || c == '(' || c == '\x1b') return std::nullopt;
        if (c == '\\' && i_ + 1 < s_.size()) ++i_;
        *out += s_[i_];
      }
    }
    while (i_ < s_.size() && isCssSpace(s_[i_])) ++i_;
    if (!out || i_ >= s_.size() || s_[i_] != ')') return std::nullopt;
    ++i_;
    return out;
  }

  // Past the `;` that ends the statement under way (strings and brackets stepped over); false
  // when a block, text or the end comes first: no @import can follow.
  bool skipStatement() {
    int depth = 0;
    while (i_ < s_.size()) {
      const char c = s_[i_];
      const auto b = static_cast<unsigned char>(c);
      if (c == '"' || c == '\'') {
        if (!string()) return false;
        continue;
      }
      if (at("/*")) {
        skipBlanks();
        continue;
      }
      if ((c == '{' && depth == 0) || c == '\x1b' || b >= 0x80) return false;
      if (c == ';' && depth == 0) {
        ++i_;
        return true;
      }
      if (c == '(' || c == '[') ++depth;
      if ((c == ')' || c == ']') && depth > 0) --depth;
      ++i_;
    }
    return false;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

std::vector<std::string> importedSheets(std::string_view sheet) { return SheetStart(sheet).imports(); }

}  // namespace sarnavel
