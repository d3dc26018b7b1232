// The JSON report: one document per run, for CI systems and scripts.
#ifndef TARNWICK_REPORT_JSON_REPORT_H
#define TARNWICK_REPORT_JSON_REPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "record/run_record.h"
#include "report/report_file.h"
#include "report/run_facts.h"

/// Writes the run as the JSON document described by docs/report.schema.json.
/// Findings go to the file as they come, so memory stays flat whatever the
/// log holds; the rest is written when the run ends, and the file is moved
/// into place then. Ends the run with "Unable to write report" on failure.
class JsonReport : public FileReport {
 public:
  /// Unmatched findings kept in a run; failures are never dropped.
  static constexpr uint64_t kUnmatchedCap = 10000;
  /// Longest finding text, in bytes.
  static constexpr size_t kTextCap = 4096;

  /// mode is "log" or "exec". Creates the temporary file at once.
  JsonReport(const std::string& path, const char* mode);

  void logStarted(const char* path) override;
  void lineClassified(const ClassifiedLine& line) override;
  void logFinished(const char* path, uint64_t lines) override;
  void copyTried(const CopyAttempt& copy) override;
  void listingFile(const char* path) override;
  void listingEntryWritten(const char* listingPath, const char* entry) override;
  void toolStarted(const char* commandLine) override;
  void toolEnded(bool started, int32_t exitCode) override;

 protected:
  void writeEnding(int status, const char* fatalMessage) override;

 private:
  struct Copy {
    std::string from, to, error;
    bool ok;
  };

  std::string mode_;
  RunFacts facts_;
  bool anyFinding_ = false;
  uint64_t unmatchedKept_ = 0;
  uint64_t omittedUnmatched_ = 0;
  std::vector<std::pair<std::string, uint64_t>> logs_;
  std::vector<Copy> copies_;
};

#endif
