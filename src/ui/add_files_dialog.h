// The file dialog behind Ctrl+O in the main dialog: several files and folders at once.
//
// Qt's own file dialog (not the desktop's, whose behaviour differs) in its several-files mode,
// except that Open (or Enter) takes a selected folder as a choice instead of entering it; a
// double click, or a folder typed with a closing '/', still enters it. Open with nothing
// selected or typed does nothing (Qt would take the folder shown). Its texts are Qt's, in
// Japanese where Qt's translations are installed.
//
// Qt's dialog does not list names that are not UTF-8 (it reads names as text): such files are
// added with their folder, whose walk keeps every name's bytes, or by a drop or a paste.
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
