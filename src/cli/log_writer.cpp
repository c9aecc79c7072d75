#include "cli/log_writer.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "cli/stop_signals.h"
#include "run/run_messages.h"

namespace sarnavel {

int writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

void LogWriter::write(std::string_view entry) {
  const std::string text = withUnixLineEnds(entry);
  if (error_ == 0) {
    const int error = writeAll(STDOUT_FILENO, text);
    if (error == 0) return;
    error_ = error;
    requestStop();
    const std::string said = std::string("sarnavel-cli: cannot write the log to standard output (") + strerror(error) +
                             "): stopping after the files under way; the rest of the log follows here\n";
    writeAll(STDERR_FILENO, said);
  }
  writeAll(STDERR_FILENO, text);
}

}  // namespace sarnavel
