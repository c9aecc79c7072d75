#include "ui/desktop_settings.h"

#include <algorithm>
#include <array>
#include <memory>

#include <QSettings>

#include "run/kind_set.h"

namespace sarnavel {
namespace {

// The names of each list position, as the command-line tool takes them.
constexpr std::array<const char*, 3> kTargetNames{"shift_jis", "euc-jp", "utf-8"};
constexpr std::array<const char*, 4> kLineEndingNames{"keep", "crlf", "lf", "cr"};

std::unique_ptr<QSettings> openSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("sarnavel"),
                                     QStringLiteral("sarnavel"));
}

// Reads the values of one file, noting each one that is not allowed.
class Reader {
 public:
  Reader(QSettings& file, QStringList& notices) : file_(file), notices_(notices) {}

  template <std::size_t N>
  void name(const char* key, const std::array<const char*, N>& names, int& position) {
    if (!file_.contains(QLatin1String(key))) return;
    const QString value = file_.value(QLatin1String(key)).toString().trimmed().toLower();
    for (std::size_t k = 0; k < N; ++k) {
      if (value == QLatin1String(names[k])) {
        position = static_cast<int>(k);
        return;
      }
    }
    refuse(key, value);
  }

  void flag(const char* key, bool& on) {
    if (!file_.contains(QLatin1String(key))) return;
    const QString value = file_.value(QLatin1String(key)).toString().trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("false")) {
      on = value == QLatin1String("true");
    } else {
      refuse(key, value);
    }
  }

  void text(const char* key, QString& value, bool mayBeEmpty = true) {
    if (!file_.contains(QLatin1String(key))) return;
    const QString read = file_.value(QLatin1String(key)).toString();
    if (!mayBeEmpty && read.isEmpty()) return refuse(key, read);
    value = read;
  }

  // As --kinds takes it (run/kind_set.h).
  void kindList(const char* key, QString& value) {
    if (!file_.contains(QLatin1String(key))) return;
    const QString read = file_.value(QLatin1String(key)).toString();
    if (parseKindList(read.toStdString()).fault != KindListParse::Fault::None) return refuse(key, read);
    value = read;
  }

  void size(const char* key, QSize& value) {
    if (!file_.contains(QLatin1String(key))) return;
    const QSize read = file_.value(QLatin1String(key)).toSize();
    if (!read.isValid() || read.isEmpty()) return refuse(key, file_.value(QLatin1String(key)).toString());
    value = read;
  }

 private:
  void refuse(const char* key, const QString& value) {
    notices_ << QStringLiteral("%1: [%2] %3 = \"%4\" は読めません。既定値を使います")
                    .arg(settingsFileName(), file_.group(), QLatin1String(key), value);
  }

  QSettings& file_;
  QStringList& notices_;
};

}  // namespace

QString settingsFileName() { return openSettings()->fileName(); }

SettingsRead readSettings() {
  SettingsRead read;
  const std::unique_ptr<QSettings> opened = openSettings();
  QSettings& file = *opened;
  if (file.status() != QSettings::NoError) {
    read.notices << QStringLiteral("%1 は読めません。既定の設定を使います").arg(file.fileName());
    return read;
  }
  DesktopSettings& s = read.settings;
  Reader reader(file, read.notices);
  file.beginGroup(QStringLiteral("conversion"));
  reader.kindList("kinds", s.kinds);
  reader.flag("fix_server_charset", s.fixServerCharset);
  reader.text("backup_dir", s.backupDir);
  reader.text("backup_suffix", s.backupSuffix, false);
  file.endGroup();
  file.beginGroup(QStringLiteral("desktop"));
  reader.name("target", kTargetNames, s.target);
  reader.name("line_ending", kLineEndingNames, s.lineEnding);
  reader.flag("follow_css", s.followCss);
  reader.flag("follow_js", s.followJs);
  reader.flag("backup", s.makeBackup);
  reader.flag("dry_run", s.dryRun);
  reader.size("window_size", s.windowSize);
  reader.text("last_folder", s.lastFolder);
  file.endGroup();
  return read;
}

bool writeSettings(const DesktopSettings& s) {
  const std::unique_ptr<QSettings> opened = openSettings();
  QSettings& file = *opened;
  const auto target = static_cast<std::size_t>(std::clamp(s.target, 0, 2));
  const auto lineEnding = static_cast<std::size_t>(std::clamp(s.lineEnding, 0, 3));
  auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
  file.beginGroup(QStringLiteral("conversion"));
  // An empty value would be a fault to the command-line tool's reader: no key says "the default".
  auto setOrRemove = [&file](const QString& key, const QString& value) {
    if (value.isEmpty()) {
      file.remove(key);
    } else {
      file.setValue(key, value);
    }
  };
  setOrRemove(QStringLiteral("kinds"), s.kinds);
  file.setValue(QStringLiteral("fix_server_charset"), flag(s.fixServerCharset));
  setOrRemove(QStringLiteral("backup_dir"), s.backupDir);
  file.setValue(QStringLiteral("backup_suffix"), s.backupSuffix);
  file.endGroup();
  file.beginGroup(QStringLiteral("desktop"));
  file.setValue(QStringLiteral("target"), QLatin1String(kTargetNames[target]));
  file.setValue(QStringLiteral("line_ending"), QLatin1String(kLineEndingNames[lineEnding]));
  file.setValue(QStringLiteral("follow_css"), flag(s.followCss));
  file.setValue(QStringLiteral("follow_js"), flag(s.followJs));
  file.setValue(QStringLiteral("backup"), flag(s.makeBackup));
  file.setValue(QStringLiteral("dry_run"), flag(s.dryRun));
  if (s.windowSize.isValid()) {
    file.setValue(QStringLiteral("window_size"), s.windowSize);
  } else {
    file.remove(QStringLiteral("window_size"));
  }
  file.setValue(QStringLiteral("last_folder"), s.lastFolder);
  file.endGroup();
  file.sync();
  return file.status() == QSettings::NoError;
}

}  // namespace sarnavel
