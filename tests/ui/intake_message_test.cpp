// What the user is told about a batch's notices: the heavier group first, paths readable, at
// most about a screenful.
#include <errno.h>

#include <QTest>

#include "ui/intake_message.h"

using namespace sarnavel;
using Kind = IntakeNotice::Kind;
using Weight = IntakeMessage::Weight;

namespace {

const QString kMissingHeading = QStringLiteral(
    "次のフォルダやファイルを最後まで読み込めなかったため、リストに追加されていないファイルがあります。");
const QString kPassedOverHeading = QStringLiteral(
    "次のものはたどっていません（リストに追加していません）。変換するには、リンク先のフォルダやファイルそのものを追加し"
    "てください。");

std::vector<IntakeNotice> repeated(Kind kind, int count) {
  std::vector<IntakeNotice> notices;
  for (int k = 0; k < count; ++k) notices.push_back({kind, "/s/f" + std::to_string(k), EACCES});
  return notices;
}

}  // namespace

class IntakeMessageTest : public QObject {
  Q_OBJECT

 private slots:
  void told() {
    QCOMPARE(intakeMessage({}).weight, Weight::Nothing);
    QVERIFY(intakeMessage({}).text.isEmpty());

    const IntakeMessage links = intakeMessage({{Kind::FolderLink, "/s/up"}, {Kind::Loop, "/s/m/s"}});
    QCOMPARE(links.weight, Weight::PassedOver);
    QCOMPARE(links.text,
             kPassedOverHeading +
                 QStringLiteral("\n\n・/s/up: フォルダへのリンク\n・/s/m/s: すでに読み込み中のフォルダ（ループ）"));

    // A name that is Shift_JIS, with a newline and markup, told on one line as it reads.
    const IntakeMessage both = intakeMessage({{Kind::LinkOutside, "/s/x.css"},
                                              {Kind::Unreadable, "/s/\x83\x65\n<b>", EACCES},
                                              {Kind::MovedDuringWalk, "/s/old"}});
    QCOMPARE(both.weight, Weight::FilesMissing);
    QCOMPARE(both.text,
             kMissingHeading +
                 QStringLiteral("\n\n・/s/テ\\n<b> [Shift_JIS]: 読み込めません（アクセスが許可されていません）"
                                "\n・/s/old: 読み込み中に移動されました\n\n") +
                 kPassedOverHeading + QStringLiteral("\n\n・/s/x.css: 追加したフォルダの外にあるファイルへのリンク"));
  }

  void atMostAScreenful() {
    std::vector<IntakeNotice> notices = repeated(Kind::Loop, 6);
    for (const IntakeNotice& notice : repeated(Kind::Unreadable, 20)) notices.push_back(notice);
    const QStringList lines = intakeMessage(notices).text.split(QLatin1Char('\n'));
    // Heading, blank, 16 folders, the count of the rest; blank, heading, blank, 4 loops, the count.
    QCOMPARE(lines.size(), 2 + 16 + 1 + 3 + 4 + 1);
    QCOMPARE(lines[17], QStringLiteral("・/s/f15: 読み込めません（アクセスが許可されていません）"));
    QCOMPARE(lines[18], QStringLiteral("…ほか 4 件"));
    QCOMPARE(lines.last(), QStringLiteral("…ほか 2 件"));

    QCOMPARE(intakeMessage(repeated(Kind::FolderLink, 16)).text.count(QLatin1Char('\n')), 17);
  }
};

QTEST_APPLESS_MAIN(IntakeMessageTest)
#include "intake_message_test.moc"
