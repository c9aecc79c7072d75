// The rows of the main dialog's file list: one FileListEntry per row, shown in three columns
// (file name, extension, full path). The model holds the entries in display order; it
// appends, removes and reorders them and knows nothing of sorting rules or of the run.
//
// Appending and reordering stay cheap with a hundred thousand rows: new rows are added in one
// insertion, a reorder moves the entries once and carries the selection along.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "store/folder_id.h"

namespace sarnavel {

// The three texts are for showing and sorting, written readably (readable_path.h): a name
// that is not UTF-8 shows its Shift_JIS or EUC-JP reading, marked. The run uses `path`.
struct FileListEntry {
  QString fileName;            // the last component of the full path
  QString extension;           // the text after the last '.' of fileName, in the name's letter case
  QString fullPath;            // the absolute path, as shown
  std::filesystem::path path;  // the same path in the bytes of the file system, for the run
  bool followedLink = false;   // a link when listed, which the run follows (run/intake.h)
  FolderId folder;             // the folder its file lay in when listed, where the run reads it (run/intake.h)

  static FileListEntry fromFullPath(const std::filesystem::path& fullPath);
};

class FileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { FileNameColumn = 0, ExtensionColumn = 1, FullPathColumn = 2, ColumnCount = 3 };

  explicit FileListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  const std::vector<FileListEntry>& entries() const { return entries_; }

  // Appends the entries at the end, in their order.
  void appendEntries(std::vector<FileListEntry> entries);
  // Removes the rows with the given numbers (any order, repeats allowed).
  void removeRowNumbers(std::vector<int> rows);
  void removeAll();
  // Puts the rows into the order of a stable sort by `before`; selected rows stay selected.
  void reorder(const std::function<bool(const FileListEntry&, const FileListEntry&)>& before);

 private:
  std::vector<FileListEntry> entries_;
};

}  // namespace sarnavel
