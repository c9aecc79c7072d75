#include "cli/output_clashes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <system_error>

#include "run/file_kind.h"

namespace sarnavel {
namespace {

// The index of the first of `count` outputs (a null entry stands for none) that one of `files`
// is, by device and inode; -1 when none is. One look at each listed file for all the outputs.
int listedAmong(const PathList& files, const struct stat* const outputs[], int count) {
  for (std::string_view name : files) {
    struct stat info;
    if (::stat(std::string(name).c_str(), &info) != 0) continue;
    for (int k = 0; k < count; ++k) {
      if (outputs[k] && info.st_dev == outputs[k]->st_dev && info.st_ino == outputs[k]->st_ino) return k;
    }
  }
  return -1;
}

}  // namespace

int standardStreamAmong(const PathList& files) {
  struct stat streams[2];
  const struct stat* regular[2];
  for (int k = 0; k < 2; ++k)
    regular[k] = ::fstat(k + 1, &streams[k]) == 0 && S_ISREG(streams[k].st_mode) ? &streams[k] : nullptr;
  if (!regular[0] && !regular[1]) return 0;  // a terminal or a pipe: nothing to look up
  return listedAmong(files, regular, 2) + 1;
}

bool isOneOf(const std::filesystem::path& report, const PathList& files) {
  std::error_code error;
  const std::filesystem::path key = std::filesystem::weakly_canonical(report, error);
  if (error) return false;
  // A file of several names (hard links) may be listed under another one: told by its identity.
  struct stat reportInfo;
  if (::stat(report.c_str(), &reportInfo) == 0 && S_ISREG(reportInfo.st_mode) && reportInfo.st_nlink > 1) {
    const struct stat* const outputs[] = {&reportInfo};
    return listedAmong(files, outputs, 1) == 0;
  }
  for (std::string_view name : files) {
    const std::filesystem::path file(name);
    if (file.filename() != report.filename() && file.filename() != key.filename()) continue;  // cheap first
    if (std::filesystem::weakly_canonical(file, error) == key && !error) return true;
  }
  return false;
}

bool mayBeLoaded(const std::filesystem::path& report) { return isAcceptedKind(classifyExtension(report.native())); }

}  // namespace sarnavel
