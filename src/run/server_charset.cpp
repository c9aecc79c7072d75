#include "run/server_charset.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "engine/charset_label.h"
#include "engine/target_options.h"
#include "text/source_encoding.h"
#include "store/posix_file.h"
#include "run/file_kind.h"
#include "text/ascii.h"
#include "store/path_parts.h"

namespace sarnavel {
namespace {

constexpr std::size_t kMostRead = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// The words of a directive line; a double-quoted word keeps its blanks.
std::vector<std::string> wordsOf(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      const std::size_t end = close == std::string_view::npos ? line.size() : close;
      word = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && !isBlank(line[i])) word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::vector<std::string> extensionsOf(const std::vector<std::string>& words, std::size_t from) {
  std::vector<std::string> extensions;
  for (std::size_t k = from; k < words.size(); ++k) {
    std::string extension = lowercaseCopy(words[k]);
    if (extension.starts_with('.')) extension.erase(0, 1);
    if (!extension.empty()) extensions.push_back(std::move(extension));
  }
  return extensions;
}

// The charset parameter of a media type ("text/html; charset=Shift_JIS").
std::string charsetParameter(std::string_view type) {
  const std::string lowered = lowercaseCopy(type);
  const std::size_t at = lowered.find("charset=");
  if (at == std::string::npos) return {};
  std::string_view value = type.substr(at + 8);
  const std::size_t end = value.find_first_of("; \t\"'");
  if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
    value.remove_prefix(1);
    return std::string(value.substr(0, value.find_first_of("\"'")));
  }
  return std::string(value.substr(0, end));
}

// A file's extension, lower case, from its name as written (a path never ends in '/').
std::string extensionOf(std::string_view file) {
  const std::string_view name = namePart(file);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : lowercaseCopy(name.substr(dot + 1));
}

bool governs(const ServerCharsetDirective& directive, const std::string& extension) {
  // The server sends SSI pages as HTML too; an XHTML page goes as XML, which the default
  // charset does not reach.
  if (directive.extensions.empty())
    return extension == "html" || extension == "htm" || extension == "shtml" || extension == "shtm" ||
           extension == "stm";
  for (const std::string& e : directive.extensions) {
    if (e == extension) return true;
  }
  return false;
}

bool isWithin(const std::string& path, const std::string& root) {
  if (!path.starts_with(root)) return false;
  return path.size() == root.size() || root.ends_with('/') || path[root.size()] == '/';
}

// How deep a line is in the sections that make a directive conditional on the request:
// `<If ...>`, `<ElseIf ...>`, `<Else>`, `<Files ...>`, `<FilesMatch ...>` and their ends.
void followSections(const std::string& firstWord, int& depth) {
  const std::string word = lowercaseCopy(firstWord);
  for (const char* name : {"if", "elseif", "else", "files", "filesmatch"}) {
    const std::string open = std::string("<") + name, close = std::string("</") + name;
    if (word == open || word == open + ">") ++depth;
    else if ((word == close || word == close + ">") && depth > 0) --depth;
  }
}

}  // namespace

std::vector<ServerCharsetDirective> readServerCharsetDirectives(std::string_view text) {
  std::vector<ServerCharsetDirective> directives;
  int guardedDepth = 0;
  std::size_t lineNumber = 0, start = 0;
  std::string logical;  // a line with its continuations
  std::size_t logicalLine = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (logical.empty()) logicalLine = lineNumber;
    if (line.ends_with('\\')) {
      logical.append(line.substr(0, line.size() - 1)).push_back(' ');
      continue;
    }
    logical.append(line);
    std::vector<std::string> words = wordsOf(logical);
    std::string whole = std::move(logical);
    logical.clear();
    if (words.empty() || words[0].starts_with('#')) continue;
    followSections(words[0], guardedDepth);
    const std::string name = lowercaseCopy(words[0]);
    ServerCharsetDirective directive;
    directive.line = logicalLine;
    directive.guarded = guardedDepth > 0;
    directive.continued = logicalLine != lineNumber;
    if (name == "adddefaultcharset" && words.size() >= 2) {
      const std::string value = lowercaseCopy(words[1]);
      if (value == "off") continue;
      directive.charset = value == "on" ? "ISO-8859-1" : words[1];
    } else if (name == "addcharset" && words.size() >= 3) {
      directive.charset = words[1];
      directive.extensions = extensionsOf(words, 2);
    } else if (name == "addtype" && words.size() >= 3) {
      directive.charset = charsetParameter(words[1]);
      if (directive.charset.empty()) continue;
      directive.extensions = extensionsOf(words, 2);
    } else {
      continue;
    }
    const std::size_t first = whole.find_first_not_of(" \t");
    directive.text = first == std::string::npos ? whole : whole.substr(first);
    directives.push_back(std::move(directive));
  }
  return directives;
}

ServerCharsetLookup::ServerCharsetLookup(TargetEncoding target, std::vector<std::filesystem::path> namedRoots,
                                         std::optional<KindSet> fix)
    : target_(target), fix_(fix) {
  for (const std::filesystem::path& root : namedRoots) roots_.push_back(resolvedKey(root.native()));
}

const ServerCharsetLookup::Folder& ServerCharsetLookup::directivesIn(const std::string& folder) {
  auto known = folders_.find(folder);
  if (known != folders_.end()) return known->second;
  Folder& found = folders_[folder];
  const std::filesystem::path path = std::filesystem::path(folder) / ".htaccess";
  struct stat info {};
  FileDescriptor file = openRegularFile({AT_FDCWD, path, O_RDONLY | O_NONBLOCK | O_NOCTTY, false}, info);
  if (!file) {
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) return found;  // none there
    found.unread = S_ISLNK(named.st_mode) ? "link" : !S_ISREG(named.st_mode) ? "not-regular" : "unreadable";
    return found;
  }
  if (info.st_size > static_cast<off_t>(kMostRead)) {
    found.unread = "too-large";
    return found;
  }
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(file.get(), text.data() + got, text.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  found.directives = readServerCharsetDirectives(text);
  return found;
}

const ServerCharsetLookup::Chain& ServerCharsetLookup::chainFor(std::string_view writtenFolder,
                                                                const std::filesystem::path& file) {
  if (lastChain_ && lastChain_->first == writtenFolder) return lastChain_->second;
  auto known = chains_.find(writtenFolder);
  if (known == chains_.end()) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    // A folder as the folder it finally reaches, so that the named folders and the files'
    // folders compare whatever links lead to them.
    std::string folder = folderKeys_.of((error ? file : absolute).parent_path().native());
    // The nearest named folder that holds the file is where the look-up stops.
    std::string root = folder;
    std::size_t longest = 0;
    for (const std::string& r : roots_) {
      if (isWithin(folder, r) && r.size() >= longest) {
        root = r;
        longest = r.size();
      }
    }
    Chain chain;
    for (;;) {
      const Folder& found = directivesIn(folder);
      if (!found.directives.empty() || !found.unread.empty()) chain.emplace_back(folder, &found);
      if (folder == root || folder.size() <= root.size() || folder == "/") break;
      folder = std::filesystem::path(folder).parent_path().native();
    }
    known = chains_.emplace(std::string(writtenFolder), std::move(chain)).first;
  }
  lastChain_ = &*known;
  return known->second;
}

ServerCharsetLookup::Deciding ServerCharsetLookup::decidingFor(const Chain& chain, std::string_view file) const {
  const std::string extension = extensionOf(file);
  // The deepest directive for the file decides: one of the extension's, else the default.
  Deciding byExtension, byDefault;
  for (const auto& [folder, found] : chain) {
    for (auto d = found->directives.rbegin(); d != found->directives.rend(); ++d) {
      if (!governs(*d, extension)) continue;
      Deciding& kind = d->extensions.empty() ? byDefault : byExtension;
      if (!kind.directive) kind = {&*d, folder};
    }
  }
  return byExtension.directive ? byExtension : byDefault;
}

std::vector<FileNote> ServerCharsetLookup::notesFor(const std::filesystem::path& file,
                                                    std::optional<SourceEncoding> readAs) {
  const std::lock_guard<std::mutex> hold(mutex_);
  std::vector<FileNote> notes;
  const std::string_view written = file.native();
  const Chain& chain = chainFor(written.substr(0, written.rfind('/') + 1), file);
  for (const auto& [folder, found] : chain) {
    const std::string htaccess = (std::filesystem::path(folder) / ".htaccess").native();
    if (!found->unread.empty() && named_.insert({htaccess, 0}).second)
      notes.push_back({NoteCode::HtaccessUnread, StoreProblem::None, {htaccess, found->unread}});
  }
  const Deciding deciding = decidingFor(chain, written);
  if (!deciding.directive) return notes;
  const std::optional<SourceEncoding> named = encodingOfLabel(deciding.directive->charset);
  if (named == sourceEncodingOf(target_)) return notes;
  const std::string htaccess = (std::filesystem::path(deciding.folder) / ".htaccess").native();
  const ServerCharsetDirective& directive = *deciding.directive;
  if (!named_.insert({htaccess, directive.line}).second) return notes;
  // "On" names ISO-8859-1 by a word that is no label: it is not found in the line, never rewritten.
  const bool onlyKindsConverted =
      fix_ && std::all_of(directive.extensions.begin(), directive.extensions.end(),
                          [&](const std::string& e) { return fix_->has(classifyExtension("a." + e)); });
  if (onlyKindsConverted && named && named == readAs && !directive.guarded && !directive.continued) {
    pending_.emplace(std::pair{htaccess, directive.line}, ServerCharsetLine{htaccess, directive, deciding.folder});
    return notes;
  }
  notes.push_back({NoteCode::ServerCharset,
                   StoreProblem::None,
                   {directive.charset, htaccess, std::to_string(directive.line), directive.text}});
  return notes;
}

void ServerCharsetLookup::fileLeft(const std::filesystem::path& file) {
  const std::lock_guard<std::mutex> hold(mutex_);
  const std::string_view written = file.native();
  const Deciding deciding = decidingFor(chainFor(written.substr(0, written.rfind('/') + 1), file), written);
  if (!deciding.directive) return;
  const std::string htaccess = (std::filesystem::path(deciding.folder) / ".htaccess").native();
  leftUnder_.try_emplace({htaccess, deciding.directive->line}, file.native());
}

std::vector<ServerCharsetLine> ServerCharsetLookup::settle(bool cancelled, const Walks& walks) {
  const std::lock_guard<std::mutex> hold(mutex_);
  // The first page of a kind not taken that each line decides for.
  std::map<std::pair<std::string, std::size_t>, std::string> untakenUnder;
  if (!pending_.empty()) {
    for (std::string_view page : walks.untaken) {
      const std::filesystem::path path(page);
      const Deciding deciding = decidingFor(chainFor(page.substr(0, page.rfind('/') + 1), path), page);
      if (deciding.directive)
        untakenUnder.try_emplace(
            {(std::filesystem::path(deciding.folder) / ".htaccess").native(), deciding.directive->line},
            std::string(page));
    }
  }
  // Each path passed over stands in its folder (a link's own folder, not where it leads).
  std::vector<std::pair<std::string, std::string>> passedOver;
  if (!pending_.empty())
    for (const std::filesystem::path& path : walks.passedOver)
      passedOver.emplace_back(resolvedKey(path.parent_path().native()), path.native());
  std::vector<ServerCharsetLine> lines;
  for (auto& [key, line] : pending_) {
    const bool inWalked = std::any_of(
        walks.walked.begin(), walks.walked.end(),
        [&](const std::filesystem::path& folder) { return isWithin(line.folder, resolvedKey(folder.native())); });
    const auto skipped = std::find_if(passedOver.begin(), passedOver.end(),
                                      [&](const auto& passed) { return isWithin(passed.first, line.folder); });
    if (cancelled) line.kept = "cancelled";
    else if (!inWalked) line.kept = "not-walked";
    else if (skipped != passedOver.end())
      line = {line.htaccess, line.directive, line.folder, "passed-over", skipped->second};
    else if (auto left = leftUnder_.find(key); left != leftUnder_.end())
      line = {line.htaccess, line.directive, line.folder, "file-left", left->second};
    else if (auto page = untakenUnder.find(key); page != untakenUnder.end())
      line = {line.htaccess, line.directive, line.folder, "untaken-page", page->second};
    lines.push_back(line);
  }
  return lines;
}

std::string ServerCharsetLookup::charsetFor(const std::filesystem::path& file) {
  const std::lock_guard<std::mutex> hold(mutex_);
  const std::string_view written = file.native();
  const Deciding deciding = decidingFor(chainFor(written.substr(0, written.rfind('/') + 1), file), written);
  return deciding.directive ? deciding.directive->charset : std::string();
}

}  // namespace sarnavel
