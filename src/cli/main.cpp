// sarnavel-cli: converts a batch of Japanese web documents from a terminal, a Makefile or CI.
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/intake_notices.h"
#include "cli/log_writer.h"
#include "cli/stop_signals.h"
#include "run/conversion_run.h"
#include "run/intake.h"
#include "run/posix_file.h"
#include "run/standard_descriptors.h"
#include "run/visible_path.h"
#include "version.h"

namespace {

void say(const std::string& text) { sarnavel::writeAll(STDERR_FILENO, text); }

}  // namespace

int main(int argc, char** argv) {
  using namespace sarnavel;
  // Before anything is opened: a closed standard output must not become a converted file.
  const StandardDescriptors standard = openStandardDescriptors();
  installStopSignals();

  std::vector<std::string> arguments(argv + 1, argv + argc);
  CliParse parse = parseCommandLine(arguments);
  if (parse.options.help) return writeAll(STDOUT_FILENO, usageText()) ? 0 : 1;
  if (parse.options.version) return writeAll(STDOUT_FILENO, "sarnavel-cli " + std::string(kVersion) + "\n") ? 0 : 1;
  if (!parse.error.empty()) {
    say("sarnavel-cli: " + visiblePath(parse.error) + "\nTry 'sarnavel-cli --help' for more information.\n");
    return 2;
  }
  if (standard.outputWasClosed) {
    say("sarnavel-cli: standard output is closed: there is nowhere to write the log; nothing was converted\n");
    return 1;
  }

  IntakeReport intake;
  offerPaths(std::vector<std::filesystem::path>(parse.options.paths.begin(), parse.options.paths.end()), intake);
  say(intakeNoticeLines(intake));
  if (!parse.options.targetGiven) say("sarnavel-cli: no target encoding given (-t): converting to Shift_JIS\n");
  if (parse.options.dryRun)
    say("sarnavel-cli: dry run: every file is read and converted in memory; nothing is written\n");
  if (stopSignal() != 0) return 128 + stopSignal();

  RunRequest request{parse.options.conversion, std::move(intake.files),
                     parse.options.dryRun ? WriteMode::DryRun : WriteMode::Write};
  request.namedPaths.assign(parse.options.paths.begin(), parse.options.paths.end());
  LogWriter log;
  RunObserver observer;
  observer.log = [&log](std::string_view entry) { log.write(entry); };
  const RunSummary summary = conversionWorker(request, observer, stopFlag());
  if (summary.cancelled && stopSignal() != 0) return 128 + stopSignal();
  if (log.failed()) return 1;
  return summary.failures > 0 || intakeMissedSomething(intake) ? 1 : 0;
}
