#include "ui/list_intake.h"

#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include "run/malloc_tuning.h"

namespace sarnavel {
namespace {

constexpr int kIndicatorDelayMs = 250;

}  // namespace

ListIntake takeIn(const std::vector<std::filesystem::path>& paths, KindSet kinds, const std::atomic<bool>* stop) {
  ListIntake intake;
  IntakeReport& report = intake.report;
  offerPaths(paths, report, kinds, stop);
  for (const std::filesystem::path& path : paths) {
    std::error_code error;
    intake.offered.push_back(std::filesystem::absolute(path, error));
  }
  intake.entries.reserve(report.files.size());
  for (std::size_t k = 0; k < report.files.size(); ++k) {
    const std::string_view file = report.files[k];
    intake.entries.push_back(FileListEntry::fromFullPath(file));
    intake.entries.back().followedLink = report.followedLinks.count(std::string(file)) != 0;
    if (k < report.folders.size()) intake.entries.back().folder = report.folders[k];
  }
  report.files = PathList();
  return intake;
}

BackgroundIntake::BackgroundIntake(QWidget& window, Take take)
    : QObject(&window), window_(window), take_(std::move(take)) {}

BackgroundIntake::~BackgroundIntake() {
  if (thread_.joinable()) thread_.join();
}

void BackgroundIntake::offer(Paths paths, KindSet kinds) {
  waiting_.emplace_back(std::move(paths), kinds);
  if (!running_) startNext();
  QTimer::singleShot(kIndicatorDelayMs, this, &BackgroundIntake::showIndicator);
}

void BackgroundIntake::startNext() {
  if (thread_.joinable()) thread_.join();  // it has posted its result: it is ending
  if (waiting_.empty()) return;
  running_ = true;
  dropped_ = false;
  stop_.store(false);
  thread_ = std::thread([this, batch = std::move(waiting_.front())] {
    auto result = std::make_shared<ListIntake>(takeIn(batch.first(), batch.second, &stop_));
    QMetaObject::invokeMethod(
        this, [this, result] { finish(result); }, Qt::QueuedConnection);
  });
  waiting_.pop_front();
}

void BackgroundIntake::finish(const std::shared_ptr<ListIntake>& result) {
  running_ = false;
  if (!dropped_) take_(*result);
  result->report = IntakeReport();
  // The walk's working memory, freed on its thread's arena, goes back to the system.
  giveFreedMemoryBack();
  if (waiting_.empty() && indicator_) indicator_->deleteLater();
  startNext();
}

void BackgroundIntake::cancel() {
  dropped_ = true;
  stop_.store(true);
  waiting_.clear();
  if (indicator_) indicator_->deleteLater();
}

QProgressDialog* BackgroundIntake::indicator() const { return indicator_.data(); }

void BackgroundIntake::showIndicator() {
  if (!busy() || indicator_) return;
  auto* indicator = new QProgressDialog(tr("ファイルを追加しています..."), tr("キャンセル"), 0, 0, &window_);
  indicator->setObjectName(QStringLiteral("sarnavel_intake_busy"));
  indicator->setWindowModality(Qt::WindowModal);
  indicator->setMinimumDuration(0);
  indicator->setAutoClose(false);
  indicator->setAutoReset(false);
  connect(indicator, &QProgressDialog::canceled, this, &BackgroundIntake::cancel);
  indicator_ = indicator;
  indicator->show();
}

}  // namespace sarnavel
