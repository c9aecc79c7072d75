#include "run/reference_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "engine/document_reading.h"
#include "run/file_kind.h"

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

ResolvedReference FileSystemResolver::resolve(std::string_view reference, LoadedKind kind) const {
  // An empty reference names no file, and one holding a zero byte cannot be a path.
  if (reference.empty() || reference.find('\0') != std::string_view::npos) return {};
  const std::filesystem::path written{std::string(reference)};
  const std::filesystem::path full = (written.is_absolute() ? written : pageFolder_ / written).lexically_normal();
  struct stat info {};
  if (::lstat(full.c_str(), &info) != 0) return {};
  ResolvedReference refused{ReferenceStatus::WrongKind, full.string()};
  const FileKind wanted = kind == LoadedKind::StyleSheet ? FileKind::Css : FileKind::JavaScript;
  if (classifyExtension(full) != wanted) return refused;
  // Links in the folders above change the folder, not the name the file is reached by: only a
  // name that is itself a link is followed to the name at its end.
  if (S_ISLNK(info.st_mode)) {
    if (::stat(full.c_str(), &info) != 0) return {};
    std::error_code error;
    const std::filesystem::path reached = std::filesystem::canonical(full, error);
    if (error || classifyExtension(reached) != wanted) return refused;
  }
  if (!S_ISREG(info.st_mode)) return refused;

  const int fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {ReferenceStatus::Followable, full.string()};  // unreadable: the file's own line will say so
  struct stat opened {};
  std::string block(4096, '\0');
  ssize_t got = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) ? ::read(fd, block.data(), block.size()) : -1;
  ::close(fd);
  if (!S_ISREG(opened.st_mode)) return refused;
  block.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  if (looksBinary(block)) return {ReferenceStatus::Binary, full.string()};
  return {ReferenceStatus::Followable, full.string()};
}

}  // namespace sarnavel
