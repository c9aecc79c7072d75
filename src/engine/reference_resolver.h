// The one question the engine asks about files: what a page's reference leads to.
//
// The engine knows no files. For each `link` that loads a style sheet and each JavaScript
// `script` with a `src`, the HTML conversion hands the reference's local path (decoded, its
// query and fragment taken off, relative to the page's folder or absolute) and the kind of file
// the element loads to a resolver that the caller supplies: the run's asks the file system
// (run/reference_files.h), the engine's tests answer from memory.
//
// Only a file of the kind its element loads is followed; a reference that reaches anything
// else keeps its element as it was (a charset attribute naming the target would mislabel a
// file that stays as it is) and is reported, so the run can name it.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

enum class LoadedKind { StyleSheet, Script };

enum class ReferenceStatus {
  Remote,      // "http:" or "ftp:": not the run's to convert; never asked about
  Missing,     // nothing there: left alone
  Followable,  // a regular file of the element's kind, no binary: it gets the charset attribute
  WrongKind,   // a file of another kind, a folder or anything but a regular file: refused
  Binary,      // a file of the right name holding a zero byte or an executable's signature: refused
  // A file of the element's kind outside what the user named, whose owner is not the page's:
  // passed over, so that a page cannot choose which of another's files change.
  ForeignOwner,
};

struct ResolvedReference {
  ReferenceStatus status = ReferenceStatus::Missing;
  std::string path;  // the full path, unless Missing
  // The name the element gives was a link to the file when the resolver looked: the file may
  // be read through it later. A name that was the file itself is read only as such.
  bool nameIsLink = false;
};

class ReferenceResolver {
 public:
  virtual ~ReferenceResolver() = default;
  // `reference`: the local path the element names, as bytes (html/references.h, referenceNames).
  virtual ResolvedReference resolve(std::string_view reference, LoadedKind kind) const = 0;
};

}  // namespace sarnavel
