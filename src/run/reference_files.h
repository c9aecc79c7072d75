// The file system's answer to a page's references: which ones lead to a file the run may
// convert (see engine/reference_resolver.h).
//
// A reference is followed only when it names a regular file (links followed) of the kind its
// element loads, by the extension of both the name written and the file it finally reaches
// (a `.css` file for a style-sheet link, a `.js` file for a script; see file_kind.h), and the
// file is no binary: its first block holds no zero byte (UTF-16 text aside, recognised as the
// reading step recognises it, engine/document_reading.h) and it does not start with an
// executable's or an archive's signature
// (ELF, Mach-O, gzip, zip). Anything else that exists is refused, and the page's log line names
// it. A relative reference resolves against the page's folder, an absolute one against the
// file-system root; the full path is made by text (lexically normal), not by following links.
//
// The answer says whether the name itself was a link: the run reads a loaded file whose name
// was the file itself only as such, never through a link put there after the page's look.
//
// A file outside the folders and files the user named (named_folders.h) is followed only when
// it has the owner of the page that loads it: otherwise a page could choose which of anyone's
// files a run of root's (or of a user who may write them) changes. It is answered
// ForeignOwner, and its element keeps its tag.
//
// Opening a candidate never blocks (a FIFO opened without a reader is refused as not regular),
// and nothing is written. Many pages load the same few files: given the run's ReferenceProbes,
// each name is looked at, and its file looked into, for the first page that loads it, and the
// later pages get the same answer (below).
// Given the page's folder open (the descriptor the page was just read through, which must be
// the folder its path leads to), a full path below that folder is looked at and opened
// relative to it: the same name, reached without walking the folder's path again.
// Thread safety: no shared state but the ReferenceProbes given, which is thread-safe.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/reference_resolver.h"
#include "run/named_folders.h"

namespace sarnavel {

// The run's answers to the pages' references, per full path and kind of element. The run
// changes no style sheet or script while it converts its pages (pages are .html and .htm
// files), and another program that changes one meanwhile races with the run whether its name
// is looked at again or not: the file's own conversion reads it and checks it again (a name
// that was the file itself is read only as such). A missing name is looked at again by every
// page, so the memo grows with the files pages load, not with the pages. Thread-safe; one
// per run.
class ReferenceProbes {
 public:
  // What was found of a name: the answer, the owner of the file it reaches, and whether that
  // file lies outside what the user named.
  struct Probe {
    ResolvedReference answer;
    uid_t owner = 0;
    bool outsideNamed = false;
  };
  std::optional<Probe> known(LoadedKind kind, std::string_view path) const;
  void remember(LoadedKind kind, const Probe& probe);

 private:
  // Full paths share long beginnings: hashed, each is read once a lookup.
  struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Probe, PathHash, std::equal_to<>> answers_[2];  // sheets, scripts
};

// Whom a page's files outside what was named must belong to (see above).
struct OwnerRule {
  const NamedFolders* named = nullptr;
  uid_t pageOwner = 0;
};

class FileSystemResolver : public ReferenceResolver {
 public:
  // `pageFolderFd`: `pageFolder` open, or -1; the caller keeps it open while the resolver lives.
  // Without `owners`, every file is followed whatever its owner.
  explicit FileSystemResolver(std::filesystem::path pageFolder, ReferenceProbes* probes = nullptr,
                              int pageFolderFd = -1, std::optional<OwnerRule> owners = std::nullopt)
      : pageFolder_(std::move(pageFolder)), probes_(probes), pageFolderFd_(pageFolderFd), owners_(owners) {}
  ResolvedReference resolve(std::string_view reference, LoadedKind kind) const override;

 private:
  // What the file system says of the name, without the run's memo.
  ReferenceProbes::Probe lookAt(const std::string& full, LoadedKind kind) const;

  std::filesystem::path pageFolder_;
  ReferenceProbes* probes_;
  int pageFolderFd_;
  std::optional<OwnerRule> owners_;
};

// How much of a loaded file looksBinary is shown: its first block.
inline constexpr std::size_t kFirstBlock = 4096;

// Whether a file's first block says it is no text: a zero byte outside UTF-16 text, or the
// signature of an executable or archive at its start.
bool looksBinary(std::string_view firstBlock);

}  // namespace sarnavel
