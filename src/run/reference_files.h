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
// Opening a candidate never blocks (a FIFO opened without a reader is refused as not regular),
// and nothing is written. Thread safety: no shared state.
#pragma once

#include <filesystem>
#include <string_view>

#include "engine/reference_resolver.h"

namespace sarnavel {

class FileSystemResolver : public ReferenceResolver {
 public:
  explicit FileSystemResolver(std::filesystem::path pageFolder) : pageFolder_(std::move(pageFolder)) {}
  ResolvedReference resolve(std::string_view reference, LoadedKind kind) const override;

 private:
  std::filesystem::path pageFolder_;
};

// Whether a file's first block says it is no text: a zero byte outside UTF-16 text, or the
// signature of an executable or archive at its start.
bool looksBinary(std::string_view firstBlock);

}  // namespace sarnavel
