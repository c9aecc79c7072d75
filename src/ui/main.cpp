// sarnavel: the desktop program. Converts Japanese web documents dropped onto its window or
// named on its command line.
#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include <QApplication>

#include "run/standard_descriptors.h"
#include "ui/start_up.h"

int main(int argc, char** argv) {
  // Before anything is opened: a program started with standard output or error closed would
  // otherwise hand those numbers to the files it converts, and Qt's warnings would land there.
  sarnavel::openStandardDescriptors();
  // A write past the file-size limit fails with EFBIG, which the run reports, instead of
  // ending the program; the file store then need not block the signal around each write.
  std::signal(SIGXFSZ, SIG_IGN);
  // One malloc arena per core rather than one per thread: the run's threads outnumber the
  // cores, and each arena of its own would keep the largest file's buffers after the file.
  mallopt(M_ARENA_MAX, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  // A large file's buffers are taken from the heap and kept there for the next file, rather
  // than mapped and unmapped afresh for each (every new mapping faults its pages in again):
  // only buffers of 32 MB and more are mapped, and the heap's free top is given back from
  // 64 MB on. The run's memory stays bounded by the files under way.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // Every argument after the program's name is a file or folder for the list; none of them is
  // an option for Qt.
  const std::vector<std::filesystem::path> paths = sarnavel::commandLinePaths(argc, argv);
  if (!sarnavel::graphicalDisplayAvailable()) {
    const std::string message = std::string(sarnavel::kUnsupportedPlatformMessage) + "\n";
    std::fputs(message.c_str(), stderr);
    return 1;
  }
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("sarnavel"));
  QApplication::setDesktopFileName(QStringLiteral("sarnavel"));
  sarnavel::installQtTranslations(application);
  return sarnavel::runMainDialog(paths);
}
