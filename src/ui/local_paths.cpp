#include "ui/local_paths.h"

#include <system_error>

#include <QByteArray>
#include <QFile>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace sarnavel {
namespace {

std::filesystem::path pathOfBytes(const QByteArray& bytes) { return std::filesystem::path(bytes.toStdString()); }

bool isThere(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found && !error;
}

// The one entry of `folder` whose name the file dialog shows as `shown`, if exactly one does.
std::optional<std::filesystem::path> onlyEntryShownAs(const std::filesystem::path& folder, const QString& shown) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return std::nullopt;
  std::optional<std::filesystem::path> found;
  for (const std::filesystem::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().native();
    if (QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size()))) != shown) continue;
    if (found) return std::nullopt;  // two names look alike: take neither
    found = entry.path();
  }
  return found;
}

}  // namespace

std::optional<std::filesystem::path> localPathOf(const QUrl& url) {
  if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) return std::nullopt;
  const QString host = url.host();
  if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return std::nullopt;
  // The encoded form keeps bytes that are not UTF-8 as %XX; decoding it gives them back.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty()) return std::nullopt;
  return pathOfBytes(bytes);
}

std::vector<std::filesystem::path> localPathsOf(const QMimeData& drop) {
  std::vector<std::filesystem::path> paths;
  if (!drop.hasUrls()) return paths;
  for (const QUrl& url : drop.urls()) {
    if (std::optional<std::filesystem::path> path = localPathOf(url)) paths.push_back(std::move(*path));
  }
  return paths;
}

bool offersLocalPaths(const QMimeData& drop) {
  if (!drop.hasUrls()) return false;
  for (const QUrl& url : drop.urls()) {
    if (localPathOf(url)) return true;
  }
  return false;
}

std::vector<std::filesystem::path> pastedPaths(const QMimeData& clipboard) {
  if (clipboard.hasUrls()) return localPathsOf(clipboard);
  std::vector<std::filesystem::path> paths;
  const QStringList lines = clipboard.text().split(QLatin1Char('\n'));
  for (QString line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.trimmed().isEmpty()) continue;
    if (line.startsWith(QLatin1String("file:/"), Qt::CaseInsensitive)) {
      if (std::optional<std::filesystem::path> path = localPathOf(QUrl(line))) paths.push_back(std::move(*path));
    } else {
      paths.push_back(pathOfBytes(line.toUtf8()));
    }
  }
  return paths;
}

std::filesystem::path pathOnDisk(const QString& chosen) {
  const std::filesystem::path exact = pathOfBytes(QFile::encodeName(chosen));
  if (isThere(exact) || !exact.is_absolute() || !chosen.contains(QChar(0xFFFD))) return exact;
  std::filesystem::path found = exact.root_path();
  for (const std::filesystem::path& component : exact.relative_path()) {
    if (isThere(found / component)) {
      found /= component;
      continue;
    }
    const std::string& name = component.native();
    std::optional<std::filesystem::path> entry = onlyEntryShownAs(found, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (!entry) return exact;
    found = std::move(*entry);
  }
  return found;
}

}  // namespace sarnavel
