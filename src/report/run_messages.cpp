#include "report/run_messages.h"

namespace sarnavel {

std::string fileMessage(ResultCode result, std::string_view path) {
  std::string_view reason;
  switch (result) {
    case ResultCode::Success: return "成功: " + std::string(path) + "\r\n";
    case ResultCode::OutOfMemory: reason = "エラー - メモリ不足。"; break;
    case ResultCode::CannotOpen: reason = "エラー - ファイルが開けませんでした。"; break;
    case ResultCode::WriteFailed: reason = "エラー - ファイル書き込みに失敗。"; break;
    case ResultCode::BackupFailed: reason = "エラー - バックアップ作成に失敗。"; break;
  }
  return "失敗: " + std::string(path) + "\r\n" + std::string(reason) + "\r\n";
}

std::string fileEntry(ResultCode result, const std::vector<NoteLine>& notes, std::string_view path) {
  std::string entry = fileMessage(result, path);
  for (const NoteLine& note : notes) entry += "  " + note.text + "\r\n";
  return entry;
}

std::string summaryMessage(int successes, int failures) {
  return "\r\n---\r\n" + std::to_string(successes) + "個の成功、" + std::to_string(failures) +
         "個の失敗。\r\n変換処理を終了しました。\r\n";
}

std::string endMessage(const RunSummary& summary) {
  if (summary.cancelled) return std::string(plainMessage(MessageId::Cancelled));
  return summaryMessage(summary.successes, summary.failures);
}

std::string_view plainMessage(MessageId id) {
  switch (id) {
    case MessageId::Started: return "変換を開始しました。\r\n---\r\n";
    case MessageId::CannotStartThread: return "スレッドを開始できませんでした。";
    case MessageId::Cancelled: return "\r\n---\r\n変換はキャンセルされました。\r\n";
    case MessageId::UndoStarted: return "元に戻す処理を開始しました。\r\n---\r\n";
    case MessageId::RedoStarted: return "やり直しを開始しました。\r\n---\r\n";
    case MessageId::Finished: break;
  }
  return {};
}

std::string memoryNoticeMessage(MemoryNotice notice, std::string_view folder) {
  std::string_view what;
  switch (notice) {
    case MemoryNotice::Damaged: what = "以前の実行の記録に読めない部分があります。その部分は使いません"; break;
    case MemoryNotice::Unavailable:
      what = "実行の記録を置けません（自分だけのフォルダーでないか、書き込めません）。記録を使わずに変換します";
      break;
    case MemoryNotice::NotRecorded:
      what = "この実行の記録を書けません。ファイル自体に書き込む必要があるファイルは変換しません";
      break;
  }
  return std::string(what) + ": " + std::string(folder) + "\r\n";
}

std::string withUnixLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace sarnavel
