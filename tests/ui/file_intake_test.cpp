// Files reaching the list: drops from a file manager, Ctrl+O, Ctrl+V and the paths of the
// command line; what a walk leaves out is told. Which paths the intake takes is its own
// test's (tests/run/intake_test.cpp).
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include "ui/add_files_dialog.h"
#include "ui/main_dialog.h"
#include "ui/readable_path.h"
#include "ui/start_up.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

// The URL of a path's bytes, percent-encoded as file managers do.
QUrl urlOf(const std::filesystem::path& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path.native()).toPercentEncoding("/"));
}

// Drags the URLs onto the dialog and drops them, as a file manager does; returns whether the
// dialog took the drag.
bool drop(MainDialog& dialog, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  const QPoint where(dialog.width() / 2, dialog.height() / 2);
  QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent dropped(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &dropped);
  return dropped.isAccepted() && QTest::qWaitFor([&] { return !dialog.intakeUnderWay(); }, 20000);
}

// Root reads every folder whatever its mode: runs this test program again with just the one
// test function as an ordinary user (uid and gid 65534); true when it passed there.
bool passesAsOrdinaryUser(const char* testFunction) {
  QProcess child;
  child.setChildProcessModifier([] {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
  });
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  child.start(QCoreApplication::applicationFilePath(), {QLatin1String(testFunction)});
  return child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

}  // namespace

class FileIntakeTest : public QObject {
  Q_OBJECT

 private slots:
  // A folder the walk cannot read leaves its files out of the list: a warning says which and
  // why, and holds the dialog until it is read.
  void unreadableFolderInADropIsTold() {
    if (geteuid() == 0) {
      QVERIFY2(passesAsOrdinaryUser("unreadableFolderInADropIsTold"), "failed as an ordinary user");
      return;
    }
    Files files;
    files.put("site/a.html");
    const auto locked = files.put("site/locked/b.html").parent_path();
    QCOMPARE(chmod(locked.c_str(), 0), 0);
    MainDialog dialog;
    dialog.show();
    const bool dropped = drop(dialog, {urlOf(files.root() / "site")});
    const bool told =
        QTest::qWaitFor([&] { return dialog.intakeMessageBox() && dialog.intakeMessageBox()->isVisible(); }, 5000);
    chmod(locked.c_str(), 0700);
    QVERIFY(dropped);
    QCOMPARE(columnTexts(dialog, 0), QStringList{"a.html"});
    QVERIFY(told);
    QMessageBox& box = *dialog.intakeMessageBox();
    QCOMPARE(box.icon(), QMessageBox::Warning);
    QCOMPARE(box.windowModality(), Qt::WindowModal);
    QVERIFY2(box.text().contains(QStringLiteral("・") + QString::fromStdString(readablePath(locked.native())) +
                                 QStringLiteral(": 読み込めません（アクセスが許可されていません）")),
             qPrintable(box.text()));
  }

  // One drop is one batch: a link in one dropped folder to a file in another is taken; a link
  // to a file outside both is passed over and told, without holding the dialog. The command
  // line's notices wait until the dialog shows.
  void linksWithinABatchAreTakenOthersTold() {
    Files files;
    const auto common = files.put("shared/common.js");
    files.put("site/index.html");
    const auto elsewhere = files.put("elsewhere/x.css");
    QCOMPARE(symlink(common.c_str(), (files.root() / "site/common.js").c_str()), 0);
    QCOMPARE(symlink(elsewhere.c_str(), (files.root() / "site/x.css").c_str()), 0);

    MainDialog started({files.root() / "site"});
    QCOMPARE(columnTexts(started, 0), QStringList{"index.html"});
    QCoreApplication::processEvents();
    QVERIFY(!started.intakeMessageBox());
    started.show();
    QTRY_VERIFY(started.intakeMessageBox() && started.intakeMessageBox()->isVisible());
    started.close();

    MainDialog dialog;
    dialog.show();
    QVERIFY(drop(dialog, {urlOf(files.root() / "site"), urlOf(files.root() / "shared")}));
    QCOMPARE(columnTexts(dialog, 2), (QStringList{text(files.root() / "site/common.js"),
                                                  text(files.root() / "site/index.html"), text(common)}));
    QTRY_VERIFY(dialog.intakeMessageBox() && dialog.intakeMessageBox()->isVisible());
    QMessageBox& box = *dialog.intakeMessageBox();
    QCOMPARE(box.icon(), QMessageBox::Information);
    QVERIFY(!box.isModal());
    QVERIFY2(box.text().endsWith(QStringLiteral("・") + text(files.root() / "site/x.css") +
                                 QStringLiteral(": 追加したフォルダの外にあるファイルへのリンク")),
             qPrintable(box.text()));
    QVERIFY2(!box.text().contains(QStringLiteral("common.js")), qPrintable(box.text()));
  }

  // Ctrl+O (the file dialog replaced by a stand-in), Ctrl+V and Delete, typed into the dialog.
  void keysAddAndRemoveRows() {
    Files files;
    files.put("site/a.html");
    files.put("site/b.css");
    const auto single = files.put("single.js");
    const auto old = files.put("\x83\x65.html");
    MainDialog dialog;
    int asked = 0;
    dialog.setPathChooser([&](QWidget& parent) {
      asked += &parent == &dialog ? 1 : 100;
      return std::vector<std::filesystem::path>{files.root() / "site", single, files.root() / "notes.txt"};
    });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* list = control<QTableView>(dialog, "IDC_FILE_LIST");

    QTest::keyClick(keyTarget(dialog), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(asked, 1);
    QTRY_COMPARE(columnTexts(dialog, 0), (QStringList{"a.html", "b.css", "single.js"}));

    QGuiApplication::clipboard()->setText(text(single) + QStringLiteral("\r\n") +
                                          urlOf(old).toString(QUrl::FullyEncoded) + QStringLiteral("\nno such.html\n"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    QTRY_COMPARE(columnTexts(dialog, 0),
                 (QStringList{"a.html", "b.css", "single.js", "single.js", "テ.html [Shift_JIS]"}));
    QCOMPARE(dialog.fileList().entries().back().path, old);

    list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(list->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"a.html", "single.js", "テ.html [Shift_JIS]"}));
  }

  // The chooser of Ctrl+O lists every name, one that is not UTF-8 readably, and answers with
  // the names' own bytes: Open takes what is selected, a folder too; a double click enters a
  // folder; a path typed is entered or taken.
  void theChooserListsEveryNameByItsBytes() {
    Files files;
    const auto old = files.put("\x83\x65.html");  // テ.html in Shift_JIS
    const auto page = files.put("site/index.html");
    files.put("notes.txt");
    files.put(".hidden.html");
    AddFilesDialog chooser(nullptr, files.root() / "site/..", KindSet::defaults());
    auto* entries = control<QListView>(chooser, "entries");
    auto shown = [entries] {
      QStringList names;
      for (int row = 0; row < entries->model()->rowCount(); ++row)
        if (!entries->isRowHidden(row)) names << entries->model()->index(row, 0).data().toString();
      return names;
    };
    QCOMPARE(shown(), (QStringList{"site", "テ.html [Shift_JIS]"}));
    control<QComboBox>(chooser, "filter")->setCurrentIndex(1);
    QCOMPARE(shown(), (QStringList{"site", "notes.txt", "テ.html [Shift_JIS]"}));

    for (int row : {0, 2})
      entries->selectionModel()->select(entries->model()->index(row, 0), QItemSelectionModel::Select);
    chooser.accept();
    QCOMPARE(chooser.result(), int(QDialog::Accepted));
    QCOMPARE(chooser.chosenPaths(), (std::vector<std::filesystem::path>{files.root() / "site", old}));

    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    chooser.setResult(QDialog::Rejected);
    const QPoint site = entries->visualRect(entries->model()->index(0, 0)).center();
    QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, site);
    QTest::mouseDClick(entries->viewport(), Qt::LeftButton, {}, site);
    QCOMPARE(chooser.folder(), files.root() / "site");
    QCOMPARE(chooser.result(), int(QDialog::Rejected));
    auto* location = control<QLineEdit>(chooser, "location");
    location->setFocus();
    location->setText(QStringLiteral("index.html"));
    location->setModified(true);
    chooser.accept();
    QCOMPARE(chooser.chosenPaths(), std::vector<std::filesystem::path>{page});
  }

  // Ctrl+O opens where the last choice was made; Enter with nothing selected adds nothing and
  // leaves the chooser open; Enter on a Shift_JIS name adds the file under its own bytes.
  void ctrlOWithNothingSelectedAddsNothing() {
    Files files;
    const auto old = files.put("site/\x83\x65.html");
    MainDialog dialog;
    DesktopSettings remembered;
    remembered.lastFolder = text(files.root() / "site");
    dialog.remember(remembered, false);
    dialog.show();
    std::filesystem::path openedIn;
    bool stayedOpen = false;
    whenModal("sarnavel_add_files", [&](QWidget& shown) {
      auto& chooser = static_cast<AddFilesDialog&>(shown);
      openedIn = chooser.folder();
      auto* entries = control<QListView>(chooser, "entries");
      QTest::keyClick(entries, Qt::Key_Return);
      stayedOpen = chooser.isVisible();
      entries->setCurrentIndex(entries->model()->index(0, 0));
      QTest::keyClick(entries, Qt::Key_Return);
      if (chooser.isVisible()) chooser.reject();
    });
    dialog.addChosenPaths();
    QCOMPARE(openedIn, files.root() / "site");
    QVERIFY(stayedOpen);
    QTRY_COMPARE(dialog.fileList().rowCount(), 1);
    QCOMPARE(dialog.fileList().entries().front().path, old);
  }

  void theProgramsOwnNameIsNoPath() {
    Files files;
    std::string program = files.put("sarnavel.html").native();  // even when it names a page
    std::string first = files.put("a.css").native();
    std::string second = "b.js";
    char* argv[] = {program.data(), first.data(), second.data(), nullptr};
    const std::vector<std::filesystem::path> paths = commandLinePaths(3, argv);
    QCOMPARE(paths.size(), std::size_t{2});
    QCOMPARE(paths[0], std::filesystem::path(first));
    QCOMPARE(paths[1], std::filesystem::path("b.js"));
    QVERIFY(commandLinePaths(1, argv).empty());
  }
};

QTEST_MAIN(FileIntakeTest)
#include "file_intake_test.moc"
