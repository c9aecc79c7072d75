// sarnavel: the desktop program. Converts Japanese web documents dropped onto its window or
// named on its command line.

#include <csignal>
#include <cstdio>
#include <string>

#include <QApplication>

#include "report/message_language.h"
#include "run/malloc_tuning.h"
#include "store/standard_descriptors.h"
#include "ui/start_up.h"

int main(int argc, char** argv) {
  // Before anything is opened: a program started with standard output or error closed would
  // otherwise hand those numbers to the files it converts, and Qt's warnings would land there.
  sarnavel::openStandardDescriptors();
  // A write past the file-size limit fails with EFBIG, which the run reports, instead of
  // ending the program; the file store then need not block the signal around each write.
  std::signal(SIGXFSZ, SIG_IGN);
  sarnavel::tuneMallocForRuns();
  // Every argument after the program's name is a file or folder for the list; none of them is
  // an option for Qt.
  const std::vector<std::filesystem::path> paths = sarnavel::commandLinePaths(argc, argv);
  if (!sarnavel::graphicalDisplayAvailable()) {
    const std::string message = std::string(sarnavel::kUnsupportedPlatformMessage) + "\n";
    std::fputs(message.c_str(), stderr);
    return 1;
  }
  int qtArgc = 1;
  // A display the check above took on trust may still fail to open: status 1, not Qt's abort.
  qInstallMessageHandler(sarnavel::exitAsUnsupportedOnFatal);
  QApplication application(qtArgc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setApplicationName(QStringLiteral("sarnavel"));
  QApplication::setDesktopFileName(QStringLiteral("sarnavel"));
  // Japanese texts in a Japanese locale (Qt's own too), English ones in any other: the one rule
  // of both programs.
  if (sarnavel::messageLanguage() == sarnavel::MessageLanguage::English) {
    sarnavel::installEnglishTranslation(application);
  } else {
    sarnavel::installQtTranslations(application);
  }
  return sarnavel::runMainDialog(paths);
}
