// The main dialog: its controls and defaults, the keyboard, the sorting of the
// file list by its headers, and the removal of rows.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

#include <functional>

#include "ui/main_dialog.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

const char* const kControlsInTabOrder[] = {
    "IDC_ENCODING",        "IDC_NEWLINE",    "IDC_FOLLOW_CSS", "IDC_FOLLOW_JS", "IDC_BACKUP", "IDC_FILE_LIST",
    "IDC_REMOVE_SELECTED", "IDC_REMOVE_ALL", "IDC_CHECK",      "IDC_CONVERT",   "IDCANCEL"};

QStringList comboTexts(const QComboBox& combo) {
  QStringList texts;
  for (int i = 0; i < combo.count(); ++i) texts << combo.itemText(i);
  return texts;
}

void showActive(QWidget& dialog) {
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void centredOnTheScreen() {
    MainDialog dialog;
    dialog.show();
    const QRect area = dialog.screen()->availableGeometry();
    QVERIFY(qAbs(dialog.frameGeometry().center().x() - area.center().x()) <= 2);
    QVERIFY(qAbs(dialog.frameGeometry().center().y() - area.center().y()) <= 2);
  }

  void tabOrderAndFirstFocus() {
    MainDialog dialog;
    showActive(dialog);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "IDC_ENCODING"));
    for (std::size_t i = 1; i < std::size(kControlsInTabOrder); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(kControlsInTabOrder[i]));
    }
  }

  void mnemonicsReachTheirControls() {
    Files files;
    MainDialog dialog({files.put("a.html")});
    showActive(dialog);
    QTest::keyClick(keyTarget(dialog), Qt::Key_N, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "IDC_NEWLINE"));
    QTest::keyClick(keyTarget(dialog), Qt::Key_L, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "IDC_FILE_LIST"));
    QTest::keyClick(keyTarget(dialog), Qt::Key_O, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "IDC_ENCODING"));
    QTest::keyClick(keyTarget(dialog), Qt::Key_J, Qt::AltModifier);
    QTRY_VERIFY(!control<QCheckBox>(dialog, "IDC_FOLLOW_JS")->isChecked());
    QTest::keyClick(keyTarget(dialog), Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(dialog.fileList().rowCount(), 0);
  }

  void escapeCloseBoxAndExitButtonLeave() {
    const std::function<void(MainDialog&)> ways[] = {
        [](MainDialog&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
        [](MainDialog& d) { QVERIFY(d.close()); },
        [](MainDialog& d) { control<QPushButton>(d, "IDCANCEL")->click(); },
    };
    for (const auto& leave : ways) {
      MainDialog dialog;
      showActive(dialog);
      QSignalSpy rejected(&dialog, &QDialog::rejected);
      leave(dialog);
      QVERIFY(!dialog.isVisible());
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QCOMPARE(rejected.count(), 1);
    }
  }

  void enterActsOnlyOnAFocusedButton() {
    Files files;
    MainDialog dialog({files.put("a.html"), files.put("b.css")});
    showActive(dialog);
    QSignalSpy finished(&dialog, &QDialog::finished);
    for (const char* id : {"IDC_ENCODING", "IDC_NEWLINE", "IDC_BACKUP", "IDC_FILE_LIST"}) {
      control<QWidget>(dialog, id)->setFocus();
      QTest::keyClick(control<QWidget>(dialog, id), Qt::Key_Return);
      QTest::keyClick(control<QWidget>(dialog, id), Qt::Key_Enter, Qt::KeypadModifier);
    }
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(dialog.fileList().rowCount(), 2);
    QVERIFY(control<QCheckBox>(dialog, "IDC_BACKUP")->isChecked());

    auto* removeAll = control<QPushButton>(dialog, "IDC_REMOVE_ALL");
    removeAll->setFocus();
    QTest::keyClick(removeAll, Qt::Key_Return);
    QCOMPARE(dialog.fileList().rowCount(), 0);
    QVERIFY(dialog.isVisible());
  }

  void headerClicksSortAscendingThenDescending() {
    Files files;
    const auto one = files.put("one/b.html");
    const auto two = files.put("two/b.html");
    const auto upper = files.put("one/B.html");
    const auto css = files.put("one/a.css");
    const auto js = files.put("two/c.js");
    // The two b.html rows stand with two/ first, which a tie-break on the path would undo.
    MainDialog dialog({two, css, upper, one, js});
    dialog.show();

    clickHeader(dialog, 0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"B.html", "a.css", "b.html", "b.html", "c.js"}));
    QCOMPARE(columnTexts(dialog, 2).mid(2, 2), (QStringList{text(two), text(one)}));

    clickHeader(dialog, 0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"c.js", "b.html", "b.html", "a.css", "B.html"}));
    QCOMPARE(columnTexts(dialog, 2).mid(1, 2), (QStringList{text(two), text(one)}));

    clickHeader(dialog, 0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"B.html", "a.css", "b.html", "b.html", "c.js"}));

    clickHeader(dialog, 1);
    QCOMPARE(columnTexts(dialog, 1), (QStringList{"css", "html", "html", "html", "js"}));
    clickHeader(dialog, 2);
    QStringList paths = columnTexts(dialog, 2);
    QStringList sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(paths, sorted);
    QCOMPARE(paths.first(), text(upper));  // "B" before "a" by code unit

    // Back to the extension column: ascending again, not where it was left.
    clickHeader(dialog, 1);
    QCOMPARE(columnTexts(dialog, 1), (QStringList{"css", "html", "html", "html", "js"}));
  }

  void codeUnitOrderBeyondAscii() {
    Files files;
    // U+FF21 (fullwidth A) sorts after U+3042 (hiragana a), and U+1F600 (a surrogate pair,
    // D83D DE00) before both, by UTF-16 code unit.
    const auto hiragana = files.put("\u3042.html");
    const auto fullwidth = files.put("\uFF21.html");
    const auto emoji = files.put("\U0001F600.html");
    MainDialog dialog({fullwidth, hiragana, emoji});
    dialog.onColumnClick(0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"\u3042.html", QString::fromUtf8("\U0001F600.html"), "\uFF21.html"}));
  }

  void rowsAddedAfterASortGoToTheEnd() {
    Files files;
    MainDialog dialog({files.put("c.html"), files.put("a.html")});
    dialog.show();
    clickHeader(dialog, 0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"a.html", "c.html"}));
    dialog.addFileToList(files.put("b.html"));
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"a.html", "c.html", "b.html"}));
    clickHeader(dialog, 1);
    clickHeader(dialog, 0);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"a.html", "b.html", "c.html"}));
  }

  void removeAllRowsKeepsTheSortDirections() {
    Files files;
    MainDialog dialog({files.put("a.html"), files.put("b.js")});
    dialog.onColumnClick(1);
    dialog.onColumnClick(1);
    control<QPushButton>(dialog, "IDC_REMOVE_ALL")->click();
    QCOMPARE(dialog.fileList().rowCount(), 0);
    QCOMPARE(dialog.sortDirection(1), 1);
    dialog.removeAllRows();  // on an empty list
    QCOMPARE(dialog.fileList().rowCount(), 0);
    QCOMPARE(dialog.sortDirection(0), 0);
    QCOMPARE(dialog.sortDirection(1), 1);
    QCOMPARE(dialog.sortDirection(2), 0);
  }

  // The list keeps, however long it is kept and reordered, which of its names were links the
  // intake took as such (only those are followed by the run), the folder each file was listed
  // in (the run reads each file only from there) and what the user named (where the server's
  // charset may be fixed); once a row is taken out, the folder named is no longer converted
  // whole and the run knows only the listed files.
  void requestKeepsTheLinksTheFoldersAndWhatWasNamed() {
    Files files;
    files.put("site/r.html");
    files.put("site/sub/a.html");  // first once sorted, last as walked
    std::filesystem::create_symlink("r.html", files.root() / "site/l.html");
    MainDialog dialog({files.root() / "site"});
    dialog.onColumnClick(0);
    const RunRequest request = dialog.currentRequest();
    QCOMPARE(request.paths.size(), std::size_t{3});
    QVERIFY(request.followedLinks == PathSet{(files.root() / "site/l.html").native()});
    QCOMPARE(request.listedFolders.size(), std::size_t{3});
    for (std::size_t k = 0; k < 3; ++k) {
      struct stat folder {};
      QCOMPARE(::stat(std::filesystem::path(request.paths[k]).parent_path().c_str(), &folder), 0);
      QVERIFY(request.listedFolders[k] == (FolderId{folder.st_dev, folder.st_ino}));
    }
    QVERIFY(request.namedPaths == std::vector<std::filesystem::path>{files.root() / "site"});
    control<QTableView>(dialog, "IDC_FILE_LIST")->selectRow(1);
    dialog.removeSelectedRows();
    QVERIFY(dialog.currentRequest().namedPaths.empty());
  }

  void requestTakesTheControlsAsTheyAre() {
    Files files;
    const auto page = files.put("p.html");
    MainDialog dialog({page});
    RunRequest request = dialog.currentRequest();
    QCOMPARE(request.options.targetEncoding, TargetEncoding::ShiftJis);
    QCOMPARE(int(request.options.lineEnding), 0);
    QVERIFY(request.options.followCss && request.options.followJs && request.options.makeBackup);
    QCOMPARE(request.paths.size(), std::size_t{1});
    QCOMPARE(std::string(request.paths[0]), page.native());

    // Each choice sends what its text names.
    QCOMPARE(comboTexts(*control<QComboBox>(dialog, "IDC_ENCODING")), (QStringList{"Shift_JIS", "EUC-JP", "UTF-8"}));
    QCOMPARE(comboTexts(*control<QComboBox>(dialog, "IDC_NEWLINE")),
             (QStringList{"変更なし", "CR+LF (Windows)", "LF (UNIX)", "CR (Mac)"}));
    control<QComboBox>(dialog, "IDC_ENCODING")->setCurrentIndex(2);
    control<QComboBox>(dialog, "IDC_NEWLINE")->setCurrentIndex(3);
    control<QCheckBox>(dialog, "IDC_FOLLOW_CSS")->setChecked(false);
    control<QCheckBox>(dialog, "IDC_BACKUP")->setChecked(false);
    request = dialog.currentRequest();
    QCOMPARE(request.options.targetEncoding, TargetEncoding::Utf8);  // UTF-8; ISO-2022-JP is not offered
    QCOMPARE(int(request.options.lineEnding), 3);
    QVERIFY(!request.options.followCss && request.options.followJs && !request.options.makeBackup);
    control<QComboBox>(dialog, "IDC_ENCODING")->setCurrentIndex(1);
    QCOMPARE(dialog.currentRequest().options.targetEncoding, TargetEncoding::EucJp);
  }

  // A larger window gives the list the room; the buttons keep to the corner, the row count to
  // the list's foot; a row's tooltip is its whole path. Never smaller than the layout.
  void theListTakesTheRoomOfALargerWindow() {
    Files files;
    MainDialog dialog({files.put("a.html"), files.put("b.css")});
    dialog.show();
    auto* list = control<QTableView>(dialog, "IDC_FILE_LIST");
    auto* convert = control<QPushButton>(dialog, "IDC_CONVERT");
    auto* count = control<QLabel>(dialog, "IDC_ROW_COUNT");
    QCOMPARE(count->text(), QStringLiteral("2 件"));
    QCOMPARE(list->model()->index(1, 0).data(Qt::ToolTipRole).toString(), text(files.root() / "b.css"));
    const QSize before = dialog.size();
    const QRect listBefore = list->geometry();
    const QPoint cornerBefore = dialog.rect().bottomRight() - convert->geometry().bottomRight();
    dialog.resize(before + QSize(200, 150));
    QTRY_COMPARE(list->geometry().size(), listBefore.size() + QSize(200, 150));
    QCOMPARE(dialog.rect().bottomRight() - convert->geometry().bottomRight(), cornerBefore);
    QVERIFY(count->geometry().top() >= list->geometry().bottom());
    dialog.resize(before - QSize(50, 50));
    QCOMPARE(dialog.size(), before);
    dialog.removeAllRows();
    QCOMPARE(count->text(), QStringLiteral("0 件"));
  }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
