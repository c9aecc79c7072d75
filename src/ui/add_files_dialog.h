// The file chooser behind Ctrl+O in the main dialog: several files and folders at once, every
// name listed, whatever its bytes.
//
// Qt's own file dialog reads names as text and leaves out every name that is not UTF-8 (a
// Shift_JIS name from an old Windows archive): such a file could not be chosen. So this
// chooser lists a folder through the store (store/folder_listing.h), shows each name readably
// (readable_path.h: "テ.html [Shift_JIS]") and keeps its bytes, and the paths it answers are
// those bytes, as a drop's and a paste's are.
//
// What it does: folders first, then the files the filter lets through (the kinds taken, or
// all), each group by name; hidden names are not listed. Open (or Enter) takes what is selected,
// folders included (the intake walks them); a double click enters a folder or takes a file;
// Alt+Up goes to the folder above. A path typed in the location field (relative to the folder
// shown) is entered when it is a folder and taken when it is a file. Open with nothing
// selected and nothing typed does nothing: the folder shown is never taken for a choice (from
// a menu launch it would be the home folder, every page under it).
#pragma once

#include <filesystem>
#include <vector>

#include <QDialog>

#include "run/kind_set.h"

class QComboBox;
class QLineEdit;
class QListView;
class QModelIndex;
class QStandardItemModel;

namespace sarnavel {

class AddFilesDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens in `folder`, or the nearest folder above it that can be listed.
  AddFilesDialog(QWidget* parent, const std::filesystem::path& folder, KindSet kinds);

  // The folder shown, as bytes.
  const std::filesystem::path& folder() const { return folder_; }
  // Lists `folder`; false (and the folder shown stays) when it cannot be listed.
  bool enter(const std::filesystem::path& folder);
  // What Open answered with: full paths, as bytes.
  const std::vector<std::filesystem::path>& chosenPaths() const { return chosen_; }

 public slots:
  void accept() override;

 private:
  void showEntries();
  void openEntry(const QModelIndex& index);
  void goToTyped();
  void take(std::vector<std::filesystem::path> paths);

  std::filesystem::path folder_;
  KindSet kinds_;
  std::vector<std::filesystem::path> chosen_;
  QLineEdit* location_;
  QListView* entries_;
  QStandardItemModel* model_;
  QComboBox* filter_;
};

}  // namespace sarnavel
