// The check mode's listing: one line per file in log order, then a summary.
//
//   PATH<TAB>ENCODING<TAB>DECLARED<TAB>PROBLEMS
//
// PATH as the log writes it (visible_path.h: no tab or line break can occur in it); ENCODING
// one of the names of report_names.h; DECLARED each thing that names a charset as WHERE=LABEL
// separated by spaces (meta, meta-charset, xml, @charset, link, script), or "-"; PROBLEMS the
// codes of source_facts.h separated by spaces, invalid-bytes with its first position as
// "invalid-bytes@3:7", or "ok". A file that could not be read shows "-" for encoding and
// declarations and the problem "unreadable".
//
// The summary follows a line "---": "files: N", "encodings: NAME COUNT, ...", "problems: CODE
// COUNT, ..." (files per problem) or "problems: none". Not thread-safe: one writer, on the
// thread that logs.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "run/conversion_run.h"

namespace sarnavel {

class CheckListing {
 public:
  std::string fileLine(const FileOutcome& outcome, std::string_view shownPath);
  std::string summary() const;
  // Whether any file listed so far has a problem (or could not be read).
  bool anyProblem() const { return filesWithProblems_ > 0; }
  // How many of them have one: a quiet listing shows only the lines that add to it.
  std::size_t filesWithProblems() const { return filesWithProblems_; }

 private:
  std::size_t files_ = 0;
  std::size_t filesWithProblems_ = 0;
  std::map<std::string, std::size_t> encodings_, problems_;
};

}  // namespace sarnavel
