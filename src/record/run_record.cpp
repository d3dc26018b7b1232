#include "record/run_record.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

RunRecord runRecord;

const char kStdoutLog[] = "<stdout>";
const char kStderrLog[] = "<stderr>";

RunTotals& runTotals = runRecord.totals();

// Events come from one thread at a time unless two streams are classified at
// once; only then is the lock taken, so log mode never pays for it. The lock
// is recursive: a listener's failure ends the run through the fatal path,
// which tells the listeners the run ended from inside the call.
#define TELL(call)                                            \
  do {                                                        \
    std::unique_lock<std::recursive_mutex> guard = hold();    \
    if (silenced_.load(std::memory_order_relaxed)) break;     \
    for (RunListener * listener : listeners_) listener->call; \
  } while (false)

void RunRecord::setShared(bool shared) { shared_.store(shared, std::memory_order_relaxed); }

void RunRecord::addListener(RunListener* listener) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  listeners_.push_back(listener);
}

void RunRecord::reset() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  listeners_.clear();
  totals_ = RunTotals();
  ended_ = false;
  silenced_.store(false);
  shared_.store(false, std::memory_order_relaxed);
  toolRan_ = false;
  toolExitCode_ = 0;
}

void RunRecord::logStarted(const char* path, LogKind kind) { TELL(logStarted(path, kind)); }

void RunRecord::lineClassified(const ClassifiedLine& line) {
  std::unique_lock<std::recursive_mutex> guard = hold();
  if (silenced_.load(std::memory_order_relaxed)) return;
  ++totals_.of(line.lineClass);
  for (RunListener* listener : listeners_) listener->lineClassified(line);
}

void RunRecord::logFinished(const char* path, LogKind kind, uint64_t lines) {
  TELL(logFinished(path, kind, lines));
}

void RunRecord::copyTried(const CopyAttempt& copy) {
  std::unique_lock<std::recursive_mutex> guard = hold();
  if (silenced_.load(std::memory_order_relaxed)) return;
  ++(copy.ok ? totals_.copiedCount : totals_.copyFailCount);
  for (RunListener* listener : listeners_) listener->copyTried(copy);
}

void RunRecord::listingEntryWritten(const char* listingPath, const char* entry) {
  TELL(listingEntryWritten(listingPath, entry));
}

void RunRecord::toolStarted(const char* commandLine) { TELL(toolStarted(commandLine)); }

void RunRecord::listingFile(const char* path) { TELL(listingFile(path)); }

void RunRecord::toolEnded(bool started, int32_t exitCode) {
  toolRan_ = started;
  toolExitCode_ = exitCode;
  TELL(toolEnded(started, exitCode));
}

void RunRecord::message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatText(format, args);
  va_end(args);
  TELL(message(text.c_str(), text.size()));
}

void RunRecord::runEnded(int status, const char* fatalMessage) {
  // Always locked: the fatal path may end the run on a reader thread.
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (ended_) return;
  ended_ = true;
  for (RunListener* listener : listeners_) listener->runEnded(status, fatalMessage);
}
