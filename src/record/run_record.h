// The record of one run: what the classifier, the actions and exec mode
// report, in the order it happens, and the counters it adds up. Whatever a
// run shows (the console text, reports) is written by listeners of the
// record, never by the code that did the work.
#ifndef TARNWICK_RECORD_RUN_RECORD_H
#define TARNWICK_RECORD_RUN_RECORD_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/printf_format.h"

enum class LineClass { ignore, success, failure, summary, unmatched };

/// What a log is, told apart by what was opened rather than by its name: a
/// file may be called "-" or "<stdout>" too.
enum class LogKind : uint8_t {
  file,
  standardInput,  // -log - (or an -o log named "-"): no file holds its lines
  toolStdout,     // the tool's own output under -classifyoutput, already echoed
  toolStderr,
};

/// True for the tool's own streams, whose lines were echoed as they came.
inline bool isToolStream(LogKind kind) {
  return kind == LogKind::toolStdout || kind == LogKind::toolStderr;
}

/// The counters of the run. Each analysed line raises exactly one of the
/// first five; the copy action raises the last two.
struct RunTotals {
  int32_t ignoreCount = 0;
  int32_t successCount = 0;
  int32_t failureCount = 0;
  int32_t summaryCount = 0;
  int32_t unmatchedCount = 0;
  int32_t copiedCount = 0;
  int32_t copyFailCount = 0;

  /// The counter a line of lineClass raises.
  int32_t& of(LineClass lineClass) {
    switch (lineClass) {
      case LineClass::ignore:
        return ignoreCount;
      case LineClass::success:
        return successCount;
      case LineClass::failure:
        return failureCount;
      case LineClass::summary:
        return summaryCount;
      case LineClass::unmatched:
        break;
    }
    return unmatchedCount;
  }
};

/// One classified line, borrowed for the call only. text is the line as the
/// rules saw it, which reports show; raw, when not null, the tool's own
/// bytes, which differ when the configuration has control sequences removed
/// before matching (stripansi), and which the console prints.
struct ClassifiedLine {
  LineClass lineClass;
  const char* log;      // the log as named in "Processing <log>..."
  uint64_t lineNumber;  // 1-based, blank lines counted
  const char* text;     // length bytes, NUL after them; may hold NULs
  size_t length;
  const char* rule;        // pattern of the rule that decided it; null for unmatched
  bool mayHoldNul = true;  // false when the reader knows text (and raw) holds no NUL
  LogKind logKind = LogKind::file;
  const char* raw = nullptr;  // rawLength bytes, NUL after them; null: text is the tool's
  size_t rawLength = 0;

  /// The bytes before the first NUL of text (all of them when none): the
  /// line as the console shows it.
  size_t shownLength() const {
    if (!mayHoldNul) return length;
    const void* nul = std::memchr(text, '\0', length);
    return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : length;
  }
  /// The tool's bytes, as the console prints them.
  const char* printedText() const { return raw != nullptr ? raw : text; }
  /// Like shownLength, for printedText.
  size_t printedLength() const {
    if (raw == nullptr) return shownLength();
    if (!mayHoldNul) return rawLength;
    const void* nul = std::memchr(raw, '\0', rawLength);
    return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - raw) : rawLength;
  }
};

/// The names of the logs that stand for the tool's own output under
/// -classifyoutput (LogKind::toolStdout, toolStderr). Only names: a file may
/// be called so too.
extern const char kStdoutLog[];
extern const char kStderrLog[];

/// One copy that was tried.
struct CopyAttempt {
  const char* from;
  const char* to;
  bool ok;
  const char* error;  // the system's text, or the reason it was refused; null when ok
};

/// Hears a run's events, on the thread that reports them, one call at a
/// time. Every method has a do-nothing default.
class RunListener {
 public:
  virtual ~RunListener() = default;
  /// A log's analysis starts. Under -classifyoutput the main thread tells
  /// both streams of the tool before it starts, and they finish after it
  /// ended, so a file log may start and finish while they are open; file
  /// logs never overlap one another.
  virtual void logStarted(const char* /*path*/, LogKind /*kind*/) {}
  virtual void lineClassified(const ClassifiedLine& /*line*/) {}
  /// lines: the lines read, blank ones included.
  virtual void logFinished(const char* /*path*/, LogKind /*kind*/, uint64_t /*lines*/) {}
  virtual void copyTried(const CopyAttempt& /*copy*/) {}
  virtual void listingEntryWritten(const char* /*listingPath*/, const char* /*entry*/) {}
  /// A listing file of the run, told once each before any line is read.
  virtual void listingFile(const char* /*path*/) {}
  virtual void toolStarted(const char* /*commandLine*/) {}
  /// started is false when the tool could not be started.
  virtual void toolEnded(bool /*started*/, int32_t /*exitCode*/) {}
  /// A progress line, warning or error message, exactly as it is printed.
  virtual void message(const char* /*text*/, size_t /*length*/) {}
  /// The run is over: status is its exit status, fatalMessage the message
  /// it ended with (without its final line end) or null. Told once.
  virtual void runEnded(int /*status*/, const char* /*fatalMessage*/) {}
};

/// The one record of a run. Events may come from the main thread and the
/// reader threads of exec mode; they are delivered one at a time.
class RunRecord {
 public:
  /// listener stays the caller's and must outlive the record's use.
  void addListener(RunListener* listener);
  /// Forgets the listeners and zeroes the counters: a fresh run.
  void reset();
  /// True while two threads may report at once (both streams of the tool
  /// classified); events are then serialised by a lock. Main thread only,
  /// while no other thread reports.
  void setShared(bool shared);
  bool shared() const { return shared_.load(std::memory_order_relaxed); }
  /// Holds the record's lock while it is shared, for work that must not
  /// interleave with another thread's (a line's classification and actions);
  /// holds nothing otherwise.
  std::unique_lock<std::recursive_mutex> hold() {
    if (!shared_.load(std::memory_order_relaxed)) return std::unique_lock<std::recursive_mutex>();
    return std::unique_lock<std::recursive_mutex>(lock_);
  }

  void logStarted(const char* path, LogKind kind);
  /// Raises the line's counter and tells the listeners.
  void lineClassified(const ClassifiedLine& line);
  void logFinished(const char* path, LogKind kind, uint64_t lines);
  /// Raises copied or copy fail.
  void copyTried(const CopyAttempt& copy);
  void listingEntryWritten(const char* listingPath, const char* entry);
  void listingFile(const char* path);
  void toolStarted(const char* commandLine);
  void toolEnded(bool started, int32_t exitCode);
  /// A printf-formatted message for the listeners.
  void message(const char* format, ...) TARNWICK_FORMAT_CHECK(2, 3);
  /// Tells the listeners once; later calls do nothing.
  void runEnded(int status, const char* fatalMessage);
  /// From now on no event but runEnded reaches a listener, nor raises a
  /// counter: the run is ending on this thread, and a reader thread that
  /// goes on must not write into reports being finished. Any thread.
  void silence() { silenced_.store(true, std::memory_order_relaxed); }

  /// The tool's exit code once it ended; toolRan() is false until then and
  /// when it did not start.
  bool toolRan() const { return toolRan_; }
  int32_t toolExitCode() const { return toolExitCode_; }

  const RunTotals& totals() const { return totals_; }
  RunTotals& totals() { return totals_; }

 private:
  std::recursive_mutex lock_;
  // Atomic: a stop request asks for the lock from a thread of its own.
  std::atomic<bool> shared_{false};
  std::vector<RunListener*> listeners_;
  RunTotals totals_;
  bool ended_ = false;
  std::atomic<bool> silenced_{false};
  bool toolRan_ = false;
  int32_t toolExitCode_ = 0;
};

/// The process's run.
extern RunRecord runRecord;
/// Its counters, under the name the rest of the design uses.
extern RunTotals& runTotals;

#endif
