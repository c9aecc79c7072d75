#include "cli/report_output.h"

#include <string.h>
#include <unistd.h>

#include <cerrno>

#include "cli/stop_signals.h"
#include "report/visible_path.h"

namespace sarnavel {

ReportOutput::ReportOutput(const std::string& name, std::string& error, const std::atomic<bool>& stop) : name_(name) {
  if (name == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  // Opened without blocking: a named pipe that nobody reads yet would hold the open until a
  // reader comes, deaf to a stop signal (the handlers restart it). It is opened again every few
  // hundredths of a second meanwhile, and the wait ends with the stop.
  for (bool told = false;; told = true) {
    owned_ = openOutputFile(name);
    if (owned_ || errno != ENXIO) break;
    if (!told)
      writeAll(STDERR_FILENO, "sarnavel-cli: " + visiblePath(name) + ": waiting for a program to read the report\n");
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
  fd_ = owned_.get();
}

void ReportOutput::write(std::string_view text) {
  if (failed_) return;
  pending_.append(text);
  // On standard output a line goes as soon as it is made, as the log's entries do.
  if (pending_.size() >= 64 * 1024 || fd_ == STDOUT_FILENO) flush();
}

void ReportOutput::flush() {
  if (failed_ || pending_.empty()) return;
  const bool written = writeAll(fd_, pending_);
  pending_.clear();
  if (written) return;
  failed_ = true;
  if (errno == EPIPE) {
    readerGone_ = true;
    requestStop();
    return;
  }
  const std::string said = "sarnavel-cli: " + visiblePath(name_) + ": cannot write the report (" +
                           strerror(errno != 0 ? errno : EIO) + "); the run goes on\n";
  writeAll(STDERR_FILENO, said);
}

}  // namespace sarnavel
