// How paths are shown: UTF-8 as it is, Shift_JIS and EUC-JP names read and marked, other
// bytes as \xHH, and nothing that breaks the line.
#include <algorithm>
#include <random>
#include <string>

#include <QTest>

#include "ui/readable_path.h"

using namespace sarnavel;

class ReadablePathTest : public QObject {
  Q_OBJECT

 private slots:
  // How controls are written is the log's rule (visible_path.h, tested there): here only that
  // a Japanese reading keeps it, and that a backslash is doubled.
  void shownAs_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    auto row = [](const char* name, QByteArray bytes, const char* shown) {
      QTest::newRow(name) << bytes << QString::fromUtf8(shown);
    };
    row("ascii", "/srv/www/index.html", "/srv/www/index.html");
    row("utf-8", "/srv/\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x86.html", "/srv/日本/テ.html");
    row("shift_jis", "/old/\x83\x65\x83X\x83g.html", "/old/テスト.html [Shift_JIS]");
    row("shift_jis halfwidth katakana", "\xB6\xC0\xDB\xB8\xDE.htm", "ｶﾀﾛｸﾞ.htm [Shift_JIS]");
    row("euc-jp kana", "\xA5\xC6\xA5\xB9\xA5\xC8.html", "テスト.html [EUC-JP]");
    row("both readings", "/\x93\xFA/\xA5\xC6\xA5\xB9.js", "/日/テス.js [Shift_JIS, EUC-JP]");
    row("control in shift_jis", "\x83\x65\n.html", "テ\\n.html [Shift_JIS]");
    row("backslash, not an escape", "a\\n\\x1b.html", "a\\\\n\\\\x1b.html");
    row("latin-1", "caf\xE9.html", "caf\\xe9.html");
    row("utf-8 with a stray byte", "\xE6\x97\xA5\xFF.css", "日\\xff.css");
    row("encoded surrogates", "\xED\xA0\x80\xED\xB0\x80.html", "\\xed\\xa0\\x80\\xed\\xb0\\x80.html");
    row("lead byte alone", "\x83.html", "\\x83.html");
  }

  void shownAs() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(
        QString::fromStdString(readablePath(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())))),
        shown);
  }

  // Whatever the bytes, the text is valid UTF-8 on one line, with nothing invisible that steers
  // it and the same folders.
  void anyBytesGiveOneVisibleLine() {
    std::mt19937 random(16);
    std::uniform_int_distribution<int> length(0, 24), byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
      std::string bytes(static_cast<std::size_t>(length(random)), '\0');
      for (char& b : bytes) b = static_cast<char>(byte(random));
      const std::string shown = readablePath(bytes);
      const QString text = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
      QVERIFY2(text.toUtf8() == QByteArray(shown.data(), static_cast<qsizetype>(shown.size())), "not UTF-8");
      for (QChar c : text) {
        const char16_t u = c.unicode();
        QVERIFY2(u >= 0x20 && u != 0x7F && !(u >= 0x80 && u <= 0x9F) && u != 0x2028 && u != 0x2029 &&
                     !(u >= 0x202A && u <= 0x202E),
                 qPrintable(QString::fromUtf8(QByteArray::fromStdString(bytes).toHex())));
      }
      QCOMPARE(std::count(shown.begin(), shown.end(), '/'), std::count(bytes.begin(), bytes.end(), '/'));
    }
  }
};

QTEST_APPLESS_MAIN(ReadablePathTest)
#include "readable_path_test.moc"
