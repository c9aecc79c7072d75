#include "ui/add_files_dialog.h"

#include <algorithm>
#include <system_error>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "store/folder_listing.h"
#include "ui/dialog_units.h"
#include "ui/readable_path.h"

namespace sarnavel {
namespace {

constexpr int kNameRole = Qt::UserRole;        // the name's bytes
constexpr int kFolderRole = Qt::UserRole + 1;  // whether it leads to a folder

QString readable(const std::string& bytes) { return QString::fromStdString(readablePath(bytes)); }

// A full path without "." or ".." and without a closing '/', "/" aside.
std::filesystem::path plainFolder(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path plain = std::filesystem::absolute(path, error).lexically_normal();
  if (!plain.has_filename() && plain != plain.root_path()) plain = plain.parent_path();
  return plain;
}

}  // namespace

AddFilesDialog::AddFilesDialog(QWidget* parent, const std::filesystem::path& folder, KindSet kinds)
    : QDialog(parent),
      kinds_(kinds),
      location_(new QLineEdit(this)),
      entries_(new QListView(this)),
      model_(new QStandardItemModel(this)),
      filter_(new QComboBox(this)) {
  setObjectName(QStringLiteral("sarnavel_add_files"));
  setWindowTitle(tr("ファイルやフォルダを追加"));
  auto* up = new QToolButton(this);
  up->setObjectName(QStringLiteral("up"));
  up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  up->setToolTip(tr("上のフォルダへ (Alt+↑)"));
  up->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
  connect(up, &QToolButton::clicked, this, [this] { enter(folder_.parent_path()); });
  location_->setObjectName(QStringLiteral("location"));
  entries_->setObjectName(QStringLiteral("entries"));
  entries_->setModel(model_);
  entries_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  entries_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(entries_, &QListView::doubleClicked, this, &AddFilesDialog::openEntry);
  filter_->setObjectName(QStringLiteral("filter"));
  filter_->addItems({tr("変換する種類のファイル"), tr("すべてのファイル")});
  connect(filter_, &QComboBox::currentIndexChanged, this, &AddFilesDialog::showEntries);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Open)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &AddFilesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AddFilesDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(up);
  top->addWidget(location_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(filter_, 1);
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(entries_, 1);
  layout->addLayout(bottom);
  const DialogUnits units(font());  // the size scales with the font, as the other dialogs'
  resize(units.x(420), units.y(240));

  // The folder asked for, or the nearest one above it that can be listed.
  for (std::filesystem::path at = plainFolder(folder); !enter(at) && at != at.root_path();) at = at.parent_path();
  entries_->setFocus();
}

bool AddFilesDialog::enter(const std::filesystem::path& folder) {
  const std::filesystem::path plain = plainFolder(folder);
  std::error_code error;
  std::vector<FolderEntry> listed = folderEntries(plain, error);
  if (error) return false;
  folder_ = plain;
  location_->setText(readable(folder_.native()));
  location_->setModified(false);
  model_->clear();
  std::erase_if(listed, [](const FolderEntry& entry) { return entry.name.starts_with('.'); });
  for (FolderEntry& entry : listed) {
    auto* item = new QStandardItem(style()->standardIcon(entry.folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon),
                                   readable(entry.name));
    item->setData(QByteArray::fromStdString(entry.name), kNameRole);
    item->setData(entry.folder, kFolderRole);
    item->setToolTip(readable((folder_ / entry.name).native()));
    model_->appendRow(item);
  }
  model_->sort(0);  // by the names shown; folders are put first below
  for (int row = 0, folders = 0; row < model_->rowCount(); ++row)
    if (model_->item(row)->data(kFolderRole).toBool()) model_->insertRow(folders++, model_->takeRow(row));
  showEntries();
  return true;
}

void AddFilesDialog::showEntries() {
  const bool all = filter_->currentIndex() == 1;
  for (int row = 0; row < model_->rowCount(); ++row) {
    const QStandardItem* item = model_->item(row);
    const bool shown = all || item->data(kFolderRole).toBool() ||
                       kinds_.has(classifyExtension(item->data(kNameRole).toByteArray().toStdString()));
    entries_->setRowHidden(row, !shown);
  }
}

void AddFilesDialog::openEntry(const QModelIndex& index) {
  const std::filesystem::path path = folder_ / index.data(kNameRole).toByteArray().toStdString();
  if (index.data(kFolderRole).toBool()) enter(path);
  else take({path});
}

void AddFilesDialog::goToTyped() {
  const std::filesystem::path typed = QFile::encodeName(location_->text().trimmed()).toStdString();
  const std::filesystem::path path = folder_ / typed;  // an absolute path typed stays itself
  if (enter(path)) return;
  std::error_code error;
  folderEntries(path, error);
  if (error == std::errc::not_a_directory) take({path});
  else QApplication::beep();  // nothing by that name, or a folder that cannot be read
}

void AddFilesDialog::take(std::vector<std::filesystem::path> paths) {
  chosen_ = std::move(paths);
  QDialog::accept();
}

void AddFilesDialog::accept() {
  if (location_->hasFocus() && location_->isModified() && !location_->text().trimmed().isEmpty()) {
    goToTyped();
    return;
  }
  std::vector<std::filesystem::path> paths;
  for (const QModelIndex& index : entries_->selectionModel()->selectedRows())
    if (!entries_->isRowHidden(index.row()))
      paths.push_back(folder_ / index.data(kNameRole).toByteArray().toStdString());
  // Nothing selected: nothing is chosen, and the chooser stays open.
  if (paths.empty()) return;
  take(std::move(paths));
}

}  // namespace sarnavel
