// The intake of a drop, a paste or a Ctrl+O choice off the window's thread.
//
// takeIn does what every way into the list does (run/intake.h, offerPaths), and also makes the
// rows' entries, whose readable names cost as much as the walk on a long list. A
// BackgroundIntake runs it on a thread of its own, one batch at a time in the order offered,
// and hands each result to the window's thread. While a batch is under way a busy indicator
// shows (after a quarter of a second, so a small drop does not flicker), window-modal: no run
// can start while the list is being filled. Its キャンセル drops the batch under way and those
// waiting, and stops the walk at the next entry it reads (nothing of it reaches the list); a
// later batch starts after it.
#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>

#include "run/intake.h"
#include "run/kind_set.h"
#include "ui/file_list_model.h"

class QProgressDialog;
class QWidget;

namespace sarnavel {

struct ListIntake {
  IntakeReport report;  // its files are in `entries`, the rest as offerPaths left it
  std::vector<FileListEntry> entries;
  std::vector<std::filesystem::path> offered;  // the paths offered, made absolute: what the user named
};

// The files of `paths`; a set `stop` ends the walk early (intake.h: offerPaths).
ListIntake takeIn(const std::vector<std::filesystem::path>& paths, KindSet kinds,
                  const std::atomic<bool>* stop = nullptr);

class BackgroundIntake : public QObject {
  Q_OBJECT

 public:
  using Take = std::function<void(ListIntake& intake)>;
  // `take` receives each batch's result on the window's thread.
  BackgroundIntake(QWidget& window, Take take);
  ~BackgroundIntake() override;  // waits for a walk under way

  // `paths` is called on the intake's thread: what it reads must be its own.
  using Paths = std::function<std::vector<std::filesystem::path>()>;
  void offer(Paths paths, KindSet kinds);
  void cancel();
  bool busy() const { return (running_ && !dropped_) || !waiting_.empty(); }
  // The busy indicator while it shows, else null.
  QProgressDialog* indicator() const;

 private:
  void startNext();
  void finish(const std::shared_ptr<ListIntake>& result);
  void showIndicator();

  QWidget& window_;
  Take take_;
  std::deque<std::pair<Paths, KindSet>> waiting_;
  std::thread thread_;
  bool running_ = false;
  bool dropped_ = false;           // the batch under way was cancelled
  std::atomic<bool> stop_{false};  // tells the walk under way to end: its batch is dropped
  QPointer<QProgressDialog> indicator_;
};

}  // namespace sarnavel
