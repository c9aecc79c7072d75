// Start-up of the desktop program: whether a graphical display can be opened at all, the
// paths of the command line, and the main dialog run until the user leaves it.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include <QMessageLogContext>
#include <QString>

class QCoreApplication;

namespace sarnavel {

// Shown on stderr, with exit status 1, when no graphical display can be opened.
inline constexpr std::string_view kUnsupportedPlatformMessage = "プログラムはこのOSに対応していません。";

// True when the platform Qt is going to use can show windows here. Qt ends the process when
// its platform cannot be opened, so this is asked before any Qt object exists. Platforms that
// need no display server (offscreen, vnc, ...) always count as available.
bool graphicalDisplayAvailable();

// A Qt message handler for the time Qt opens its platform. A display taken on trust that Qt
// then cannot open (WAYLAND_DISPLAY set with no compositor behind it, or without Qt's Wayland
// plugin), or a platform named that is not installed, makes Qt end the process with an abort and
// a core dump; this writes Qt's words and then kUnsupportedPlatformMessage, and ends with
// status 1, as when there is no display. Other messages are written as Qt writes them.
void exitAsUnsupportedOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Every argument after the program's own name, in order, as a path.
std::vector<std::filesystem::path> commandLinePaths(int argc, char** argv);

// Gives Qt's own texts (the log's context menu, the file dialog) in Japanese, like the rest
// of the program: loads Qt's Japanese translation "qtbase_ja" from `folder` (Qt's own
// translations folder when empty) into the application. False, with nothing changed, when it
// is not there; the program then works with Qt's English texts.
bool installQtTranslations(QCoreApplication& application, const QString& folder = {});

// Loads the English translation of the program's own texts ("sarnavel_en") from `folder`, or
// when empty from translations/ beside the program or ../share/sarnavel/translations. False,
// with nothing changed, when it is not there.
bool installEnglishTranslation(QCoreApplication& application, const QString& folder = {});

// Runs the main dialog with the paths in its list until it closes, with the choices remembered
// from the last start (what the settings file says it cannot read is said on standard error);
// returns the exit status, 0. Needs a QApplication.
int runMainDialog(const std::vector<std::filesystem::path>& paths);

}  // namespace sarnavel
