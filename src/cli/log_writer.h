// Writes the run's log to standard output, and never loses it silently.
//
// Each entry is written whole with write(2) (CR+LF turned into LF). When standard output
// (or the descriptor it was given instead) fails (a closed pipe, `| head`, a full disk), the writer says so once on standard error,
// asks the run to stop between two files, and writes that entry and every later one to
// standard error instead, so that the files still under way are named somewhere.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

class LogWriter {
 public:
  // `fd`: where the log goes, standard output unless the report takes it.
  explicit LogWriter(int fd = 1) : fd_(fd) {}
  void write(std::string_view entry);

  // True once standard output has failed; `failure()` is the system's reason.
  bool failed() const { return error_ != 0; }
  int failure() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace sarnavel
