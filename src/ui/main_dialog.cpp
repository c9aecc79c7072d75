#include "ui/main_dialog.h"

#include <algorithm>
#include <memory>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>

#include "run/intake.h"
#include "run/malloc_tuning.h"
#include "report/run_messages.h"
#include "ui/add_files_dialog.h"
#include "ui/dialog_units.h"
#include "ui/intake_message.h"
#include "ui/list_intake.h"
#include "ui/local_paths.h"
#include "ui/preferences_dialog.h"
#include "ui/progress_dialog.h"
#include "version.h"

namespace sarnavel {
namespace {

// The target encoding of each position of the encoding list; ISO-2022-JP (2) is not offered.
constexpr std::array<TargetEncoding, 3> kEncodingAtPosition{TargetEncoding::ShiftJis, TargetEncoding::EucJp,
                                                            TargetEncoding::Utf8};

constexpr std::array<int, 3> kColumnWidths{130, 60, 800};

// The keys that add and remove files, as the drop hint's tooltip tells them.
const char* const kKeysHint = QT_TRANSLATE_NOOP("sarnavel::MainDialog",
                                                "Ctrl+O: ファイルやフォルダを選んで追加\n"
                                                "Ctrl+V: 貼り付けたパスや file:// URL を追加（1行に1つ）\n"
                                                "Delete: 選択した行をリストから削除");

// The bytes of a drop or of the clipboard, read on the intake's thread: a hundred thousand
// paths take a while to read, and the drop's own data ends with the drop.
std::shared_ptr<const QMimeData> copyOf(const QMimeData& data) {
  auto copy = std::make_shared<QMimeData>();
  for (const QString& format : data.formats()) copy->setData(format, data.data(format));
  return copy;
}

}  // namespace

MainDialog::MainDialog(const std::vector<std::filesystem::path>& commandLinePaths, QWidget* parent)
    : QDialog(parent),
      model_(new FileListModel(this)),
      intake_(new BackgroundIntake(*this, [this](ListIntake& intake) { addToList(intake); })) {
  setObjectName(QStringLiteral("IDD_MAIN"));
  showTitle();
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  placeControls();
  addKeys();
  initMainDialog(commandLinePaths);
  centreOnScreen(*this);
}

void MainDialog::placeControls() {
  // The controls, in their tab order, placed on the dialog-unit grid.
  const DialogUnits units(font());
  baseSize_ = QSize(units.x(310), units.y(275));
  setMinimumSize(baseSize_);
  resize(baseSize_);

  // A static text as wide as its cell, or as its text when that is wider, but never reaching
  // into the control at `limit` (dialog units).
  auto addLabel = [&](const QString& text, QRect cell, int limit) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int room = units.x(limit) - cell.x() - 1;
    cell.setWidth(std::max(cell.width(), std::min(label->sizeHint().width(), room)));
    label->setGeometry(cell);
    return label;
  };
  auto addCombo = [&](const char* id, QRect cell) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(QLatin1String(id));
    combo->setGeometry(cell.x(), cell.y(), cell.width(), combo->sizeHint().height());
    return combo;
  };
  auto addCheckBox = [&](const char* id, const QString& text, QRect cell) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QLatin1String(id));
    box->setGeometry(cell);
    return box;
  };
  auto addButton = [&](const char* id, const QString& text, QRect cell) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(id));
    button->setGeometry(cell);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
  };

  QLabel* encodingLabel = addLabel(tr("変換先の文字コード(&O):"), units.rect(5, 7, 80, 12), 90);
  encoding_ = addCombo("IDC_ENCODING", units.rect(90, 5, 60, 80));
  encodingLabel->setBuddy(encoding_);
  QLabel* newlineLabel = addLabel(tr("変換先の改行コード(&N):"), units.rect(160, 7, 80, 12), 245);
  newline_ = addCombo("IDC_NEWLINE", units.rect(245, 5, 60, 80));
  newlineLabel->setBuddy(newline_);
  followCss_ = addCheckBox("IDC_FOLLOW_CSS", tr("参照CSSも変換(&S)"), units.rect(160, 25, 70, 14));
  followJs_ = addCheckBox("IDC_FOLLOW_JS", tr("参照jsも変換(&J)"), units.rect(235, 25, 70, 14));
  backup_ = addCheckBox("IDC_BACKUP", tr("バックアップを作成する(&B)"), units.rect(160, 45, 143, 14));
  QLabel* listLabel = addLabel(tr("変換するファイルのリスト(&L):"), units.rect(5, 67, 90, 12), 100);
  QLabel* dropHint =
      addLabel(tr("※ここに変換したいファイルやフォルダをドロップしてください。"), units.rect(100, 67, 205, 12), 310);
  dropHint->setToolTip(tr(kKeysHint));

  list_ = new QTableView(this);
  list_->setObjectName(QStringLiteral("IDC_FILE_LIST"));
  list_->setGeometry(units.rect(5, 80, 300, 150));
  list_->setModel(model_);
  listLabel->setBuddy(list_);

  rowCount_ = new QLabel(this);
  rowCount_->setObjectName(QStringLiteral("IDC_ROW_COUNT"));
  rowCount_->setGeometry(units.rect(5, 237, 70, 12));

  removeSelected_ = addButton("IDC_REMOVE_SELECTED", tr("選択項目をリストから削除(&D)"), units.rect(80, 235, 140, 14));
  removeAll_ = addButton("IDC_REMOVE_ALL", tr("すべて削除(&A)"), units.rect(225, 235, 80, 14));
  check_ = addButton("IDC_CHECK", tr("確認(&K)"), units.rect(55, 255, 80, 14));
  convert_ = addButton("IDC_CONVERT", tr("変換(&C)"), units.rect(140, 255, 80, 14));
  exit_ = addButton("IDCANCEL", tr("終了(&X)"), units.rect(225, 255, 80, 14));
  stretched_.push_back({list_, list_->geometry(), Placed::Grows});
  stretched_.push_back({rowCount_, rowCount_->geometry(), Placed::FollowsBottom});
  for (QWidget* corner : {removeSelected_, removeAll_, check_, convert_, exit_})
    stretched_.push_back({corner, corner->geometry(), Placed::FollowsCorner});

  connect(removeSelected_, &QPushButton::clicked, this, &MainDialog::removeSelectedRows);
  connect(removeAll_, &QPushButton::clicked, this, &MainDialog::removeAllRows);
  connect(check_, &QPushButton::clicked, this, &MainDialog::startCheck);
  connect(convert_, &QPushButton::clicked, this, &MainDialog::startConversion);
  connect(exit_, &QPushButton::clicked, this, &MainDialog::reject);
}

void MainDialog::addKeys() {
  // Keys without a control of their own, anywhere in the dialog.
  auto addKey = [this](QKeySequence keys, void (MainDialog::*operation)()) {
    auto* action = new QAction(this);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, operation);
    addAction(action);
  };
  addKey(QKeySequence::Open, &MainDialog::addChosenPaths);
  addKey(QKeySequence::Paste, &MainDialog::addPastedPaths);
  addKey(QKeySequence::Delete, &MainDialog::removeSelectedRows);
  addKey(QKeySequence(Qt::CTRL | Qt::Key_Comma), &MainDialog::openPreferences);
  choosePaths_ = [this](QWidget& parent) {
    const QString start = settings_.lastFolder.isEmpty() ? QDir::currentPath() : settings_.lastFolder;
    AddFilesDialog chooser(&parent, QFile::encodeName(start).toStdString(), kindsTaken());
    const bool chosen = chooser.exec() == QDialog::Accepted;
    settings_.lastFolder = QFile::decodeName(QByteArray::fromStdString(chooser.folder().native()));
    return chosen ? chooser.chosenPaths() : std::vector<std::filesystem::path>{};
  };
}

void MainDialog::initMainDialog(const std::vector<std::filesystem::path>& commandLinePaths) {
  setAcceptDrops(true);
  setWindowIcon(QIcon(QStringLiteral(":/sarnavel/sarnavel-32.png")));

  encoding_->addItems({QStringLiteral("Shift_JIS"), QStringLiteral("EUC-JP"), QStringLiteral("UTF-8")});
  newline_->addItems(
      {tr("変更なし"), QStringLiteral("CR+LF (Windows)"), QStringLiteral("LF (UNIX)"), QStringLiteral("CR (Mac)")});
  encoding_->setCurrentIndex(0);
  newline_->setCurrentIndex(0);
  followCss_->setChecked(true);
  followJs_->setChecked(true);
  backup_->setChecked(true);

  // A report view with grid lines and full-row, multiple selection; it sorts only through
  // onColumnClick, and shows no sort mark.
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSortingEnabled(false);
  list_->setWordWrap(false);
  list_->setTabKeyNavigation(false);
  list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  QHeaderView* header = list_->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int column = 0; column < FileListModel::ColumnCount; ++column) {
    header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
  }
  connect(header, &QHeaderView::sectionClicked, this, &MainDialog::onColumnClick);
  for (auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(model_, rowsChanged, this, &MainDialog::showRowCount);
  connect(model_, &QAbstractItemModel::modelReset, this, &MainDialog::showRowCount);
  connect(model_, &QAbstractItemModel::layoutChanged, this, &MainDialog::showRowCount);
  showRowCount();

  addCommandLinePaths(commandLinePaths);
}

void MainDialog::offerToList(const std::vector<std::filesystem::path>& paths) {
  if (!paths.empty()) intake_->offer([paths] { return paths; }, kindsTaken());
}

void MainDialog::addToList(ListIntake& intake) {
  const IntakeReport& report = intake.report;
  model_->appendEntries(std::move(intake.entries));
  for (std::string_view page : report.untakenPages) untakenPages_.push_back(page);
  named_.insert(named_.end(), intake.offered.begin(), intake.offered.end());
  for (const IntakeNotice& notice : report.notices) passedOver_.push_back(notice.path);
  if (report.notices.empty()) return;
  const bool nothingWaiting = untoldNotices_.empty();
  untoldNotices_.insert(untoldNotices_.end(), report.notices.begin(), report.notices.end());
  // Told once the drop (or paste, or choice) has returned, so a file manager waiting for the
  // drop to end is not held by the box; the command line's wait for the dialog to show.
  if (nothingWaiting && isVisible())
    QMetaObject::invokeMethod(this, &MainDialog::showIntakeNotices, Qt::QueuedConnection);
}

void MainDialog::showIntakeNotices() {
  const IntakeMessage message = intakeMessage(untoldNotices_);
  untoldNotices_.clear();
  if (message.weight == IntakeMessage::Weight::Nothing) return;
  if (intakeMessageBox_) intakeMessageBox_->close();  // it told of an earlier intake

  const bool filesMissing = message.weight == IntakeMessage::Weight::FilesMissing;
  auto* box = new QMessageBox(filesMissing ? QMessageBox::Warning : QMessageBox::Information, windowTitle(),
                              message.text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("sarnavel_intake_notices"));
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box->setAttribute(Qt::WA_DeleteOnClose);
  intakeMessageBox_ = box;
  if (filesMissing) {
    // Files the user asked for are not in the list: nothing goes on until this has been read.
    box->setWindowModality(Qt::WindowModal);
    box->open();
  } else {
    box->setModal(false);
    box->show();
  }
}

QMessageBox* MainDialog::intakeMessageBox() const { return intakeMessageBox_.data(); }

bool MainDialog::intakeUnderWay() const { return intake_->busy(); }

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!untoldNotices_.empty()) QMetaObject::invokeMethod(this, &MainDialog::showIntakeNotices, Qt::QueuedConnection);
}

// The intake tells files from folders by itself; the two entries differ only in what they are
// meant for.
void MainDialog::addFileToList(const std::filesystem::path& path) { addCommandLinePaths({path}); }

void MainDialog::addFolderToList(const std::filesystem::path& path) { addCommandLinePaths({path}); }

void MainDialog::addDroppedFiles(const QMimeData& drop) {
  intake_->offer([copy = copyOf(drop)] { return localPathsOf(*copy); }, kindsTaken());
}

void MainDialog::addCommandLinePaths(const std::vector<std::filesystem::path>& paths) {
  // On the window's thread: the rows are there when it returns (before the dialog shows).
  ListIntake intake = takeIn(paths, kindsTaken());
  addToList(intake);
}

void MainDialog::addChosenPaths() {
  if (choosePaths_) offerToList(choosePaths_(*this));
}

void MainDialog::addPastedPaths() {
  if (const QMimeData* pasted = QGuiApplication::clipboard()->mimeData()) {
    intake_->offer([copy = copyOf(*pasted)] { return pastedPaths(*copy); }, kindsTaken());
  }
}

void MainDialog::onColumnClick(int column) {
  if (column != 1 && column != 2) column = 0;
  const int direction = sortDirection_[static_cast<std::size_t>(column)];
  sortDirection_.fill(0);
  sortDirection_[static_cast<std::size_t>(column)] = direction != 0 ? -direction : -1;
  model_->reorder([this](const FileListEntry& a, const FileListEntry& b) { return compareRows(a, b) < 0; });
}

int MainDialog::compareRows(const FileListEntry& a, const FileListEntry& b) const {
  const QString FileListEntry::*fields[] = {&FileListEntry::fileName, &FileListEntry::extension,
                                            &FileListEntry::fullPath};
  for (std::size_t column = 0; column < sortDirection_.size(); ++column) {
    const int direction = sortDirection_[column];
    if (direction == 0) continue;
    // QString compares UTF-16 code units as unsigned values, a prefix before the longer text.
    const int order = QString::compare(a.*fields[column], b.*fields[column], Qt::CaseSensitive);
    if (order == 0) return 0;
    return order < 0 ? direction : -direction;
  }
  return 0;
}

int MainDialog::sortDirection(int column) const {
  return column >= 0 && column < 3 ? sortDirection_[static_cast<std::size_t>(column)] : 0;
}

void MainDialog::removeSelectedRows() {
  std::vector<int> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows()) rows.push_back(index.row());
  // A folder named with some of its files taken out of the list is no longer converted whole:
  // the run then knows only the listed files (an .htaccess there is not rewritten).
  if (!rows.empty()) namedWhole_ = false;
  model_->removeRowNumbers(std::move(rows));
}

void MainDialog::removeAllRows() {
  model_->removeAll();
  untakenPages_ = PathList();
  named_.clear();
  passedOver_.clear();
  namedWhole_ = true;
  giveFreedMemoryBack();  // a long list's paths
}

RunRequest MainDialog::currentRequest() const {
  RunRequest request;
  const int position = encoding_->currentIndex();
  // No selection gives a target the run refuses, as the run expects.
  request.options.targetEncoding = position >= 0 && position < static_cast<int>(kEncodingAtPosition.size())
                                       ? kEncodingAtPosition[static_cast<std::size_t>(position)]
                                       : static_cast<TargetEncoding>(-1);
  request.options.lineEnding = static_cast<LineEnding>(std::clamp(newline_->currentIndex(), 0, 3));
  request.options.followCss = followCss_->isChecked();
  request.options.followJs = followJs_->isChecked();
  request.options.makeBackup = backup_->isChecked();
  request.options.kinds = kindsTaken();
  request.options.fixServerCharset = settings_.fixServerCharset;
  request.options.backupFolder = QFile::encodeName(settings_.backupDir).toStdString();
  request.options.backupSuffix = settings_.backupSuffix.toStdString();
  request.memoryFolder = memoryFolder();
  for (const FileListEntry& entry : model_->entries()) {
    request.paths.push_back(entry.path.native());
    if (entry.followedLink) request.followedLinks.insert(entry.path.native());
    request.listedFolders.push_back(entry.folder);
  }
  request.untakenPages = untakenPages_;
  if (namedWhole_) request.namedPaths = named_;
  request.passedOver = passedOver_;
  return request;
}

void MainDialog::startConversion() { runInProgressDialog(settings_.dryRun ? WriteMode::DryRun : WriteMode::Write); }

void MainDialog::startCheck() { runInProgressDialog(WriteMode::Check); }

void MainDialog::runInProgressDialog(WriteMode mode) {
  // Files still being taken in would be missing from the run (the busy indicator, once it
  // shows, holds the window anyway).
  if (intakeUnderWay()) return;
  setButtonsEnabled(false);
  keepChoices();
  bool couldNotStart = false;
  {
    RunRequest request = currentRequest();
    request.mode = mode;
    ProgressDialog progress(std::move(request), couldNotStart, this);
    progress.exec();
  }  // the worker has ended here, and the log and the run's records are freed
  // A long run's log would stay resident until the program ends.
  giveFreedMemoryBack();
  if (couldNotStart) {
    QMessageBox::critical(this, QString(), QString::fromUtf8(plainMessage(MessageId::CannotStartThread)));
  }
  setButtonsEnabled(true);
}

void MainDialog::setButtonsEnabled(bool enabled) {
  for (QPushButton* button : {removeSelected_, removeAll_, check_, convert_, exit_}) button->setEnabled(enabled);
}

KindSet MainDialog::kindsTaken() const {
  if (settings_.kinds.isEmpty()) return KindSet::defaults();
  return parseKindList(settings_.kinds.toStdString()).kinds;  // the defaults when it cannot be used
}

void MainDialog::showRowCount() { rowCount_->setText(tr("%1 件").arg(model_->rowCount())); }

void MainDialog::showTitle() {
  QString title = tr("サルナヴェル（SARNAVEL） ver. ") +
                  QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size()));
  if (settings_.dryRun) title += tr(" - 試し変換（ファイルに書き込みません）");
  setWindowTitle(title);
}

void MainDialog::remember(const DesktopSettings& settings, bool writeBack) {
  settings_ = settings;
  writesSettings_ = writeBack;
  encoding_->setCurrentIndex(std::clamp(settings.target, 0, encoding_->count() - 1));
  newline_->setCurrentIndex(std::clamp(settings.lineEnding, 0, newline_->count() - 1));
  followCss_->setChecked(settings.followCss);
  followJs_->setChecked(settings.followJs);
  backup_->setChecked(settings.makeBackup);
  resize(settings.windowSize.isValid() ? settings.windowSize.expandedTo(baseSize_) : baseSize_);
  showTitle();
}

DesktopSettings MainDialog::currentSettings() const {
  DesktopSettings settings = settings_;
  settings.target = encoding_->currentIndex();
  settings.lineEnding = newline_->currentIndex();
  settings.followCss = followCss_->isChecked();
  settings.followJs = followJs_->isChecked();
  settings.makeBackup = backup_->isChecked();
  settings.windowSize = size();
  return settings;
}

void MainDialog::keepChoices() const {
  if (writesSettings_) writeSettings(currentSettings());
}

void MainDialog::openPreferences() {
  PreferencesDialog preferences(currentSettings(), this);
  if (preferences.exec() != QDialog::Accepted) return;
  remember(preferences.settings(), writesSettings_);
  keepChoices();
}

void MainDialog::done(int result) {
  keepChoices();
  QDialog::done(result);
}

void MainDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QSize extra = (size() - baseSize_).expandedTo(QSize(0, 0));
  for (const Placed& placed : stretched_) {
    switch (placed.how) {
      case Placed::Grows: placed.widget->setGeometry(placed.base.adjusted(0, 0, extra.width(), extra.height())); break;
      case Placed::FollowsBottom: placed.widget->setGeometry(placed.base.translated(0, extra.height())); break;
      case Placed::FollowsCorner:
        placed.widget->setGeometry(placed.base.translated(extra.width(), extra.height()));
        break;
    }
  }
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  // Enter presses a button only when that button has the focus; otherwise it does nothing.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && offersLocalPaths(*event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData() && offersLocalPaths(*event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  if (!event->mimeData() || !offersLocalPaths(*event->mimeData())) return;
  addDroppedFiles(*event->mimeData());
  event->acceptProposedAction();
}

}  // namespace sarnavel
