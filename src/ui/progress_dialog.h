// The window of a conversion run (IDD_PROGRESS): a read-only log that grows as files are
// converted, a bar counting the logged files ("N / total"), and one button that first cancels
// the run and then closes the window.
//
// The bar's total is what the run announces: the listed files at once, the style sheets and
// scripts that the pages load when their passes begin (so the total can grow). The bar moves
// together with the log: it counts the file entries the log shows. Paths are written into the
// log readably (readable_path.h), one file one line.
//
// The log follows its end (caret and view) only while the user has not scrolled away from
// the end; lines that arrive meanwhile are added below without moving the view.
//
// The dialog starts the worker thread when it opens (onProgressInit) and waits for it when it
// goes away, so no two runs ever overlap. The worker never touches a widget: every log entry
// and the end of the run reach the dialog as queued signals, carried out on the user-interface
// thread. The only thing the two threads share is the cancelRequested flag.
//
// The button, the Escape key and the close box all do the same (onProgressButton): while the
// run goes on they ask it to stop and switch the window at once to its finished look
// ("変換結果", "閉じる(&C)"); the worker finishes the file under way, logs it and the
// cancellation. Once the window shows its finished look they close it.
//
// A conversion that ends having written files with backups, and recorded them in the user's
// memory, offers to take itself back: a 元に戻す(&U) button left of the window's own button
// (the bar gives it room). It runs the undo of that very run (run/undo_run.h) in the same
// window, the same way: the log goes on below, the bar counts the files anew, the button
// cancels and then closes. It is offered once.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include <QDialog>
#include <QString>
#include <QTimer>

#include "run/conversion_run.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace sarnavel {

class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // couldNotStart is set when the worker thread cannot be started; the dialog then never shows.
  ProgressDialog(RunRequest request, bool& couldNotStart, QWidget* parent = nullptr);
  ~ProgressDialog() override;  // waits for the worker to finish its current file

  // Starts the worker and runs the dialog until the user closes it.
  int exec() override;

  bool onProgressInit();  // starts the worker; false (with couldNotStart set) when it could not
  void onProgressButton();

  bool runFinished() const { return runFinished_; }
  bool cancelRequested() const { return cancelRequested_.load(); }
  bool workerDone() const { return workerDone_; }     // the run's last log entry has been shown
  int filesShown() const { return filesShown_; }      // file entries the log shows
  int filesPlanned() const { return filesPlanned_; }  // the bar's total
  void onUndoButton();                                // takes the run just ended back

 signals:
  // Emitted by the worker thread; received on the dialog's own thread.
  void logEntry(const QString& text);
  void fileLogged();  // follows the log entry of each file
  void passPlanned(int fileCount);
  void runEnded();

 protected:
  void reject() override;  // the Escape key and the close box act like the button
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void appendToLog(const QString& text);
  void showLog();
  void showCount();
  void onRunEnded();
  void switchToFinishedLook();
  void emitLog(std::string_view entry);  // on the worker's thread: a log entry, to the dialog
  // The observer of a worker: its log entries and counts as queued signals.
  RunObserver workerObserver(const std::function<void(std::string_view)>& log);
  void offerUndo();  // shows the undo button when the run ended can be taken back

  RunRequest request_;
  bool& couldNotStart_;
  std::atomic<bool> cancelRequested_{false};
  bool runFinished_ = false;
  bool workerDone_ = false;
  std::thread workerThread_;

  QPlainTextEdit* log_;
  QProgressBar* bar_;
  QPushButton* button_;
  QPushButton* undoButton_;
  std::atomic<int> filesWritten_{0};  // by the conversion, recorded in the user's memory
  std::string recordedAs_;            // the conversion's id there, set before runEnded
  // Log text received but not yet shown: entries that arrive close together are shown together,
  // so a long run cannot flood the window.
  QString pendingLog_;
  int pendingFiles_ = 0;
  int filesShown_ = 0;
  int filesPlanned_ = 0;
  QTimer showTimer_;
};

}  // namespace sarnavel
