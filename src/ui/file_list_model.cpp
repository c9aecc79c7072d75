#include "ui/file_list_model.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>

#include "ui/readable_path.h"

namespace sarnavel {

FileListEntry FileListEntry::fromFullPath(const std::filesystem::path& fullPath) {
  FileListEntry entry;
  entry.path = fullPath;
  entry.fullPath = QString::fromStdString(readablePath(fullPath.native()));
  const std::string name = fullPath.filename().native();
  entry.fileName = QString::fromStdString(readablePath(name));
  // '.' is never part of a double-byte character, so the bytes after the last one are the
  // extension in any of the readings.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos)
    entry.extension = QString::fromStdString(readablePath(std::string_view(name).substr(dot + 1)));
  return entry;
}

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const FileListEntry& entry = entries_[static_cast<std::size_t>(index.row())];
  // A path cut at the column's edge is read whole in the tooltip.
  if (role == Qt::ToolTipRole) return entry.fullPath;
  switch (index.column()) {
    case FileNameColumn: return entry.fileName;
    case ExtensionColumn: return entry.extension;
    case FullPathColumn: return entry.fullPath;
    default: return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  if (role != Qt::DisplayRole) return {};
  switch (section) {
    case FileNameColumn: return tr("ファイル名");
    case ExtensionColumn: return tr("拡張子");
    case FullPathColumn: return tr("フルパス");
    default: return {};
  }
}

void FileListModel::appendEntries(std::vector<FileListEntry> entries) {
  if (entries.empty()) return;
  const int first = static_cast<int>(entries_.size());
  beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
  entries_.insert(entries_.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  endInsertRows();
}

void FileListModel::removeRowNumbers(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int row) { return row < 0 || row >= rowCount(); }),
             rows.end());
  if (rows.empty()) return;

  // Runs of neighbouring rows, each [first, last].
  std::vector<std::pair<int, int>> runs;
  for (int row : rows) {
    if (!runs.empty() && runs.back().second + 1 == row) {
      runs.back().second = row;
    } else {
      runs.emplace_back(row, row);
    }
  }
  // A few runs are removed one by one from the end, so the numbers still to come stay valid;
  // a scattered selection over a long list is removed in one pass instead.
  constexpr std::size_t kMostRunsOneByOne = 64;
  if (runs.size() <= kMostRunsOneByOne) {
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
      beginRemoveRows({}, run->first, run->second);
      entries_.erase(entries_.begin() + run->first, entries_.begin() + run->second + 1);
      endRemoveRows();
    }
    return;
  }
  beginResetModel();
  std::vector<FileListEntry> kept;
  kept.reserve(entries_.size() - rows.size());
  auto removed = rows.begin();
  for (std::size_t row = 0; row < entries_.size(); ++row) {
    if (removed != rows.end() && *removed == static_cast<int>(row)) {
      ++removed;
    } else {
      kept.push_back(std::move(entries_[row]));
    }
  }
  entries_ = std::move(kept);
  endResetModel();
}

void FileListModel::removeAll() {
  if (entries_.empty()) return;
  beginResetModel();
  entries_.clear();
  endResetModel();
}

void FileListModel::reorder(const std::function<bool(const FileListEntry&, const FileListEntry&)>& before) {
  if (entries_.size() < 2) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return before(entries_[a], entries_[b]); });

  std::vector<FileListEntry> sorted;
  sorted.reserve(entries_.size());
  std::vector<int> newRowOf(entries_.size());
  for (std::size_t row = 0; row < order.size(); ++row) {
    sorted.push_back(std::move(entries_[order[row]]));
    newRowOf[order[row]] = static_cast<int>(row);
  }
  entries_ = std::move(sorted);

  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& index : from)
    to.append(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
  changePersistentIndexList(from, to);

  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace sarnavel
