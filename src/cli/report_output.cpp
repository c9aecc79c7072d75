#include "cli/report_output.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>

#include "run/visible_path.h"

namespace sarnavel {

ReportOutput::ReportOutput(const std::string& name, std::string& error) : name_(name) {
  if (name == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  owned_.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
  if (!owned_) {
    error = "cannot write the report to " + visiblePath(name) + ": " + strerror(errno);
    failed_ = true;
    return;
  }
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
  for (std::string_view name : files) {
    const std::filesystem::path file(name);
    if (file.filename() != report.filename() && file.filename() != key.filename()) continue;  // cheap first
    if (std::filesystem::weakly_canonical(file, error) == key && !error) return true;
  }
  return false;
}

}  // namespace sarnavel
