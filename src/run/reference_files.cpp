#include "run/reference_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "engine/document_reading.h"
#include "run/file_kind.h"
#include "run/normal_path.h"
#include "store/posix_file.h"

namespace sarnavel {

bool looksBinary(std::string_view firstBlock) {
  static constexpr std::string_view kSignatures[] = {
      "\x7F"
      "ELF",  // Linux and most Unix programs
      "\xFE\xED\xFA\xCE",
      "\xFE\xED\xFA\xCF",
      "\xCE\xFA\xED\xFE",
      "\xCF\xFA\xED\xFE",
      "\xCA\xFE\xBA\xBE",  // Mach-O
      "\x1F\x8B",          // gzip
      "PK\x03\x04",        // zip, jar
  };
  for (std::string_view signature : kSignatures) {
    if (firstBlock.starts_with(signature)) return true;
  }
  if (firstBlock.find('\0') == std::string_view::npos) return false;
  return recogniseContent(firstBlock).form == ContentForm::Bytes;
}

std::optional<ReferenceProbes::Probe> ReferenceProbes::known(LoadedKind kind, std::string_view path) const {
  std::lock_guard lock(mutex_);
  const auto& answers = answers_[kind == LoadedKind::StyleSheet ? 0 : 1];
  auto answer = answers.find(path);
  if (answer == answers.end()) return std::nullopt;
  return answer->second;
}

void ReferenceProbes::remember(LoadedKind kind, const Probe& probe) {
  std::lock_guard lock(mutex_);
  answers_[kind == LoadedKind::StyleSheet ? 0 : 1].try_emplace(probe.answer.path, probe);
}

ResolvedReference FileSystemResolver::resolve(std::string_view reference, LoadedKind kind) const {
  // An empty reference names no file, and one holding a zero byte cannot be a path.
  if (reference.empty() || reference.find('\0') != std::string_view::npos) return {};
  const std::string full = normalJoin(pageFolder_, reference);
  std::optional<ReferenceProbes::Probe> probe;
  if (probes_) probe = probes_->known(kind, full);
  if (!probe) {
    probe = lookAt(full, kind);
    if (probes_ && probe->answer.status != ReferenceStatus::Missing) probes_->remember(kind, *probe);
  }
  if (owners_ && probe->answer.status == ReferenceStatus::Followable && probe->outsideNamed &&
      probe->owner != owners_->pageOwner)
    probe->answer.status = ReferenceStatus::ForeignOwner;
  return probe->answer;
}

ReferenceProbes::Probe FileSystemResolver::lookAt(const std::string& full, LoadedKind kind) const {
  // A name below the open page folder is reached from it; any other by its full path.
  int at = AT_FDCWD;
  const char* name = full.c_str();
  const std::string& folder = pageFolder_.native();
  if (pageFolderFd_ >= 0 && full.size() > folder.size() + 1 && full.starts_with(folder) && full[folder.size()] == '/' &&
      folder != "/") {
    at = pageFolderFd_;
    name += folder.size() + 1;
  }
  struct stat info {};
  if (::fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
  const ReferenceProbes::Probe refused{{ReferenceStatus::WrongKind, full}};
  const FileKind wanted = kind == LoadedKind::StyleSheet ? FileKind::Css : FileKind::JavaScript;
  if (classifyExtension(full) != wanted) return refused;
  // Links in the folders above change the folder, not the name the file is reached by: only a
  // name that is itself a link is followed to the name at its end.
  const bool nameIsLink = S_ISLNK(info.st_mode);
  if (nameIsLink) {
    if (::fstatat(at, name, &info, 0) != 0) return {};
    std::error_code error;
    const std::filesystem::path reached = std::filesystem::canonical(full, error);
    if (error || classifyExtension(reached.native()) != wanted) return refused;
  }
  if (!S_ISREG(info.st_mode)) return refused;
  const bool outside = owners_ && owners_->named && !owners_->named->cover(fileKey(full));

  struct stat opened {};
  std::string block(kFirstBlock, '\0');
  // Unreadable: the file's own line will say so.
  if (!readFirstBlock(at, name, opened, block))
    return {{ReferenceStatus::Followable, full, nameIsLink}, info.st_uid, outside};
  if (!S_ISREG(opened.st_mode)) return refused;
  const ReferenceStatus status = looksBinary(block) ? ReferenceStatus::Binary : ReferenceStatus::Followable;
  return {{status, full, nameIsLink}, opened.st_uid, outside};
}

}  // namespace sarnavel
