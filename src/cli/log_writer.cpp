#include "cli/log_writer.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "cli/stop_signals.h"
#include "store/posix_file.h"
#include "report/run_messages.h"

namespace sarnavel {

void LogWriter::write(std::string_view entry) {
  if (readerGone()) return;
  const std::string text = withUnixLineEnds(entry);
  if (error_ == 0) {
    if (writeAll(fd_, text)) return;
    error_ = errno != 0 ? errno : EIO;
    const int error = error_;
    requestStop();
    if (readerGone()) return;
    const std::string said =
        "sarnavel-cli: " +
        message(language_,
                "ログを標準出力に書けません（{1}）: 処理中のファイルのあとで止めます。ログの残りはここに続きます",
                {strerror(error)}) +
        "\n";
    writeAll(STDERR_FILENO, said);
  }
  writeAll(STDERR_FILENO, text);
}

}  // namespace sarnavel
