// The progress dialog's log after a run: it follows its end however the view got there, its
// filters and find field, 保存… of the log and of the report, and the bar's failure colour.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "ui/progress_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

using Filter = ProgressDialog::LogFilter;

const QString kStart = QStringLiteral("変換を開始しました。\n---\n");
const QString kOk = QStringLiteral("成功: /site/a.html\n");
const QString kFailed = QStringLiteral("失敗: /site/b.html\nエラー - ファイルが開けませんでした。\n");
const QString kWarns = QStringLiteral("成功: /site/c.css\n  警告の行\n");
const QString kBoth = QStringLiteral("失敗: /site/d.js\nエラー - ファイル書き込みに失敗。\n  警告の行\n");
const QString kEnd = QStringLiteral("\n---\n2個の成功、2個の失敗。\n変換処理を終了しました。\n");

QPlainTextEdit* logOf(const ProgressDialog& progress) { return control<QPlainTextEdit>(progress, "IDC_LOG"); }

void writeLines(ProgressDialog& progress, const QString& tag, int count) {
  for (int i = 0; i < count; ++i) emit progress.logEntry(QStringLiteral("%1 %2\n").arg(tag).arg(i));
  QTRY_VERIFY(logOf(progress)->toPlainText().contains(QStringLiteral("%1 %2\n").arg(tag).arg(count - 1)));
}

// The ways a user brings the view to the end of the log.
void pressCtrlEnd(QPlainTextEdit& log) { QTest::keyClick(&log, Qt::Key_End, Qt::ControlModifier); }
void dragBarToEnd(QPlainTextEdit& log) { log.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum); }
void turnWheel(QPlainTextEdit& log) {
  for (int turn = 0; turn < 2000 && log.verticalScrollBar()->value() < log.verticalScrollBar()->maximum(); ++turn) {
    const QPointF at(10, 10);
    QWheelEvent wheel(at, log.viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(log.viewport(), &wheel);
  }
}
void pressPageDown(QPlainTextEdit& log) {
  for (int page = 0; page < 200; ++page) QTest::keyClick(&log, Qt::Key_PageDown);
}

}  // namespace

class ProgressLogTest : public QObject {
  Q_OBJECT

 private slots:
  // For box heights that are and are not whole numbers of lines: scrolled away, the log stays;
  // brought back to the end, by any way, it follows again.
  void theLogFollowsWheneverTheViewIsAtTheEnd_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("Ctrl+End") << 0;
    QTest::newRow("the scroll bar") << 1;
    QTest::newRow("the wheel") << 2;
    QTest::newRow("Page Down") << 3;
  }
  void theLogFollowsWheneverTheViewIsAtTheEnd() {
    QFETCH(int, way);
    void (*const ways[])(QPlainTextEdit&) = {pressCtrlEnd, dragBarToEnd, turnWheel, pressPageDown};
    bool couldNotStart = false;
    ProgressDialog progress(RunRequest{}, couldNotStart);  // not started: the test writes the log
    progress.show();
    QPlainTextEdit& log = *logOf(progress);
    QScrollBar& scroll = *log.verticalScrollBar();
    const int lineHeight = log.fontMetrics().lineSpacing();
    for (int extra = 0; extra < lineHeight; extra += std::max(1, lineHeight / 5)) {
      log.resize(log.width(), 8 * lineHeight + extra);
      writeLines(progress, QStringLiteral("first %1").arg(extra), 60);
      QCOMPARE(scroll.value(), scroll.maximum());
      QCOMPARE(log.textCursor().position(), log.document()->characterCount() - 1);

      scroll.setValue(3);  // the user reads back
      writeLines(progress, QStringLiteral("second %1").arg(extra), 5);
      QCOMPARE(scroll.value(), 3);

      log.setFocus();
      ways[way](log);
      writeLines(progress, QStringLiteral("third %1").arg(extra), 5);
      QVERIFY2(scroll.value() == scroll.maximum(), qPrintable(QStringLiteral("box height +%1 px").arg(extra)));
    }
    progress.done(QDialog::Rejected);
  }

  void theFiltersAndTheFindFieldChooseTheFilesEntries_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("shown");
    QTest::newRow("all") << int(Filter::All) << QString() << kStart + kOk + kFailed + kWarns + kBoth + kEnd;
    QTest::newRow("failed") << int(Filter::Failed) << QString() << kStart + kFailed + kBoth + kEnd;
    QTest::newRow("warnings") << int(Filter::Warnings) << QString() << kStart + kWarns + kBoth + kEnd;
    QTest::newRow("find, any case") << int(Filter::All) << QStringLiteral("B.HTML") << kStart + kFailed + kEnd;
    QTest::newRow("find in the notes") << int(Filter::All) << QStringLiteral("警告") << kStart + kWarns + kBoth + kEnd;
    QTest::newRow("failed and found") << int(Filter::Failed) << QStringLiteral("d.js") << kStart + kBoth + kEnd;
    QTest::newRow("nothing found") << int(Filter::Warnings) << QStringLiteral("a.html") << kStart + kEnd;
  }
  void theFiltersAndTheFindFieldChooseTheFilesEntries() {
    QFETCH(int, filter);
    QFETCH(QString, find);
    QFETCH(QString, shown);
    bool couldNotStart = false;
    ProgressDialog progress(RunRequest{}, couldNotStart);
    progress.show();
    // Set before and after the entries arrive, the filter shows the same.
    for (bool before : {true, false}) {
      auto choose = [&] {
        control<QLineEdit>(progress, "IDC_FIND")->setText(find);
        const char* ids[] = {"IDC_FILTER_ALL", "IDC_FILTER_FAILED", "IDC_FILTER_WARNINGS"};
        control<QRadioButton>(progress, ids[filter])->click();
      };
      if (before) choose();
      emit progress.logEntry(kStart);
      emit progress.fileLogged(kOk, false, false);
      emit progress.fileLogged(kFailed, true, false);
      emit progress.fileLogged(kWarns, false, true);
      emit progress.fileLogged(kBoth, true, true);
      emit progress.logEntry(kEnd);
      QTRY_COMPARE(progress.filesShown(), before ? 4 : 8);
      if (!before) choose();
      const QString expected = before ? shown : shown + shown;
      QTRY_COMPARE(logOf(progress)->toPlainText(), expected);
      progress.setLogFilter(Filter::All);
      control<QLineEdit>(progress, "IDC_FIND")->clear();
    }
    progress.done(QDialog::Rejected);
  }

  // A real run with a file that fails: the bar turns, Ctrl+F reaches the find field, and 保存…
  // writes what the log shows and the report, once the run has ended.
  void aFailedRunIsSavedAsShownAndAsItsReport() {
    Files files;
    const auto page = files.put("site/a.html", "<html><head><title>t</title></head><body>x</body></html>\n");
    RunRequest request;
    request.options.targetEncoding = TargetEncoding::Utf8;
    request.paths = {page, files.root() / "site/gone.html"};
    bool couldNotStart = false;
    ProgressDialog progress(request, couldNotStart);
    auto* bar = control<QProgressBar>(progress, "IDC_PROGRESS");
    const QColor before = bar->palette().color(QPalette::Highlight);
    QVERIFY(!control<QPushButton>(progress, "IDC_SAVE")->isEnabled());
    QVERIFY(progress.onProgressInit());
    progress.show();
    QTRY_VERIFY_WITH_TIMEOUT(progress.workerDone(), 20000);
    QVERIFY(progress.anyFileFailed());
    QVERIFY(bar->palette().color(QPalette::Highlight) != before);
    QVERIFY(control<QPushButton>(progress, "IDC_SAVE")->isEnabled());

    QApplication::setActiveWindow(&progress);
    QVERIFY(QTest::qWaitForWindowActive(&progress));
    QTest::keyClick(keyTarget(progress), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(progress, "IDC_FIND"));
    progress.setLogFilter(Filter::Failed);

    const auto saved = files.root() / "log.txt";
    const auto report = files.root() / "run.jsonl";
    for (bool asReport : {false, true}) {
      progress.setSaveChooser([&](QWidget&) {
        return ProgressDialog::SaveChoice{text(asReport ? report : saved), asReport};
      });
      QTest::keyClick(keyTarget(progress), Qt::Key_S, Qt::ControlModifier);
    }
    const QString log = QString::fromStdString(Files::read(saved));
    QCOMPARE(log, logOf(progress)->toPlainText());
    QVERIFY(log.contains(QStringLiteral("失敗: ") + text(files.root() / "site/gone.html")));
    QVERIFY(!log.contains(QStringLiteral("成功:")));
    const std::string lines = Files::read(report);
    QCOMPARE(std::count(lines.begin(), lines.end(), '\n'), 3);  // two files and the summary
    QVERIFY(lines.find("\"result\":100") != std::string::npos);
    QVERIFY(lines.find("\"result\":102") != std::string::npos);
    progress.done(QDialog::Rejected);
  }
};

QTEST_MAIN(ProgressLogTest)
#include "progress_log_test.moc"
