#include "cli/report_output.h"

#include <string.h>
#include <unistd.h>

#include <cerrno>

#include "cli/stop_signals.h"
#include "report/cli_notices.h"
#include "report/visible_path.h"

namespace sarnavel {

ReportOutput::ReportOutput(const std::string& name, std::string& error, const std::atomic<bool>& stop,
                           MessageLanguage language)
    : name_(name), language_(language) {
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
    if (!told) writeAll(STDERR_FILENO, noticeLine(name, message(language, "レポートを読むプログラムを待っています")));
    if (stop.load()) {
      failed_ = true;
      return;
    }
    ::usleep(20'000);
  }
  if (!owned_) {
    const int failure = errno;
    error = message(language, "レポートを {1} に書けません: {2}", {visiblePath(name), strerror(failure)});
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
  writeAll(STDERR_FILENO, noticeLine(name_, message(language_, "レポートを書けません（{1}）。実行は続けます",
                                                    {strerror(errno != 0 ? errno : EIO)})));
}

}  // namespace sarnavel
