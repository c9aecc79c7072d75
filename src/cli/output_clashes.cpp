#include "cli/output_clashes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <system_error>

#include "run/file_kind.h"
#include "store/path_parts.h"

namespace sarnavel {
namespace {

// The index of the first of `count` outputs (a null entry stands for none) that one of `files`
// is, by device and inode; -1 when none is. One look at each listed file for all the outputs,
// or, when each output's one name is known, only at the files of that name and the links.
int listedAmong(const PathList& files, const struct stat* const outputs[], const std::string* const onlyNames[],
                int count, const PathSet* links) {
  bool allNamed = links != nullptr;
  for (int k = 0; k < count; ++k) allNamed = allNamed && (!outputs[k] || onlyNames[k]);
  for (std::string_view name : files) {
    if (allNamed) {
      const std::string_view last = namePart(name);
      bool mayBe = false;
      for (int k = 0; k < count && !mayBe; ++k) mayBe = outputs[k] && last == *onlyNames[k];
      if (!mayBe && !links->empty()) mayBe = links->count(std::string(name)) != 0;
      if (!mayBe) continue;  // a file's own name that is none of the outputs' names
    }
    struct stat info;
    if (::stat(std::string(name).c_str(), &info) != 0) continue;
    for (int k = 0; k < count; ++k) {
      if (outputs[k] && info.st_dev == outputs[k]->st_dev && info.st_ino == outputs[k]->st_ino) return k;
    }
  }
  return -1;
}

// The last part of the one name an open file of one link has, as the system tells it; false
// when it has several names (or none left), or the system does not say.
bool onlyNameOf(int descriptor, const struct stat& info, std::string& name) {
  if (info.st_nlink != 1) return false;
  std::string path(4096, '\0');
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
  const ssize_t length = ::readlink(link.c_str(), path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) == path.size() || path[0] != '/') return false;
  path.resize(static_cast<std::size_t>(length));
  name = namePart(path);
  return !name.empty();
}

bool namedLikeLoaded(std::string_view name) { return isAcceptedKind(classifyExtension(name)); }

// Where `path` finally leads through the symbolic links of its last part, as an open that
// creates the file follows them (at most 40, as the system does).
std::filesystem::path finalName(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

}  // namespace

int standardStreamAmong(const PathList& files, const PathSet& links) {
  struct stat streams[2];
  const struct stat* regular[2];
  std::string names[2];
  const std::string* onlyNames[2] = {};
  for (int k = 0; k < 2; ++k) {
    regular[k] = ::fstat(k + 1, &streams[k]) == 0 && S_ISREG(streams[k].st_mode) ? &streams[k] : nullptr;
    if (regular[k] && onlyNameOf(k + 1, streams[k], names[k])) onlyNames[k] = &names[k];
  }
  if (!regular[0] && !regular[1]) return 0;  // a terminal or a pipe: nothing to look up
  return listedAmong(files, regular, onlyNames, 2, &links) + 1;
}

bool isOneOf(const std::filesystem::path& report, const PathList& files) {
  std::error_code error;
  const std::filesystem::path key = std::filesystem::weakly_canonical(report, error);
  if (error) return false;
  // A file of several names (hard links) may be listed under another one: told by its identity.
  struct stat reportInfo;
  if (::stat(report.c_str(), &reportInfo) == 0 && S_ISREG(reportInfo.st_mode) && reportInfo.st_nlink > 1) {
    const struct stat* const outputs[] = {&reportInfo};
    const std::string* const noNames[] = {nullptr};
    return listedAmong(files, outputs, noNames, 1, nullptr) == 0;
  }
  for (std::string_view name : files) {
    const std::filesystem::path file(name);
    if (file.filename() != report.filename() && file.filename() != key.filename()) continue;  // cheap first
    if (std::filesystem::weakly_canonical(file, error) == key && !error) return true;
  }
  return false;
}

LoadableOutput mayBeLoaded(const std::filesystem::path& report) {
  if (namedLikeLoaded(report.native())) return LoadableOutput::NamedLikeLoaded;
  if (namedLikeLoaded(finalName(report).filename().native())) return LoadableOutput::LeadsToLoaded;
  struct stat info;
  if (::stat(report.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink > 1)
    return LoadableOutput::SeveralNames;
  return LoadableOutput::No;
}

int standardStreamMayBeLoaded() {
  for (int stream = 1; stream <= 2; ++stream) {
    struct stat info;
    if (::fstat(stream, &info) != 0 || !S_ISREG(info.st_mode)) continue;
    std::string name;
    if (info.st_nlink > 1 || (onlyNameOf(stream, info, name) && namedLikeLoaded(name))) return stream;
  }
  return 0;
}

}  // namespace sarnavel
