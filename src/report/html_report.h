// The HTML report: one page a person opens in any browser, offline.
#ifndef TARNWICK_REPORT_HTML_REPORT_H
#define TARNWICK_REPORT_HTML_REPORT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "record/run_record.h"
#include "report/json_report.h"
#include "report/report_file.h"
#include "report/run_facts.h"

/// Writes the run as one self-contained HTML page: the verdict, the counters
/// as a bar chart, the logs, copies and listing files, and the findings of
/// the JSON report (the first kFailureCap failures and kUnmatchedCap
/// unmatched lines: a page of more does not open), each with the lines
/// around it in its log; the page says how many it left out. Every text from logs, rules and
/// command lines is made valid UTF-8 and escaped; the page loads nothing from elsewhere and its
/// policy forbids it.
///
/// Each log is read once: the lines before a finding come from a ring of the
/// last lines of its log, and a finding waits for the lines after it. Done
/// findings and failed copies go to spool files beside the report, so memory
/// stays flat, and the page is put together when the run ends. Ends the run
/// with "Unable to write report" on failure.
class HtmlReport : public FileReport {
 public:
  static constexpr uint64_t kUnmatchedCap = JsonReport::kUnmatchedCap;
  static constexpr uint64_t kFailureCap = 10000;
  /// Longest text shown for one line, in bytes.
  static constexpr size_t kTextCap = JsonReport::kTextCap;
  /// Lines shown before and after a finding.
  static constexpr size_t kContextLines = 3;

  /// mode is "log" or "exec". Creates the temporary files at once.
  HtmlReport(const std::string& path, const char* mode);

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
  bool partsIntact() const override;
  void dropParts() override;

 private:
  /// A line as the page keeps it: at most kTextCap bytes of its text.
  struct Line {
    LineClass lineClass = LineClass::unmatched;
    uint64_t number = 0;
    std::string text;
    size_t length = 0;  // of the whole line
  };
  struct Finding {
    Line line;
    std::string rule;
    std::vector<Line> before, after;
  };
  /// One log's last lines, and its findings still waiting for the lines
  /// after them.
  struct Context {
    std::string log;
    LogKind kind = LogKind::file;
    Line recent[kContextLines];  // a ring; nextRecent is the oldest when full
    size_t recentCount = 0;
    size_t nextRecent = 0;
    std::deque<Finding> waiting;
  };
  struct Log {
    std::string path;
    LogKind kind = LogKind::file;
    uint64_t lines = 0;
    uint64_t failures = 0;
    uint64_t unmatched = 0;
    bool finished = false;
  };

  Context& contextOf(const char* log, LogKind kind);
  /// Writes the findings of log's context that still wait and forgets it.
  void closeContext(const char* log, LogKind kind);
  void writeFinding(const std::string& log, const Finding& finding);
  /// The log of kind being read under path, or null.
  Log* openLog(const char* path, LogKind kind);
  std::string head(int status, const char* fatalMessage) const;
  std::string findingsHead() const;

  ReportSpool findings_;
  ReportSpool failedCopies_;
  std::string mode_;
  RunFacts facts_;
  std::vector<Context> contexts_;
  size_t lastContext_ = 0;
  /// The name lastContext_ was found by, as the record gave it; the same
  /// address is the same log until a log starts or finishes.
  const char* lastContextName_ = nullptr;
  size_t waiting_ = 0;  // findings waiting for their lines, in all contexts
  std::vector<Log> logs_;
  size_t lastLog_ = 0;
  const char* lastLogName_ = nullptr;  // as lastContextName_, for lastLog_
  uint64_t failuresShown_ = 0;
  uint64_t unmatchedShown_ = 0;
  uint64_t omittedUnmatched_ = 0;
  uint64_t omittedFailures_ = 0;
  bool spoolFailed_ = false;
  bool anyCopy_ = false;
};

#endif
