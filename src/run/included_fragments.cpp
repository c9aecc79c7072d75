#include "run/included_fragments.h"

#include <filesystem>

#include "html/ssi_includes.h"
#include "run/file_drivers.h"
#include "run/file_kind.h"
#include "run/named_folders.h"
#include "run/normal_path.h"

namespace sarnavel {

IncludedFragments::IncludedFragments(std::span<const std::string_view> pages, const std::vector<std::string>& roots) {
  std::vector<std::string_view> ssiPages;
  for (std::string_view page : pages)
    if (classifyExtension(page) == FileKind::SsiPage) ssiPages.push_back(page);
  if (ssiPages.empty()) return;
  PathSet listed;
  for (std::string_view page : pages) listed.insert(fileKey(std::filesystem::path(page)));
  for (std::string_view page : ssiPages) {
    std::string bytes;
    std::vector<FileNote> unused;
    if (readDriversFile(std::filesystem::path(page), bytes, nullptr, {}, unused) != ResultCode::Success) continue;
    const std::filesystem::path folder = normalFolderOf(std::filesystem::path(page));
    for (const SsiInclude& include : ssiIncludes(bytes)) {
      // A path from the site's root: under the first named folder where the run lists it.
      std::vector<std::string> candidates;
      if (include.fromRoot)
        for (const std::string& root : roots) candidates.push_back(normalJoin(root, include.path.substr(1)));
      else candidates.push_back(normalJoin(folder, include.path));
      bool found = false;
      for (const std::string& candidate : candidates) {
        const std::string key = fileKey(candidate);
        if (!listed.count(key)) continue;
        fragments_.insert(key);
        found = true;
        break;
      }
      if (!found) notConverted_[std::string(page)].push_back(candidates.empty() ? include.path : candidates.front());
    }
  }
}

const std::vector<std::string>* IncludedFragments::notConvertedOf(std::string_view page) const {
  const auto found = notConverted_.find(page);
  return found == notConverted_.end() ? nullptr : &found->second;
}

}  // namespace sarnavel
