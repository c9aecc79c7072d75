#include "html/script_data.h"

#include <algorithm>
#include <type_traits>

#include "html/iso2022_runs.h"
#include "text/ascii.h"

namespace sarnavel {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

template <class Char>
class ScriptData {
 public:
  explicit ScriptData(std::basic_string_view<Char> page) : page_(page) {}

  std::size_t endFrom(std::size_t i) {
    const std::size_t n = page_.size();
    while (i < n) {
      if (state_ == State::Data) {
        const std::size_t lt = find(i, '<', '<');
        if (lt == kNone) return kNone;
        if (spellsScript(lt + 2) && page_[lt + 1] == '/') return lt;
        i = lt + 1;
        if (startsWith(lt, "<!--")) {
          state_ = State::Escaped;
          dashes_ = 2;  // "<!-->" is a comment already closed
          i = lt + 4;
        }
        continue;
      }
      // In an escaped state only a dash and `<` matter, and a `>` right after two dashes.
      const std::size_t at = dashes_ == 0 ? find(i, '-', '<') : i;
      if (at == kNone) return kNone;
      const Char c = page_[at];
      if (c == '-') {
        dashes_ = std::min(dashes_ + 1, 2);
        i = at + 1;
        continue;
      }
      const bool closesComment = c == '>' && dashes_ == 2;
      dashes_ = 0;
      if (closesComment) {
        state_ = State::Data;
        i = at + 1;
      } else if (c != '<') {
        i = at;  // read again as an ordinary unit (an escape byte opening a run among them)
      } else if (const std::size_t end = lessThan(at); end != kNone) {
        i = end;
      } else {
        return at;
      }
    }
    return kNone;
  }

 private:
  enum class State { Data, Escaped, DoubleEscaped };

  // After a `<` in an escaped state: where reading goes on, or npos when the `<` begins the
  // script's end tag.
  std::size_t lessThan(std::size_t at) {
    const bool closing = at + 1 < page_.size() && page_[at + 1] == '/';
    const std::size_t name = at + (closing ? 2 : 1);
    std::size_t end = name;
    while (end < page_.size() && isAsciiLetter(page_[end])) ++end;
    if (!spellsScript(name)) return closing || end == name ? name : end;
    if (closing && state_ == State::Escaped) return kNone;
    if (closing) state_ = State::Escaped;                              // "</script" ends the double escape
    else if (state_ == State::Escaped) state_ = State::DoubleEscaped;  // "<script" begins it
    return end + 1;
  }

  // Whether "script" in any letter case, then what ends a tag name, stands at `at`.
  bool spellsScript(std::size_t at) const {
    constexpr std::string_view kScript = "script";
    if (page_.size() - std::min(at, page_.size()) <= kScript.size()) return false;
    for (std::size_t k = 0; k < kScript.size(); ++k) {
      if (asciiLower(page_[at + k]) != static_cast<Char>(kScript[k])) return false;
    }
    return endsTagName(page_[at + kScript.size()]);
  }

  bool startsWith(std::size_t at, std::string_view text) const {
    if (page_.size() - at < text.size()) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (page_[at + k] != static_cast<Char>(text[k])) return false;
    }
    return true;
  }

  // The first `a` or `b` at or after `from` (outside ISO-2022-JP runs in byte text).
  std::size_t find(std::size_t from, char a, char b) const {
    if constexpr (std::is_same_v<Char, char>) {
      return a == b ? findByteOutsideRuns(page_, from, a) : findEitherOutsideRuns(page_, from, a, b);
    } else {
      for (std::size_t k = from; k < page_.size(); ++k) {
        if (page_[k] == static_cast<Char>(a) || page_[k] == static_cast<Char>(b)) return k;
      }
      return kNone;
    }
  }

  std::basic_string_view<Char> page_;
  State state_ = State::Data;
  int dashes_ = 0;  // the dashes just read in an escaped state, two or more counting as two
};

}  // namespace

template <class Char>
std::size_t scriptBodyEnd(std::basic_string_view<Char> page, std::size_t bodyStart) {
  return ScriptData<Char>(page).endFrom(bodyStart);
}

template std::size_t scriptBodyEnd(std::basic_string_view<char>, std::size_t);
template std::size_t scriptBodyEnd(std::basic_string_view<char16_t>, std::size_t);

}  // namespace sarnavel
