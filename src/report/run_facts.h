// What the JSON and HTML reports both keep of a run besides its findings.
#ifndef TARNWICK_REPORT_RUN_FACTS_H
#define TARNWICK_REPORT_RUN_FACTS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "record/run_record.h"

/// The counters, the listing files with their entries, and the tool, as a
/// report hears them from the record. Fed by the report's own listener
/// calls, on whichever thread the record delivers them.
struct RunFacts {
  RunTotals totals;
  /// Each listing file of the run with the entries written to it, in the
  /// order they were first heard of.
  std::vector<std::pair<std::string, int64_t>> listings;
  bool toolStarted = false;  // command holds its command line
  std::string command;
  bool toolEnded = false;
  bool toolRan = false;  // exitCode holds its exit code
  int32_t exitCode = 0;

  void lineClassified(LineClass lineClass) { ++totals.of(lineClass); }
  void copyTried(bool ok) { ++(ok ? totals.copiedCount : totals.copyFailCount); }
  void listingFile(const char* path) { listings.emplace_back(path, 0); }
  void listingEntryWritten(const char* listingPath);
  void toolStartedWith(const char* commandLine) {
    toolStarted = true;
    command = commandLine;
  }
  void toolEndedWith(bool started, int32_t code) {
    toolEnded = true;
    toolRan = started;
    exitCode = code;
  }
};

#endif
