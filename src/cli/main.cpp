// sarnavel-cli: converts a batch of Japanese web documents from a terminal, a Makefile or CI.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "cli/cli_options.h"
#include "run/conversion_run.h"
#include "run/intake.h"
#include "run/run_messages.h"

namespace {

std::atomic<bool> cancelRequested{false};

// Ctrl-C (and a polite kill) asks the run to stop between two files, never in a write.
extern "C" void requestCancel(int) { cancelRequested.store(true); }

void installCancelHandler() {
  struct sigaction action {};
  action.sa_handler = requestCancel;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sarnavel;
  static_assert(std::atomic<bool>::is_always_lock_free);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CliParse parse = parseCommandLine(arguments);
  if (parse.options.help) {
    std::cout << usageText();
    return 0;
  }
  if (parse.options.version) {
    std::cout << "sarnavel-cli 1.4.1\n";
    return 0;
  }
  if (!parse.error.empty()) {
    std::cerr << "sarnavel-cli: " << parse.error << "\nTry 'sarnavel-cli --help' for more information.\n";
    return 2;
  }

  IntakeReport intake;
  for (const std::string& path : parse.options.paths) offerPath(path, intake);
  for (const auto& path : intake.missing) std::cerr << "sarnavel-cli: " << path.native() << ": no such file or folder\n";
  for (const auto& path : intake.otherKinds) {
    std::cerr << "sarnavel-cli: " << path.native() << ": not a page, style sheet or script; passed over\n";
  }
  if (parse.options.dryRun) std::cerr << "sarnavel-cli: dry run: every file is read and converted in memory; nothing is written\n";

  installCancelHandler();
  RunRequest request{parse.options.conversion, std::move(intake.files), parse.options.dryRun ? WriteMode::DryRun : WriteMode::Write};
  request.namedPaths.assign(parse.options.paths.begin(), parse.options.paths.end());
  RunObserver observer;
  observer.log = [](std::string_view entry) {
    std::string text = withUnixLineEnds(entry);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  };
  RunSummary summary = conversionWorker(request, observer, cancelRequested);
  if (summary.cancelled) return 130;
  return summary.failures > 0 || !intake.missing.empty() ? 1 : 0;
}
