// Writes the run's log to standard output, and never loses it silently (a pipe's reader that
// has gone wants no more of it).
//
// Each entry is written whole with write(2) (CR+LF turned into LF). When the reader of a pipe
// has gone (`| head`: EPIPE), the writer asks the run to stop between two files and writes
// nothing more, anywhere: whoever reads has what they wanted, as `git log | head` leaves it.
// When standard output (or the descriptor it was given instead) fails otherwise (a full disk,
// a file that cannot grow), the writer says so once on standard error, asks the run to stop
// between two files, and writes that entry and every later one to standard error instead, so
// that the files still under way are named somewhere.
#pragma once

#include <errno.h>

#include <string>
#include <string_view>

#include "report/message_language.h"

namespace sarnavel {

class LogWriter {
 public:
  // `fd`: where the log goes, standard output unless the report takes it.
  // `language`: of the words it says on standard error (report/message_language.h).
  explicit LogWriter(int fd = 1, MessageLanguage language = MessageLanguage::English) : fd_(fd), language_(language) {}
  void write(std::string_view entry);

  // True once the log has failed for another reason than a reader gone; `failure()` is the
  // system's reason.
  bool failed() const { return error_ != 0 && !readerGone(); }
  int failure() const { return error_; }
  // True once the pipe's reader has gone: the run ends quietly, with the status of its files.
  bool readerGone() const { return error_ == EPIPE; }

 private:
  int fd_;
  MessageLanguage language_;
  int error_ = 0;
};

}  // namespace sarnavel
