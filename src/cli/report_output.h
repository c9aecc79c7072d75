// Where the report (--report FILE) and the check's listing go, and how their failure is told.
//
// The report file is opened (created or emptied) only after the paths were taken in, and never
// when it is one of the files the run is to read or convert, or is named like one (a page may
// load it): that is a usage error (output_clashes.h). "-" is standard output. A write that
// fails is said once on standard error; the run goes on (the log still names every file) and
// the program's status becomes 1. But when the reader of a pipe has gone (`--report - | head`),
// the run is asked to stop between two files and nothing is said: whoever read has what they
// wanted, as with the log (log_writer.h); the status is the files'.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "report/message_language.h"
#include "store/posix_file.h"

namespace sarnavel {

class ReportOutput {
 public:
  // Opens `name` ("-" for standard output); `error` says why not, empty on success. A named
  // pipe is waited for until a program reads it, or until `stop` is set (then `failed`, with no
  // error: the caller ends as the stop asks). What it says is in `language`.
  ReportOutput(const std::string& name, std::string& error, const std::atomic<bool>& stop, MessageLanguage language);
  ~ReportOutput() { flush(); }
  // Lines are gathered and written a block at a time (on standard output, each at once);
  // `flush` writes what is gathered.
  void write(std::string_view text);
  void flush();
  bool failed() const { return failed_ && !readerGone_; }

 private:
  std::string pending_;
  FileDescriptor owned_;
  int fd_ = -1;
  std::string name_;
  MessageLanguage language_;
  bool failed_ = false;
  bool readerGone_ = false;
};

}  // namespace sarnavel
