// Runs through the convert button: the progress dialog, its log, cancelling, the keys and the
// close box, and the main dialog's buttons before, during and after a run.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "ui/main_dialog.h"
#include "ui/progress_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

const char* const kButtons[] = {"IDC_REMOVE_SELECTED", "IDC_REMOVE_ALL", "IDC_CHECK", "IDC_CONVERT", "IDCANCEL"};

const QString kStarted = QStringLiteral("変換を開始しました。\n---\n");

QString summary(int successes, int failures) {
  return QStringLiteral("\n---\n%1個の成功、%2個の失敗。\n変換処理を終了しました。\n").arg(successes).arg(failures);
}

QString success(const std::filesystem::path& path) { return QStringLiteral("成功: ") + text(path) + QLatin1Char('\n'); }

int enabledButtons(const QWidget& dialog) {
  int enabled = 0;
  for (const char* id : kButtons) enabled += control<QPushButton>(dialog, id)->isEnabled() ? 1 : 0;
  return enabled;
}

QString logText(const QWidget& progress) { return control<QPlainTextEdit>(progress, "IDC_LOG")->toPlainText(); }

QString buttonText(const QWidget& progress) { return control<QPushButton>(progress, "IDCANCEL")->text(); }

ProgressDialog& asProgress(QWidget& widget) { return static_cast<ProgressDialog&>(widget); }

// A page of Japanese prose in UTF-8, large enough that converting it takes a little while.
std::string longPage(int paragraphs) {
  std::string page = "<html><head><title>長い文書</title></head><body>\n";
  for (int i = 0; i < paragraphs; ++i)
    page += "<p>吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。</p>\n";
  return page + "</body></html>\n";
}

int countBackups(const std::filesystem::path& folder) {
  int backups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    backups += entry.path().extension() == ".bak" ? 1 : 0;
  return backups;
}

}  // namespace

class ConversionTest : public QObject {
  Q_OBJECT

 private slots:
  // Enter on the log does nothing; the button closes the finished window.
  void enterOnTheLogKeepsTheFinishedWindow() {
    bool couldNotStart = false;
    ProgressDialog progress(RunRequest{}, couldNotStart);
    QVERIFY(progress.onProgressInit());
    progress.show();
    QTRY_VERIFY(progress.workerDone());
    auto* log = control<QPlainTextEdit>(progress, "IDC_LOG");
    QCOMPARE(log->toPlainText(), kStarted + summary(0, 0));
    log->setFocus();
    QTest::keyClick(log, Qt::Key_Return);
    QVERIFY(progress.isVisible());
    control<QPushButton>(progress, "IDCANCEL")->click();
    QVERIFY(!progress.isVisible());
  }

  void wholeRunThroughTheButton() {
    Files files;
    const auto page = files.put(
        "site/index.html",
        "<html><head><title>\xE8\xA9\xA6\xE9\xA8\x93</title></head><body>\xE6\x97\xA5\xE6\x9C\xAC</body></html>\n");
    const auto sheet =
        files.put("site/css/main.css", "body { font-family: \"\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA\"; }\n");
    const auto script =
        files.put("site/js/app.js", "alert('\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF');\n");
    files.put("site/readme.txt", "not listed");

    MainDialog dialog({files.root() / "site"});
    dialog.show();
    QCOMPARE(dialog.fileList().rowCount(), 3);
    control<QComboBox>(dialog, "IDC_ENCODING")->setCurrentIndex(1);  // EUC-JP
    control<QComboBox>(dialog, "IDC_NEWLINE")->setCurrentIndex(1);   // CR+LF
    control<QCheckBox>(dialog, "IDC_FOLLOW_JS")->setChecked(false);
    QCOMPARE(enabledButtons(dialog), 5);

    int enabledDuringRun = -1;
    QString log, title, button;
    bool waited = false;
    whenModal("IDD_PROGRESS", [&](QWidget& progress) {
      enabledDuringRun = enabledButtons(dialog);
      waited = QTest::qWaitFor([&] { return asProgress(progress).workerDone(); }, 10000);
      log = logText(progress);
      title = progress.windowTitle();
      button = buttonText(progress);
      control<QPushButton>(progress, "IDCANCEL")->click();
    });
    QTest::mouseClick(control<QPushButton>(dialog, "IDC_CONVERT"), Qt::LeftButton);

    QVERIFY(waited);
    QCOMPARE(enabledDuringRun, 0);
    // Pages first, then listed style sheets, then listed scripts.
    QCOMPARE(log, kStarted + success(page) + success(sheet) + success(script) + summary(3, 0));
    QCOMPARE(title, QStringLiteral("変換結果"));
    QCOMPARE(button, QStringLiteral("閉じる(&C)"));
    QCOMPARE(enabledButtons(dialog), 5);
    QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == &dialog);

    // The files were converted with the options of the controls, and backed up.
    const std::string converted = Files::read(page);
    QVERIFY(converted.find("EUC-JP") != std::string::npos);
    QVERIFY(converted.find("\xC6\xFC\xCB\xDC") != std::string::npos);  // 日本 in EUC-JP
    QVERIFY(converted.find("\r\n") != std::string::npos);
    QVERIFY(std::filesystem::exists(page.native() + ".bak"));

    // The list and the options are as they were.
    QCOMPARE(dialog.fileList().rowCount(), 3);
    QCOMPARE(control<QComboBox>(dialog, "IDC_ENCODING")->currentIndex(), 1);
    QCOMPARE(control<QComboBox>(dialog, "IDC_NEWLINE")->currentIndex(), 1);
    QVERIFY(!control<QCheckBox>(dialog, "IDC_FOLLOW_JS")->isChecked());
    QVERIFY(control<QCheckBox>(dialog, "IDC_FOLLOW_CSS")->isChecked());
  }

  void cancellingAndClosingWaitForTheWorker() {
    Files files;
    // Enough to outlast the progress window's first events however fast the run is: the
    // Escape must land while files are still being converted.
    constexpr int kPages = 200;
    const std::string content = longPage(2000);
    for (int i = 0; i < kPages; ++i) files.put("many/p" + std::to_string(100 + i) + ".html", content);
    MainDialog dialog({files.root() / "many"});
    dialog.show();

    bool escapeCancelled = false, closedByCloseBox = false;
    int enabledDuringRun = -1;
    whenModal("IDD_PROGRESS", [&](QWidget& progress) {
      enabledDuringRun = enabledButtons(dialog);
      // Escape cancels and keeps the window; the close box then closes it without waiting.
      QTest::keyClick(keyTarget(progress), Qt::Key_Escape);
      escapeCancelled = progress.isVisible() && progress.windowTitle() == QStringLiteral("変換結果") &&
                        buttonText(progress) == QStringLiteral("閉じる(&C)") && asProgress(progress).cancelRequested();
      closedByCloseBox = progress.close();
      if (progress.isVisible()) static_cast<QDialog&>(progress).done(QDialog::Rejected);
    });
    control<QPushButton>(dialog, "IDC_CONVERT")->click();
    QCOMPARE(enabledDuringRun, 0);
    QVERIFY(escapeCancelled);
    QVERIFY(closedByCloseBox);
    QCOMPARE(enabledButtons(dialog), 5);

    // The worker ended before the button came back: nothing changes on disk any more.
    const int backups = countBackups(files.root() / "many");
    QVERIFY(backups < kPages);
    QTest::qWait(200);
    QCOMPARE(countBackups(files.root() / "many"), backups);

    // And the same batch can run again at once, to its end.
    QString log;
    bool waited = false;
    whenModal("IDD_PROGRESS", [&](QWidget& progress) {
      waited = QTest::qWaitFor([&] { return asProgress(progress).workerDone(); }, 60000);
      log = logText(progress);
      control<QPushButton>(progress, "IDCANCEL")->click();
    });
    control<QPushButton>(dialog, "IDC_CONVERT")->click();
    QVERIFY(waited);
    QVERIFY(log.endsWith(summary(kPages, 0)));
  }

  // The bar counts the files as the log shows them, the style sheets and scripts the pages
  // load (passes 4 and 5) included; a name that is not UTF-8 is logged readably.
  void theBarCountsTheLoggedFiles() {
    Files files;
    const auto page = files.put("site/index.html",
                                "<html><head><title>t</title><link rel=\"stylesheet\" href=\"css/a.css\">"
                                "<script src=\"js/a.js\"></script></head><body>\xE6\x97\xA5</body></html>\n");
    files.put("site/css/a.css", "p{}\n");
    files.put("site/js/a.js", "x=1;\n");
    const auto listed = files.put("site/css/b.css", "p{}\n");
    const auto old = files.put("site/\x83\x65\x83X\x83g.html", "<html><head><title>\x93\xFA</title></head></html>\n");
    RunRequest request;
    request.options.targetEncoding = TargetEncoding::Utf8;
    request.paths = {page, listed, old};
    bool couldNotStart = false;
    ProgressDialog progress(request, couldNotStart);
    auto* bar = control<QProgressBar>(progress, "IDC_PROGRESS");
    QVERIFY(bar);
    QCOMPARE(bar->text(), QStringLiteral("0 / 0"));
    QVERIFY(progress.onProgressInit());
    progress.show();
    QTRY_VERIFY_WITH_TIMEOUT(progress.workerDone(), 20000);

    const QString log = logText(progress);
    const int logged = int(log.count(QStringLiteral("成功: ")) + log.count(QStringLiteral("失敗: ")));
    QCOMPARE(logged, 5);
    QCOMPARE(bar->value(), logged);
    QCOMPARE(bar->maximum(), logged);
    QCOMPARE(bar->text(), QStringLiteral("5 / 5"));
    QVERIFY2(log.contains(QStringLiteral("成功: ") + text(files.root() / "site/テスト.html") +
                          QStringLiteral(" [Shift_JIS]\n")),
             qPrintable(log));
  }

  // 確認 runs a check of the listed files in the same window: their listing, not a conversion.
  void theCheckButtonListsWhatTheFilesAre() {
    Files files;
    const auto page =
        files.put("site/a.html", "<html><head><meta charset=\"utf-8\"><title>\xE6\x97\xA5</title></head></html>\n");
    MainDialog dialog({page});
    dialog.show();
    QString log, title;
    whenModal("IDD_PROGRESS", [&](QWidget& progress) {
      const bool ended = QTest::qWaitFor([&] { return asProgress(progress).workerDone(); }, 20000);
      log = ended ? logText(progress) : QString();
      title = progress.windowTitle();
      control<QPushButton>(progress, "IDCANCEL")->click();
    });
    QTest::mouseClick(control<QPushButton>(dialog, "IDC_CHECK"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("確認結果"));
    QVERIFY2(log.startsWith(text(page) + QStringLiteral("\tutf-8\t")), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("files: 1")));
  }
};

QTEST_MAIN(ConversionTest)
#include "conversion_test.moc"
