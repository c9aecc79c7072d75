#include "cli/report_output.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "run/file_kind.h"
#include "run/visible_path.h"

namespace sarnavel {

ReportOutput::ReportOutput(const std::string& name, std::string& error, const std::atomic<bool>& stop) : name_(name) {
  if (name == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  // Opened without blocking: a named pipe that nobody reads yet would hold the open until a
  // reader comes, deaf to a stop signal (the handlers restart it). It is opened again every few
  // hundredths of a second meanwhile, and the wait ends with the stop.
  for (;;) {
    owned_.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (owned_ || errno != ENXIO) break;
    if (stop.load()) {
      failed_ = true;
      return;
    }
    ::usleep(20'000);
  }
  if (!owned_) {
    error = "cannot write the report to " + visiblePath(name) + ": " + strerror(errno);
    failed_ = true;
    return;
  }
  // Written as any file is: a full pipe makes the write wait for its reader.
  const int flags = ::fcntl(owned_.get(), F_GETFL);
  if (flags != -1) ::fcntl(owned_.get(), F_SETFL, flags & ~O_NONBLOCK);
  fd_ = owned_.get();
}

void ReportOutput::write(std::string_view text) {
  if (failed_) return;
  pending_.append(text);
  if (pending_.size() >= 64 * 1024) flush();
}

void ReportOutput::flush() {
  if (failed_ || pending_.empty()) return;
  const bool written = writeAll(fd_, pending_);
  pending_.clear();
  if (written) return;
  failed_ = true;
  const std::string said = "sarnavel-cli: " + visiblePath(name_) + ": cannot write the report (" +
                           strerror(errno != 0 ? errno : EIO) + "); the run goes on\n";
  writeAll(STDERR_FILENO, said);
}

bool isOneOf(const std::filesystem::path& report, const PathList& files) {
  std::error_code error;
  const std::filesystem::path key = std::filesystem::weakly_canonical(report, error);
  if (error) return false;
  // A file of several names (hard links) may be listed under another one: told by its identity.
  struct stat reportInfo;
  const bool linked =
      ::stat(report.c_str(), &reportInfo) == 0 && S_ISREG(reportInfo.st_mode) && reportInfo.st_nlink > 1;
  for (std::string_view name : files) {
    const std::filesystem::path file(name);
    if (linked) {
      struct stat info;
      if (::stat(file.c_str(), &info) == 0 && info.st_dev == reportInfo.st_dev && info.st_ino == reportInfo.st_ino)
        return true;
      continue;
    }
    if (file.filename() != report.filename() && file.filename() != key.filename()) continue;  // cheap first
    if (std::filesystem::weakly_canonical(file, error) == key && !error) return true;
  }
  return false;
}

bool mayBeLoaded(const std::filesystem::path& report) { return isAcceptedKind(classifyExtension(report.native())); }

}  // namespace sarnavel
