// Files reaching the list: drops of files and folders from a file manager, and the paths of
// the command line. Only pages, style sheets and scripts enter; other paths add nothing.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "ui/main_dialog.h"
#include "ui/start_up.h"
#include "ui_test_support.h"

using namespace sarnavel;
using namespace sarnavel::testing;

namespace {

QUrl urlOf(const std::filesystem::path& path) { return QUrl::fromLocalFile(text(path)); }

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
  return dropped.isAccepted();
}

}  // namespace

class FileIntakeTest : public QObject {
  Q_OBJECT

 private slots:
  void droppedFilesOfAcceptedKinds() {
    Files files;
    const auto notes = files.put("notes.txt");
    const auto index = files.put("index.HTML");
    MainDialog dialog;
    dialog.show();
    QVERIFY(drop(dialog, {urlOf(notes)}));
    QCOMPARE(dialog.fileList().rowCount(), 0);

    QVERIFY(drop(dialog, {urlOf(index), urlOf(index), urlOf(files.root() / "gone.html")}));
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"index.HTML", "index.HTML"}));
    QCOMPARE(columnTexts(dialog, 1), (QStringList{"HTML", "HTML"}));
    QCOMPARE(columnTexts(dialog, 2), (QStringList{text(index), text(index)}));
  }

  void droppedFolderIsWalked() {
    Files files;
    for (const char* name : {"site/f.png", "site/e.vbs", "site/d.js", "site/c.css", "site/b.htm", "site/a.html",
                             "site/sub/z.css", "site/sub/deeper/y.js", "site/after.txt"}) {
      files.put(name);
    }
    const auto single = files.put("single.js");
    MainDialog dialog;
    dialog.show();
    QVERIFY(drop(dialog, {urlOf(single), urlOf(files.root() / "site")}));
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"single.js", "a.html", "b.htm", "c.css", "d.js", "z.css", "y.js"}));
    // Each folder's own files first, ascending by full path; then its subfolders, depth first.
    const QStringList paths = columnTexts(dialog, 2);
    QCOMPARE(paths[1], text(files.root() / "site/a.html"));
    QCOMPARE(paths[5], text(files.root() / "site/sub/z.css"));
    QCOMPARE(paths[6], text(files.root() / "site/sub/deeper/y.js"));
  }

  void dropsWithoutLocalFilesAreRefused() {
    MainDialog dialog;
    dialog.show();
    QVERIFY(!drop(dialog, {QUrl(QStringLiteral("https://example.com/index.html"))}));
    QMimeData plainText;
    plainText.setText(QStringLiteral("/etc/index.html"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &plainText, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(dialog.fileList().rowCount(), 0);
  }

  void addedOneByOne() {
    Files files;
    files.put("folder/p.html");
    files.put("folder/q.txt");
    MainDialog dialog;
    dialog.addFileToList(files.put("x.css"));
    dialog.addFileToList(files.put("x.gif"));
    dialog.addFolderToList(files.root() / "folder");
    dialog.addFolderToList(files.root() / "no such folder");
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"x.css", "p.html"}));
  }

  void commandLinePathsFillTheListBeforeTheDialogShows() {
    Files files;
    files.put("site/index.html");
    files.put("site/style/main.css");
    const auto script = files.put("app.js");
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(text(files.root())));
    // A relative path resolves against the current folder; missing paths and other kinds add nothing.
    MainDialog dialog({"missing.html", "site", "app.js", files.root() / "readme.txt", "./site/../app.js"});
    QVERIFY(QDir::setCurrent(before));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(columnTexts(dialog, 0), (QStringList{"index.html", "main.css", "app.js", "app.js"}));
    QCOMPARE(columnTexts(dialog, 2).last(), text(script));
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

    MainDialog dialog(commandLinePaths(3, argv));
    QCOMPARE(columnTexts(dialog, 0), QStringList{"a.css"});
  }
};

QTEST_MAIN(FileIntakeTest)
#include "file_intake_test.moc"
