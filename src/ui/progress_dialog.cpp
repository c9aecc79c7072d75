#include "ui/progress_dialog.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "report/run_listing.h"
#include "report/run_messages.h"
#include "run/undo_run.h"
#include "ui/dialog_units.h"
#include "ui/readable_path.h"

namespace sarnavel {
namespace {

constexpr int kShowLogIntervalMs = 40;

}  // namespace

ProgressDialog::ProgressDialog(RunRequest request, bool& couldNotStart, QWidget* parent)
    : QDialog(parent),
      request_(std::move(request)),
      couldNotStart_(couldNotStart),
      log_(new QPlainTextEdit(this)),
      bar_(new QProgressBar(this)),
      button_(new QPushButton(QStringLiteral("キャンセル(&C)"), this)),
      undoButton_(new QPushButton(QStringLiteral("元に戻す(&U)"), this)) {
  setObjectName(QStringLiteral("IDD_PROGRESS"));
  setWindowTitle(QStringLiteral("変換中..."));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  const DialogUnits units(font());
  setFixedSize(units.x(355), units.y(210));

  log_->setObjectName(QStringLiteral("IDC_LOG"));
  log_->setGeometry(units.rect(5, 5, 345, 180));
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  log_->setFocusPolicy(Qt::StrongFocus);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // In the free space left of the button, as high as the button, up to 5 units before it.
  bar_->setObjectName(QStringLiteral("IDC_PROGRESS"));
  bar_->setGeometry(units.rect(5, 190, 265, 14));
  bar_->setTextVisible(true);
  bar_->setFocusPolicy(Qt::NoFocus);
  showCount();

  button_->setObjectName(QStringLiteral("IDCANCEL"));
  button_->setGeometry(units.rect(275, 190, 75, 14));
  button_->setAutoDefault(false);
  button_->setDefault(false);
  connect(button_, &QPushButton::clicked, this, &ProgressDialog::onProgressButton);

  undoButton_->setObjectName(QStringLiteral("IDC_UNDO"));
  undoButton_->setGeometry(units.rect(195, 190, 75, 14));
  undoButton_->setAutoDefault(false);
  undoButton_->hide();
  connect(undoButton_, &QPushButton::clicked, this, &ProgressDialog::onUndoButton);

  showTimer_.setSingleShot(true);
  showTimer_.setInterval(kShowLogIntervalMs);
  connect(&showTimer_, &QTimer::timeout, this, &ProgressDialog::showLog);
  connect(this, &ProgressDialog::logEntry, this, &ProgressDialog::appendToLog, Qt::QueuedConnection);
  connect(
      this, &ProgressDialog::fileLogged, this, [this] { ++pendingFiles_; }, Qt::QueuedConnection);
  connect(
      this, &ProgressDialog::passPlanned, this,
      [this](int fileCount) {
        filesPlanned_ += fileCount;
        showCount();
      },
      Qt::QueuedConnection);
  connect(this, &ProgressDialog::runEnded, this, &ProgressDialog::onRunEnded, Qt::QueuedConnection);
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
    workerThread_ = std::thread([this] {
      auto log = [this](std::string_view entry) { emitLog(entry); };
      RunObserver observer = workerObserver(log);
      const auto counted = std::move(observer.fileDone);
      observer.fileDone = [this, counted](const FileOutcome& outcome) {
        if (outcome.recorded && !outcome.backup.empty()) ++filesWritten_;
        counted(outcome);
      };
      const RunSummary summary = conversionWorker(request_, observer, cancelRequested_);
      // A run refused at its first step leaves the window as it is.
      if (!summary.started) return;
      log(endMessage(summary));
      recordedAs_ = summary.recordedAs;
      emit runEnded();
    });
  } catch (const std::system_error&) {
    couldNotStart_ = true;
    return false;
  }
  return true;
}

void ProgressDialog::emitLog(std::string_view entry) {
  const std::string text = withUnixLineEnds(entry);
  emit logEntry(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

RunObserver ProgressDialog::workerObserver(const std::function<void(std::string_view)>& log) {
  RunObserver observer;
  observer.fileDone = [this](const FileOutcome&) { emit fileLogged(); };
  writeLogThrough(observer, {request_.mode, request_.options.targetEncoding, &readablePath}, log);
  observer.memoryNotice = [log](MemoryNotice notice, const std::filesystem::path& folder) {
    log(memoryNoticeMessage(notice, readablePath(folder.native())));
  };
  observer.passPlanned = [this](int, std::size_t fileCount) {
    emit passPlanned(static_cast<int>(std::min<std::size_t>(fileCount, std::numeric_limits<int>::max())));
  };
  return observer;
}

void ProgressDialog::offerUndo() {
  if (recordedAs_.empty() || filesWritten_.load() == 0 || request_.mode != WriteMode::Write) return;
  const DialogUnits units(font());
  bar_->setGeometry(units.rect(5, 190, 185, 14));
  undoButton_->show();
}

void ProgressDialog::onUndoButton() {
  if (!workerDone_ || recordedAs_.empty()) return;
  if (workerThread_.joinable()) workerThread_.join();
  const std::string run = std::exchange(recordedAs_, std::string());
  undoButton_->hide();
  bar_->setGeometry(DialogUnits(font()).rect(5, 190, 265, 14));
  filesShown_ = filesPlanned_ = 0;
  showCount();
  cancelRequested_.store(false);
  runFinished_ = workerDone_ = false;
  button_->setText(QStringLiteral("キャンセル(&C)"));
  setWindowTitle(QStringLiteral("元に戻しています..."));
  try {
    workerThread_ = std::thread([this, run] {
      auto log = [this](std::string_view entry) { emitLog(entry); };
      const UndoSummary undone =
          undoWorker({request_.memoryFolder, run, {}, WriteMode::Write}, workerObserver(log), cancelRequested_);
      log(undone.refusal == UndoRefusal::None ? endMessage(undone.run) : undoRefusalMessage(undone));
      emit runEnded();
    });
  } catch (const std::system_error&) {
    const std::string_view message = plainMessage(MessageId::CannotStartThread);
    appendToLog(QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())) + QLatin1Char('\n'));
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
    if (focusWidget() == button_ && button_->isEnabled()) button_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ProgressDialog::appendToLog(const QString& text) {
  pendingLog_ += text;
  if (!showTimer_.isActive()) showTimer_.start();
}

void ProgressDialog::showLog() {
  showTimer_.stop();
  if (!pendingLog_.isEmpty()) {
    QScrollBar* scroll = log_->verticalScrollBar();
    const bool followEnd = scroll->value() >= scroll->maximum();
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

void ProgressDialog::onRunEnded() {
  showLog();
  workerDone_ = true;
  switchToFinishedLook();
  offerUndo();
}

void ProgressDialog::switchToFinishedLook() {
  button_->setText(QStringLiteral("閉じる(&C)"));
  setWindowTitle(QStringLiteral("変換結果"));
  runFinished_ = true;
}

}  // namespace sarnavel
