#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "store/posix_file.h"

namespace sarnavel {

namespace {
constexpr auto kLeastBetweenDraws = std::chrono::milliseconds(100);
}  // namespace

std::string progressText(std::size_t done, std::size_t total, std::chrono::seconds elapsed, std::string_view file,
                         std::size_t width) {
  const long long seconds = elapsed.count();
  const std::string ss = std::to_string(seconds % 60);
  std::string text = "[" + std::to_string(done) + "/" + std::to_string(std::max(done, total)) + "] " +
                     std::to_string(seconds / 60) + ":" + (ss.size() < 2 ? "0" : "") + ss + " ";
  // One column kept free: a line that fills the terminal would wrap before the carriage return.
  // A byte counts as a column, which a wide character's three bytes never exceed.
  const std::size_t room = width > text.size() + 4 ? width - 1 - text.size() : 0;
  if (file.size() > room) {
    file.remove_prefix(std::min(file.size(), file.size() - room + 3));
    while (!file.empty() && (static_cast<unsigned char>(file.front()) & 0xC0) == 0x80) file.remove_prefix(1);
    text += "...";
  }
  return text + std::string(file);
}

ProgressLine::ProgressLine(int fd, bool logShares) : fd_(fd), logShares_(logShares) {
  winsize size{};
  width_ = ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  timer_ = std::thread([this] { tick(); });
}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::draw(Clock::time_point now, std::string_view before) {
  lastDraw_ = now;
  stale_ = false;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_);
  // One write: the erase, what goes above the line, and the line.
  std::string text = drawn_ ? "\r\x1b[K" : "\r";
  text += before;
  text += progressText(done_, total_.load(), elapsed, file_, width_) + "\x1b[K";
  drawn_ = writeAll(fd_, text);
}

void ProgressLine::tick() {
  std::unique_lock<std::mutex> hold(mutex_);
  while (!stopping_) {
    // Every tenth of a second: what a throttled redraw left out, and the time once a second.
    wake_.wait_for(hold, kLeastBetweenDraws);
    if (stopping_ || held_ || (!stale_ && !drawn_)) continue;
    const Clock::time_point now = Clock::now();
    const bool secondPassed = now - lastDraw_ >= std::chrono::seconds(1);
    if ((stale_ && now - lastDraw_ >= kLeastBetweenDraws) || secondPassed) draw(now);
  }
}

void ProgressLine::show() {
  const std::lock_guard<std::mutex> hold(mutex_);
  stale_ = true;
}

void ProgressLine::beforeEntry() {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (!logShares_) return;
  held_ = true;
  if (drawn_) writeAll(fd_, "\r\x1b[K");
  drawn_ = false;
}

void ProgressLine::fileDone(std::string_view file) {
  const std::lock_guard<std::mutex> hold(mutex_);
  held_ = false;
  ++done_;
  file_.assign(file);
  const Clock::time_point now = Clock::now();
  if (lastDraw_ != Clock::time_point{} && now - lastDraw_ < kLeastBetweenDraws) {
    stale_ = true;  // the timer draws it
    return;
  }
  draw(now);
}

void ProgressLine::sayAbove(std::string_view text) {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (!drawn_ || stopping_) {
    writeAll(fd_, text);
    return;
  }
  draw(Clock::now(), text);
}

void ProgressLine::clear() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    if (drawn_) writeAll(fd_, "\r\x1b[K");
    drawn_ = false;
  }
  wake_.notify_all();
  if (timer_.joinable()) timer_.join();
}

}  // namespace sarnavel
