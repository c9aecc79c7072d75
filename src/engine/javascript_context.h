// Where a place in JavaScript text stands: in code (between tokens, or inside a name) or inside
// a string, a template literal, a regular expression or a comment.
//
// It matters for the few characters whose escape means something else in code than in a
// literal: white space such as U+00A0 or U+FEFF is a blank between tokens, but its escape
// `\u00A0` there is a name character and a syntax error that stops the whole script; and a
// character beyond U+FFFF in a name must be escaped as `\u{20BB7}`, since a pair of surrogate
// escapes is no name character. So it is asked only about such characters, and scans the text
// only as far as it is asked.
//
// In a template literal tagged String.raw a character's escape is the escape's own text (the
// tag reads the template as written): there only a substitution `${"\u00E9"}` gives the
// character, so a template so tagged (`String.raw` and blanks right before its backquote, with
// no `.` before `String`) is told apart from the others.
//
// The reading is the usual lexical one: quotes, template literals (with `${...}` nested to any
// depth), `//` and `/* */` comments, and a `/` that starts a regular expression where an
// operand is expected (at the start, after an operator, an opening bracket or a keyword such
// as `return`) rather than after a name, a number or a closing bracket. All that matters is
// ASCII, so it reads UTF-8 or code page 1252 bytes and UTF-16 units alike.
//
// Contract: offsets asked must not decrease; the whole text is read at most once.
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sarnavel {

// White space to JavaScript that is not ASCII: U+00A0, U+FEFF and the space separators.
inline bool isJavaScriptWhiteSpace(char32_t c) {
  return c == 0xA0 || c == 0xFEFF || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// Where a place stands: in code, in the text of a template literal tagged String.raw, or in any
// other literal or comment.
enum class JavaScriptPlace { Code, RawTemplate, Literal };

template <class Char>
class JavaScriptContext {
 public:
  explicit JavaScriptContext(std::basic_string_view<Char> text) : text_(text) {}

  JavaScriptPlace placeOf(std::size_t offset) {
    const std::size_t limit = offset < text_.size() ? offset : text_.size();
    while (at_ < limit) step(limit);
    if (state_ == State::Code) return JavaScriptPlace::Code;
    return state_ == State::Template && rawTemplates_.back() ? JavaScriptPlace::RawTemplate : JavaScriptPlace::Literal;
  }

 private:
  enum class State { Code, Single, Double, Template, LineComment, BlockComment, Regex, RegexClass };

  static bool isNameUnit(Char c) {
    const auto u = static_cast<std::make_unsigned_t<Char>>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$' ||
           u == '\\' || u >= 0x80;
  }
  static bool isLineBreak(Char c) { return c == '\n' || c == '\r'; }
  Char peek(std::size_t k) const { return at_ + k < text_.size() ? text_[at_ + k] : Char(0); }

  // After a word: a regular expression may follow a keyword, not a name or a number.
  void endWord() {
    if (wordStart_ == std::string_view::npos) return;
    static constexpr std::string_view kKeywords[] = {"return", "typeof", "instanceof", "in", "of",   "new",   "delete",
                                                     "void",   "throw",  "case",       "do", "else", "yield", "await"};
    regexAllowed_ = false;
    // No keyword is longer than ten units; each unit is compared by its low byte.
    if (at_ - wordStart_ <= 10) {
      char word[10];
      for (std::size_t k = wordStart_; k < at_; ++k) word[k - wordStart_] = static_cast<char>(text_[k]);
      const std::string_view read(word, at_ - wordStart_);
      for (std::string_view keyword : kKeywords) regexAllowed_ = regexAllowed_ || read == keyword;
    }
    wordStart_ = std::string_view::npos;
  }

  // Moves past the units from `at_` up to `limit` that leave the state as it is: the rest of a
  // name, or the ordinary units of a literal or a comment.
  void skipPlain(std::size_t limit) {
    auto plain = [this](Char c) {
      switch (state_) {
        case State::Code: return isNameUnit(c);
        case State::Single: return c != '\\' && c != '\'' && !isLineBreak(c);
        case State::Double: return c != '\\' && c != '"' && !isLineBreak(c);
        case State::Template: return c != '\\' && c != '`' && c != '$';
        case State::LineComment: return !isLineBreak(c);
        case State::BlockComment: return c != '*';
        case State::Regex: return c != '\\' && c != '[' && c != '/' && !isLineBreak(c);
        case State::RegexClass: return c != '\\' && c != ']' && !isLineBreak(c);
      }
      return false;
    };
    while (at_ < limit && plain(text_[at_])) ++at_;
  }

  void stepCode(Char c, std::size_t limit) {
    if (isNameUnit(c)) {
      if (wordStart_ == std::string_view::npos) wordStart_ = at_;
      ++at_;
      skipPlain(limit);
      return;
    }
    endWord();
    ++at_;
    switch (c) {
      case '\'': state_ = State::Single; break;
      case '"': state_ = State::Double; break;
      case '`':
        state_ = State::Template;
        rawTemplates_.push_back(taggedStringRaw(at_ - 1));
        break;
      case '/':
        if (peek(0) == '/') {
          state_ = State::LineComment;
          ++at_;
        } else if (peek(0) == '*') {
          state_ = State::BlockComment;
          ++at_;
        } else if (regexAllowed_) {
          state_ = State::Regex;
        } else {
          regexAllowed_ = true;
        }
        break;
      case '{':
        ++braceDepth_;
        regexAllowed_ = true;
        break;
      case '}':
        if (!templates_.empty() && templates_.back() == braceDepth_) {
          templates_.pop_back();
          state_ = State::Template;
        } else if (braceDepth_ > 0) {
          --braceDepth_;
        }
        regexAllowed_ = false;
        break;
      case ')':
      case ']': regexAllowed_ = false; break;
      case ' ':
      case '\t':
      case '\n':
      case '\r':
      case '\f':
      case '\v': break;
      default: regexAllowed_ = true;
    }
  }

  // Reads on from `at_` (below `limit`) by at least one unit.
  void step(std::size_t limit) {
    if (state_ != State::Code) {
      skipPlain(limit);
      if (at_ >= limit) return;
    }
    const Char c = text_[at_];
    switch (state_) {
      case State::Code: stepCode(c, limit); return;
      case State::Single:
      case State::Double:
        if (c == '\\') {
          at_ += 2;
          return;
        }
        if (c == (state_ == State::Single ? '\'' : '"') || isLineBreak(c)) leaveLiteral();
        break;
      case State::Template:
        if (c == '\\') {
          at_ += 2;
          return;
        }
        if (c == '`') {
          rawTemplates_.pop_back();
          leaveLiteral();
        } else if (c == '$' && peek(1) == '{') {
          templates_.push_back(braceDepth_);
          state_ = State::Code;
          regexAllowed_ = true;
          at_ += 2;
          return;
        }
        break;
      case State::LineComment:
        if (isLineBreak(c)) state_ = State::Code;
        break;
      case State::BlockComment:
        if (c == '*' && peek(1) == '/') {
          state_ = State::Code;
          at_ += 2;
          return;
        }
        break;
      case State::Regex:
      case State::RegexClass:
        if (c == '\\') {
          at_ += 2;
          return;
        }
        if (isLineBreak(c)) state_ = State::Code;
        else if (state_ == State::Regex && c == '[') state_ = State::RegexClass;
        else if (state_ == State::RegexClass && c == ']') state_ = State::Regex;
        else if (state_ == State::Regex && c == '/') leaveLiteral();
        break;
    }
    ++at_;
  }

  // Whether the template whose backquote is at `quote` is tagged String.raw.
  bool taggedStringRaw(std::size_t quote) const {
    constexpr std::string_view kTag = "String.raw";
    std::size_t end = quote;
    while (end > 0 && (text_[end - 1] == ' ' || text_[end - 1] == '\t' || isLineBreak(text_[end - 1]))) --end;
    if (end < kTag.size()) return false;
    const std::size_t start = end - kTag.size();
    for (std::size_t k = 0; k < kTag.size(); ++k) {
      if (text_[start + k] != static_cast<Char>(kTag[k])) return false;
    }
    return start == 0 || (!isNameUnit(text_[start - 1]) && text_[start - 1] != '.');
  }

  void leaveLiteral() {
    state_ = State::Code;
    regexAllowed_ = false;
  }

  std::basic_string_view<Char> text_;
  std::size_t at_ = 0;
  State state_ = State::Code;
  bool regexAllowed_ = true;
  std::size_t wordStart_ = std::string_view::npos;
  std::size_t braceDepth_ = 0;
  std::vector<std::size_t> templates_;  // the brace depth at each open `${`
  std::vector<bool> rawTemplates_;      // for each template literal open, innermost last: tagged String.raw
};

}  // namespace sarnavel
