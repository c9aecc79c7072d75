// The progress line: one line on standard error, redrawn in place while a run goes on.
//
//   [12/250] 0:07 /srv/site/docs/index.html
//
// Files done out of the files the run has planned so far (the sheets and scripts pages load are
// planned as their passes begin), the time since the run began, and the file last done, cut
// from the left to fit the terminal. Drawn with a carriage return and an erase to the end of the
// line, at most ten times a second; never a line break, so that it never adds a
// line to what the terminal keeps. A timer of its own redraws it while one long file is under
// way (the time goes on) and draws what a throttled redraw left out.
//
// Nothing else lands in it: when the log shares the terminal, the line is erased before each
// entry and not drawn again until that file is done; a notice for standard error goes through
// `sayAbove`, which erases the line, writes the notice and draws the line again below it.
// `clear` erases it for good at the end and stops the timer. The log's entries and notices come
// from the thread that logs; `planned` may come from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace sarnavel {

// The line's text for a terminal `width` columns wide (no carriage return, no erase).
std::string progressText(std::size_t done, std::size_t total, std::chrono::seconds elapsed, std::string_view file,
                         std::size_t width);

class ProgressLine {
 public:
  // `fd`: where the line goes; `logShares`: the log goes to the same terminal.
  ProgressLine(int fd, bool logShares);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  // A pass of the run is to log `files` more files.
  void planned(std::size_t files) { total_ += files; }
  // The run has begun (its first entry written): the timer draws the line from now on.
  void show();
  // Before a log entry is written: the line is erased (when the log shares the terminal) and
  // stays so until fileDone.
  void beforeEntry();
  // After a file is done (and its entry written), shown as `file`.
  void fileDone(std::string_view file);
  // Writes `text` (whole lines) to the line's stream above the line.
  void sayAbove(std::string_view text);
  // Erases the line, if it is drawn, and stops the timer.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  void draw(Clock::time_point now, std::string_view before = {});  // with mutex_ held
  void tick();                                                     // the timer's thread
  int fd_;
  std::atomic<std::size_t> total_ = 0;
  std::mutex mutex_;  // over everything below, and every write to fd_
  std::condition_variable wake_;
  std::size_t done_ = 0;
  std::string file_;
  bool logShares_, drawn_ = false, held_ = false, stale_ = false, stopping_ = false;
  std::size_t width_;
  Clock::time_point start_ = Clock::now(), lastDraw_{};
  std::thread timer_;
};

}  // namespace sarnavel
