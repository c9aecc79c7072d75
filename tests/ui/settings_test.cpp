// What the desktop program remembers: the settings file's round trip through the dialogs, a
// first start's defaults, values that cannot be read, 既定に戻す, and the dry run.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <fstream>

#include "run/conversion_settings.h"
#include "ui/desktop_settings.h"
#include "ui/main_dialog.h"
#include "ui/preferences_dialog.h"
#include "ui/progress_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

// A backup folder whose name QSettings must quote and escape: Japanese, spaces, ';', '"', '\\'.
const QString kBackupDir = QStringLiteral("/srv/バックアップ; \"old\" \\copies");

std::filesystem::path settingsFile() { return settingsFileName().toStdString(); }

void writeFile(const std::string& content) {
  std::filesystem::create_directories(settingsFile().parent_path());
  std::ofstream(settingsFile(), std::ios::binary) << content;
}

// The preferences as the user would set them, with OK (or 既定に戻す first).
void setPreferencesWhenOpen(std::function<void(QWidget&)> set) {
  whenModal("sarnavel_preferences", [set = std::move(set)](QWidget& preferences) {
    set(preferences);
    static_cast<QDialog&>(preferences).accept();
  });
}

// Runs the dialog's 変換 and returns the log once the run is over.
QString convertAndLog(MainDialog& dialog) {
  QString log;
  whenModal("IDD_PROGRESS", [&](QWidget& progress) {
    const bool ended = QTest::qWaitFor([&] { return static_cast<ProgressDialog&>(progress).workerDone(); }, 20000);
    log = ended ? control<QPlainTextEdit>(progress, "IDC_LOG")->toPlainText() : QStringLiteral("(no end)");
    control<QPushButton>(progress, "IDCANCEL")->click();
  });
  dialog.startConversion();
  return log;
}

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { std::filesystem::remove(settingsFile()); }

  void aFirstStartHasTheDefaults() {
    const SettingsRead read = readSettings();
    QVERIFY(read.notices.isEmpty());
    QVERIFY(read.settings == DesktopSettings{});
    MainDialog dialog;
    dialog.remember(read.settings, true);
    QCOMPARE(control<QComboBox>(dialog, "IDC_ENCODING")->currentText(), QStringLiteral("Shift_JIS"));
    QCOMPARE(control<QComboBox>(dialog, "IDC_NEWLINE")->currentText(), QStringLiteral("変更なし"));
    for (const char* id : {"IDC_FOLLOW_CSS", "IDC_FOLLOW_JS", "IDC_BACKUP"})
      QVERIFY(control<QCheckBox>(dialog, id)->isChecked());
  }

  // Chosen in one start, in the controls and the preferences, found again in the next; the
  // shared keys are where the command-line tool reads them.
  void theChoicesComeBackAtTheNextStart() {
    DesktopSettings chosen;
    {
      MainDialog dialog;
      dialog.remember(readSettings().settings, true);
      dialog.show();
      QApplication::setActiveWindow(&dialog);
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      control<QComboBox>(dialog, "IDC_ENCODING")->setCurrentIndex(2);
      control<QComboBox>(dialog, "IDC_NEWLINE")->setCurrentIndex(2);
      control<QCheckBox>(dialog, "IDC_BACKUP")->setChecked(false);
      dialog.resize(dialog.size() + QSize(120, 80));
      setPreferencesWhenOpen([](QWidget& preferences) {
        control<QLineEdit>(preferences, "kinds")->setText(QStringLiteral("+xhtml,shtml"));
        control<QCheckBox>(preferences, "fix_server_charset")->setChecked(true);
        control<QCheckBox>(preferences, "dry_run")->setChecked(true);
        control<QLineEdit>(preferences, "backup_dir")->setText(kBackupDir);
        control<QLineEdit>(preferences, "backup_suffix")->setText(QStringLiteral(".orig"));
      });
      QTest::keyClick(keyTarget(dialog), Qt::Key_Comma, Qt::ControlModifier);
      QVERIFY(dialog.windowTitle().contains(QStringLiteral("試し変換")));
      chosen = dialog.currentSettings();
      dialog.close();
    }
    QSettings file(QString::fromStdString(settingsFile().native()), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("conversion/kinds")).toString(), QStringLiteral("+xhtml,shtml"));
    QCOMPARE(file.value(QStringLiteral("conversion/fix_server_charset")).toString(), QStringLiteral("true"));
    QCOMPARE(file.value(QStringLiteral("conversion/backup_suffix")).toString(), QStringLiteral(".orig"));
    QCOMPARE(file.value(QStringLiteral("desktop/target")).toString(), QStringLiteral("utf-8"));
    // The command-line tool reads what QSettings wrote, quoting and escapes included.
    const ConversionSettings shared = loadConversionSettings(settingsFile());
    QVERIFY(shared.problems.empty());
    QVERIFY(shared.kinds == parseKindList("+xhtml,shtml").kinds);
    QVERIFY(shared.fixServerCharset == true);
    QCOMPARE(QString::fromStdString(shared.backupDir.value_or("")), kBackupDir);
    QCOMPARE(QString::fromStdString(shared.backupSuffix.value_or("")), QStringLiteral(".orig"));

    const SettingsRead read = readSettings();
    QVERIFY(read.notices.isEmpty());
    QVERIFY(read.settings == chosen);
    MainDialog next;
    next.remember(read.settings, true);
    QVERIFY(next.currentSettings() == chosen);
    QCOMPARE(control<QComboBox>(next, "IDC_ENCODING")->currentText(), QStringLiteral("UTF-8"));
    QVERIFY(!control<QCheckBox>(next, "IDC_BACKUP")->isChecked());
    QCOMPARE(next.size(), chosen.windowSize);
  }

  void aValueThatCannotBeReadKeepsItsDefault_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("notices");
    QTest::newRow("a target unknown") << "[desktop]\ntarget=latin-1\nline_ending=lf\n" << 1;
    QTest::newRow("a switch neither true nor false") << "[desktop]\nfollow_js=maybe\nline_ending=lf\n" << 1;
    QTest::newRow("an empty suffix") << "[conversion]\nbackup_suffix=\n[desktop]\nline_ending=lf\n" << 1;
    QTest::newRow("a window size of nothing") << "[desktop]\nwindow_size=@Size(0 0)\nline_ending=lf\n" << 1;
    QTest::newRow("a kind unknown") << "[conversion]\nkinds=\"+xhtml,nonsense\"\n[desktop]\nline_ending=lf\n" << 1;
    QTest::newRow("names in any case") << "[desktop]\ntarget=UTF-8\nline_ending=LF\n" << 0;
  }
  void aValueThatCannotBeReadKeepsItsDefault() {
    QFETCH(QString, line);
    QFETCH(int, notices);
    writeFile(line.toStdString());
    const SettingsRead read = readSettings();
    QCOMPARE(read.notices.size(), notices);
    QCOMPARE(read.settings.lineEnding, 2);  // what could be read is read
    DesktopSettings expected;
    expected.lineEnding = 2;
    if (notices == 0) expected.target = 2;
    QVERIFY(read.settings == expected);
  }

  void restoringTheDefaultsForgetsEveryChoice() {
    MainDialog dialog;
    DesktopSettings odd;
    odd.target = 1;
    odd.makeBackup = false;
    odd.dryRun = true;
    odd.backupSuffix = QStringLiteral("~");
    odd.lastFolder = QStringLiteral("/tmp");
    dialog.remember(odd, true);
    dialog.show();
    setPreferencesWhenOpen([](QWidget& preferences) {
      QCOMPARE(control<QLineEdit>(preferences, "backup_suffix")->text(), QStringLiteral("~"));
      control<QPushButton>(preferences, "restore_defaults")->click();
    });
    dialog.openPreferences();
    DesktopSettings defaults;
    defaults.windowSize = dialog.size();
    QVERIFY(dialog.currentSettings() == defaults);
    QVERIFY(!dialog.windowTitle().contains(QStringLiteral("試し変換")));
    QVERIFY(readSettings().settings == defaults);
  }

  // The preferences' kinds choose what a drop lists and what the run takes; the server's
  // charset and the backups' folder and suffix go with the run.
  void thePreferencesKindsReachTheListAndTheRun() {
    Files files;
    files.put("site/a.html");
    files.put("site/b.xhtml");
    for (const bool added : {false, true}) {
      MainDialog dialog;
      DesktopSettings chosen;
      chosen.kinds = added ? QStringLiteral("+xhtml") : QString();
      chosen.fixServerCharset = added;
      chosen.backupDir = added ? QStringLiteral("/srv/backups") : QString();
      chosen.backupSuffix = added ? QStringLiteral("~") : QStringLiteral(".bak");
      dialog.remember(chosen, false);
      dialog.addFolderToList(files.root() / "site");
      QCOMPARE(dialog.fileList().rowCount(), added ? 2 : 1);
      const RunRequest request = dialog.currentRequest();
      QCOMPARE(request.options.kinds.has(FileKind::Xhtml), added);
      QCOMPARE(request.options.fixServerCharset, added);
      QCOMPARE(request.options.backupFolder, std::filesystem::path(added ? "/srv/backups" : ""));
      QCOMPARE(request.options.backupSuffix, std::string(added ? "~" : ".bak"));
    }
  }

  // The dry run converts in memory and touches nothing.
  void theDryRunWritesNothing() {
    Files files;
    const std::string before = "<html><head><title>\xE6\x97\xA5</title></head><body>x</body></html>\n";
    const auto page = files.put("site/a.html", before);
    MainDialog dialog({page});
    DesktopSettings dry;
    dry.dryRun = true;
    dialog.remember(dry, false);
    dialog.show();
    QVERIFY(convertAndLog(dialog).contains(QStringLiteral("成功: ") + text(page)));
    QCOMPARE(Files::read(page), before);
    QCOMPARE(Files::namesIn(files.root() / "site"), std::set<std::string>{"a.html"});
  }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
