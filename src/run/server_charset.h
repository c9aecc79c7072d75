// What the web server will announce over HTTP for a converted file: the `.htaccess` files of
// the folders from the file's own up to the folder the user gave (the nearest named folder
// that holds it; a file outside them, or named itself, looks in its own folder only).
//
// Apache's header overrides every meta, so a directive that names another encoding than the
// target makes the browser misread the converted file. Directives read (names without letter
// case, one per line, `#` comments and `\` continuations aside):
//   AddDefaultCharset On|Off|CHARSET    pages (.html, .htm, and the SSI pages .shtml, .shtm,
//                                       .stm) without a charset of their own; On means ISO-8859-1
//   AddCharset CHARSET EXT...           files with one of the extensions
//   AddType "TYPE; charset=CHARSET" EXT...  the same, the charset in the media type
// The deepest folder's directive for a file wins; in one file the last one. Each directive that
// governs a converted file and names another encoding gives one `server-charset` note, with the
// .htaccess and the line to change, under the first such file in log order only.
//
// With fixing on (--fix-server-charset, in a conversion that writes), the deciding directive
// of a converted file is a line to rewrite instead of a note when it names exactly the encoding
// the file was read in (the old one), stands on one line, is guarded by no <If>, <ElseIf>,
// <Else>, <Files> or <FilesMatch> section, and names only extensions of the kinds the run
// converts (a text it leaves would be announced in the target else). The run rewrites such
// lines only at its end (server_charset_fix.h), and only a line that governs nothing left in
// the old encoding, which it can know only of a folder it walked whole:
//  - the run was not cancelled;
//  - the .htaccess lies in a folder the user named, or below one (a folder whose files were
//    named one by one may hold others of the old encoding that the line announces too; a
//    request that names nothing, RunRequest::namedPaths empty, walked no folder);
//  - every file of the run the line decides for was converted (or was in the target already);
//  - no page of a kind the run does not take lies under it where the line decides for it (the
//    pages the walk met and passed over, RunRequest::untakenPages).
// A line kept for one of these reasons is named with the reason (settle()); AddDefaultCharset
// reaches every text/html and text/plain answer of the folder, so a text file there (.txt, not
// a kind the run converts) is announced in the target too: the rule cannot see such files.
//
// An .htaccess is read only when it is a regular file (not through a link, never a device or a
// pipe), at most 1 MiB, once per run. One that is there but not read (too large, a link,
// anything but a regular file, unreadable) gives one `htaccess-unread` note, under the first
// converted file it would govern: what it says is not known. Thread-safe: the run asks for the
// notes from the thread that logs, and for a file's declaration (what a check and a report list
// of it) from the threads that read the files.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run/file_report.h"
#include "run/kind_set.h"
#include "run/path_list.h"
#include "store/folder_keys.h"
#include "text/source_encoding.h"
#include "text/target_encoding.h"

namespace sarnavel {

struct ServerCharsetDirective {
  std::size_t line = 0;
  std::string text;                     // the directive as written (one line)
  std::string charset;                  // the label it names
  std::vector<std::string> extensions;  // lower case, without the dot; empty: AddDefaultCharset
  bool guarded = false;                 // inside an <If>, <ElseIf>, <Else>, <Files> or <FilesMatch> section
  bool continued = false;               // written over several lines (`\` continuations)
};

// A line the run would rewrite at its end, and why it may not after all.
struct ServerCharsetLine {
  std::string htaccess;
  ServerCharsetDirective directive;
  std::string folder;  // the .htaccess's folder, as a key
  // Empty: it may be rewritten. Else one of cancelled, not-walked, passed-over (`detail` the
  // folder or link the walk did not enter), file-left (`detail` the file), untaken-page
  // (`detail` the page).
  std::string kept = {};
  std::string detail = {};
};

// The directives of one .htaccess text, in order.
std::vector<ServerCharsetDirective> readServerCharsetDirectives(std::string_view text);

class ServerCharsetLookup {
 public:
  // `namedRoots`: the named folders (a named file stands for its own folder), as full paths.
  // `fix`: the kinds the run converts when lines are rewritten, none when they are only named.
  ServerCharsetLookup(TargetEncoding target, std::vector<std::filesystem::path> namedRoots,
                      std::optional<KindSet> fix = std::nullopt);

  // The notes for one converted file, read as `readAs`, each directive named once per run; with
  // fixing on, the deciding directive kept for the end of the run when it may be rewritten.
  std::vector<FileNote> notesFor(const std::filesystem::path& file, std::optional<SourceEncoding> readAs = {});
  // A file of the run that was not converted: a line that decides for it is not rewritten.
  void fileLeft(const std::filesystem::path& file);

  // The charset the server announces for the file (the deciding directive's label, as written);
  // empty when no directive governs it.
  std::string charsetFor(const std::filesystem::path& file);

  // The lines kept for the end of the run, by .htaccess and line, each with why it may not be
  // rewritten after all (`kept` empty: it may). `walked`: the folders the user named (not the
  // files); `untaken`: the pages of kinds not taken the walk met; `passedOver`: what the walks
  // did not enter (RunRequest).
  struct Walks {
    const std::vector<std::filesystem::path>& walked;
    const PathList& untaken;
    const std::vector<std::filesystem::path>& passedOver;
  };
  std::vector<ServerCharsetLine> settle(bool cancelled, const Walks& walks);

 private:
  // The folders from a file's own up to where its look-up stops that have directives, deepest
  // first, each with its directives (entries of folders_, which stay where they are).
  struct Folder {
    std::vector<ServerCharsetDirective> directives;
    std::string unread;  // why an .htaccess there was not read (FileNote: HtaccessUnread); empty when read or absent
  };
  using Chain = std::vector<std::pair<std::string, const Folder*>>;
  // The directive that decides for the file, and the folder of its .htaccess; null when none.
  struct Deciding {
    const ServerCharsetDirective* directive = nullptr;
    std::string folder;
  };
  Deciding decidingFor(const Chain& chain, std::string_view file) const;
  const Folder& directivesIn(const std::string& folder);
  const Chain& chainFor(std::string_view writtenFolder, const std::filesystem::path& file);
  std::mutex mutex_;  // over everything below
  TargetEncoding target_;
  std::optional<KindSet> fix_;
  std::vector<std::string> roots_;
  std::map<std::string, Folder> folders_;
  // A file's folder as written (up to its last '/'), to its chain: the files of one folder come
  // together, so each folder is resolved and walked up once, and a file in a folder with no
  // directive above it costs a look-up.
  std::map<std::string, Chain, std::less<>> chains_;
  const std::pair<const std::string, Chain>* lastChain_ = nullptr;
  FolderKeys folderKeys_;
  std::set<std::pair<std::string, std::size_t>> named_;  // (.htaccess, line) already noted
  // The lines kept for the end of the run, and by (.htaccess, line) the first file of the run
  // each decides for that was not converted.
  std::map<std::pair<std::string, std::size_t>, ServerCharsetLine> pending_;
  std::map<std::pair<std::string, std::size_t>, std::string> leftUnder_;
};

}  // namespace sarnavel
