// Start-up: without a graphical display the program says so and ends with status 1; with one
// it runs the main dialog, with the command line's files listed, and ends with 0.
#include <unistd.h>

#include <memory>

#include <QAction>
#include <QFile>
#include <QLibraryInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>

#include "ui/main_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/start_up.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

// Runs the program with the environment changed; returns its exit status and stderr.
std::pair<int, QByteArray> runProgram(const QStringList& unset, const QList<std::pair<QString, QString>>& set,
                                      const QStringList& arguments = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const QString& name : unset) environment.remove(name);
  for (const auto& [name, value] : set) environment.insert(name, value);
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(SARNAVEL_PROGRAM), arguments);
  if (!program.waitForFinished(20000)) {
    program.kill();
    program.waitForFinished();
    return {-1, {}};
  }
  return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2, program.readAllStandardError()};
}

}  // namespace

class StartUpTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutADisplayTheProgramSaysSoAndEndsWith1() {
    const QByteArray message = QByteArrayLiteral("プログラムはこのOSに対応していません。\n");
    const QStringList displays{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    auto [status, error] = runProgram(displays, {}, {"index.html"});
    QCOMPARE(status, 1);
    QCOMPARE(error, message);

    // A display taken on trust that Qt then cannot open (no compositor behind WAYLAND_DISPLAY,
    // or no Wayland plugin), or a platform that is not installed: the same message and status
    // after Qt's own words, not Qt's abort.
    const QList<std::pair<QString, QString>> unopenable[] = {{{"WAYLAND_DISPLAY", "sarnavel-test-none"}},
                                                             {{"QT_QPA_PLATFORM", "nosuchplatform"}}};
    for (const auto& set : unopenable) {
      std::tie(status, error) = runProgram(displays, set);
      QCOMPARE(status, 1);
      QVERIFY2(error.endsWith(message), error.constData());
    }
  }

  // Which platform and display variables promise a display (nullptr: unset).
  void displayCheck() {
    QVERIFY(graphicalDisplayAvailable());  // the tests run offscreen
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    QByteArray saved[3];
    for (int k = 0; k < 3; ++k) saved[k] = qgetenv(names[k]);
    const struct {
      const char* values[3];
      bool available;
    } cases[] = {
        {{"xcb", nullptr, nullptr}, false},
        {{"wayland", nullptr, nullptr}, false},
        {{"xcb", ":93", nullptr}, false},  // a display that cannot be opened counts as none
        {{"xcb;offscreen", nullptr, nullptr}, true},
        {{"", nullptr, nullptr}, false},
        {{"", nullptr, "wayland-0"}, true},
    };
    for (const auto& c : cases) {
      for (int k = 0; k < 3; ++k) c.values[k] ? qputenv(names[k], c.values[k]) : qunsetenv(names[k]);
      const bool available = graphicalDisplayAvailable();
      for (int k = 0; k < 3; ++k) saved[k].isNull() ? qunsetenv(names[k]) : qputenv(names[k], saved[k]);
      QCOMPARE(available, c.available);
    }
  }

  void theMainDialogRunsUntilItIsLeftAndEndsWith0() {
    Files files;
    const auto page = files.put("index.html");
    QStringList listed;
    bool focusOnEncoding = false;
    whenModal("IDD_MAIN", [&](QWidget& dialog) {
      listed = columnTexts(static_cast<MainDialog&>(dialog), 2);
      focusOnEncoding =
          QTest::qWaitFor([&] { return dialog.focusWidget() == control<QWidget>(dialog, "IDC_ENCODING"); }, 2000);
      QTest::keyClick(keyTarget(dialog), Qt::Key_Escape);
    });
    QCOMPARE(runMainDialog({page, files.root() / "missing.css"}), 0);
    QCOMPARE(listed, QStringList{text(page)});
    QVERIFY(focusOnEncoding);
  }

  // Qt's own texts (here the log's context menu) speak Japanese; without the translations the
  // program goes on in English.
  void qtsOwnTextsInJapanese() {
    QVERIFY(!installQtTranslations(*QCoreApplication::instance(), QStringLiteral("/nonexistent")));
    QPlainTextEdit log;
    auto menuTexts = [&] {
      std::unique_ptr<QMenu> menu(log.createStandardContextMenu());
      QStringList texts;
      for (QAction* action : menu->actions()) texts << action->text();
      return texts.join(QLatin1Char('|'));
    };
    QVERIFY2(menuTexts().contains(QStringLiteral("&Copy")), qPrintable(menuTexts()));
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(translations + QStringLiteral("/qtbase_ja.qm"))) QSKIP("qt6-translations-l10n is not installed");
    QVERIFY(installQtTranslations(*QCoreApplication::instance()));
    QVERIFY2(menuTexts().contains(QStringLiteral("コピー")), qPrintable(menuTexts()));
  }

  // Last: the translation stays installed.
  void theEnglishTranslationReplacesTheTexts() {
    QVERIFY(!installEnglishTranslation(*QCoreApplication::instance(), QStringLiteral("/nonexistent")));
    QVERIFY(installEnglishTranslation(*QCoreApplication::instance(), QStringLiteral(SARNAVEL_TRANSLATIONS)));
    MainDialog dialog;
    QCOMPARE(control<QPushButton>(dialog, "IDC_CONVERT")->text(), QStringLiteral("&Convert"));
    QCOMPARE(dialog.fileList().headerData(2, Qt::Horizontal).toString(), QStringLiteral("Full path"));
    bool couldNotStart = false;
    ProgressDialog progress(RunRequest{}, couldNotStart);
    QCOMPARE(progress.windowTitle(), QStringLiteral("Converting..."));
    QCOMPARE(control<QPushButton>(progress, "IDC_SAVE")->text(), QStringLiteral("&Save..."));
  }
};

QTEST_MAIN(StartUpTest)
#include "start_up_test.moc"
