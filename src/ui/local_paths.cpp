#include "ui/local_paths.h"

#include <QByteArray>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace sarnavel {
namespace {

std::filesystem::path pathOfBytes(const QByteArray& bytes) { return std::filesystem::path(bytes.toStdString()); }

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

}  // namespace sarnavel
