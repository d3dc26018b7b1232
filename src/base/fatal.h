// The run's one way to end early. Whoever ends it, on whichever thread, the
// end-of-run work (listeners told how the run ended, output flushed) runs
// exactly once before the process exits with status 1.
#ifndef TARNWICK_BASE_FATAL_H
#define TARNWICK_BASE_FATAL_H

#include "base/printf_format.h"

/// Work to do once when the run ends early: status is 1, message the text
/// already printed (without its final line end) or null. Runs on the thread
/// that ends the run, while other threads may still be running; it must not
/// wait for them.
using EndOfRunWork = void (*)(int status, const char* message);

/// Installs the end-of-run work; null removes it. Main thread, before any
/// other thread starts.
void setEndOfRunWork(EndOfRunWork work);

/// Prints the printf-formatted message on stdout, runs the end-of-run work
/// and ends the process with status 1. Safe on any thread: a second thread
/// that ends the run at the same time waits for the first to finish.
[[noreturn]] void exitWithError(const char* format, ...) TARNWICK_FORMAT_CHECK(1, 2);

/// Runs the end-of-run work with message (already printed by the caller,
/// or null) and ends the process with status 1. Same rules as exitWithError.
[[noreturn]] void endRunEarly(const char* message);

/// Claims the end of a run that ends well for the calling thread: the
/// end-of-run work is removed, and a thread that ends the run from now on
/// (an interruption) waits until the process has ended. Main thread.
void claimRunEnd();

/// Ends the run on a request to stop (message: "ERROR: Interrupted by
/// SIGTERM\n"): as exitWithError, except that the message is printed only
/// once this thread may end the run, so that a request while the run is
/// ending anyway prints nothing and changes nothing.
[[noreturn]] void endRunOnRequest(const char* message);

#if defined(TARNWICK_FATAL_THROWS)
/// In the fuzz build only, the run's end is thrown instead of ending the
/// process, so one process can try many inputs.
struct FatalEnd {
  const char* message;
};
#endif

#endif
