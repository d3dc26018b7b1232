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

/// The "version" of every JSON report: the schema's. Scan mode came as an
/// addition that reports of the other modes do not notice.
constexpr int kReportVersion = 1;

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

  void logStarted(const char* path, LogKind kind) override;
  void lineClassified(const ClassifiedLine& line) override;
  void logFinished(const char* path, LogKind kind, uint64_t lines) override;
  void copyTried(const CopyAttempt& copy) override;
  void listingFile(const char* path) override;
  void listingEntryWritten(const char* listingPath, const char* entry) override;
  void toolStarted(const char* commandLine) override;
  void toolEnded(bool started, int32_t exitCode) override;

 protected:
  void writeEnding(int status, const char* fatalMessage) override;

 private:
  struct Log {
    std::string path;
    uint64_t lines;  // the last line seen until the log finishes
  };
  static constexpr size_t kNoLog = ~size_t{0};
  /// Writes what the findings buffer holds to the file.
  void flushFindings();

  struct Copy {
    std::string from, to, error;
    bool ok;
  };

  std::string mode_;
  RunFacts facts_;
  bool anyFinding_ = false;
  uint64_t unmatchedKept_ = 0;
  uint64_t omittedUnmatched_ = 0;
  std::vector<Log> logs_;
  /// The entries of logs_ still being read: the file log (file logs never
  /// overlap) and the tool's two streams, by LogKind.
  size_t openFile_ = kNoLog;
  size_t openStream_[2] = {kNoLog, kNoLog};
  /// Findings on their way to the file, in blocks of about 64 KiB.
  std::string findings_;
  std::vector<Copy> copies_;
};

/// The JSON report of scan mode (mode "scan" in docs/report.schema.json):
/// the scanned log and its message codes with their counts, in the order
/// the scan printed them. Main thread.
class ScanJsonReport {
 public:
  /// Creates the temporary file at once; ends the run with "Unable to write
  /// report" when it cannot.
  ScanJsonReport(const std::string& path, const char* log);

  /// Writes the report and moves it into place; codes are empty when the
  /// run ended before the scan did. Ends the run with "Unable to write
  /// report" on failure.
  void write(int status, const char* fatalMessage,
             const std::vector<std::pair<std::string, int32_t>>& codes);

 private:
  ReportFile file_;
  std::string log_;
};

#endif
