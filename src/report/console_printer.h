// The console text of a run: today's output, byte for byte, in the order the
// events come.
#ifndef TARNWICK_REPORT_CONSOLE_PRINTER_H
#define TARNWICK_REPORT_CONSOLE_PRINTER_H

#include <cstdio>

#include "record/run_record.h"

/// Prints "Processing <log>...", every failure and unmatched line (with
/// "failure: " / "unmatched: " in front when debug), and every message, on
/// stream (stdout in a run). Lines stop at their first NUL, as they always
/// have on the console. The tool's own streams (isToolStream) were echoed
/// already: neither their start nor their lines are printed again.
class ConsolePrinter : public RunListener {
 public:
  ConsolePrinter(std::FILE* stream, bool debug) : stream_(stream), debug_(debug) {}

  void logStarted(const char* path, LogKind kind) override;
  void lineClassified(const ClassifiedLine& line) override;
  void message(const char* text, size_t length) override;

 private:
  std::FILE* stream_;
  bool debug_;
};

#endif
