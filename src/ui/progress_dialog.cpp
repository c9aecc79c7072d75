#include "ui/progress_dialog.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>

#include <QAction>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "report/run_listing.h"
#include "report/run_messages.h"
#include "run/undo_run.h"
#include "ui/dialog_units.h"

namespace sarnavel {
namespace {

constexpr int kShowLogIntervalMs = 40;

// The bar's colour once a file has failed: the red desktops give an error state, which reads
// on light and dark themes alike.
const QColor kFailureColour(0xDA, 0x44, 0x53);

const char* const kLogFilter = QT_TRANSLATE_NOOP("sarnavel::ProgressDialog", "ログ (*.txt)");
const char* const kReportFilter = QT_TRANSLATE_NOOP("sarnavel::ProgressDialog", "レポート JSON Lines (*.jsonl)");

QString translated(const char* text) { return QCoreApplication::translate("sarnavel::ProgressDialog", text); }

std::optional<ProgressDialog::SaveChoice> askWhereToSave(QWidget& parent) {
  QFileDialog chooser(&parent, translated(QT_TRANSLATE_NOOP("sarnavel::ProgressDialog", "ログを保存")));
  chooser.setObjectName(QStringLiteral("sarnavel_save_log"));
  chooser.setOption(QFileDialog::DontUseNativeDialog, true);
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setNameFilters({translated(kLogFilter), translated(kReportFilter)});
  QObject::connect(&chooser, &QFileDialog::filterSelected, &chooser, [&chooser](const QString& filter) {
    chooser.setDefaultSuffix(filter == translated(kReportFilter) ? QStringLiteral("jsonl") : QStringLiteral("txt"));
  });
  chooser.setDefaultSuffix(QStringLiteral("txt"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return ProgressDialog::SaveChoice{chooser.selectedFiles().constFirst(),
                                    chooser.selectedNameFilter() == translated(kReportFilter)};
}

}  // namespace

ProgressDialog::ProgressDialog(RunRequest request, bool& couldNotStart, QWidget* parent)
    : QDialog(parent),
      request_(std::move(request)),
      couldNotStart_(couldNotStart),
      transcript_(request_.mode, request_.options.targetEncoding),
      log_(new QPlainTextEdit(this)),
      bar_(new QProgressBar(this)),
      button_(new QPushButton(tr("キャンセル(&C)"), this)),
      chooseSave_(askWhereToSave),
      undoButton_(new QPushButton(tr("元に戻す(&U)"), this)) {
  setObjectName(QStringLiteral("IDD_PROGRESS"));
  setWindowTitle(request_.mode == WriteMode::Check ? tr("確認中...") : tr("変換中..."));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  // The filter row takes 17 units above the log; everything else keeps its place below it.
  const DialogUnits units(font());
  setFixedSize(units.x(355), units.y(227));
  placeFilterRow();

  log_->setObjectName(QStringLiteral("IDC_LOG"));
  log_->setGeometry(units.rect(5, 22, 345, 180));
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  log_->setFocusPolicy(Qt::StrongFocus);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The text added grows the bar's range only later; a view that follows keeps to the end.
  QScrollBar* scroll = log_->verticalScrollBar();
  connect(scroll, &QScrollBar::rangeChanged, this, [this, scroll] {
    if (followsEnd_) scroll->setValue(scroll->maximum());
  });

  // In the free space left of the button, as high as the button, up to 5 units before it.
  bar_->setObjectName(QStringLiteral("IDC_PROGRESS"));
  bar_->setGeometry(units.rect(5, 207, 265, 14));
  bar_->setTextVisible(true);
  bar_->setFocusPolicy(Qt::NoFocus);
  showCount();

  button_->setObjectName(QStringLiteral("IDCANCEL"));
  button_->setGeometry(units.rect(275, 207, 75, 14));
  button_->setAutoDefault(false);
  button_->setDefault(false);
  connect(button_, &QPushButton::clicked, this, &ProgressDialog::onProgressButton);
  setTabOrder(log_, button_);

  undoButton_->setObjectName(QStringLiteral("IDC_UNDO"));
  undoButton_->setGeometry(units.rect(195, 207, 75, 14));
  undoButton_->setAutoDefault(false);
  undoButton_->hide();
  connect(undoButton_, &QPushButton::clicked, this, &ProgressDialog::onUndoButton);

  showTimer_.setSingleShot(true);
  showTimer_.setInterval(kShowLogIntervalMs);
  connect(&showTimer_, &QTimer::timeout, this, &ProgressDialog::showLog);
  connect(
      this, &ProgressDialog::logEntry, this, [this](const QString& text) { addEntry({text}); }, Qt::QueuedConnection);
  connect(
      this, &ProgressDialog::fileLogged, this,
      [this](const QString& text, bool failed, bool warns) {
        addEntry({text, true, failed, warns});
      },
      Qt::QueuedConnection);
  connect(
      this, &ProgressDialog::passPlanned, this,
      [this](int fileCount) {
        filesPlanned_ += fileCount;
        showCount();
      },
      Qt::QueuedConnection);
  connect(this, &ProgressDialog::runEnded, this, &ProgressDialog::onRunEnded, Qt::QueuedConnection);
}

void ProgressDialog::placeFilterRow() {
  const DialogUnits units(font());
  filter_ = new QButtonGroup(this);
  const struct {
    const char* id;
    const char* text;
    LogFilter filter;
    int x;
  } choices[] = {{"IDC_FILTER_ALL", QT_TR_NOOP("すべて(&A)"), LogFilter::All, 5},
                 {"IDC_FILTER_FAILED", QT_TR_NOOP("失敗(&F)"), LogFilter::Failed, 50},
                 {"IDC_FILTER_WARNINGS", QT_TR_NOOP("警告(&W)"), LogFilter::Warnings, 92}};
  for (const auto& choice : choices) {
    auto* radio = new QRadioButton(tr(choice.text), this);
    radio->setObjectName(QLatin1String(choice.id));
    radio->setGeometry(units.rect(choice.x, 5, 42, 14));
    filter_->addButton(radio, static_cast<int>(choice.filter));
  }
  filter_->button(static_cast<int>(LogFilter::All))->setChecked(true);
  connect(filter_, &QButtonGroup::idClicked, this, [this] { showFiltered(); });

  find_ = new QLineEdit(this);
  find_->setObjectName(QStringLiteral("IDC_FIND"));
  find_->setPlaceholderText(tr("検索 (Ctrl+F)"));
  find_->setClearButtonEnabled(true);
  find_->setGeometry(units.x(137), units.y(5), units.x(133), units.y(14));
  connect(find_, &QLineEdit::textChanged, this, [this] { showFiltered(); });

  save_ = new QPushButton(tr("保存...(&S)"), this);
  save_->setObjectName(QStringLiteral("IDC_SAVE"));
  save_->setGeometry(units.rect(275, 5, 75, 14));
  save_->setAutoDefault(false);
  save_->setEnabled(false);  // until the run has ended
  connect(save_, &QPushButton::clicked, this, &ProgressDialog::saveLog);

  auto* findKey = new QAction(this);
  findKey->setShortcut(QKeySequence::Find);
  connect(findKey, &QAction::triggered, this, [this] {
    find_->setFocus(Qt::ShortcutFocusReason);
    find_->selectAll();
  });
  addAction(findKey);
  auto* saveKey = new QAction(this);
  saveKey->setShortcut(QKeySequence::Save);
  connect(saveKey, &QAction::triggered, this, [this] {
    if (save_->isEnabled()) saveLog();
  });
  addAction(saveKey);
}

ProgressDialog::~ProgressDialog() {
  // Closing after a cancel can come while the worker still converts its current file; the
  // next run must not begin before this one has ended.
  cancelRequested_.store(true);
  if (workerThread_.joinable()) workerThread_.join();
}

int ProgressDialog::exec() {
  if (!onProgressInit()) return QDialog::Rejected;
  centreOnScreen(*this);
  return QDialog::exec();
}

bool ProgressDialog::onProgressInit() {
  if (workerThread_.joinable()) return true;
  cancelRequested_.store(false);
  runFinished_ = false;
  workerDone_ = false;
  try {
    startWorker();
  } catch (const std::system_error&) {
    couldNotStart_ = true;
    return false;
  }
  return true;
}

void ProgressDialog::startWorker() {
  workerThread_ = std::thread([this] {
    RunObserver observer = workerObserver();
    const auto logged = std::move(observer.fileDone);
    observer.fileDone = [this, logged](const FileOutcome& outcome) {
      if (outcome.recorded && !outcome.backup.empty()) ++filesWritten_;
      logged(outcome);
    };
    const RunSummary summary = conversionWorker(request_, observer, cancelRequested_);
    // A run refused at its first step leaves the window as it is.
    if (!summary.started) return;
    recordedAs_ = summary.recordedAs;
    const LogEntry end = transcript_.end(summary);
    if (!end.text.isEmpty()) emit logEntry(end.text);
    emit runEnded();
  });
}

RunObserver ProgressDialog::workerObserver() {
  RunObserver observer;
  observer.started = [this] {
    const LogEntry start = transcript_.start();
    if (!start.text.isEmpty()) emit logEntry(start.text);
  };
  observer.prepare = [this](const FileOutcome& outcome) { return transcript_.draft(outcome); };
  observer.fileDone = [this](const FileOutcome& outcome) {
    const LogEntry entry = transcript_.file(outcome);
    emit fileLogged(entry.text, entry.failed, entry.warns);
  };
  observer.memoryNotice = [this](MemoryNotice notice, const std::filesystem::path& folder) {
    const LogEntry entry = RunTranscript::memoryNotice(notice, folder);
    if (!entry.text.isEmpty()) emit logEntry(entry.text);
  };
  observer.passPlanned = [this](int, std::size_t fileCount) {
    emit passPlanned(static_cast<int>(std::min<std::size_t>(fileCount, std::numeric_limits<int>::max())));
  };
  return observer;
}

void ProgressDialog::offerUndo() {
  if (recordedAs_.empty() || filesWritten_.load() == 0 || request_.mode != WriteMode::Write) return;
  const DialogUnits units(font());
  bar_->setGeometry(units.rect(5, 207, 185, 14));
  undoButton_->show();
}

void ProgressDialog::onUndoButton() {
  if (!workerDone_ || recordedAs_.empty()) return;
  if (workerThread_.joinable()) workerThread_.join();
  const std::string run = std::exchange(recordedAs_, std::string());
  undoButton_->hide();
  bar_->setGeometry(DialogUnits(font()).rect(5, 207, 265, 14));
  filesShown_ = filesPlanned_ = 0;
  showCount();
  cancelRequested_.store(false);
  runFinished_ = workerDone_ = false;
  button_->setText(tr("キャンセル(&C)"));
  setWindowTitle(tr("元に戻しています..."));
  transcript_.takesBack();
  try {
    workerThread_ = std::thread([this, run] {
      const UndoSummary undone =
          undoWorker({request_.memoryFolder, run, {}, WriteMode::Write}, workerObserver(), cancelRequested_);
      if (undone.refusal == UndoRefusal::None) {
        emit logEntry(transcript_.end(undone.run).text);
      } else {
        const std::string refusal = undoRefusalMessage(undone);
        emit logEntry(
            QString::fromUtf8(refusal.data(), static_cast<qsizetype>(refusal.size())).remove(QLatin1Char('\r')));
      }
      emit runEnded();
    });
  } catch (const std::system_error&) {
    const std::string_view message = plainMessage(MessageId::CannotStartThread);
    addEntry({QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())) + QLatin1Char('\n')});
    onRunEnded();
  }
}

void ProgressDialog::onProgressButton() {
  if (runFinished_) {
    done(QDialog::Rejected);
    return;
  }
  cancelRequested_.store(true);
  switchToFinishedLook();
}

void ProgressDialog::reject() { onProgressButton(); }

void ProgressDialog::keyPressEvent(QKeyEvent* event) {
  // Enter presses the button only when the button has the focus; it never ends the dialog.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* pressed = qobject_cast<QPushButton*>(focusWidget()); pressed && pressed->isEnabled()) pressed->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ProgressDialog::addEntry(LogEntry entry) {
  if (entry.ofFile) ++pendingFiles_;
  if (entry.failed && !anyFailed_) showFailureOnBar();
  if (shows(entry)) pendingLog_ += entry.text;
  entries_.push_back(std::move(entry));
  if (!showTimer_.isActive()) showTimer_.start();
}

bool ProgressDialog::shows(const LogEntry& entry) const {
  if (!entry.ofFile) return true;
  const auto filter = static_cast<LogFilter>(filter_->checkedId());
  if (filter == LogFilter::Failed && !entry.failed) return false;
  if (filter == LogFilter::Warnings && !entry.warns) return false;
  return find_->text().isEmpty() || entry.text.contains(find_->text(), Qt::CaseInsensitive);
}

void ProgressDialog::setLogFilter(LogFilter filter) {
  filter_->button(static_cast<int>(filter))->setChecked(true);
  showFiltered();
}

void ProgressDialog::showFiltered() {
  QString shown;
  for (const LogEntry& entry : entries_)
    if (shows(entry)) shown += entry.text;
  pendingLog_.clear();
  log_->setPlainText(shown);
  log_->moveCursor(QTextCursor::End);
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

bool ProgressDialog::logAtEnd() const {
  const QScrollBar* scroll = log_->verticalScrollBar();
  if (scroll->value() >= scroll->maximum()) return true;
  // Ctrl+End, or a click on the last line, may bring the last line wholly into sight with the
  // bar a line short of its maximum (a box whose height is no whole number of lines).
  const QTextBlock last = log_->document()->lastBlock();
  const int bottom = log_->viewport()->height();
  if (log_->cursorForPosition(QPoint(0, bottom - 1)).blockNumber() < last.blockNumber()) return false;
  return log_->cursorRect(QTextCursor(last)).bottom() < bottom;
}

void ProgressDialog::showLog() {
  showTimer_.stop();
  if (!pendingLog_.isEmpty()) {
    const bool followEnd = logAtEnd();
    followsEnd_ = followEnd;
    QScrollBar* scroll = log_->verticalScrollBar();
    const int left = log_->horizontalScrollBar()->value();
    // Added through a cursor of its own, so the user's caret and selection stay where they are.
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(pendingLog_);
    pendingLog_.clear();
    if (followEnd) {
      if (!log_->textCursor().hasSelection()) log_->moveCursor(QTextCursor::End);
      scroll->setValue(scroll->maximum());
      log_->horizontalScrollBar()->setValue(left);
    }
  }
  filesShown_ += pendingFiles_;
  pendingFiles_ = 0;
  showCount();
}

void ProgressDialog::showCount() {
  bar_->setRange(0, std::max(filesPlanned_, 1));
  bar_->setValue(std::min(filesShown_, std::max(filesPlanned_, 1)));
  bar_->setFormat(QStringLiteral("%1 / %2").arg(filesShown_).arg(filesPlanned_));
}

void ProgressDialog::showFailureOnBar() {
  anyFailed_ = true;
  QPalette palette = bar_->palette();
  palette.setColor(QPalette::Highlight, kFailureColour);
  bar_->setPalette(palette);
}

void ProgressDialog::onRunEnded() {
  showLog();
  workerDone_ = true;
  save_->setEnabled(true);
  switchToFinishedLook();
  offerUndo();
}

void ProgressDialog::switchToFinishedLook() {
  button_->setText(tr("閉じる(&C)"));
  setWindowTitle(request_.mode == WriteMode::Check ? tr("確認結果") : tr("変換結果"));
  runFinished_ = true;
}

void ProgressDialog::saveLog() {
  const std::optional<SaveChoice> choice = chooseSave_ ? chooseSave_(*this) : std::nullopt;
  if (!choice) return;
  QSaveFile file(choice->path);
  const QByteArray bytes =
      choice->report ? QByteArray::fromStdString(transcript_.report()) : log_->document()->toPlainText().toUtf8();
  // Written whole or not at all: a file in the way is replaced only once the new one is complete.
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return;
  QMessageBox::warning(this, windowTitle(), tr("保存できませんでした: %1\n%2").arg(choice->path, file.errorString()));
}

}  // namespace sarnavel
