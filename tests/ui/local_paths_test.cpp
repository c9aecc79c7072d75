// The bytes of the paths that drops and pastes name, names that are not UTF-8 included.
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "ui/local_paths.h"

using namespace sarnavel;

namespace {

QByteArray bytesOf(const std::optional<std::filesystem::path>& path) {
  return path ? QByteArray::fromStdString(path->native()) : QByteArray("(none)");
}

QList<QByteArray> bytesOf(const std::vector<std::filesystem::path>& paths) {
  QList<QByteArray> out;
  for (const auto& path : paths) out << QByteArray::fromStdString(path.native());
  return out;
}

}  // namespace

class LocalPathsTest : public QObject {
  Q_OBJECT

 private slots:
  void pathOfUrl_data() {
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("plain") << QByteArray("file:///srv/www/a.html") << QByteArray("/srv/www/a.html");
    QTest::newRow("shift_jis") << QByteArray("file:///old/%83e%83X%83g.html")
                               << QByteArray("/old/\x83\x65\x83X\x83g.html");
    QTest::newRow("utf-8") << QByteArray("file:///%E6%97%A5.css") << QByteArray("/\xE6\x97\xA5.css");
    QTest::newRow("space and percent") << QByteArray("file:///a%20b/%25.js") << QByteArray("/a b/%.js");
    QTest::newRow("localhost") << QByteArray("file://localhost/a.html") << QByteArray("/a.html");
    QTest::newRow("another machine") << QByteArray("file://srv/www/a.html") << QByteArray("(none)");
    QTest::newRow("web") << QByteArray("https://example.com/a.html") << QByteArray("(none)");
  }

  void pathOfUrl() {
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, path);
    QCOMPARE(bytesOf(localPathOf(QUrl::fromEncoded(url))), path);
    // As a file manager drops it.
    QMimeData drop;
    drop.setData(QStringLiteral("text/uri-list"), url + "\r\n");
    QCOMPARE(offersLocalPaths(drop), path != "(none)");
  }

  void pastedLines() {
    QMimeData text;
    text.setText(
        QStringLiteral("/srv/a.html\r\n\n  \nfile:///old/%83e.css\nrel/b.js\nfile://srv/c.js\n/srv/日本.html"));
    QCOMPARE(bytesOf(pastedPaths(text)),
             (QList<QByteArray>{"/srv/a.html", "/old/\x83\x65.css", "rel/b.js", "/srv/\xE6\x97\xA5\xE6\x9C\xAC.html"}));
    QMimeData urls;  // a file manager's copy: its URLs count, not its text
    urls.setUrls({QUrl::fromEncoded("file:///x/%83e.html")});
    urls.setText(QStringLiteral("/y.html"));
    QCOMPARE(bytesOf(pastedPaths(urls)), QList<QByteArray>{"/x/\x83\x65.html"});
  }
};

QTEST_MAIN(LocalPathsTest)
#include "local_paths_test.moc"
