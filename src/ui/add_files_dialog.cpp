#include "ui/add_files_dialog.h"

#include <system_error>

#include <QFile>
#include <QLineEdit>

namespace sarnavel {

AddFilesDialog::AddFilesDialog(QWidget* parent, const QString& folder)
    : QFileDialog(parent, tr("ファイルやフォルダを追加"), folder) {
  setObjectName(QStringLiteral("sarnavel_add_files"));
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  setNameFilters({tr("ウェブ文書 (*.html *.htm *.css *.js *.HTML *.HTM *.CSS *.JS)"), tr("すべてのファイル (*)")});
}

std::vector<std::filesystem::path> AddFilesDialog::chosenPaths() const {
  std::vector<std::filesystem::path> paths;
  for (const QString& chosen : selectedFiles()) paths.emplace_back(QFile::encodeName(chosen).toStdString());
  return paths;
}

void AddFilesDialog::accept() {
  const auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  // Nothing selected and nothing typed: Qt would answer with the folder shown, and its whole
  // tree would be added (from a menu launch, the home folder). Nothing is chosen.
  if (typed && typed->text().trimmed().isEmpty()) return;
  // A folder typed with a closing '/' is where the user wants to go, as in any file dialog.
  if (typed && typed->text().endsWith(QLatin1Char('/'))) {
    QFileDialog::accept();
    return;
  }
  const std::vector<std::filesystem::path> paths = chosenPaths();
  bool allThere = !paths.empty();
  for (const std::filesystem::path& path : paths) {
    std::error_code error;
    allThere = allThere && std::filesystem::exists(path, error);
  }
  // A name typed that does not exist: Qt's own handling says so.
  if (!allThere) {
    QFileDialog::accept();
    return;
  }
  QDialog::accept();
}

}  // namespace sarnavel
