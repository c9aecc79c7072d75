#include "ui/intake_message.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

#include "ui/readable_path.h"

namespace sarnavel {
namespace {

// The few reasons a folder cannot be read that people meet, in the program's language; any
// other in the system's words, with its number so it can be looked up.
QString errorWords(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("アクセスが許可されていません");
    case ENOENT: return QStringLiteral("見つかりません");
    case ENOTDIR: return QStringLiteral("フォルダではありません");
    case ENAMETOOLONG: return QStringLiteral("パスが長すぎます");
    case ELOOP: return QStringLiteral("リンクが多すぎます");
    case EMFILE:
    case ENFILE: return QStringLiteral("開いているファイルが多すぎます");
    case ENOMEM: return QStringLiteral("メモリが足りません");
    case EIO: return QStringLiteral("入出力エラー");
    default: return QStringLiteral("エラー %1: %2").arg(error).arg(QString::fromLocal8Bit(strerror(error)));
  }
}

QString reasonFor(const IntakeNotice& notice) {
  switch (notice.kind) {
    case IntakeNotice::Kind::Unreadable: return QStringLiteral("読み込めません（%1）").arg(errorWords(notice.error));
    case IntakeNotice::Kind::MovedDuringWalk: return QStringLiteral("読み込み中に移動されました");
    case IntakeNotice::Kind::FolderLink: return QStringLiteral("フォルダへのリンク");
    case IntakeNotice::Kind::LinkOutside: return QStringLiteral("追加したフォルダの外にあるファイルへのリンク");
    case IntakeNotice::Kind::Loop: return QStringLiteral("すでに読み込み中のフォルダ（ループ）");
  }
  return {};
}

QString lineFor(const IntakeNotice& notice) {
  return QString::fromStdString(readablePath(notice.path.native())) + QStringLiteral(": ") + reasonFor(notice);
}

// A group's heading, a blank line and its first `shown` lines, each a bullet (a long path
// wraps), the rest counted.
void appendGroup(QString& text, const QString& heading, const std::vector<const IntakeNotice*>& notices,
                 std::size_t shown) {
  if (notices.empty()) return;
  if (!text.isEmpty()) text += QStringLiteral("\n\n");
  text += heading + QLatin1Char('\n');
  shown = std::min(shown, notices.size());
  for (std::size_t k = 0; k < shown; ++k) text += QStringLiteral("\n・") + lineFor(*notices[k]);
  if (shown < notices.size()) text += QStringLiteral("\n…ほか %1 件").arg(notices.size() - shown);
}

}  // namespace

IntakeMessage intakeMessage(const std::vector<IntakeNotice>& notices) {
  std::vector<const IntakeNotice*> missing, passedOver;
  for (const IntakeNotice& notice : notices) (leavesFilesUnlisted(notice) ? missing : passedOver).push_back(&notice);

  IntakeMessage message;
  if (missing.empty() && passedOver.empty()) return message;
  message.weight = missing.empty() ? IntakeMessage::Weight::PassedOver : IntakeMessage::Weight::FilesMissing;
  const std::size_t most = kMostNoticeLines;
  const std::size_t missingShown = std::min(missing.size(), most);
  // What was passed over by design keeps a few lines even below a long list of missing folders.
  const std::size_t passedOverShown = std::max<std::size_t>(most - missingShown, 4);
  appendGroup(message.text,
              QStringLiteral(
                  "次のフォルダやファイルを最後まで読み込めなかったため、リストに追加されていないファイルがあります。"),
              missing, missingShown);
  appendGroup(message.text,
              QStringLiteral("次のものはたどっていません（リストに追加していません）。"
                             "変換するには、リンク先のフォルダやファイルそのものを追加してください。"),
              passedOver, passedOverShown);
  return message;
}

}  // namespace sarnavel
