#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "store/posix_file.h"

namespace sarnavel {

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
}

void ProgressLine::beforeEntry() {
  if (logShares_) clear();
}

void ProgressLine::fileDone(std::string_view file) {
  ++done_;
  const Clock::time_point now = Clock::now();
  if (lastDraw_ != Clock::time_point{} && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_);
  drawn_ = writeAll(fd_, "\r" + progressText(done_, total_.load(), elapsed, file, width_) + "\x1b[K");
}

void ProgressLine::clear() {
  if (drawn_) writeAll(fd_, "\r\x1b[K");
  drawn_ = false;
}

}  // namespace sarnavel
