// The JUnit XML report, as Jenkins, GitLab and Azure read test results.
#ifndef TARNWICK_REPORT_JUNIT_REPORT_H
#define TARNWICK_REPORT_JUNIT_REPORT_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "record/run_record.h"
#include "report/report_file.h"

/// Writes <testsuites> holding one <testsuite name="tarnwick">: a <testcase>
/// per analysed log (its path as the name), failed with the number of its
/// failure lines and a body listing them as "path:line: text" (a text over
/// kTextCap bytes cut at a character's start and followed by
/// " [cut: N of M bytes]"), and a
/// <testcase name="verdict"> that fails with the fatal message when the run
/// ends with status 1. Log text is made valid UTF-8 without the characters
/// XML cannot hold, and escaped (appendXmlText), so a strict parser reads the
/// file whatever the logs held. Test cases and failure bodies are spooled to
/// temporary files beside the report, so memory stays flat. The tool's own
/// output (LogKind::toolStdout, toolStderr) gets a test case per stream.
class JunitReport : public FileReport {
 public:
  /// Longest failure text kept, in bytes: the JSON report's.
  static constexpr size_t kTextCap = 4096;

  explicit JunitReport(const std::string& path);
  ~JunitReport() override;

  void logStarted(const char* path, LogKind kind) override;
  void lineClassified(const ClassifiedLine& line) override;
  void logFinished(const char* path, LogKind kind, uint64_t lines) override;

 protected:
  void writeEnding(int status, const char* fatalMessage) override;
  bool partsIntact() const override { return !failed_; }
  void dropParts() override { dropSpools(); }

 private:
  void closeTestCase();
  /// Sets entry to the failure line as a line of a failure's body.
  static void appendBodyEntry(const ClassifiedLine& line, std::string* entry);
  void dropSpools();

  std::string casesPath_, bodyPath_;
  std::FILE* cases_ = nullptr;  // finished <testcase> elements
  std::FILE* body_ = nullptr;   // the failure lines of the open log
  bool logOpen_ = false;
  std::string log_;
  uint64_t logFailures_ = 0;
  uint64_t testCases_ = 0;
  uint64_t failedCases_ = 0;
  bool failed_ = false;
  std::string entry_;  // reused from failure to failure
  bool casesClosed_ = false;

  /// The tool's own output under -classifyoutput: a test case per stream,
  /// written at the end, since its lines come between other logs' lines.
  struct Stream {
    std::string path;
    std::FILE* spool = nullptr;
    bool seen = false;
    uint64_t failures = 0;
  };
  Stream streams_[2];
  void writeStreamCase(Stream& stream);
};

#endif
