#include <pthread.h>
#include <signal.h>

#include <thread>

#include "platform/signals.h"

namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t stopSignals;
sigset_t maskBefore;
struct sigaction fileSizeBefore;
bool handling = false;

const char* messageFor(int signal) {
  switch (signal) {
    case SIGINT:
      return "ERROR: Interrupted by SIGINT\n";
    case SIGTERM:
      return "ERROR: Interrupted by SIGTERM\n";
    default:
      return "ERROR: Interrupted by SIGHUP\n";
  }
}

/// Waits for the first stop signal. A signal handler could do nothing but
/// set a flag; this thread may run the whole end of the run.
void waitForSignal(InterruptHandler handler) {
  int signal = 0;
  while (sigwait(&stopSignals, &signal) != 0) {
  }
  // The dispositions are still the default ones: unblocked here, a second
  // signal ends the process at once should the end of the run hang (a
  // report into a FIFO that nobody reads).
  pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
  handler(messageFor(signal));
}

}  // namespace

void handleInterruptions(InterruptHandler handler) {
  sigemptyset(&stopSignals);
  for (int signal : kStopSignals) sigaddset(&stopSignals, signal);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &maskBefore);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &fileSizeBefore);
  handling = true;
  try {
    std::thread(waitForSignal, handler).detach();
  } catch (...) {
    // Without the thread the signals keep their default action.
    pthread_sigmask(SIG_SETMASK, &maskBefore, nullptr);
  }
}

void restoreSignalsForChild() {
  if (!handling) return;
  sigaction(SIGXFSZ, &fileSizeBefore, nullptr);
  sigprocmask(SIG_SETMASK, &maskBefore, nullptr);
}
