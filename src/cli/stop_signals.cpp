#include "cli/stop_signals.h"

#include <signal.h>

namespace sarnavel {
namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> firstSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

extern "C" void onStopSignal(int number) {
  int none = 0;
  firstSignal.compare_exchange_strong(none, number);
  stopRequested.store(true);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};

}  // namespace

void installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
  for (int number : kStopSignals) {
    struct sigaction previous {};
    if (sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  // A write past the file-size limit then fails with EFBIG, which the file store reports,
  // and the writes need not block the signal one by one.
  sigaction(SIGXFSZ, &ignore, nullptr);
}

std::atomic<bool>& stopFlag() { return stopRequested; }

void requestStop() { stopRequested.store(true); }

int stopSignal() { return firstSignal.load(); }

}  // namespace sarnavel
