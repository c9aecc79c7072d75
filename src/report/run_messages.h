// The texts of the conversion log, worded exactly as the program has always written them
// (UTF-8, CR+LF line ends). Each file's line is chosen by its ResultCode, whose value is also
// the message's id.
//
//   100  成功: PATH
//   101  失敗: PATH / エラー - メモリ不足。
//   102  失敗: PATH / エラー - ファイルが開けませんでした。
//   103  失敗: PATH / エラー - ファイル書き込みに失敗。
//   104  失敗: PATH / エラー - バックアップ作成に失敗。
//   105  the summary with the two counts
//   106  the start of a run
//   107  the worker could not be started
//   108  the run was cancelled
//   109  the start of an undo (or a restore)
//   110  the start of a redo
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/file_notes.h"
#include "run/conversion_run.h"
#include "store/result_code.h"
#include "store/run_memory.h"

namespace sarnavel {

enum class MessageId : int {
  Finished = 105,
  Started = 106,
  CannotStartThread = 107,
  Cancelled = 108,
  UndoStarted = 109,
  RedoStarted = 110,
};

// The log entry of one file: message 100 to 104 with the path.
std::string fileMessage(ResultCode result, std::string_view path);

// The whole log entry of one file: its message, then each note on a line of its own indented
// by two spaces.
std::string fileEntry(ResultCode result, const std::vector<NoteLine>& notes, std::string_view path);

// Message 105 with the counts.
std::string summaryMessage(int successes, int failures);

// The run's last entry: message 108 when it was cancelled, else 105.
std::string endMessage(const RunSummary& summary);

// Messages 106 to 110 but 105, which take no value.
std::string_view plainMessage(MessageId id);

// The log's line for what the run tells of the user's memory (`folder` as the log shows it).
std::string memoryNoticeMessage(MemoryNotice notice, std::string_view folder);

// The text with every CR+LF turned into LF, for terminals and files.
std::string withUnixLineEnds(std::string_view text);

}  // namespace sarnavel
