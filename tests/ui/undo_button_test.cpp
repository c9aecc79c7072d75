// The 元に戻す button of the progress dialog: offered once a run has written files with
// backups, it takes that run back in the same window, with the same log and bar.
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/progress_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

QString logText(const QWidget& progress) { return control<QPlainTextEdit>(progress, "IDC_LOG")->toPlainText(); }

}  // namespace

class UndoButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void aRunWithBackupsIsTakenBackInTheSameWindow() {
    Files files, memory;
    const std::string page = "<html><head><title>\x93\xFA</title></head><body>\x96\x7B</body></html>\n";
    const auto listed = files.put("site/index.html", page);
    RunRequest request;
    request.options.targetEncoding = TargetEncoding::Utf8;
    request.paths = {listed};
    request.memoryFolder = memory.root() / "state";
    bool couldNotStart = false;
    ProgressDialog progress(request, couldNotStart);
    QSignalSpy ended(&progress, &ProgressDialog::runEnded);
    auto* undo = control<QPushButton>(progress, "IDC_UNDO");
    QVERIFY(undo);
    QVERIFY(progress.onProgressInit());
    progress.show();
    QTRY_VERIFY_WITH_TIMEOUT(progress.workerDone(), 20000);
    QCOMPARE(ended.count(), 1);
    QVERIFY(undo->isVisible());
    QVERIFY(TempFolder::read(listed) != page);
    // Left of the window's own button, in the bar's former room.
    QVERIFY(undo->geometry().right() < control<QPushButton>(progress, "IDCANCEL")->geometry().left());
    QVERIFY(control<QProgressBar>(progress, "IDC_PROGRESS")->geometry().right() < undo->geometry().left());

    QTest::keyClick(&progress, Qt::Key_U, Qt::AltModifier);
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 20000);
    QTRY_VERIFY(progress.workerDone());
    QCOMPARE(TempFolder::read(listed), page);
    QVERIFY(!std::filesystem::exists(listed.native() + ".bak"));
    QVERIFY(!undo->isVisible());  // offered once
    QCOMPARE(logText(progress).count(QStringLiteral("成功: ")), 2);
    QCOMPARE(control<QProgressBar>(progress, "IDC_PROGRESS")->text(), QStringLiteral("1 / 1"));
    progress.done(QDialog::Rejected);
  }

  // A run without backups, or that wrote nothing, offers nothing.
  void aRunThatCannotBeTakenBackOffersNothing() {
    for (bool backups : {false, true}) {
      Files files, memory;
      const auto listed = files.put("a.js", backups ? "x = 1;\n" : "x = '\x93\xFA';\n");
      RunRequest request;
      request.options.targetEncoding = TargetEncoding::ShiftJis;
      request.options.makeBackup = backups;
      request.paths = {listed};
      request.memoryFolder = memory.root() / "state";
      bool couldNotStart = false;
      ProgressDialog progress(request, couldNotStart);
      QVERIFY(progress.onProgressInit());
      progress.show();
      QTRY_VERIFY_WITH_TIMEOUT(progress.workerDone(), 20000);
      QVERIFY(!control<QPushButton>(progress, "IDC_UNDO")->isVisible());
      progress.done(QDialog::Rejected);
    }
  }
};

QTEST_MAIN(UndoButtonTest)
#include "undo_button_test.moc"
