#include "cli/log_writer.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/stop_signals.h"
#include "run/posix_file.h"
#include "run/run_messages.h"

namespace sarnavel {

int standardStreamAmong(const PathList& files) {
  struct stat streams[2];
  bool regular[2];
  for (int k = 0; k < 2; ++k) regular[k] = ::fstat(k + 1, &streams[k]) == 0 && S_ISREG(streams[k].st_mode);
  if (!regular[0] && !regular[1]) return 0;  // a terminal or a pipe: nothing to look up
  for (std::string_view name : files) {
    struct stat info;
    if (::stat(std::string(name).c_str(), &info) != 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (regular[k] && info.st_dev == streams[k].st_dev && info.st_ino == streams[k].st_ino) return k + 1;
    }
  }
  return 0;
}

void LogWriter::write(std::string_view entry) {
  const std::string text = withUnixLineEnds(entry);
  if (error_ == 0) {
    if (writeAll(fd_, text)) return;
    error_ = errno != 0 ? errno : EIO;
    const int error = error_;
    requestStop();
    const std::string said = std::string("sarnavel-cli: cannot write the log to standard output (") + strerror(error) +
                             "): stopping after the files under way; the rest of the log follows here\n";
    writeAll(STDERR_FILENO, said);
  }
  writeAll(STDERR_FILENO, text);
}

}  // namespace sarnavel
