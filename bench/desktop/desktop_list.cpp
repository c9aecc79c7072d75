// The desktop program with a long list: how long a paste of N paths takes to enter the list,
// the largest gap the window's event loop saw meanwhile, and the memory (resident set) of the
// empty window, the listed files, and after each of a few runs once the progress window has
// closed. Figures are ratios against the empty window of the same run.
//
//   cmake --build build --target desktop_list
//   QT_QPA_PLATFORM=offscreen build/src/ui/desktop_list [FILES] [RUNS]    (100000, 3)
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include "run/malloc_tuning.h"
#include "ui/main_dialog.h"
#include "ui/progress_dialog.h"

using namespace sarnavel;

namespace {

// What the allocator holds for live blocks and keeps free, in MB: a rise of the first after a
// run is memory kept, of the second memory the allocator could not give back.
std::string heap() {
  const struct mallinfo2 info = ::mallinfo2();
  return " (heap: " + std::to_string(info.uordblks / 1'000'000) + " MB in use, " +
         std::to_string(info.fordblks / 1'000'000) + " MB free)";
}

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

void settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

// Closes the progress window once its run is over, as the user would.
void closeWhenDone() {
  auto* poll = new QTimer;
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, [poll] {
    auto* progress = qobject_cast<ProgressDialog*>(QApplication::activeModalWidget());
    if (!progress || !progress->workerDone()) return;
    poll->stop();
    poll->deleteLater();
    progress->onProgressButton();
  });
  poll->start();
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 100'000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  tuneMallocForRuns();  // as the program's main does
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication application(argc, argv);
  std::string folder = "/dev/shm/sarnavel-bench-desktop-XXXXXX";
  if (::access("/dev/shm", W_OK) != 0) folder = "/tmp/sarnavel-bench-desktop-XXXXXX";
  if (!::mkdtemp(folder.data())) return 1;
  // The runs' memory and the settings in the scratch folder: the user's own runs and choices
  // stay out of the measure, and the measure out of the runs the user may take back.
  ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  QString pasted;
  for (int i = 0; i < files; ++i) {
    const std::string page = folder + "/p" + std::to_string(i) + ".html";
    std::ofstream(page) << "<html><head><title>t</title></head><body>\xE6\x97\xA5\xE6\x9C\xAC</body></html>\n";
    pasted += QString::fromStdString(page) + QLatin1Char('\n');
  }

  MainDialog dialog;
  dialog.show();
  settle();
  const double empty = residentMegabytes();

  QApplication::clipboard()->setText(pasted);
  pasted.clear();
  QElapsedTimer clock;
  qint64 last = 0, largestGap = 0;
  QTimer tick;
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    largestGap = std::max(largestGap, clock.elapsed() - last);
    last = clock.elapsed();
  });
  clock.start();
  tick.start();
  dialog.addPastedPaths();
  while (dialog.intakeUnderWay()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  tick.stop();
  largestGap = std::max(largestGap, clock.elapsed() - last);
  const qint64 intakeMs = clock.elapsed();
  QApplication::clipboard()->clear();
  settle();
  const double listed = residentMegabytes();
  std::printf("%d files pasted: %lld ms to list (%d rows), largest event-loop gap %lld ms\n", files, intakeMs,
              dialog.fileList().rowCount(), largestGap);
  std::printf("memory: empty window %.1f MB; listed %.1f MB (%.2f x the empty window)%s\n", empty, listed,
              listed / empty, heap().c_str());
  for (int run = 1; run <= runs; ++run) {
    closeWhenDone();
    clock.restart();
    dialog.startConversion();
    settle();
    const double after = residentMegabytes();
    std::printf("after run %d (%lld ms): %.1f MB (%.2f x the empty window, %.2f x listed)%s\n", run, clock.elapsed(),
                after, after / empty, after / listed, heap().c_str());
  }
  dialog.removeAllRows();
  settle();
  std::printf("list emptied: %.1f MB (%.2f x the empty window)%s\n", residentMegabytes(), residentMegabytes() / empty,
              heap().c_str());
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
