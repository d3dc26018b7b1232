#include "base/fatal.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::atomic<EndOfRunWork> endOfRunWork{nullptr};

#if !defined(TARNWICK_FATAL_THROWS)
std::atomic<std::thread::id> endingThread{};

/// Held for good by the first thread that ends the run.
std::mutex& endingLock() {
  static std::mutex lock;
  return lock;
}

/// Drops the last line end: the message as a report would show it.
std::string withoutFinalLineEnd(const std::string& text) {
  std::string trimmed = text;
  if (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  if (!trimmed.empty() && trimmed.back() == '\r') trimmed.pop_back();
  return trimmed;
}
#endif

}  // namespace

void setEndOfRunWork(EndOfRunWork work) { endOfRunWork.store(work); }

#if !defined(TARNWICK_FATAL_THROWS)
namespace {

/// Makes the calling thread the one that ends the run; false when it is
/// already. Waits for good while another thread is.
bool takeRunEnd() {
  if (endingThread.load() == std::this_thread::get_id()) return false;
  endingLock().lock();
  endingThread.store(std::this_thread::get_id());
  return true;
}

}  // namespace
#endif

void claimRunEnd() {
#if !defined(TARNWICK_FATAL_THROWS)
  takeRunEnd();
#endif
  endOfRunWork.store(nullptr);
}

void endRunOnRequest(const char* message) {
#if defined(TARNWICK_FATAL_THROWS)
  exitWithError("%s", message);
#else
  takeRunEnd();
  std::fputs(message, stdout);
  endRunEarly(message);
#endif
}

void endRunEarly(const char* message) {
#if defined(TARNWICK_FATAL_THROWS)
  std::fflush(stdout);
  throw FatalEnd{message};
#else
  // The end-of-run work may itself fail and end the run (a report that
  // cannot be written): taken once, it is not run again.
  takeRunEnd();
  if (EndOfRunWork work = endOfRunWork.exchange(nullptr)) {
    std::string shown = message != nullptr ? withoutFinalLineEnd(message) : std::string();
    work(1, message != nullptr ? shown.c_str() : nullptr);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // Not exit(): static destructors would tear down state that a reader
  // thread may still be using.
  std::_Exit(1);
#endif
}

void exitWithError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatText(format, args);
  va_end(args);
  std::fwrite(text.data(), 1, text.size(), stdout);
  endRunEarly(text.c_str());
}
