// The file dialog behind Ctrl+O in the main dialog: several files and folders at once.
//
// Qt's own file dialog (not the desktop's, whose behaviour differs) in its several-files mode,
// except that Open takes a selected folder as a choice instead of entering it; a double click
// still enters a folder. Names that are not UTF-8 come back as the file system's bytes
// (local_paths.h). Its texts are Qt's, in Japanese where Qt's translations are installed.
#pragma once

#include <filesystem>
#include <vector>

#include <QFileDialog>

namespace sarnavel {

class AddFilesDialog : public QFileDialog {
  Q_OBJECT

 public:
  AddFilesDialog(QWidget* parent, const QString& folder);

  std::vector<std::filesystem::path> chosenPaths() const;

 public slots:
  void accept() override;
};

}  // namespace sarnavel
