// Requests from the user or the system to stop the process: Ctrl+C, a CI
// job's timeout, a closed terminal or console.
#ifndef TARNWICK_PLATFORM_SIGNALS_H
#define TARNWICK_PLATFORM_SIGNALS_H

/// What the process does when asked to stop: message is the line to end
/// with ("ERROR: Interrupted by SIGTERM\n"). Called on a thread of its own,
/// never inside a signal handler, so it may take locks and write files; it
/// is expected to end the process.
using InterruptHandler = void (*)(const char* message);

/// From now on SIGINT, SIGTERM and SIGHUP (POSIX) or the console's Ctrl+C,
/// Ctrl+Break and close events (Windows) reach handler, once: a second such
/// request while it runs ends the process at once, as if nothing handled it.
/// On POSIX the three signals are blocked in every thread started later and
/// waited for by a thread of this service, and SIGXFSZ is ignored, so that a
/// write past the file-size limit fails (EFBIG) and is reported like any
/// other failed write; a tool that Execute starts gets the signal mask and
/// dispositions the process had before. Main thread, once, before any other
/// thread starts.
void handleInterruptions(InterruptHandler handler);

/// The signal mask and dispositions the process had before
/// handleInterruptions, for a child between fork and exec: only
/// async-signal-safe calls. Does nothing on Windows.
void restoreSignalsForChild();

#endif
