#include "ui/start_up.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QByteArray>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QString>
#include <QTranslator>

#include "ui/desktop_settings.h"
#include "ui/main_dialog.h"

namespace sarnavel {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Whether an X server answers at $DISPLAY. The X client library is loaded only for this
// question, as Qt's own X platform loads it; without it, a set DISPLAY is taken on trust.
bool xServerAnswers() {
  const std::string display = environment("DISPLAY");
  if (display.empty()) return false;
  void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!library) return true;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(library, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(library, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(library, "xcb_disconnect"));
  bool answers = true;
  if (connect && hasError && disconnect) {
    void* connection = connect(display.c_str(), nullptr);
    answers = connection && hasError(connection) == 0;
    if (connection) disconnect(connection);
  }
  dlclose(library);
  return answers;
}

bool waylandDisplaySet() { return !environment("WAYLAND_DISPLAY").empty(); }

// One entry of QT_QPA_PLATFORM, such as "xcb", "wayland-egl" or "offscreen:size=800x600".
bool platformAvailable(std::string name) {
  name = name.substr(0, name.find(':'));
  if (name.empty()) return xServerAnswers() || waylandDisplaySet();
  if (name == "xcb") return xServerAnswers();
  if (name.rfind("wayland", 0) == 0) return waylandDisplaySet();
  return true;
}

}  // namespace

bool graphicalDisplayAvailable() {
  // QT_QPA_PLATFORM may list several platforms separated by ';', tried in turn.
  const std::string platforms = environment("QT_QPA_PLATFORM");
  std::size_t start = 0;
  do {
    const std::size_t end = platforms.find(';', start);
    if (platformAvailable(platforms.substr(start, end == std::string::npos ? std::string::npos : end - start)))
      return true;
    start = end == std::string::npos ? end : end + 1;
  } while (start != std::string::npos);
  return false;
}

void exitAsUnsupportedOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  if (type != QtFatalMsg) return;
  const std::string unsupported = std::string(kUnsupportedPlatformMessage) + "\n";
  std::fputs(unsupported.c_str(), stderr);
  // Nothing of the program has started yet; the half-made application is not torn down.
  std::_Exit(1);
}

std::vector<std::filesystem::path> commandLinePaths(int argc, char** argv) {
  std::vector<std::filesystem::path> paths;
  for (int index = 1; index < argc && argv[index]; ++index) paths.emplace_back(argv[index]);
  return paths;
}

bool installQtTranslations(QCoreApplication& application, const QString& folder) {
  auto* translator = new QTranslator(&application);
  const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  if (!translator->load(QStringLiteral("qtbase_ja"), where) || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}

bool installEnglishTranslation(QCoreApplication& application, const QString& folder) {
  auto* translator = new QTranslator(&application);
  const QString program = QCoreApplication::applicationDirPath();
  const QStringList places = folder.isEmpty() ? QStringList{program + QStringLiteral("/translations"),
                                                            program + QStringLiteral("/../share/sarnavel/translations")}
                                              : QStringList{folder};
  for (const QString& place : places) {
    if (translator->load(QStringLiteral("sarnavel_en"), place) && QCoreApplication::installTranslator(translator))
      return true;
  }
  delete translator;
  return false;
}

int runMainDialog(const std::vector<std::filesystem::path>& paths) {
  const SettingsRead remembered = readSettings();
  for (const QString& notice : remembered.notices) {
    const QByteArray line = "sarnavel: " + notice.toUtf8() + "\n";
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  }
  MainDialog dialog(paths);
  dialog.remember(remembered.settings, true);
  dialog.exec();
  return 0;
}

}  // namespace sarnavel
