#include <windows.h>

#include "platform/signals.h"

namespace {

InterruptHandler interruptHandler = nullptr;
LONG interrupted = 0;

/// Run by the system on a thread of its own for each console event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  const char* message = nullptr;
  switch (event) {
    case CTRL_C_EVENT:
      message = "ERROR: Interrupted by Ctrl+C\n";
      break;
    case CTRL_BREAK_EVENT:
      message = "ERROR: Interrupted by Ctrl+Break\n";
      break;
    case CTRL_CLOSE_EVENT:
      message = "ERROR: Interrupted: the console is closing\n";
      break;
    default:
      return FALSE;  // logoff and shutdown concern services
  }
  // A second event while the first is handled: the default action, which
  // ends the process.
  if (InterlockedExchange(&interrupted, 1) != 0) return FALSE;
  interruptHandler(message);
  return TRUE;
}

}  // namespace

void handleInterruptions(InterruptHandler handler) {
  interruptHandler = handler;
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void restoreSignalsForChild() {}
