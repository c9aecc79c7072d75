// The pages the run does not take (file_kind.h, OtherPage: an .xhtml page beside the .html
// ones) and the style sheets and scripts they load.
//
// Such a page keeps the charset attributes it has, so a sheet or script it loads that the run
// converts is misread there afterwards. Until those pages are taken, the run says so: under the
// converted file's line (once), a note names each such page that loads it.
//
// Each page is read once, before the run converts its first sheet or script, only as the
// regular file it was listed as (never through a link put there since), read as a conversion
// reads a page (engine/document_reading.h), and its references are resolved as a converted
// page's are (engine/charset_attributes.h), without following any. What is kept is the loaded files' keys and the pages that
// load them. A run without such pages spends nothing on them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/reference_resolver.h"
#include "run/file_report.h"
#include "run/path_list.h"
#include "run/reference_files.h"

namespace sarnavel {

class UntakenPages {
 public:
  // `keyOf`: the run's key of a file a reference leads to (the file it finally reaches).
  using KeyOf = std::function<std::string(const ResolvedReference&)>;
  UntakenPages(const PathList& pages, ReferenceProbes* probes, const KeyOf& keyOf);

  // The note under a converted file's line, naming the pages that load it; none when no such
  // page does, or when it was said already.
  std::optional<FileNote> noteFor(const std::string& key);

 private:
  std::map<std::string, std::vector<std::string>> loaders_;  // by the loaded file's key
};

}  // namespace sarnavel
