// The window of a conversion run (IDD_PROGRESS): a read-only log that grows as files are
// converted, a bar counting the logged files ("N / total"), and one button that first cancels
// the run and then closes the window. A check runs in the same window, its listing in the log.
//
// The bar's total is what the run announces: the listed files at once, the style sheets and
// scripts that the pages load when their passes begin (so the total can grow). The bar moves
// together with the log: it counts the file entries the log shows, and takes the failure
// colour once a file has failed. Paths are written into the log readably (readable_path.h),
// one file one line.
//
// Above the log, a filter chooses the files' entries it shows: all of them, those that failed,
// or those with warnings (a check's: with a problem); a find field (Ctrl+F) keeps the entries
// that hold its text, in any letter case. The run's own lines (its start, its summary) always
// show. 保存… (Ctrl+S), once the run has ended, writes what the log shows as text, or the
// run's JSON Lines report (run_transcript.h), to a file the user chooses.
//
// The log follows its end (caret and view) whenever the view is at the end, however it got
// there (Ctrl+End, the scroll bar, the wheel): at the end means the bar at its maximum or the
// last line wholly in sight. Lines that arrive while the user reads further up are added
// below without moving the view.
//
// The dialog starts the worker thread when it opens (onProgressInit) and waits for it when it
// goes away, so no two runs ever overlap. The worker never touches a widget: every log entry
// and the end of the run reach the dialog as queued signals, carried out on the user-interface
// thread. The two threads share the cancelRequested flag, and the transcript, which the worker
// alone writes until its last signal.
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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QDialog>
#include <QString>
#include <QTimer>

#include "run/conversion_run.h"
#include "ui/run_transcript.h"

class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace sarnavel {

class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  enum class LogFilter { All = 0, Failed = 1, Warnings = 2 };
  // Where 保存… writes, and what: the log as shown, or the report.
  struct SaveChoice {
    QString path;
    bool report = false;
  };
  using SaveChooser = std::function<std::optional<SaveChoice>(QWidget& parent)>;

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
  bool anyFileFailed() const { return anyFailed_; }

  void setLogFilter(LogFilter filter);
  void saveLog();  // 保存…
  // What 保存… asks the user; by default Qt's file dialog. Tests put their own answer here.
  void setSaveChooser(SaveChooser chooser) { chooseSave_ = std::move(chooser); }
  void onUndoButton();  // takes the run just ended back

 signals:
  // Emitted by the worker thread; received on the dialog's own thread.
  void logEntry(const QString& text);  // a line of the run as a whole
  void fileLogged(const QString& text, bool failed, bool warns);
  void passPlanned(int fileCount);
  void runEnded();

 protected:
  void reject() override;  // the Escape key and the close box act like the button
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void placeFilterRow();
  void addEntry(LogEntry entry);
  bool shows(const LogEntry& entry) const;
  void showFiltered();
  bool logAtEnd() const;
  void showLog();
  void showCount();
  void onRunEnded();
  void switchToFinishedLook();
  void showFailureOnBar();
  void startWorker();
  // The observer of a worker: the transcript's entries and the counts as queued signals.
  RunObserver workerObserver();
  void offerUndo();  // shows the undo button when the run ended can be taken back

  RunRequest request_;
  bool& couldNotStart_;
  std::atomic<bool> cancelRequested_{false};
  bool runFinished_ = false;
  bool workerDone_ = false;
  bool anyFailed_ = false;
  bool followsEnd_ = true;  // the view is at the end of the log (logAtEnd), as the user left it
  std::thread workerThread_;
  RunTranscript transcript_;

  QPlainTextEdit* log_;
  QProgressBar* bar_;
  QPushButton* button_;
  QButtonGroup* filter_ = nullptr;
  QLineEdit* find_ = nullptr;
  QPushButton* save_ = nullptr;
  SaveChooser chooseSave_;
  // Every entry, whatever the filter shows.
  std::vector<LogEntry> entries_;
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
