// The progress line: one line on standard error, redrawn in place while a run goes on.
//
//   [12/250] 0:07 /srv/site/docs/index.html
//
// Files done out of the files the run has planned so far (the sheets and scripts pages load are
// planned as their passes begin), the time since the run began, and the file last done, cut
// from the left to fit the terminal. Drawn with a carriage return and an erase to the end of the
// line, at most ten times a second; never a line break, so that it never adds a
// line to what the terminal keeps. When the log shares the terminal, the line is erased before
// each entry and drawn again at the next redraw, so that an entry never lands in the middle of it.
// `clear` erases it for good at the end. One writer, on the thread that logs; `planned` may come
// from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace sarnavel {

// The line's text for a terminal `width` columns wide (no carriage return, no erase).
std::string progressText(std::size_t done, std::size_t total, std::chrono::seconds elapsed, std::string_view file,
                         std::size_t width);

class ProgressLine {
 public:
  // `fd`: where the line goes; `logShares`: the log goes to the same terminal.
  ProgressLine(int fd, bool logShares);
  // A pass of the run is to log `files` more files.
  void planned(std::size_t files) { total_ += files; }
  // Before a log entry is written.
  void beforeEntry();
  // After a file is done (and its entry written), shown as `file`.
  void fileDone(std::string_view file);
  // Erases the line, if it is drawn.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  int fd_;
  std::atomic<std::size_t> total_ = 0;
  std::size_t done_ = 0;
  bool logShares_, drawn_ = false;
  std::size_t width_;
  Clock::time_point start_ = Clock::now(), lastDraw_{};
};

}  // namespace sarnavel
