// A hundred thousand pasted paths: the busy indicator cancels an intake, and taken in whole
// they are every one listed, the row count following. (How long the window goes unanswered
// meanwhile is a matter of speed, which bench/ measures.)
#include <fcntl.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include "ui/list_intake.h"
#include "ui/main_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

constexpr int kFiles = 100'000;

// Empty pages, one a line of the returned text.
QString makePages(const TempFolder& folder, int count) {
  QString lines;
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path page = folder.path() / ("p" + std::to_string(i) + ".html");
    ::close(::creat(page.c_str(), 0644));
    lines += QString::fromStdString(page.native()) + QLatin1Char('\n');
  }
  return lines;
}

}  // namespace

class BigListTest : public QObject {
  Q_OBJECT

 private slots:
  void aHundredThousandPastedPathsAreCancelledOrListedWhole() {
    TempFolder folder(quickFolders());
    QGuiApplication::clipboard()->setText(makePages(folder, kFiles));
    MainDialog dialog;
    dialog.show();

    // Cancelled from the busy indicator, the intake adds nothing.
    dialog.addPastedPaths();
    QVERIFY(QTest::qWaitFor([&] { return dialog.backgroundIntake().indicator() || !dialog.intakeUnderWay(); }, 60000));
    QVERIFY2(dialog.backgroundIntake().indicator(), "the intake ended before its indicator showed");
    dialog.backgroundIntake().indicator()->findChild<QPushButton*>()->click();
    QVERIFY(!dialog.intakeUnderWay());

    // Taken in whole.
    dialog.addPastedPaths();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.intakeUnderWay(); }, 120000));
    QCOMPARE(dialog.fileList().rowCount(), kFiles);
    QCOMPARE(control<QLabel>(dialog, "IDC_ROW_COUNT")->text(), QStringLiteral("%1 件").arg(kFiles));
  }
};

QTEST_MAIN(BigListTest)
#include "big_list_test.moc"
